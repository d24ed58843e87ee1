// SPDX-License-Identifier: MIT
// Turns at a gateway shared by every kolvane program on this machine. A gateway passes one
// request at a time to its bus and answers busy to one that comes too soon after the last reply,
// whoever sent it: so each request takes the gateway's turn in a lock file, waits out the gap
// after the last reply of any program, and gives the turn up as soon as its reply is in.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace kolvane {

class MachineTurns {
public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: one clock for every process

    // The turns of the gateway at `peer` (the address as connected); `gateway` names it in
    // messages. Throws when the machine's turn file cannot be opened.
    MachineTurns(const sockaddr_storage& peer, const std::string& gateway);
    // The turns of the serial line at `device`, however the path to it was written.
    explicit MachineTurns(const std::string& device);
    ~MachineTurns();
    MachineTurns(const MachineTurns&) = delete;
    MachineTurns& operator=(const MachineTurns&) = delete;

    // Waits for the gateway's turn until `end`; false when it did not come in time.
    bool take(Clock::time_point end);
    // When the last reply of any program at this gateway ended; meaningful while the turn is held.
    Clock::time_point last_reply() const;
    // Records when this reply ended and gives the turn up.
    void give_up(Clock::time_point reply_end);

    // The machine's turn file.
    static std::string path();

private:
    MachineTurns(off_t slot, const std::string& gateway);
    // One byte's lock, without waiting; false when another client holds it.
    bool lock(short type, off_t offset) const;
    bool others_waiting() const;

    int fd_ = -1;
    off_t slot_ = 0;
    bool held_ = false;
    bool held_last_ = false;  // this client had the gateway's last turn
};

}  // namespace kolvane
