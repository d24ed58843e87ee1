// SPDX-License-Identifier: MIT
#include "common/meter_lock.hpp"

#include "common/host_port.hpp"
#include "common/interrupt.hpp"
#include "common/lock_file.hpp"
#include "common/output.hpp"

#include <unistd.h>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace kcli {
namespace {

// Every user's kolvane takes its locks in the same file, so their transfers keep apart too.
std::string lock_path() {
    const char* dir = ::access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
    return std::string(dir) + "/kolvane-meters.lock";
}

// The process's one open lock file, and the keys its threads hold: a lock of the open file does
// not keep the process's own threads apart.
struct Locks {
    std::mutex mutex;
    std::set<std::uint64_t> held;
    std::unique_ptr<LockFile> file;
    bool opened = false;

    bool try_lock(std::uint64_t key) {
        std::lock_guard lock(mutex);
        if (!opened) {
            opened = true;
            try {
                file = std::make_unique<LockFile>(lock_path(), 0666);
            } catch (const std::runtime_error& e) {
                print_diagnostic((std::string(e.what()) +
                                  ": transfers of other kolvane processes are not kept apart")
                                     .c_str());
            }
        }
        if (held.contains(key) || (file && !file->try_lock(key))) return false;
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

// FNV-1a over host, port and unit.
std::uint64_t key_of(const std::string& host, int port, int unit) {
    std::uint64_t hash = 14695981039346656037ULL;
    const std::string text = host + '\0' + std::to_string(port) + '\0' + std::to_string(unit);
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

}  // namespace

MeterLock::MeterLock(const std::string& host, int port, int unit, std::chrono::milliseconds wait)
    : address_(join_host_port(host, port)), unit_(unit), key_(key_of(host, port, unit)) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!(held_ = locks().try_lock(key_)) && !interrupted() &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

MeterLock::~MeterLock() {
    if (held_) locks().unlock(key_);
}

std::string MeterLock::busy_message() const {
    return "meter " + address_ + " unit " + std::to_string(unit_) +
           " is busy with another kolvane transfer";
}

}  // namespace kcli
