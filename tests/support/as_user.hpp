// SPDX-License-Identifier: MIT
// The kolvane tool run as another user, for the tests of what one user's files let another do.
// The tests run as root; the forked child drops to the user's ids and groups before it runs the
// tool.
#pragma once

#include "support/process.hpp"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <string>
#include <vector>

namespace cli_test {

struct User {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups = {};  // supplementary
};
inline const User NOBODY{65534, 65534};  // nobody:nogroup

// The whole content of a temporary file, which is closed.
inline std::string taken_text(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

// Runs `kolvane` with `args` as `user` to its end; exit status 126 when the child could not
// become the user.
inline Outcome run_tool_as(const User& user, const std::vector<std::string>& args) {
    std::vector<std::string> argv{KOLVANE_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    if (out == nullptr || err == nullptr) throw std::runtime_error("tmpfile failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::fileno(out), STDOUT_FILENO);
        ::dup2(::fileno(err), STDERR_FILENO);
        if (::setgroups(user.groups.size(), user.groups.data()) != 0 ||
            ::setresgid(user.gid, user.gid, user.gid) != 0 ||
            ::setresuid(user.uid, user.uid, user.uid) != 0)
            ::_exit(126);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, taken_text(out), taken_text(err)};
}

}  // namespace cli_test
