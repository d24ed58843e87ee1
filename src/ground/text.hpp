// SPDX-License-Identifier: MIT
// The small text routines every output of the library is made of.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace kolvane {

std::string json_escape(std::string_view text);
void append_json_escaped(std::string& out, std::string_view text);
std::string csv_quote(std::string_view text);
std::string hex4(uint16_t value);
// Fixed-point text with exactly `decimals` digits after the point, rounded to nearest,
// with "." whatever locale the host process has set.
std::string format_fixed(double value, int decimals);
std::string fmt_iso_utc(uint32_t seconds, uint32_t microseconds);
std::string fmt_hmi_datetime(uint32_t seconds, uint32_t microseconds);
std::string now_stamp();
// The current UTC time as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string now_iso_utc();

// An output file that keeps what was written when the operation fails half-way, and that
// reports a write failure (a full disk) instead of letting the export claim success.
class CsvFile {
public:
    explicit CsvFile(std::string path);
    std::ofstream& stream() { return stream_; }
    // Flushes and closes; throws when anything written could not reach the file.
    void close();

private:
    std::string path_;
    std::ofstream stream_;
};

// Creates or truncates the file at path; throws "Cannot open CSV: " + path.
CsvFile open_csv(const std::string& path);

}  // namespace kolvane
