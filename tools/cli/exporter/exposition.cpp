// SPDX-License-Identifier: MIT
#include "exporter/exposition.hpp"

#include <charconv>
#include <cmath>

namespace kexp {

std::string escape_label_value(std::string_view value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '"':
                escaped += "\\\"";
                break;
            case '\n':
                escaped += "\\n";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string format_sample_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;  // locale-free
    return {text, end};
}

void Exposition::family(std::string_view name, std::string_view type, std::string_view help) {
    // HELP text escapes only backslash and line feed; the help texts here hold neither.
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Exposition::sample(std::string_view name, const Labels& labels, double value) {
    text_.append(name);
    if (!labels.empty()) {
        text_ += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (i > 0) text_ += ',';
            text_.append(labels[i].first)
                .append("=\"")
                .append(escape_label_value(labels[i].second))
                .append("\"");
        }
        text_ += '}';
    }
    text_.append(" ").append(format_sample_value(value)).append("\n");
}

}  // namespace kexp
