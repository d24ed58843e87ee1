// SPDX-License-Identifier: MIT
#include "common/restamped_csv.hpp"

#include "common/record_restamp.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace kcli {
namespace {

constexpr std::size_t FLUSH_BYTES = 1 << 16;

// The next complete record of the library's CSV, without its line feed: a line, joined with the
// next ones while a quoted field is open. False at the end, and at a last line without its line
// feed, which the library did not finish.
bool next_record(std::istream& in, std::string& record) {
    record.clear();
    std::string line;
    bool quoted = false;
    while (std::getline(in, line)) {
        if (in.eof()) return false;
        record += line;
        if (std::count(line.begin(), line.end(), '"') % 2 == 1) quoted = !quoted;
        if (!quoted) return true;
        record += '\n';
    }
    return false;
}

std::string temporary_file() {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    std::string path = (dir / "kolvane-log-XXXXXX").string();
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        throw std::runtime_error("Cannot create a temporary file in " + dir.string() + ": " +
                                 std::strerror(errno));
    ::close(fd);
    return path;
}

}  // namespace

RestampedCsv::RestampedCsv(const std::string& destination)
    : destination_(destination), library_path_(temporary_file()) {
    fd_ = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int error = errno;
        ::unlink(library_path_.c_str());
        throw std::runtime_error("Cannot open CSV: " + destination + ": " + std::strerror(error));
    }
    struct stat status {};
    regular_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
}

RestampedCsv::~RestampedCsv() {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(library_path_.c_str());
}

bool RestampedCsv::write(const std::string& text, std::string& error) {
    if (!started_) {
        started_ = true;
        if (regular_ && ::ftruncate(fd_, 0) != 0) {
            error = "Cannot write " + destination_ + ": " + std::strerror(errno);
            return false;
        }
    }
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "Cannot write " + destination_ + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int RestampedCsv::finish(RecordRestamper& restamper, std::string& error) {
    std::ifstream in(library_path_, std::ios::binary);
    std::string record, out;
    int rows = 0;
    int written = 0;  // the rows in the destination
    const auto flush = [&] {
        if (!write(out, error)) return;
        out.clear();
        written = rows;
    };
    if (!in.is_open()) {
        error = "Cannot read " + library_path_;
    } else if (next_record(in, record)) {
        out = RecordRestamper::csv_header(record) + '\n';
        std::string unreadable;  // a row whose time cannot be read: the rows before it are kept
        try {
            while (error.empty() && next_record(in, record)) {
                out += restamper.csv_row(record) + '\n';
                ++rows;
                if (out.size() >= FLUSH_BYTES) flush();
            }
        } catch (const std::exception& e) {
            unreadable = std::string(e.what()) + " in CSV row " + std::to_string(rows + 1);
        }
        if (error.empty()) flush();
        if (!unreadable.empty()) error = unreadable;
        if (in.bad() && error.empty()) error = "Cannot read " + library_path_;
    }
    if (::close(std::exchange(fd_, -1)) != 0 && error.empty())
        error = "Cannot write " + destination_ + ": " + std::strerror(errno);
    return written;
}

}  // namespace kcli
