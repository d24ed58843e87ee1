// SPDX-License-Identifier: MIT
#include "datalog/columns.hpp"

#include <algorithm>

#include "ground/text.hpp"

namespace kolvane {

void DatalogColumns::resolve(int n) {
    columns.clear();
    columns.reserve(size_t(std::max(n, 0)));
    for (int j = 1; j <= n; ++j) {
        const uint16_t pid = size_t(j) <= point_ids.size() ? point_ids[j - 1] : 0;
        columns.push_back(resolve_column(pid, j, model, scales));
    }
}

void DatalogColumns::resolve_from_record(size_t record_words) {
    resolve(record_words >= 10 ? int((record_words - DATALOG_FIRST_VALUE) / 2) : 0);
}

namespace {

// Calls visit(i, raw) for each column that the record holds a complete value for.
template <class Visit>
void for_each_value(const std::vector<ColumnFormat>& columns, std::span<const uint16_t> record,
                    Visit&& visit) {
    for (size_t i = 0; i < columns.size() && DATALOG_FIRST_VALUE + 2 * i + 1 < record.size(); ++i) {
        const size_t at = DATALOG_FIRST_VALUE + 2 * i;
        visit(i, raw_value(record[at], record[at + 1]));
    }
}

}  // namespace

void DatalogColumns::append_values(std::string& out, std::span<const uint16_t> record,
                                   char separator, bool separator_before_first) const {
    for_each_value(columns, record, [&](size_t i, int32_t raw) {
        if (i > 0 || separator_before_first) out.push_back(separator);
        append_value(out, raw, columns[i]);
    });
}

std::string fmt_trigger_event_type(uint16_t type) {
    if (type == 0) return "SP";
    if (type <= 16) return "SP" + std::to_string(type);
    return hex4(type);
}

}  // namespace kolvane
