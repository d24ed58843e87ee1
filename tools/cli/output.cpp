#include "output.hpp"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace kcli {
namespace {

void write_all(int fd, const std::string& text) {
    sigset_t sigint, previous;
    sigemptyset(&sigint);
    sigaddset(&sigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &sigint, &previous);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // a closed pipe or full disk: nothing more to do with this line
        done += static_cast<std::size_t>(n);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

void write_stdout_line(const std::string& text) { write_all(STDOUT_FILENO, text + '\n'); }

void write_stderr_line(const std::string& text) { write_all(STDERR_FILENO, text + '\n'); }

void write_stderr_text(const std::string& text) { write_all(STDERR_FILENO, text); }

}  // namespace kcli
