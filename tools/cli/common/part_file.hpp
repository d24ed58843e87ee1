// SPDX-License-Identifier: MIT
// A CSV file written as FILE.part and renamed to FILE only once complete, so that a failed or
// interrupted export never destroys a good FILE.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kcli {

class PartFile {
public:
    explicit PartFile(const std::string& path);

    // Where the export writes: FILE.part, or FILE itself when that is no regular file (a pipe,
    // /dev/stdout) and cannot be replaced.
    const std::string& write_path() const { return write_path_; }
    // The file the user named.
    const std::string& path() const { return path_; }

    // Puts the finished file in place. Returns false with `error` set when that fails; the part
    // file then stays.
    bool commit(std::string& error) const;
    // Removes what this export wrote (nothing worth keeping, or a log the meter does not have).
    // A part file that it never touched holds an earlier attempt's rows and stays.
    void remove() const;

private:
    std::string path_;
    std::string target_;  // path_ with a symbolic link followed, so the link stays
    std::string write_path_;
    std::optional<std::filesystem::file_time_type>
        earlier_;  // the part file's time before the export
};

}  // namespace kcli
