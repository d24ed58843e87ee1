// SPDX-License-Identifier: MIT
// The meters' device information documents, kept for a while: a meter's identity changes only
// when it is replaced or updated, so a probe need not spend a second connection on it each time.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kexp {

class IdentityCache {
public:
    using Clock = std::chrono::steady_clock;

    explicit IdentityCache(Clock::duration lifetime = std::chrono::minutes(10),
                           std::size_t capacity = 1024)
        : lifetime_(lifetime), capacity_(capacity) {}

    std::optional<std::string> find(const std::string& key) const;
    void store(const std::string& key, std::string document);

private:
    struct Entry {
        std::string document;
        Clock::time_point read_at;
    };

    Clock::duration lifetime_;
    std::size_t capacity_;  // bounds memory when any target may be probed
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace kexp
