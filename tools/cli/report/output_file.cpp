// SPDX-License-Identifier: MIT
#include "report/output_file.hpp"

#include "common/part_file.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

namespace kreport {
namespace {

namespace fs = std::filesystem;

// SQLite's files of a database: the file and what SQLite keeps beside it.
const char* const SQLITE_FILES[] = {"", "-wal", "-shm", "-journal"};

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string canonical_spelling(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// Which of the database's files `written` is: the suffix of its name ("" for the database file
// itself), nothing when it is none of them.
std::optional<std::string> database_file_at(const std::string& written,
                                            const std::string& database) {
    struct stat target {};
    const bool exists = ::stat(written.c_str(), &target) == 0;
    const std::string spelled = canonical_spelling(written);
    // SQLite keeps its companions beside the file a symbolic link names; look beside both.
    for (const std::string& base : {database, canonical_spelling(database)}) {
        for (const char* suffix : SQLITE_FILES) {
            const std::string file = base + suffix;
            struct stat found {};
            if (exists ? ::stat(file.c_str(), &found) == 0 && same_file(target, found)
                       : spelled == canonical_spelling(file))
                return suffix;
        }
    }
    return std::nullopt;
}

// Whether `path` starts as an HTML document does: "<!DOCTYPE html", in any case, after blanks
// and a byte order mark.
bool starts_like_html(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    std::size_t at = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
    const std::string doctype = "<!doctype html";
    if (head.size() - at < doctype.size()) return false;
    return std::equal(
        doctype.begin(), doctype.end(), head.begin() + static_cast<long>(at),
        [](char want, char got) { return want == std::tolower(static_cast<unsigned char>(got)); });
}

}  // namespace

std::string output_problem(const std::string& output, const kdb::Target& database) {
    const kcli::PartFile file(output);
    if (database.engine == kdb::Target::Engine::SQLITE) {
        for (const std::string& written : {file.path(), file.write_path()}) {
            const std::optional<std::string> hit = database_file_at(written, database.where);
            if (!hit) continue;
            return "'" + written + "' is the " + (hit->empty() ? "" : *hit + " file of the ") +
                   "database " + database.where + ": the report never writes there";
        }
    }
    std::error_code ec;
    const fs::file_status status = fs::status(output, ec);
    if (fs::is_directory(status)) return "'" + output + "' is a directory";
    if (fs::is_regular_file(status) && !starts_like_html(output))
        return "'" + output +
               "' exists and is no HTML page; the report replaces only a page it wrote before";
    return {};
}

}  // namespace kreport
