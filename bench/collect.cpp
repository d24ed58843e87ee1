// SPDX-License-Identifier: MIT
// kolvane collect, run as the tool, over simulated meters served in this process: 16 meters of
// 3 data logs (2880 records x 16 columns) and 300 events into SQLite and PostgreSQL with --jobs 4
// and 16, against the same transfers with nothing stored (the library's raw speed); the peak RSS
// when the logs grow tenfold; the all-duplicates rerun; 200 small meters with --jobs 32; and
// kolvane backfill of what was collected, as OpenMetrics for Prometheus.
// Prints figures; nothing passes or fails.
#include "support/datalog_meter.hpp"
#include "support/measure.hpp"
#include "support/postgres_server.hpp"

#include <kolvane.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Site {
    std::vector<std::unique_ptr<ksim::Simulator>> meters;
    long records = 0;  // data log records and events over all meters

    Site(int count, int records_per_log, int events) {
        for (int m = 0; m < count; ++m) {
            ksim::Meter meter =
                ksim::default_meter(ksim::Model::em133, 0, std::time(nullptr), events);
            meter.identity->serial = 900000u + static_cast<std::uint32_t>(m);
            for (int file = 1; file <= 3; ++file) kbench::add_datalog(meter, file, records_per_log);
            auto sim = std::make_unique<ksim::Simulator>(meter);
            sim->set_journal_enabled(false);
            sim->start();
            meters.push_back(std::move(sim));
            records += 3L * records_per_log + events;
        }
    }
    std::vector<std::string> hosts() const {
        std::vector<std::string> list;
        for (const auto& sim : meters) list.push_back("127.0.0.1:" + std::to_string(sim->port()));
        return list;
    }
};

extern "C" int count_record(const char*, void* user) {
    ++*static_cast<std::atomic<long>*>(user);
    return 0;
}

// The same transfers as a collection, records counted and dropped: the library's raw speed.
double transfer_only(const Site& site, int jobs) {
    std::atomic<std::size_t> next{0};
    std::atomic<long> records{0};
    const auto start = kbench::Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < jobs; ++t) {
        workers.emplace_back([&] {
            char err[256];
            for (std::size_t i; (i = next++) < site.meters.size();) {
                const std::string options =
                    "{\"port\":" + std::to_string(site.meters[i]->port()) + "}";
                for (int file = 1; file <= 3; ++file)
                    kolvane_read_datalog("127.0.0.1", "em133", file, options.c_str(), count_record,
                                         &records, err, sizeof err);
                kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), count_record,
                                      &records, err, sizeof err);
            }
        });
    }
    for (auto& w : workers) w.join();
    return kbench::seconds_since(start);
}

struct Run {
    int status = -1;
    double seconds = 0;
    long peak_rss_kib = 0;
    int peak_fds = 0;
    int peak_threads = 0;
};

int count_fds(pid_t pid) {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

// A number from /proc/PID/status ("Threads:", "VmHWM:" in KiB), 0 once the process is gone.
long status_value(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return 0;
}

// Runs the tool with its output discarded, sampling its descriptors and threads.
Run run_tool(const std::vector<std::string>& args) {
    Run run;
    const auto start = kbench::Clock::now();
    // posix_spawn returns once the tool runs: no sample ever sees this process's memory in the
    // child.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&files,
                                             3);  // the simulators' sockets are not the tool's
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (failed) return run;
    // The tool's own high-water mark, sampled while it runs.
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.peak_fds = std::max(run.peak_fds, count_fds(pid));
        run.peak_threads =
            std::max(run.peak_threads, static_cast<int>(status_value(pid, "Threads:")));
        run.peak_rss_kib = std::max(run.peak_rss_kib, status_value(pid, "VmHWM:"));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = kbench::seconds_since(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Run collect(const Site& site, const std::string& db, int jobs) {
    std::vector<std::string> args{
        KOLVANE_TOOL, "collect",         "-m", "em133", "--db", db, "--jobs", std::to_string(jobs),
        "--only",     "datalog,eventlog"};
    for (const auto& h : site.hosts()) args.push_back(h);
    return run_tool(args);
}

void print(const char* what, const Run& run, long rows, double raw_seconds) {
    std::printf("  %-34s %6.2f s  %8.0f rows/s  peak RSS %6.1f MiB", what, run.seconds,
                static_cast<double>(rows) / run.seconds,
                static_cast<double>(run.peak_rss_kib) / 1024.0);
    if (raw_seconds > 0) std::printf("  %.2f x transfer-only", run.seconds / raw_seconds);
    if (run.status != 0) std::printf("  (exit status %d)", run.status);
    std::printf("\n");
}

std::string fresh_sqlite(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "kolvane-bench-collect";
    std::filesystem::create_directories(dir);
    const auto path = dir / (name + ".db");
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
    return path.string();
}

// The path fresh_sqlite gave `name`, as the run left it.
std::string fresh_sqlite_kept(const std::string& name) {
    return (std::filesystem::temp_directory_path() / "kolvane-bench-collect" / (name + ".db"))
        .string();
}

}  // namespace

int main() {
    const Site site(16, 2880, 300);
    std::printf(
        "16 meters, 3 data logs of 2880 records x 16 columns and 300 events each: %ld records\n",
        site.records);
    std::unique_ptr<ktest::PostgresServer> postgres;
    try {
        postgres = std::make_unique<ktest::PostgresServer>();
    } catch (const std::exception& e) {
        std::printf("  PostgreSQL figures left out: %s\n", e.what());
    }
    for (const int jobs : {4, 16}) {
        const double raw = transfer_only(site, jobs);
        std::printf("--jobs %d: transfer only (nothing stored) %.2f s, %.0f records/s\n", jobs, raw,
                    static_cast<double>(site.records) / raw);
        const std::string sqlite = fresh_sqlite("jobs" + std::to_string(jobs));
        print("SQLite, first run", collect(site, sqlite, jobs), site.records, raw);
        print("SQLite, rerun (all duplicates)", collect(site, sqlite, jobs), site.records, raw);
        if (postgres) {
            const std::string uri = postgres->create_database("bench" + std::to_string(jobs));
            print("PostgreSQL, first run", collect(site, uri, jobs), site.records, raw);
            print("PostgreSQL, rerun (all duplicates)", collect(site, uri, jobs), site.records,
                  raw);
        }
    }

    // The SQLite of --jobs 16 as history for Prometheus: every data log value one sample.
    {
        const long records = site.records - 16L * 300;  // data log records, events left out
        const Run run = run_tool({KOLVANE_TOOL, "backfill", "--db", fresh_sqlite_kept("jobs16")});
        std::printf(
            "kolvane backfill of that SQLite to OpenMetrics: %.2f s, %.0f records/s (%.0f "
            "samples/s "
            "of 16 columns), peak RSS %.1f MiB%s\n",
            run.seconds, static_cast<double>(records) / run.seconds,
            16.0 * static_cast<double>(records) / run.seconds,
            static_cast<double>(run.peak_rss_kib) / 1024.0, run.status == 0 ? "" : " (failed)");
    }

    std::printf("peak RSS as the logs grow tenfold (4 meters, --jobs 4, SQLite):\n");
    for (const int records : {2880, 28800}) {
        const Site small(4, records, 300);
        const Run run = collect(small, fresh_sqlite("rss" + std::to_string(records)), 4);
        std::printf("  %5d records per log: %6.2f s, peak RSS %.1f MiB\n", records, run.seconds,
                    static_cast<double>(run.peak_rss_kib) / 1024.0);
    }

    const Site many(200, 96, 20);
    const Run run = collect(many, fresh_sqlite("many"), 32);
    std::printf(
        "200 meters of 3 x 96 records and 20 events, --jobs 32, SQLite: %.2f s, peak %d "
        "descriptors, "
        "%d threads, RSS %.1f MiB%s\n",
        run.seconds, run.peak_fds, run.peak_threads, static_cast<double>(run.peak_rss_kib) / 1024.0,
        run.status == 0 ? "" : " (failed)");
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / "kolvane-bench-collect");
    return 0;
}
