// SPDX-License-Identifier: MIT
// The OpenMetrics text that `promtool tsdb create-blocks-from openmetrics` reads: per family its
// TYPE, UNIT and HELP once, then its samples, each with its time stamp in seconds; `# EOF` last.
#pragma once

#include "exporter/probe_metrics.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kbackfill {

// The job the README's scrape configuration names, which Prometheus gives every live series.
inline constexpr std::string_view SCRAPE_JOB = "kolvane";

// The family's name in the metadata lines: a counter's samples add "_total" to it.
std::string_view metadata_name(const kexp::PointFamily& family);

class OpenMetricsWriter {
public:
    explicit OpenMetricsWriter(std::FILE* out) : out_(out) {}
    // Starts a series; the series of one family come one after another.
    void series(const kexp::PointFamily& family, const std::string& instance,
                const std::string& point, const std::string& unit);
    void sample(std::int64_t milliseconds, double value);
    // `# EOF`; throws when a write failed.
    void end();

private:
    void put(std::string_view text);

    std::FILE* out_;
    const kexp::PointFamily* family_ = nullptr;
    std::string series_;  // name{labels} of the series at hand
    bool failed_ = false;
};

}  // namespace kbackfill
