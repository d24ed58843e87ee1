// SPDX-License-Identifier: MIT
// The Prometheus text exposition format (version 0.0.4): metric families with HELP and TYPE
// lines, samples with escaped label values.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kexp {

using Labels = std::vector<std::pair<std::string_view, std::string_view>>;

inline constexpr const char* EXPOSITION_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

// A label value as the format writes it between double quotes: backslash, double quote and line
// feed escaped.
std::string escape_label_value(std::string_view value);

// A sample value: the shortest text that reads back as the same double, "NaN", "+Inf" or "-Inf".
std::string format_sample_value(double value);

class Exposition {
public:
    // Starts a family; `type` is "gauge" or "counter". Its samples follow.
    void family(std::string_view name, std::string_view type, std::string_view help);
    void sample(std::string_view name, const Labels& labels, double value);
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

}  // namespace kexp
