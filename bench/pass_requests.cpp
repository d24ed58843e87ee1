// SPDX-License-Identifier: MIT
// What a kolvane collect pass asks of the meters, run as the tool:
//  - one default em133 (3 data logs of 200 records, 300 events): the Modbus requests of a first
//    pass into a fresh SQLite database and of a resumed pass right after, with nothing new,
//    against the target of at most 100 requests per resumed pass;
//  - a gateway of 16 such meters with small logs, 20 ms per reply, answering busy to a request
//    that comes sooner than 20 ms after its last reply, every hosts line gap=25: the wall time
//    and the requests of a first and of a resumed pass.
// KOLVANE_BENCH_TOOL names another kolvane binary to measure instead of this build's (an older
// build, for before-and-after figures); the tool gets only options every release knows.
// Prints figures; nothing passes or fails.
#include "support/measure.hpp"

#include "simulator.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t TARGET_RESUMED = 100;  // requests per resumed pass of one meter
constexpr int METER_RECORDS = 200;           // in each data log of the single meter
constexpr int METER_EVENTS = 300;
constexpr int GATEWAY_UNITS = 16;
constexpr int GATEWAY_RECORDS = 24;  // three blocks of 8 in each data log
constexpr int GATEWAY_EVENTS = 32;   // two blocks of 16
constexpr auto LATENCY = std::chrono::milliseconds(20);
constexpr auto MIN_GAP = std::chrono::milliseconds(20);  // sooner than this after a reply: busy
constexpr int HOSTS_GAP_MS = 25;

// The requests a simulator received, and how many of them it answered busy.
struct Counter {
    std::atomic<std::size_t> requests{0};
    std::atomic<std::size_t> busy{0};
    void watch(ksim::Simulator& sim) {
        sim.set_request_observer([this](const ksim::Request& request) {
            ++requests;
            if (request.exception == 6) ++busy;
        });
    }
};

// One run of the tool: its exit status, wall time and the meters' JSON lines.
struct Run {
    int status = -1;
    double seconds = 0;
    int meters = 0;    // JSON lines printed
    int complete = 0;  // of them "complete":true
    std::size_t requests = 0;
    std::size_t busy = 0;
};

// Runs `tool collect ARGS`, standard output to `out`, standard error to `err`; returns the exit
// status (-1 when it could not be run or was killed).
int run_tool(const std::string& tool, const std::vector<std::string>& args, const fs::path& out,
             const fs::path& err) {
    std::vector<std::string> words = {tool, "collect"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out_fd < 0 || err_fd < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) _exit(127);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Run collect(const std::string& tool, const std::vector<std::string>& args, Counter& counter,
            const fs::path& dir, const std::string& name) {
    const fs::path out = dir / (name + ".out"), err = dir / (name + ".err");
    const std::size_t requests = counter.requests, busy = counter.busy;
    Run run;
    const auto start = kbench::Clock::now();
    run.status = run_tool(tool, args, out, err);
    run.seconds = kbench::seconds_since(start);
    run.requests = counter.requests - requests;
    run.busy = counter.busy - busy;
    std::ifstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] != '{') continue;
        ++run.meters;
        if (line.find("\"complete\":true") != std::string::npos) ++run.complete;
    }
    if (run.status != 0) {
        std::ifstream errors(err);
        std::string first;
        std::getline(errors, first);
        std::printf("    (%s: exit status %d%s%s)\n", name.c_str(), run.status,
                    first.empty() ? "" : ", ", first.c_str());
    }
    return run;
}

std::string outcome(const Run& run) {
    return std::to_string(run.complete) + " of " + std::to_string(run.meters) + " meters complete";
}

void one_meter(const std::string& tool, const fs::path& dir) {
    ksim::Simulator sim(
        ksim::default_meter(ksim::Model::em133, METER_RECORDS, std::time(nullptr), METER_EVENTS));
    Counter counter;
    counter.watch(sim);
    sim.set_journal_enabled(false);
    sim.start();
    const std::vector<std::string> args = {"127.0.0.1:" + std::to_string(sim.port()), "-m", "em133",
                                           "--db", (dir / "meter.db").string()};
    const Run first = collect(tool, args, counter, dir, "meter-first");
    const Run resumed = collect(tool, args, counter, dir, "meter-resumed");
    std::printf("one em133 (3 data logs of %d records, %d events), Modbus requests per pass:\n",
                METER_RECORDS, METER_EVENTS);
    std::printf("  first pass, fresh SQLite database   %6zu  (%s)\n", first.requests,
                outcome(first).c_str());
    std::printf("  resumed pass, nothing new           %6zu  (%s)  target <= %zu: %s\n",
                resumed.requests, outcome(resumed).c_str(), TARGET_RESUMED,
                resumed.requests <= TARGET_RESUMED ? "met" : "not met");
}

void gateway(const std::string& tool, const fs::path& dir) {
    ksim::Simulator sim(ksim::Model::em133);
    for (int unit = 1; unit <= GATEWAY_UNITS; ++unit) {
        ksim::Meter meter = ksim::default_meter(ksim::Model::em133, GATEWAY_RECORDS,
                                                std::time(nullptr), GATEWAY_EVENTS);
        meter.identity->serial = static_cast<std::uint32_t>(1300000 + unit);  // one serial each
        sim.add_unit(static_cast<std::uint8_t>(unit), meter);
    }
    Counter counter;
    counter.watch(sim);
    sim.set_journal_enabled(false);
    sim.set_latency(LATENCY);
    sim.set_min_gap(MIN_GAP);
    sim.start();
    const fs::path hosts = dir / "gateway.txt";
    {
        std::ofstream file(hosts);
        for (int unit = 1; unit <= GATEWAY_UNITS; ++unit)
            file << "127.0.0.1:" << sim.port() << " em133 unit=" << unit << " gap=" << HOSTS_GAP_MS
                 << "\n";
    }
    const std::vector<std::string> args = {"--hosts", hosts.string(), "--db",
                                           (dir / "gateway.db").string()};
    const Run first = collect(tool, args, counter, dir, "gateway-first");
    const Run resumed = collect(tool, args, counter, dir, "gateway-resumed");
    std::printf(
        "a gateway of %d em133 (3 data logs of %d records, %d events each), %lld ms per reply, "
        "busy sooner than %lld ms after a reply, gap=%d on every line:\n",
        GATEWAY_UNITS, GATEWAY_RECORDS, GATEWAY_EVENTS, static_cast<long long>(LATENCY.count()),
        static_cast<long long>(MIN_GAP.count()), HOSTS_GAP_MS);
    for (const auto& [name, run] : {std::pair{"first pass  ", first}, {"resumed pass", resumed}}) {
        std::printf(
            "  %s %7.2f s  %6zu requests (%.1f per meter, %.1f ms each), %zu answered busy  (%s)\n",
            name, run.seconds, run.requests, double(run.requests) / GATEWAY_UNITS,
            run.requests ? 1000.0 * run.seconds / double(run.requests) : 0.0, run.busy,
            outcome(run).c_str());
    }
}

}  // namespace

int main() {
    const char* other = std::getenv("KOLVANE_BENCH_TOOL");
    const std::string tool = other && *other ? other : KOLVANE_TOOL;
    if (::access(tool.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "bench_pass_requests: cannot run %s\n", tool.c_str());
        return 1;
    }
    const fs::path dir =
        fs::temp_directory_path() / ("kolvane-bench-pass-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::printf("tool: %s%s\n", tool.c_str(), other && *other ? " (KOLVANE_BENCH_TOOL)" : "");
    one_meter(tool, dir);
    gateway(tool, dir);
    fs::remove_all(dir);
    return 0;
}
