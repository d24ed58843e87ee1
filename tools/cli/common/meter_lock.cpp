// SPDX-License-Identifier: MIT
#include "common/meter_lock.hpp"

#include "common/connected_address.hpp"
#include "common/host_port.hpp"
#include "common/interrupt.hpp"
#include "common/lock_file.hpp"

#include <grp.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kcli {
namespace {

// Every user's kolvane takes its locks in the same file, so their transfers keep apart too.
// KOLVANE_LOCK_DIR moves it, so that tests keep away from the machine's.
std::string lock_path() {
    const char* chosen = std::getenv("KOLVANE_LOCK_DIR");
    const std::string dir = chosen && *chosen                  ? chosen
                            : ::access("/run/lock", W_OK) == 0 ? "/run/lock"
                                                               : "/tmp";
    return dir + "/kolvane-meters.lock";
}

// The packages' group, whose services and admins share the file; -1 when there is none.
gid_t kolvane_group() {
    std::vector<char> buffer(1024);
    group entry{};
    group* found = nullptr;
    while (::getgrnam_r("kolvane", &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < 65536)
        buffer.resize(buffer.size() * 2);
    return found ? found->gr_gid : static_cast<gid_t>(-1);
}

// Made 0660, in the kolvane group when root makes it: no other user may hold a meter's lock.
// One that anyone may write is refused, as its locks keep nothing apart.
std::unique_ptr<LockFile> open_machine_file() {
    const std::string path = lock_path();
    LockFileCreation creation{0660};
    if (::geteuid() == 0) creation.group = kolvane_group();
    auto file = std::make_unique<LockFile>(path, creation);
    if (file->others_may_write())
        throw std::runtime_error("Cannot use lock file " + path + ": any user may write it (" +
                                 file->mode_and_owner() +
                                 "), so its locks keep nothing apart: remove it");
    return file;
}

// The process's one open lock file, and the keys its threads hold: a lock of the open file does
// not keep the process's own threads apart.
struct Locks {
    std::mutex mutex;
    std::set<std::uint64_t> held;
    std::unique_ptr<LockFile> file;

    // Throws std::runtime_error when the lock file cannot be used; opening is tried again on
    // the next call, so a long-running collect recovers once the file is put right.
    bool try_lock(std::uint64_t key) {
        std::lock_guard lock(mutex);
        if (held.contains(key)) return false;
        if (!file) file = open_machine_file();
        if (!file->try_lock(key)) return false;
        held.insert(key);
        return true;
    }
    void unlock(std::uint64_t key) {
        std::lock_guard lock(mutex);
        if (file) file->unlock(key);
        held.erase(key);
    }
};

Locks& locks() {
    static Locks instance;
    return instance;
}

// FNV-1a over the address connected to, port and unit; over the host as written when it does
// not resolve (the connection fails then anyway).
std::uint64_t key_of(const std::string& host, int port, int unit) {
    std::string text;
    if (const auto address = connected_address(host))
        text = std::to_string(address->family) + '\0' + address->bytes;
    else
        text = "name" + std::string(1, '\0') + host;
    text += '\0' + std::to_string(port) + '\0' + std::to_string(unit);
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

}  // namespace

MeterLock::MeterLock(const std::string& host, int port, int unit, std::chrono::milliseconds wait)
    : address_(join_host_port(host, port)), unit_(unit), key_(key_of(host, port, unit)) {
    const auto until = std::chrono::steady_clock::now() + wait;
    try {
        while (!(held_ = locks().try_lock(key_)) && !interrupted() &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } catch (const std::runtime_error& e) {
        error_ = e.what();
    }
}

MeterLock::~MeterLock() {
    if (held_) locks().unlock(key_);
}

std::string MeterLock::busy_message() const {
    return "meter " + address_ + " unit " + std::to_string(unit_) +
           " is busy with another kolvane transfer";
}

}  // namespace kcli
