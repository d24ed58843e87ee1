// SPDX-License-Identifier: MIT
#include "ground/text.hpp"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <stdexcept>

namespace kolvane {
namespace {

constexpr char HEX_UPPER[] = "0123456789ABCDEF";
constexpr char HEX_LOWER[] = "0123456789abcdef";

void append_three_digits(std::string& out, uint32_t value) {
    out.push_back(char('0' + value / 100));
    out.push_back(char('0' + value / 10 % 10));
    out.push_back(char('0' + value % 10));
}

std::string format_utc(time_t seconds, const char* pattern) {
    struct tm calendar {};
    gmtime_r(&seconds, &calendar);
    char text[64];
    const size_t n = strftime(text, sizeof text, pattern, &calendar);
    return std::string(text, n);
}

}  // namespace

void append_json_escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default: {
                const auto byte = static_cast<unsigned char>(c);
                if (byte < 0x20) {
                    out += "\\u00";
                    out.push_back(HEX_LOWER[byte >> 4]);
                    out.push_back(HEX_LOWER[byte & 0xF]);
                } else {
                    out.push_back(c);
                }
            }
        }
    }
}

std::string json_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    append_json_escaped(out, text);
    return out;
}

std::string csv_quote(std::string_view text) {
    if (text.find_first_of(",\"\n") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size() + 4);
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string hex4(uint16_t value) {
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(HEX_UPPER[(value >> shift) & 0xF]);
    return out;
}

std::string format_fixed(double value, int decimals) {
    char text[400];  // the largest double in fixed notation needs 309 digits
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed,
                                      std::clamp(decimals, 0, 30));
    if (result.ec != std::errc()) return "0";
    return std::string(text, result.ptr);
}

std::string fmt_iso_utc(uint32_t seconds, uint32_t microseconds) {
    std::string out = format_utc(time_t(seconds), "%Y-%m-%dT%H:%M:%S.");
    append_three_digits(out, microseconds / 1000 % 1000);
    out.push_back('Z');
    return out;
}

std::string fmt_hmi_datetime(uint32_t seconds, uint32_t microseconds) {
    // The microseconds carry into the seconds here (a value of 1000000 or more moves the
    // clock on), unlike fmt_iso_utc.
    const double exact = double(seconds) + double(microseconds) / 1000000.0;
    std::string out = format_utc(time_t(exact), "%d/%m/%y  %H:%M:%S.");
    append_three_digits(out, microseconds / 1000 % 1000);
    return out;
}

std::string now_stamp() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    const size_t n = strftime(text, sizeof text, "%Y%m%d_%H%M%S_", &local);
    std::string out(text, n);
    append_three_digits(out, uint32_t(now.tv_nsec / 1000000));
    return out;
}

std::string now_iso_utc() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::string out = format_utc(now.tv_sec, "%Y-%m-%dT%H:%M:%S.");
    append_three_digits(out, uint32_t(now.tv_nsec / 1000000));
    out.push_back('Z');
    return out;
}

CsvFile::CsvFile(std::string path) : path_(std::move(path)) {
    stream_.open(path_, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!stream_.is_open()) throw std::runtime_error("Cannot open CSV: " + path_);
}

void CsvFile::close() {
    stream_.close();
    if (stream_.fail()) throw std::runtime_error("Cannot write CSV: " + path_);
}

CsvFile open_csv(const std::string& path) { return CsvFile(path); }

}  // namespace kolvane
