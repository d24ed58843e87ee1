// SPDX-License-Identifier: MIT
// The samples of every series, spooled to temporary files as the database gives them (meter by
// meter, log by log, in time order) and written out family by family, series by series, in time
// order: a database of any size passes through in one read, with memory for the series' names.
#pragma once

#include "exporter/probe_metrics.hpp"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kbackfill {

// A series as the live ones are labelled; sorted by family, then by label values.
struct SeriesKey {
    const kexp::PointFamily* family = nullptr;
    std::string instance, point;
    std::string unit;  // kolvane_value's label; empty for the other families
    bool operator<(const SeriesKey& other) const;
};

struct SpoolTotals {
    std::int64_t series = 0;
    std::int64_t samples = 0;
    std::int64_t repeated = 0;  // samples left out: a series already had one at that time
};

class SeriesSpool {
public:
    SeriesSpool();  // in a fresh directory under TMPDIR (or /tmp)
    ~SeriesSpool();
    SeriesSpool(const SeriesSpool&) = delete;
    SeriesSpool& operator=(const SeriesSpool&) = delete;

    // Samples of one data log arrive in time order; each log of a meter is a run of its own.
    void add(const SeriesKey& key, int file_id, std::int64_t milliseconds, double value);
    // The end of a run of one log: its files are closed.
    void end_run();

    // The whole OpenMetrics text, `# EOF` included, onto `out`. A series that two logs record
    // at the same time keeps the value of the lower file id.
    SpoolTotals write(std::FILE* out);

private:
    struct Part {
        int file_id;
        std::string path;
    };
    std::string dir_;
    std::map<SeriesKey, std::vector<Part>> parts_;
    std::map<std::pair<SeriesKey, int>, std::FILE*> open_;
    int files_ = 0;
};

}  // namespace kbackfill
