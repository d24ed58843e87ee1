// SPDX-License-Identifier: MIT
#include "common/output.hpp"

#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <iostream>

namespace kcli {
namespace {

// errno of the first failed write to standard output, 0 while all went well.
std::atomic<int> g_stdout_errno{0};

// Returns 0, or the errno of the failed write.
int write_all(int fd, const std::string& text) {
    sigset_t sigint, previous;
    sigemptyset(&sigint);
    sigaddset(&sigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &sigint, &previous);
    int error = 0;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}

}  // namespace

bool write_stdout_line(const std::string& text) {
    if (stdout_failed()) return false;
    const int error = write_all(STDOUT_FILENO, text + '\n');
    if (error == 0) return true;
    int none = 0;
    g_stdout_errno.compare_exchange_strong(none, error);
    return false;
}

void write_stderr_line(const std::string& text) { write_all(STDERR_FILENO, text + '\n'); }

void write_stderr_text(const std::string& text) { write_all(STDERR_FILENO, text); }

void print_diagnostic(const char* message) {
    write_stderr_line(std::string("kolvane: ") + message);
}

bool stdout_failed() { return g_stdout_errno != 0; }

int flush_stdout() {
    errno = 0;
    std::cout.flush();
    int error = g_stdout_errno;
    if (error == 0 && !std::cout) error = errno != 0 ? errno : EIO;
    return error;
}

}  // namespace kcli
