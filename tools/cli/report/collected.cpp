// SPDX-License-Identifier: MIT
#include "collected.hpp"

namespace kreport {

std::unique_ptr<CollectedReader> open_collected(const std::string& target) {
    auto starts_with = [&](const char* prefix) { return target.rfind(prefix, 0) == 0; };
    if (starts_with("postgresql://") || starts_with("postgres://"))
        return open_postgres_collected(target);
    if (starts_with("sqlite:")) return open_sqlite_collected(target.substr(7));
    return open_sqlite_collected(target);
}

std::string CollectedReader::where(const Selection& selection, const char* time_column,
                                   std::vector<std::string>& parameters) const {
    std::vector<std::string> terms;
    if (!selection.serials.empty()) {
        std::string list;
        for (std::int64_t serial : selection.serials) {
            if (!list.empty()) list += ',';
            list += std::to_string(serial);
        }
        terms.push_back("serial IN (" + list + ")");
    }
    if (time_column && selection.from) {
        parameters.push_back(*selection.from);
        terms.push_back(std::string(time_column) +
                        " >= " + time_parameter(static_cast<int>(parameters.size())));
    }
    if (time_column && selection.to) {
        parameters.push_back(*selection.to);
        terms.push_back(std::string(time_column) + " < " +
                        time_parameter(static_cast<int>(parameters.size())));
    }
    std::string text;
    for (const std::string& term : terms) text += (text.empty() ? " WHERE " : " AND ") + term;
    return text;
}

std::vector<MeterIdentity> CollectedReader::meters(const Selection& selection) {
    std::vector<std::string> parameters;
    std::vector<MeterIdentity> found;
    each_row("SELECT serial, model, model_name, firmware, host, port, " + time_text("last_seen") +
                 " FROM meters" + where(selection, nullptr, parameters) + " ORDER BY serial",
             parameters, [&](const Row& r) {
                 found.push_back({r.integer(0), r.text(1), r.text(2), r.text(3), r.text(4),
                                  static_cast<int>(r.integer(5)), r.text(6)});
             });
    return found;
}

void CollectedReader::each_value(const Selection& selection,
                                 const std::function<void(const ValueRow&)>& take) {
    std::vector<std::string> parameters;
    const std::string filter = where(selection, "recorded_at", parameters);
    ValueRow row;
    each_row("SELECT serial, file_id, " + time_text("recorded_at") +
                 ", seq, name, unit, value FROM datalog_values" + filter +
                 " ORDER BY serial, file_id, recorded_at, seq",
             parameters, [&](const Row& r) {
                 row = {r.integer(0), static_cast<int>(r.integer(1)),
                        r.text(2),    static_cast<int>(r.integer(3)),
                        r.text(4),    r.text(5),
                        r.real(6)};
                 take(row);
             });
}

void CollectedReader::each_event(const Selection& selection,
                                 const std::function<void(const EventRow&)>& take) {
    std::vector<std::string> parameters;
    const std::string filter = where(selection, "recorded_at", parameters);
    EventRow row;
    each_row(
        "SELECT serial, " + time_text("recorded_at") +
            ", seq, event_no, cause, point, state, effect, target, value_triggered FROM events" +
            filter + " ORDER BY serial, recorded_at, seq",
        parameters, [&](const Row& r) {
            row = {r.integer(0),
                   r.text(1),
                   static_cast<int>(r.integer(2)),
                   static_cast<int>(r.integer(3)),
                   r.text(4),
                   r.text(5),
                   r.text(6),
                   r.text(7),
                   r.text(8),
                   r.integer(9)};
            take(row);
        });
}

}  // namespace kreport
