// SPDX-License-Identifier: MIT
#include "meter/points_text.hpp"

#include <cctype>

namespace kcli {
namespace {

bool is_number(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : 0;
    if (text.size() == first) return false;
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!(hex ? std::isxdigit(c) : std::isdigit(c))) return false;
    }
    return true;
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string points_text(const std::vector<std::string>& points) {
    std::string text = "[";
    for (const std::string& point : points) {
        if (text.size() > 1) text += ',';
        text += is_number(point) ? point : quoted(point);
    }
    return text + "]";
}

}  // namespace kcli
