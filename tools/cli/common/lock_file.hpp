// SPDX-License-Identifier: MIT
// Locks on the bytes of one file, one byte per key. They belong to the open file, so threads of
// one process holding different keys exclude each other like processes do, and the kernel
// releases every lock of a process that dies, however it dies: a killed kolvane never leaves a
// meter locked.
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>

namespace kcli {

// How a lock file is made when it does not exist yet.
struct LockFileCreation {
    unsigned mode;                         // exactly this, whatever the umask
    uid_t owner = static_cast<uid_t>(-1);  // -1: the creating process's
    gid_t group = static_cast<gid_t>(-1);
};

class LockFile {
public:
    // Opens the file at `path`, or creates it as `creation` says. A file that exists keeps its
    // mode and owner: whoever made it decided who may lock in it. Throws std::runtime_error with
    // a one-line message naming the file and the cause.
    LockFile(const std::string& path, const LockFileCreation& creation);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Any user may write the file, and so hold or block any lock in it.
    bool others_may_write() const;
    // "mode 0666, user alice"
    std::string mode_and_owner() const;

    // Takes the lock of `key` if no one holds it; false when another holder has it.
    bool try_lock(std::uint64_t key);
    void unlock(std::uint64_t key);

private:
    std::string path_;
    int fd_;
};

}  // namespace kcli
