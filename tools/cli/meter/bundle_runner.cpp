// SPDX-License-Identifier: MIT
#include "meter/bundle_runner.hpp"

#include "common/host_port.hpp"
#include "common/interrupt.hpp"
#include "common/meter_lock.hpp"
#include "common/progress.hpp"

#include <kolvane.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace kcli {
namespace {

// How long export-all waits for another kolvane's transfer from the meter to end.
constexpr std::chrono::minutes BUSY_METER_WAIT{5};

namespace fs = std::filesystem;

// The bundle's files: "EM133_" names ending in ".csv".
std::set<fs::path> bundle_files(const fs::path& dir) {
    std::set<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("EM133_") && name.ends_with(".csv")) files.insert(entry.path());
    }
    return files;
}

// Counts the rows of the files that the export creates, reading only what was added.
class RowCounter {
public:
    explicit RowCounter(fs::path dir) : dir_(std::move(dir)), before_(bundle_files(dir_)) {}

    std::set<fs::path> created() const {
        std::set<fs::path> files;
        std::ranges::set_difference(bundle_files(dir_), before_, std::inserter(files, files.end()));
        return files;
    }

    int rows() {
        int rows = 0;
        for (const fs::path& file : created()) {
            Seen& seen = seen_[file];
            std::ifstream in(file, std::ios::binary);
            in.seekg(seen.offset);
            char buffer[65536];
            while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
                seen.lines += std::count(buffer, buffer + in.gcount(), '\n');
                seen.offset += in.gcount();
            }
            rows += static_cast<int>(std::max<long>(seen.lines - 1, 0));  // less the header line
        }
        return rows;
    }

private:
    struct Seen {
        std::streamoff offset = 0;
        long lines = 0;
    };
    fs::path dir_;
    std::set<fs::path> before_;
    std::map<fs::path, Seen> seen_;
};

// Cuts `file` after its last line feed.
void keep_complete_lines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t last = text.rfind('\n');
    std::error_code ec;
    fs::resize_file(file, last == std::string::npos ? 0 : last + 1, ec);
}

[[noreturn]] void run_child(const BundleRequest& request, int report_fd) {
    std::signal(SIGINT, SIG_IGN);  // the parent decides what Ctrl-C does
    char err[1024];
    const int status =
        kolvane_export_em133_all(request.host.c_str(), request.set_clock ? 1 : 0, request.guard,
                                 request.dir.c_str(), err, sizeof err);
    const std::string report = std::to_string(status) + "\n" + err;
    if (::write(report_fd, report.data(), report.size()) < 0) _exit(1);
    _exit(0);
}

// Reads the child's "status\nmessage" report.
BundleResult read_report(int fd) {
    std::string report;
    char buffer[1024];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        report.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t newline = report.find('\n');
    if (newline == std::string::npos)
        return {KOLVANE_ERROR, "The export process ended without a result"};
    return {std::stoi(report.substr(0, newline)), report.substr(newline + 1)};
}

}  // namespace

BundleResult run_bundle(const BundleRequest& request, ProgressBar& progress) {
    CancellableScope scope;
    // The bundle reads the meter's logs: another kolvane transferring from it is waited for.
    const MeterLock lock(request.host, MODBUS_TCP_PORT, 1, BUSY_METER_WAIT);
    if (!lock.error().empty()) return {KOLVANE_ERROR, lock.error()};
    if (!lock.held())
        return interrupted() ? BundleResult{KOLVANE_CANCELLED, "Cancelled by caller"}
                             : BundleResult{KOLVANE_ERROR, lock.busy_message()};
    RowCounter counter(request.dir);
    int fds[2];
    if (pipe(fds) != 0) return {KOLVANE_ERROR, "Cannot create a pipe"};
    const pid_t child = fork();
    if (child < 0) return {KOLVANE_ERROR, "Cannot start the export process"};
    if (child == 0) {
        close(fds[0]);
        run_child(request, fds[1]);
    }
    close(fds[1]);

    pollfd report{fds[0], POLLIN, 0};
    int ready;
    while ((ready = poll(&report, 1, 100)) <= 0 && !interrupted())
        progress.update(counter.rows(), -1);
    if (ready <= 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(fds[0]);
        for (const fs::path& file : counter.created()) keep_complete_lines(file);
        progress.update(counter.rows(), -1);
        return {KOLVANE_CANCELLED, "Cancelled by caller"};
    }
    BundleResult result = read_report(fds[0]);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    if (result.status >= 0) progress.update(result.status, -1);
    return result;
}

}  // namespace kcli
