// SPDX-License-Identifier: MIT
#include "exporter/identity_cache.hpp"

#include <algorithm>

namespace kexp {

std::optional<std::string> IdentityCache::find(const std::string& key) const {
    const std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    if (it == entries_.end() || Clock::now() - it->second.read_at > lifetime_) return std::nullopt;
    return it->second.document;
}

void IdentityCache::store(const std::string& key, std::string document) {
    const std::lock_guard lock(mutex_);
    if (entries_.size() >= capacity_ && !entries_.contains(key)) {
        const auto oldest = std::min_element(
            entries_.begin(), entries_.end(),
            [](const auto& a, const auto& b) { return a.second.read_at < b.second.read_at; });
        entries_.erase(oldest);
    }
    entries_[key] = {std::move(document), Clock::now()};
}

}  // namespace kexp
