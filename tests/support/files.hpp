// SPDX-License-Identifier: MIT
// Whole files as tests compare them: their bytes, or their lines.
#pragma once

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace ktest {

// The whole content of a file, byte for byte; nullopt when it cannot be opened (does not exist).
inline std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The lines of a file, each with its line feed; a last line without one is kept as it is.
// None when the file does not exist.
inline std::vector<std::string> file_lines(const std::string& path) {
    const std::string text = read_file(path).value_or("");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    return lines;
}

}  // namespace ktest
