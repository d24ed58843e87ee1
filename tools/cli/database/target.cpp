// SPDX-License-Identifier: MIT
#include "database/target.hpp"

#include <variant>

namespace kdb {
namespace {

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A target, or why the text names none.
std::variant<Target, std::string> read_target(const std::string& text) {
    if (starts_with(text, "postgresql://") || starts_with(text, "postgres://"))
        return Target{Target::Engine::POSTGRES, text};
    const std::string path = starts_with(text, "sqlite:") ? text.substr(7) : text;
    if (path.empty()) return std::string("a database file path is needed");
    // SQLite takes ":memory:" and URI filenames with an empty path or mode=memory for a private
    // database in memory; whatever is collected there is gone when kolvane exits.
    const bool uri = starts_with(path, "file:");  // SQLite's own test, case and all
    if (path == ":memory:" || (uri && (path.find(":memory:") != std::string::npos ||
                                       path.find("mode=memory") != std::string::npos)))
        return "'" + text +
               "' is a SQLite database in memory, gone when kolvane exits: name a file";
    // Any other URI filename may carry parameters (mode, vfs, immutable, nolock) that change how
    // the file is opened and locked; a path means the file and nothing else.
    if (uri)
        return "'" + text +
               "' is a SQLite URI filename, which kolvane does not take: name the database file "
               "by its path";
    return Target{Target::Engine::SQLITE, path};
}

}  // namespace

std::optional<Target> parse_target(const std::string& text) {
    auto target = read_target(text);
    if (auto* found = std::get_if<Target>(&target)) return *found;
    return std::nullopt;
}

std::string target_problem(const std::string& text) {
    auto target = read_target(text);
    if (auto* problem = std::get_if<std::string>(&target)) return *problem;
    return {};
}

}  // namespace kdb
