// SPDX-License-Identifier: MIT
#include "exporter/basic_auth.hpp"

#include <crypt.h>

#include <memory>

namespace kexp {
namespace {

constexpr std::size_t MAX_REMEMBERED = 1024;
// Checked for a name nobody has, so that the answer's time does not tell which names exist.
constexpr const char* NOBODYS_HASH = "$2b$10$QOauhQNbBCuQDKes6eFzPeMqBSjb7Mr5DUmpZ/VcEd00UAV/LDeSi";

// bcrypt, as the system's crypt library computes it.
bool matches(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    const char* computed = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    return computed != nullptr && hash == computed;
}

}  // namespace

bool BasicAuth::allows(const std::map<std::string, std::string>& users, const std::string* user,
                       const std::string* password) {
    if (users.empty()) return true;
    if (!user || !password) return false;
    const auto found = users.find(*user);
    const std::string hash = found == users.end() ? std::string() : found->second;
    if (!hash.empty()) {
        const std::lock_guard lock(mutex_);
        if (verified_.contains(*user + '\0' + hash + '\0' + *password)) return true;
    }
    // The hash's time, outside the lock.
    if (hash.empty()) return matches(*password, NOBODYS_HASH) && false;
    if (!matches(*password, hash)) return false;
    const std::lock_guard lock(mutex_);
    if (verified_.size() >= MAX_REMEMBERED) verified_.clear();
    verified_.insert(*user + '\0' + hash + '\0' + *password);
    return true;
}

}  // namespace kexp
