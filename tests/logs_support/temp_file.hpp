// A file path in the test's temporary directory, removed at scope end, and whole-file reads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace logs_test {

class TempPath {
public:
    explicit TempPath(const std::string& name)
        : path_(std::filesystem::path(::testing::TempDir()) /
                ("kolvane_" + std::to_string(::getpid()) + "_" + name)) {
        std::filesystem::remove_all(path_);
    }
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;

    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace logs_test
