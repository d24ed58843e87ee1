// SPDX-License-Identifier: MIT
// Two linked pseudo-terminals made by a socat child, a serial line for the tests: the meter
// opens one end, the client the other.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/temp_dir.hpp"

namespace ktest {

// Throws when socat cannot start or its links do not appear, so the test fails.
class PtyPair {
public:
    PtyPair() {
        const std::string a = dir_.file("meter"), b = dir_.file("client");
        const std::string left = "pty,raw,echo=0,link=" + a;
        const std::string right = "pty,raw,echo=0,link=" + b;
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {  // only async-signal-safe calls from here on
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, 2);
            ::execlp("socat", "socat", left.c_str(), right.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (std::filesystem::exists(a) && std::filesystem::exists(b)) return;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("socat did not start (is it installed?)");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        stop();
        throw std::runtime_error("socat made no pseudo-terminals");
    }
    ~PtyPair() { stop(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    std::string meter_end() const { return dir_.file("meter"); }
    std::string client_end() const { return dir_.file("client"); }

    // Ends socat: both pseudo-terminals hang up, as a serial adapter that is pulled out.
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
};

}  // namespace ktest
