// SPDX-License-Identifier: MIT
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace cli_test {

Process::Process(const std::vector<std::string>& argv, const Redirect& redirect) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        if (redirect.output_path.empty()) {
            dup2(out[1], STDOUT_FILENO);
        } else {
            const int file = open(redirect.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file < 0) _exit(127);
            dup2(file, STDOUT_FILENO);
            close(file);
        }
        dup2(err[1], STDERR_FILENO);
        close(in[0]), close(in[1]), close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The input is small: it fits the pipe, and the program sees its end at once.
    if (!redirect.input.empty() && ::write(in[1], redirect.input.data(), redirect.input.size()) < 0)
        ADD_FAILURE() << "cannot write the program's standard input";
    close(in[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    if (!redirect.output_path.empty()) {
        close(out_fd_);
        out_fd_ = -1;
    }
}

Process::~Process() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

std::string Process::read_line(int fd, std::string& buffer, std::string& consumed) {
    for (;;) {
        const std::size_t newline = buffer.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer.substr(0, newline);
            consumed += buffer.substr(0, newline + 1);
            buffer.erase(0, newline + 1);
            return line;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string Process::read_out_line() { return read_line(out_fd_, out_buffer_, out_seen_); }

std::string Process::read_err_line() { return read_line(err_fd_, err_buffer_, err_seen_); }

void Process::signal(int sig) const { kill(pid_, sig); }

Outcome Process::finish() {
    Outcome outcome;
    outcome.out = out_seen_ + out_buffer_;
    outcome.err = err_seen_ + err_buffer_;
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    std::string* texts[2] = {&outcome.out, &outcome.err};
    for (int open = (out_fd_ >= 0) + (err_fd_ >= 0); open > 0;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[65536];
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                texts[i]->append(chunk, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

Outcome run_tool(const std::vector<std::string>& args, const Redirect& redirect) {
    std::vector<std::string> argv{KOLVANE_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return Process(argv, redirect).finish();
}

Simulator::Simulator(const std::vector<std::string>& args)
    : process_([&args] {
          std::vector<std::string> argv{KOLVANE_SIM};
          argv.insert(argv.end(), args.begin(), args.end());
          return argv;
      }()) {
    // "kolvane-sim: em133 listening on 127.0.0.1:40123"
    const std::string first = process_.read_out_line();
    const std::size_t colon = first.rfind(':');
    if (first.find(" listening on 127.0.0.1:") != std::string::npos && colon != std::string::npos)
        port_ = std::stoi(first.substr(colon + 1));
}

int closed_port() {
    // Bind a port, then close it: nothing listens there afterwards.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {

std::filesystem::path scratch_root() {
    return std::filesystem::temp_directory_path() / ("kolvane_cli_" + std::to_string(getpid()));
}

// Removes the directories of fresh_dir when the test program ends.
class ScratchCleanup : public ::testing::Environment {
    void TearDown() override { std::filesystem::remove_all(scratch_root()); }
};

[[maybe_unused]] ::testing::Environment* const g_cleanup =
    ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

}  // namespace

std::string fresh_dir(const std::string& name) {
    const auto dir = scratch_root() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace cli_test
