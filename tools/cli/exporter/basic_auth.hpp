// SPDX-License-Identifier: MIT
// Basic auth against the users of the web configuration file, each with a bcrypt hash. A password
// is checked on a worker thread before anything else is done for the request, so a wrong one costs
// its sender the hash's time and never a meter's bus; a right one is remembered, so that a scraper
// pays the hash once, not at every scrape.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace kexp {

class BasicAuth {
public:
    // Whether `user` with `password` may in, given `users` (name -> bcrypt hash); everyone may
    // when there are no users.
    bool allows(const std::map<std::string, std::string>& users, const std::string* user,
                const std::string* password);

private:
    std::mutex mutex_;
    std::set<std::string> verified_;  // user, hash and password that matched
};

}  // namespace kexp
