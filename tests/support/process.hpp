// SPDX-License-Identifier: MIT
// Child processes for the end-to-end tests: the kolvane tool and the kolvane-sim meter.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace cli_test {

struct Outcome {
    int exit_status = -1;  // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Where a program's standard input comes from and its standard output goes.
struct Redirect {
    std::string input;        // written to standard input, which then ends
    std::string output_path;  // standard output into this file (e.g. /dev/full) instead of a pipe
};

// A running program with its standard output and standard error on pipes.
class Process {
public:
    explicit Process(const std::vector<std::string>& argv, const Redirect& redirect = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The next line of standard output or standard error (without the line feed); the text
    // read so far is kept for finish(). Empty at end of stream.
    std::string read_out_line();
    std::string read_err_line();

    void signal(int sig) const;
    pid_t pid() const { return pid_; }
    // Reads both streams to their end and waits for the exit.
    Outcome finish();

private:
    std::string read_line(int fd, std::string& buffer, std::string& consumed);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_buffer_, err_buffer_, out_seen_, err_seen_;
};

// Runs `kolvane` with `args` to its end.
Outcome run_tool(const std::vector<std::string>& args, const Redirect& redirect = {});

// kolvane-sim on a kernel-chosen port (or the port named in `args`), stopped on destruction.
class Simulator {
public:
    explicit Simulator(const std::vector<std::string>& args = {});
    // The bound port, 0 when the simulator did not start (e.g. the port was taken).
    int port() const { return port_; }
    std::string port_text() const { return std::to_string(port_); }

private:
    Process process_;
    int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on.
int closed_port();

// The lines of `text`, each without its line feed.
std::vector<std::string> lines_of(const std::string& text);

// A fresh empty directory under the test's temporary directory.
std::string fresh_dir(const std::string& name);

std::string read_file(const std::string& path);

}  // namespace cli_test
