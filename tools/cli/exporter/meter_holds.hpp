// SPDX-License-Identifier: MIT
// Meters that did not answer, answered from their failure for a while instead of being asked
// again. Behind a gateway a silent meter holds the bus for a time-out at every scrape while its
// neighbours' probes wait: held, it costs its own scrapes and nobody else's. The first failure
// holds a meter for the rule's first hold, each further failure in a row twice as long up to the
// longest; an answer ends the holding. The first probe after a hold tries the meter again, while
// other probes of it are still answered from the failure.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <variant>

namespace kexp {

class MeterHolds {
public:
    using Clock = std::chrono::steady_clock;

    struct Rule {
        Clock::duration first = std::chrono::seconds(30);  // zero: no meter is held
        Clock::duration longest = std::chrono::minutes(5);
    };

    // A probe answered from the meter's failure.
    struct Held {
        std::string error;     // the failure, as the probe that met it reported it
        int failures = 0;      // failures in a row
        Clock::duration left;  // until the meter is tried again; zero while another probe tries it
    };

    // A probe that asks the meter. Tell it how the probe ended; one dropped without a word (its
    // client left, its gateway gave it no turn) leaves the meter as it was.
    class Attempt {
    public:
        Attempt(Attempt&& other) noexcept;
        Attempt(const Attempt&) = delete;
        Attempt& operator=(const Attempt&) = delete;
        Attempt& operator=(Attempt&&) = delete;
        ~Attempt();

        void answered();
        void silent(const std::string& error, Clock::time_point now = Clock::now());

    private:
        friend class MeterHolds;
        Attempt(MeterHolds& holds, std::string meter, bool trial);

        MeterHolds* holds_;  // null once told or moved from
        std::string meter_;
        bool trial_;  // the meter had failed: this attempt tries it again
    };

    explicit MeterHolds(Rule rule, std::size_t capacity = 4096);

    // How a probe of `meter` (HOST:PORT/UNIT) goes at `now`: held, or an attempt.
    std::variant<Held, Attempt> start(const std::string& meter,
                                      Clock::time_point now = Clock::now());

private:
    struct Failed {
        std::string error;
        int failures = 0;
        Clock::time_point until;  // held until then
        bool trying = false;      // a probe asks it now
    };

    Clock::duration hold_after(int failures) const;
    void tried(const std::string& meter);
    // Room for one more meter: the one whose hold ends first goes, none that a probe tries.
    void make_room();

    const Rule rule_;
    const std::size_t capacity_;  // bounds memory when any target may be probed
    std::mutex mutex_;
    std::map<std::string, Failed> failed_;
};

}  // namespace kexp
