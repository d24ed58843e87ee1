// SPDX-License-Identifier: MIT
// Locks on the bytes of one file, one byte per key. They belong to the open file, so threads of
// one process holding different keys exclude each other like processes do, and the kernel
// releases every lock of a process that dies, however it dies: a killed kolvane never leaves a
// meter locked.
#pragma once

#include <cstdint>
#include <string>

namespace kcli {

class LockFile {
public:
    // Opens (creating it with `mode`) the file at `path`; throws std::runtime_error with a
    // one-line message when that fails.
    LockFile(const std::string& path, unsigned mode);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Takes the lock of `key` if no one holds it; false when another holder has it.
    bool try_lock(std::uint64_t key);
    void unlock(std::uint64_t key);

private:
    int fd_;
};

}  // namespace kcli
