// Helpers shared by the api tests: log capture, a port nobody listens on, temporary
// directories, time zone and locale switches that restore themselves.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kolvane.h"
#include "support/failure.hpp"
#include "support/log_capture.hpp"

namespace kolvane_test {

using ktest::LogCapture;
using ktest::LogEntry;

using ktest::failure_of;

// A loopback port that refuses connections: bound by the kernel's choice, then released.
int closed_loopback_port();

// The options text that points a call at closed_loopback_port().
std::string closed_port_options(int port);

// A fresh directory under the test temp dir, removed with everything in it at scope end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

// Sets TZ for the scope and restores the previous value (or its absence) afterwards.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz);
    ~ScopedTz();
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    bool had_previous_;
    std::string previous_;
};

// An error buffer pre-filled with a marker, so tests see exactly which bytes a call wrote.
struct ErrBuf {
    static constexpr int size = 256;
    char data[size];
    ErrBuf();
    std::string text() const { return data; }
};

}  // namespace kolvane_test
