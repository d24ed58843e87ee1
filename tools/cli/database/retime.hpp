// SPDX-License-Identifier: MIT
// Stored records' times converted with a meter's clock zone: records stored before meter clocks
// were known hold the meter's wall time labelled UTC, and a meter whose zone changed holds times
// converted with the old one. Both engines read the times, convert them here and write them back
// in the transaction that records the meter's zone.
#pragma once

#include <string>
#include <vector>

namespace kdb {

// A stored record's time.
struct StoredTime {
    int file_id = 0;  // 0: the event log
    int seq = 0;
    std::string key;   // recorded_at as stored now, to find the row by
    std::string wall;  // the meter's wall time, "YYYY-MM-DDTHH:MM:SS.mmm"
    std::string utc;   // the true UTC time, filled by convert_times
};

// Fills `utc` of every time. `times` come ordered by file id, wall time and sequence number; each
// log is converted in the order the meter recorded it, run of sequence numbers by run, so that
// the records of an autumn change's repeated hour are told apart.
void convert_times(std::vector<StoredTime>& times, const std::string& zone);

}  // namespace kdb
