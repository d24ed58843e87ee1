// SPDX-License-Identifier: MIT
#include "exporter/basic_auth.hpp"

#include "common/output.hpp"
#include "exporter/web_config.hpp"

#include <crypt.h>
#include <sys/stat.h>

#include <memory>
#include <stdexcept>

namespace kexp {
namespace {

constexpr std::size_t MAX_REMEMBERED = 1024;
// Checked for a name nobody has, so that the answer's time does not tell which names exist.
constexpr const char* NOBODYS_HASH = "$2b$10$QOauhQNbBCuQDKes6eFzPeMqBSjb7Mr5DUmpZ/VcEd00UAV/LDeSi";

timespec changed_at(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return info.st_mtim;
}

bool same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// bcrypt, as the system's crypt library computes it.
bool matches(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    const char* computed = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    return computed != nullptr && hash == computed;
}

}  // namespace

BasicAuth::BasicAuth(std::string path, std::map<std::string, std::string> users)
    : path_(std::move(path)), changed_(changed_at(path_)), users_(std::move(users)) {}

void BasicAuth::reload_if_changed() {
    const timespec now = changed_at(path_);
    if (same(now, changed_)) return;
    try {
        users_ = read_web_config(path_).users;
        changed_ = now;
        verified_.clear();
        last_problem_.clear();
    } catch (const std::runtime_error& e) {
        if (e.what() != last_problem_)
            kcli::write_stderr_line(std::string("kolvane: ") + e.what() +
                                    ": the users read before stay");
        last_problem_ = e.what();
    }
}

bool BasicAuth::allows(const std::string* user, const std::string* password) {
    std::string hash;
    {
        const std::lock_guard lock(mutex_);
        reload_if_changed();
        if (users_.empty()) return true;
        if (!user || !password) return false;
        const auto found = users_.find(*user);
        if (found == users_.end()) {
            hash.clear();
        } else {
            hash = found->second;
            if (verified_.contains(*user + '\0' + hash + '\0' + *password)) return true;
        }
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
