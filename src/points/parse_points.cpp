// SPDX-License-Identifier: MIT
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ground/ascii.hpp"
#include "ground/text.hpp"
#include "points/catalogue.hpp"
#include "points/points.hpp"

namespace kolvane {
namespace {

constexpr bool is_separator(char c) { return c == ',' || is_space(c); }

bool in_preferred_range(uint16_t pid) {
    const uint16_t high = pid & 0xFF00;
    return high == 0x1100 || high == 0x1400 || high == 0x1500 || high == 0x1700;
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (to_lower(a[i]) != to_lower(b[i])) return false;
    }
    return true;
}

uint16_t resolve_name(const std::string& item) {
    int best = -1, best_preferred = -1;
    for (const auto& [pid, def] : param_table()) {  // ascending ids: first match is smallest
        if (family_of(pid) == nullptr || !same_name(def.name, item)) continue;
        if (best < 0) best = pid;
        if (best_preferred < 0 && in_preferred_range(pid)) best_preferred = pid;
    }
    if (best < 0) throw std::runtime_error("Unknown point '" + item + "'");
    return uint16_t(best_preferred >= 0 ? best_preferred : best);
}

// Converts like strtol in base 16 (with "0x") or 10; true when the whole item is a number.
bool parse_number(const std::string& item, long long& value) {
    const bool hex = item.size() >= 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X');
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(item.c_str(), &end, hex ? 16 : 10);
    return end != item.c_str() && end == item.c_str() + item.size();
}

uint16_t point_from_number(const std::string& item, long long number) {
    if (number < 0 || number > 65535 || errno == ERANGE) {
        throw std::runtime_error("points: " + item + " is not a 16-bit point ID");
    }
    const auto pid = uint16_t(number);
    if (family_of(pid) == nullptr) {
        throw std::runtime_error("Point " + hex4(pid) + " is not in a readable register block");
    }
    return pid;
}

}  // namespace

std::vector<uint16_t> parse_points(const char* text) {
    const std::string s(text);
    size_t i = 0;
    while (i < s.size() && is_separator(s[i])) ++i;
    if (i == s.size()) throw std::runtime_error("points: at least one point is required");
    if (s[i] == '[') ++i;

    std::vector<uint16_t> ids;
    for (;;) {
        while (i < s.size() && is_separator(s[i])) ++i;
        if (i == s.size() || s[i] == ']') break;
        std::string item;
        const bool quoted = s[i] == '"';
        if (quoted) {
            ++i;
            while (i < s.size() && s[i] != '"') {
                if (s[i] == '\\' && i + 1 < s.size()) ++i;
                item.push_back(s[i++]);
            }
            if (i < s.size()) ++i;  // the closing quote
        } else {
            while (i < s.size() && s[i] != ',' && s[i] != ']' && !is_space(s[i]))
                item.push_back(s[i++]);
        }
        if (item.empty()) throw std::runtime_error("points: empty item");
        long long number = 0;
        if (parse_number(item, number)) {
            ids.push_back(point_from_number(item, number));
        } else if (!quoted) {
            throw std::runtime_error("points: unexpected item " + item);
        } else {
            ids.push_back(resolve_name(item));
        }
    }
    if (ids.empty()) throw std::runtime_error("points: at least one point is required");
    return ids;
}

}  // namespace kolvane
