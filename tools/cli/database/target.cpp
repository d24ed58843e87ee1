// SPDX-License-Identifier: MIT
#include "database/target.hpp"

namespace kdb {

std::optional<Target> parse_target(const std::string& text) {
    auto starts_with = [&](const char* prefix) { return text.rfind(prefix, 0) == 0; };
    if (starts_with("postgresql://") || starts_with("postgres://"))
        return Target{Target::Engine::POSTGRES, text};
    const std::string path = starts_with("sqlite:") ? text.substr(7) : text;
    if (path.empty()) return std::nullopt;
    return Target{Target::Engine::SQLITE, path};
}

std::string target_problem(const std::string& text) {
    return parse_target(text) ? std::string() : std::string("a database file path is needed");
}

}  // namespace kdb
