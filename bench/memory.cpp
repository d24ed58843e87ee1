// SPDX-License-Identifier: MIT
// Streaming and memory: data logs of 10 and of 65,535 records of 16 columns, each read by
// kolvane_read_datalog (counting callback) and by kolvane_export_datalog_ex (CSV to /dev/null)
// in a child process of its own (this program run again with --child); its peak resident memory
// is ru_maxrss from wait4. The simulator serves from a third process: a child's ru_maxrss also
// counts the pages it had when forked, so the forking parent must stay small. A log that streams
// needs the same peak whatever its length.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/datalog_meter.hpp"
#include "support/measure.hpp"

namespace {

constexpr int ROUNDS = 3;
struct Log {
    int file_id;
    int records;
};
constexpr Log LOGS[] = {{1, 10}, {2, 65535}};
const char* const MODES[] = {"read", "export"};

int count_record(const char*, void* user) {
    ++*static_cast<int*>(user);
    return 0;
}

// The child: one operation; prints "<records> <seconds>".
int child(const char* port, int file_id, const std::string& mode) {
    const std::string options = std::string("{\"port\":") + port + "}";
    char err[256];
    int records = 0;
    const auto start = kbench::Clock::now();
    const int n =
        mode == "read"
            ? kolvane_read_datalog("127.0.0.1", "em133", file_id, options.c_str(), count_record,
                                   &records, err, sizeof err)
            : kolvane_export_datalog_ex("127.0.0.1", "em133", file_id, "/dev/null", options.c_str(),
                                        nullptr, nullptr, err, sizeof err);
    const double seconds = kbench::seconds_since(start);
    if (n < 0) {
        std::fprintf(stderr, "bench_memory child: %s\n", err);
        return 1;
    }
    std::printf("%d %.6f\n", n, seconds);
    return 0;
}

// Forks the simulator's process; it serves until `control` is closed. Returns its port.
struct SimProcess {
    pid_t pid = -1;
    int control = -1;
    std::uint16_t port = 0;
};

SimProcess start_sim_process() {
    int port_pipe[2], control[2];
    if (pipe2(port_pipe, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    SimProcess sim;
    sim.pid = fork();
    if (sim.pid == 0) {
        close(control[1]);
        ksim::Meter meter = ksim::default_meter(ksim::Model::em133, 1);
        for (const Log& log : LOGS) kbench::add_datalog(meter, log.file_id, log.records);
        ksim::Simulator server(meter);
        server.set_journal_enabled(false);
        const std::uint16_t port = server.start();
        if (write(port_pipe[1], &port, sizeof port) != sizeof port) _exit(1);
        char byte;
        while (read(control[0], &byte, 1) > 0) {}
        server.stop();
        _exit(0);
    }
    close(port_pipe[1]);
    close(control[0]);
    sim.control = control[1];
    if (read(port_pipe[0], &sim.port, sizeof sim.port) != sizeof sim.port)
        throw std::runtime_error("simulator failed");
    close(port_pipe[0]);
    return sim;
}

struct Result {
    int records = 0;
    double seconds = 0;
    long peak_kib = 0;
};

Result run_child(const std::string& port, int file_id, const char* mode) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const std::string file = std::to_string(file_id);
        execl("/proc/self/exe", "bench_memory", "--child", port.c_str(), file.c_str(), mode,
              nullptr);
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(std::string("child failed: ") + mode);
    }
    Result result;
    result.peak_kib = usage.ru_maxrss;
    if (std::sscanf(text.c_str(), "%d %lf", &result.records, &result.seconds) != 2) {
        throw std::runtime_error("child printed no result");
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], std::atoi(argv[3]), argv[4]);

    const int cpu = kbench::pin_to_current_cpu();
    const SimProcess sim = start_sim_process();
    const std::string port = std::to_string(sim.port);

    std::printf(
        "memory: data logs of %d and %d records of %d columns, %d records per block; each "
        "operation in a child process; medians of %d alternating rounds; CPU %d\n",
        LOGS[0].records, LOGS[1].records, kbench::COLUMNS, kbench::RECORDS_PER_BLOCK, ROUNDS, cpu);
    for (const char* mode : MODES) {
        std::vector<double> peak[2], rate[2];
        for (int round = 0; round < ROUNDS; ++round) {
            for (int i = 0; i < 2; ++i) {
                const Result r = run_child(port, LOGS[i].file_id, mode);
                if (r.records != LOGS[i].records) throw std::runtime_error("wrong record count");
                peak[i].push_back(double(r.peak_kib));
                rate[i].push_back(r.records / r.seconds);
            }
        }
        const double p0 = kbench::median(peak[0]), p1 = kbench::median(peak[1]);
        std::printf(
            "  %-36s peak RSS %7.0f KiB (%5d records) | %7.0f KiB (%5d records) | "
            "difference %+.0f KiB (target: within about 1024)\n",
            std::strcmp(mode, "read") == 0 ? "kolvane_read_datalog (callback)"
                                           : "kolvane_export_datalog_ex (/dev/null)",
            p0, LOGS[0].records, p1, LOGS[1].records, p1 - p0);
        std::printf(
            "  %-36s records/s %7.0f (%5d records, connection and setup included) | %7.0f (%5d "
            "records)\n",
            "", kbench::median(rate[0]), LOGS[0].records, kbench::median(rate[1]), LOGS[1].records);
    }
    close(sim.control);
    waitpid(sim.pid, nullptr, 0);
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_memory: %s\n", failure.what());
    return 1;
}
