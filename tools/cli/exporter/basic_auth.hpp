// SPDX-License-Identifier: MIT
// Basic auth against the users of the web configuration file, each with a bcrypt hash, the file
// read again when it changes. A password is checked on a worker thread before anything else is
// done for the request, so a wrong one costs its sender the hash's time and never a meter's
// bus; a right one is remembered, so that a scraper pays the hash once, not at every scrape.
#pragma once

#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace kexp {

class BasicAuth {
public:
    BasicAuth(std::string path, std::map<std::string, std::string> users);

    // Whether `user` with `password` may in; everyone may when the file names no users.
    bool allows(const std::string* user, const std::string* password);

private:
    // Takes the users of the file again when it changed; keeps those it had when the file no
    // longer reads, saying why once.
    void reload_if_changed();

    std::string path_;
    std::mutex mutex_;
    timespec changed_{};
    std::map<std::string, std::string> users_;
    std::set<std::string> verified_;  // user, hash and password that matched
    std::string last_problem_;
};

}  // namespace kexp
