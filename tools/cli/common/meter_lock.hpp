// SPDX-License-Identifier: MIT
// One transfer per meter on this machine. The meter keeps one read position per log and cannot
// tell its readers apart, so two transfers at once would take each other's records: kolvane's
// log transfers (datalog, eventlog, export-all, collect) hold the meter's lock, keyed by the
// address connected to (however the host is written), port and unit, for as long as they talk
// to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kcli {

class MeterLock {
public:
    // Waits up to `wait` (0: not at all) or until Ctrl-C for the meter's lock.
    MeterLock(const std::string& host, int port, int unit, std::chrono::milliseconds wait);
    ~MeterLock();
    MeterLock(const MeterLock&) = delete;
    MeterLock& operator=(const MeterLock&) = delete;

    bool held() const { return held_; }
    // Why the lock could not be taken at all, one line naming the lock file and the cause; empty
    // when it is held, held by another transfer or the wait was cut short by Ctrl-C. The meter
    // is not read then: an unlocked transfer could take another one's records.
    const std::string& error() const { return error_; }
    // "HOST:PORT unit N is busy with another kolvane transfer"
    std::string busy_message() const;

private:
    std::string address_;
    int unit_;
    std::uint64_t key_;
    bool held_ = false;
    std::string error_;
};

}  // namespace kcli
