// SPDX-License-Identifier: MIT
#include "modbus/machine_turns.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kolvane {
namespace {

// Gateways share the file in slots: the last reply's end (8 bytes) and, for locking only, a
// turn byte and a waiting byte per slot. Two gateways that meet in one slot share their turns,
// which costs time, never a busy answer.
constexpr off_t SLOTS = 4096;
constexpr off_t WAITING_BYTES = SLOTS * 8;
// A waiter looks for the turn this often; the one that had the last turn lets it go first by
// waiting a little longer than that.
constexpr int POLL_MS = 1;
constexpr int YIELD_MS = 3;

// FNV-1a over `size` bytes.
off_t slot_of(const unsigned char* bytes, size_t size) {
    uint64_t hash = 14695981039346656037ULL;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ULL;
    return off_t(hash % uint64_t(SLOTS));
}

// The slot of the gateway's address and port.
off_t slot_of(const sockaddr_storage& peer) {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    uint16_t port = 0;
    if (peer.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
        bytes = v6.sin6_addr.s6_addr;
        size = sizeof v6.sin6_addr.s6_addr;
        port = v6.sin6_port;
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
        bytes = reinterpret_cast<const unsigned char*>(&v4.sin_addr.s_addr);
        size = sizeof v4.sin_addr.s_addr;
        port = v4.sin_port;
    }
    unsigned char key[18] = {};
    std::memcpy(key, bytes, size);
    key[size] = uint8_t(port >> 8);
    key[size + 1] = uint8_t(port & 0xFF);
    return slot_of(key, size + 2);
}

// The slot of a serial line: its device's own path, so that a link to it shares its turns.
off_t slot_of(const std::string& device) {
    char* resolved = ::realpath(device.c_str(), nullptr);
    const std::string path = resolved != nullptr ? resolved : device;
    std::free(resolved);
    return slot_of(reinterpret_cast<const unsigned char*>(path.data()), path.size());
}

// Opens the file, creating it when nobody has: an existing file is opened without O_CREAT, which
// the kernel refuses to another user in a sticky directory such as /run/lock even when the file
// lets that user in.
int open_turn_file(const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT) return fd;
        const int created =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0660);
        if (created >= 0) {
            // The group may take turns too (the packages' kolvane group); nobody else, so no
            // other user can hold a gateway's turn.
            ::fchmod(created, 0660);
            return created;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::string MachineTurns::path() {
    return ::access("/run/lock", W_OK) == 0 ? "/run/lock/kolvane-gateways"
                                            : "/tmp/kolvane-gateways";
}

MachineTurns::MachineTurns(const sockaddr_storage& peer, const std::string& gateway)
    : MachineTurns(slot_of(peer), gateway) {}

MachineTurns::MachineTurns(const std::string& device) : MachineTurns(slot_of(device), device) {}

MachineTurns::MachineTurns(off_t slot, const std::string& gateway) : slot_(slot) {
    const std::string file = path();
    fd_ = open_turn_file(file);
    if (fd_ < 0) {
        const int error = errno;
        std::string message = "Cannot take turns at " + gateway + " with the other kolvane " +
                              "programs of this machine: " + file + ": " + std::strerror(error);
        if (error == EACCES || error == EPERM) {
            message += " (it belongs to another user's kolvane: run as that user or in its group)";
        }
        throw std::runtime_error(message);
    }
}

MachineTurns::~MachineTurns() {
    if (fd_ >= 0) ::close(fd_);  // closing the file gives up a turn still held
}

bool MachineTurns::lock(short type, off_t offset) const {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = offset;
    range.l_len = 1;
    while (::fcntl(fd_, F_OFD_SETLK, &range) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        throw std::runtime_error(std::string("Cannot lock the gateway turn file: ") +
                                 std::strerror(errno));
    }
    return true;
}

// Another client waits for this gateway: it holds the slot's waiting byte for reading.
bool MachineTurns::others_waiting() const {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = WAITING_BYTES + slot_;
    range.l_len = 1;
    return ::fcntl(fd_, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

bool MachineTurns::take(Clock::time_point end) {
    const off_t turn_byte = off_t(slot_ * 8);
    // The client that had the last turn lets a waiting one go first, so that a long transfer
    // lets other programs' requests in between its own.
    if (held_last_ && others_waiting()) ::poll(nullptr, 0, YIELD_MS);
    if (lock(F_WRLCK, turn_byte)) return held_ = true;
    const off_t waiting_byte = WAITING_BYTES + slot_;
    lock(F_RDLCK, waiting_byte);
    while (!(held_ = lock(F_WRLCK, turn_byte)) && Clock::now() < end) {
        ::poll(nullptr, 0, POLL_MS);
    }
    lock(F_UNLCK, waiting_byte);
    return held_;
}

MachineTurns::Clock::time_point MachineTurns::last_reply() const {
    int64_t nanoseconds = 0;
    if (::pread(fd_, &nanoseconds, sizeof nanoseconds, slot_ * 8) != sizeof nanoseconds) {
        nanoseconds = 0;  // no reply recorded yet
    }
    return Clock::time_point(std::chrono::nanoseconds(nanoseconds));
}

void MachineTurns::give_up(Clock::time_point reply_end) {
    if (!held_) return;
    const int64_t nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(reply_end.time_since_epoch()).count();
    // A record lost here costs at most one busy answer, which is retried.
    [[maybe_unused]] const ssize_t written =
        ::pwrite(fd_, &nanoseconds, sizeof nanoseconds, slot_ * 8);
    lock(F_UNLCK, off_t(slot_ * 8));
    held_ = false;
    held_last_ = true;
}

}  // namespace kolvane
