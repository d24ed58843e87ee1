// SPDX-License-Identifier: MIT
#include "common/lock_file.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

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

std::string user_name(uid_t uid) {
    std::vector<char> buffer(1024);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < 65536)
        buffer.resize(buffer.size() * 2);
    return found ? found->pw_name : std::to_string(uid);
}

// Opens the file, creating it when nobody has: an existing file is opened without O_CREAT,
// which the kernel refuses to another user in a sticky directory such as /run/lock even when
// the file lets that user in. Sets `created` when this call made it.
int open_or_create(const std::string& path, unsigned mode, bool& created) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT) return fd;
        const int made =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (made >= 0) {
            created = true;
            return made;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

LockFile::LockFile(const std::string& path, const LockFileCreation& creation) : path_(path) {
    bool created = false;
    fd_ = open_or_create(path, creation.mode, created);
    if (fd_ < 0) {
        const int error = errno;
        std::string message = "Cannot open lock file " + path + ": " + std::strerror(error);
        struct stat info {};
        if ((error == EACCES || error == EPERM) && ::stat(path.c_str(), &info) == 0)
            message += " (it belongs to user " + user_name(info.st_uid) +
                       ": run as that user or in its group)";
        throw std::runtime_error(message);
    }
    if (!created) return;
    // Only the file just made: the umask must not narrow it, and its owner is the creator's
    // choice, not something a later run changes.
    ::fchmod(fd_, creation.mode);
    if ((creation.owner != static_cast<uid_t>(-1) || creation.group != static_cast<gid_t>(-1)) &&
        ::fchown(fd_, creation.owner, creation.group) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        ::close(fd_);
        throw std::runtime_error("Cannot give lock file " + path +
                                 " its owner: " + std::strerror(error));
    }
}

LockFile::~LockFile() { ::close(fd_); }

bool LockFile::others_may_write() const {
    struct stat info {};
    return ::fstat(fd_, &info) != 0 || (info.st_mode & S_IWOTH) != 0;
}

std::string LockFile::mode_and_owner() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return "mode unknown";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string("mode ") + mode + ", user " + user_name(info.st_uid);
}

bool LockFile::try_lock(std::uint64_t key) {
    flock range = byte_of(key, F_WRLCK);
    while (::fcntl(fd_, F_OFD_SETLK, &range) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        throw std::runtime_error("Cannot lock in " + path_ + ": " + std::strerror(errno));
    }
    return true;
}

void LockFile::unlock(std::uint64_t key) {
    flock range = byte_of(key, F_UNLCK);
    ::fcntl(fd_, F_OFD_SETLK, &range);
}

}  // namespace kcli
