// SPDX-License-Identifier: MIT
#include "common/lock_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kcli {
namespace {

// Keys become byte offsets; off_t is signed, so the top bit is left out.
flock byte_of(std::uint64_t key, short type) {
    flock range{};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(key & 0x7FFFFFFFFFFFFFFFULL);
    range.l_len = 1;
    return range;
}

}  // namespace

LockFile::LockFile(const std::string& path, unsigned mode)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode)) {
    if (fd_ < 0)
        throw std::runtime_error("Cannot open lock file " + path + ": " + std::strerror(errno));
    // The creator's umask must not keep other users' collectors out of a shared lock file.
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && info.st_uid == ::geteuid()) ::fchmod(fd_, mode);
}

LockFile::~LockFile() { ::close(fd_); }

bool LockFile::try_lock(std::uint64_t key) {
    flock range = byte_of(key, F_WRLCK);
    while (::fcntl(fd_, F_OFD_SETLK, &range) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        throw std::runtime_error(std::string("Cannot lock: ") + std::strerror(errno));
    }
    return true;
}

void LockFile::unlock(std::uint64_t key) {
    flock range = byte_of(key, F_UNLCK);
    ::fcntl(fd_, F_OFD_SETLK, &range);
}

}  // namespace kcli
