// SPDX-License-Identifier: MIT
#include "backfill/openmetrics.hpp"

#include "exporter/exposition.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kbackfill {

namespace {

// kolvane_value_total cannot be a counter family: its name without _total is kolvane_value's,
// which a file may also hold. Its samples keep their name in a family of unknown type (the
// blocks keep no types anyway).
bool counter_family(const kexp::PointFamily& family) { return family.counter && !family.generic; }

}  // namespace

std::string_view metadata_name(const kexp::PointFamily& family) {
    std::string_view name = family.name;
    if (counter_family(family) && name.ends_with("_total")) name.remove_suffix(6);
    return name;
}

void OpenMetricsWriter::series(const kexp::PointFamily& family, const std::string& instance,
                               const std::string& point, const std::string& unit) {
    if (&family != family_) {
        family_ = &family;
        const std::string_view name = metadata_name(family);
        put("# TYPE ");
        put(name);
        put(counter_family(family) ? " counter\n" : family.counter ? " unknown\n" : " gauge\n");
        if (!family.base_unit.empty()) {
            put("# UNIT ");
            put(name);
            put(" ");
            put(family.base_unit);
            put("\n");
        }
        // The help texts hold no backslash, double quote or line feed to escape.
        put("# HELP ");
        put(name);
        put(" ");
        put(family.help);
        put("\n");
    }
    // Labels in the order Prometheus sorts them.
    series_.assign(family.name)
        .append("{instance=\"")
        .append(kexp::escape_label_value(instance))
        .append("\",job=\"")
        .append(SCRAPE_JOB)
        .append("\",point=\"")
        .append(kexp::escape_label_value(point))
        .append("\"");
    if (!unit.empty())
        series_.append(",unit=\"").append(kexp::escape_label_value(unit)).append("\"");
    series_ += '}';
}

void OpenMetricsWriter::sample(std::int64_t milliseconds, double value) {
    char stamp[32];
    const std::int64_t seconds = milliseconds / 1000;
    const int millis = static_cast<int>(milliseconds % 1000);
    if (millis == 0)
        std::snprintf(stamp, sizeof stamp, " %lld\n", static_cast<long long>(seconds));
    else
        std::snprintf(stamp, sizeof stamp, " %lld.%03d\n", static_cast<long long>(seconds), millis);
    put(series_);
    put(" ");
    put(kexp::format_sample_value(value));
    put(stamp);
}

void OpenMetricsWriter::end() {
    put("# EOF\n");
    if (std::fflush(out_) != 0) failed_ = true;
    if (failed_)
        throw std::runtime_error(std::string("Cannot write the output: ") + std::strerror(errno));
}

void OpenMetricsWriter::put(std::string_view text) {
    if (failed_) return;
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) failed_ = true;
}

}  // namespace kbackfill
