// SPDX-License-Identifier: MIT
// Programs of the build tree copied to where another user can run them. A test that runs a
// program as another user (runuser -u nobody) cannot run the build tree's own when the checkout
// lies under a private directory (a home of mode 0700, mktemp -d): the copies lie in a fresh
// directory under the temporary directory that every user may read and search.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ktest {

class ReachableCopy {
public:
    // Copies `program` and the shared libraries of the build tree it loads (`libraries`, each
    // under the name it is loaded by, e.g. libkolvane.so.1; symbolic links are followed).
    // Throws when a file cannot be copied, so that the test fails.
    ReachableCopy(const std::string& program, const std::vector<std::string>& libraries) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "kolvane-reachable-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        dir_ = pattern;
        const fs::perms everyone = fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec;
        fs::permissions(dir_, everyone);
        for (const std::string& library : libraries) copy(library, everyone);
        program_ = copy(program, everyone);
    }
    ~ReachableCopy() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ReachableCopy(const ReachableCopy&) = delete;
    ReachableCopy& operator=(const ReachableCopy&) = delete;

    // The command line that runs the copied program with `args`, its libraries taken from the
    // copies (the library path comes before the build tree's run path).
    std::vector<std::string> command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"/usr/bin/env", "LD_LIBRARY_PATH=" + dir_, program_};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

private:
    std::string copy(const std::string& file, std::filesystem::perms perms) const {
        namespace fs = std::filesystem;
        const std::string target = dir_ + "/" + fs::path(file).filename().string();
        fs::copy_file(file, target, fs::copy_options::overwrite_existing);
        fs::permissions(target, perms);
        return target;
    }

    std::string dir_;
    std::string program_;
};

}  // namespace ktest
