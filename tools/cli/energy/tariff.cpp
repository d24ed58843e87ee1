// SPDX-License-Identifier: MIT
#include "energy/tariff.hpp"

#include "common/meter_clock.hpp"
#include "common/yaml_file.hpp"
#include "energy/calendar_text.hpp"

#include <cctz/civil_time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <stdexcept>

namespace kenergy {
namespace {

const std::map<std::string, int> DAYS = {{"mon", 0}, {"tue", 1}, {"wed", 2}, {"thu", 3},
                                         {"fri", 4}, {"sat", 5}, {"sun", 6}, {"holiday", 7}};

constexpr const char* UNKNOWN = "is no key of a tariff";

class Reader : public kcli::YamlFile {
public:
    explicit Reader(const std::string& path) : YamlFile("tariff", path) {}

    std::string required(const YAML::Node& map, const char* key, const std::string& where) const {
        const std::string value = text(map, key, where);
        if (value.empty()) fail(key_path(where, key) + " must be given");
        return value;
    }
    // "07:30" as minutes of the day; "24:00" ends one.
    int minutes(const YAML::Node& map, const char* key, const std::string& where) const {
        const std::string value = required(map, key, where);
        static const std::regex form(R"((\d{2}):(\d{2}))");
        std::smatch parts;
        if (!std::regex_match(value, parts, form)) fail(key_path(where, key) + " must be HH:MM");
        const int hour = std::stoi(parts[1]), minute = std::stoi(parts[2]);
        if (minute > 59 || hour * 60 + minute > 24 * 60)
            fail(key_path(where, key) + " is no time of day");
        return hour * 60 + minute;
    }
};

}  // namespace

Tariff Tariff::read(const std::string& path) {
    const Reader reader(path);
    const YAML::Node& root = reader.root();
    Tariff tariff;
    try {
        reader.check_keys(root, "", {"zone", "default", "windows", "holidays"}, UNKNOWN);
        if (root["zone"]) {
            tariff.zone_ = reader.required(root, "zone", "");
            if (const std::string problem = kcli::zone_problem(*tariff.zone_); !problem.empty())
                reader.fail("zone: " + problem);
        }
        tariff.default_ = reader.required(root, "default", "");
        const YAML::Node windows = root["windows"];
        if (windows && !windows.IsSequence()) reader.fail("windows must be a list");
        for (std::size_t i = 0; windows && i < windows.size(); ++i) {
            const std::string where = "windows[" + std::to_string(i) + "]";
            reader.check_keys(windows[i], where, {"period", "days", "from", "to"}, UNKNOWN);
            Window window{reader.required(windows[i], "period", where),
                          {},
                          reader.minutes(windows[i], "from", where),
                          reader.minutes(windows[i], "to", where)};
            if (window.from >= window.to)
                reader.fail(where + ".from must lie before to (a window over midnight is two)");
            if (window.period == MIXED)
                reader.fail(where + ".period: 'mixed' names intervals that span two periods");
            const YAML::Node days = windows[i]["days"];
            if (!days || !days.IsSequence() || days.size() == 0)
                reader.fail(where + ".days must list mon, tue, ..., sun or holiday");
            for (const auto& day : days) {
                const auto found = DAYS.find(day.as<std::string>());
                if (found == DAYS.end())
                    reader.fail(where + ".days: '" + day.as<std::string>() +
                                "' is none of mon, tue, wed, thu, fri, sat, sun, holiday");
                window.days.insert(found->second);
            }
            tariff.windows_.push_back(std::move(window));
        }
        const YAML::Node holidays = root["holidays"];
        if (holidays && !holidays.IsSequence()) reader.fail("holidays must be a list of days");
        for (std::size_t i = 0; holidays && i < holidays.size(); ++i) {
            const std::string day = holidays[i].as<std::string>();
            if (!parse_day(day)) reader.fail("holidays: '" + day + "' is no day, YYYY-MM-DD");
            tariff.holidays_.insert(day);
        }
    } catch (const YAML::Exception& e) {
        reader.fail(e.what());
    }
    return tariff;
}

std::vector<std::string> Tariff::periods() const {
    std::vector<std::string> names;
    for (const Window& window : windows_)
        if (window.period != default_ &&
            std::find(names.begin(), names.end(), window.period) == names.end())
            names.push_back(window.period);
    names.push_back(default_);
    names.push_back(MIXED);
    return names;
}

std::string Tariff::period_at(std::int64_t ms, const cctz::time_zone& clock) const {
    const auto point = std::chrono::time_point_cast<cctz::seconds>(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
    const cctz::civil_second wall = cctz::convert(point, clock);
    const cctz::civil_day day(wall);
    const int weekday =
        holidays_.contains(day_text(day)) ? 7 : (static_cast<int>(cctz::get_weekday(day)));
    const int minute = wall.hour() * 60 + wall.minute();
    for (const Window& window : windows_)
        if (window.days.contains(weekday) && minute >= window.from && minute < window.to)
            return window.period;
    return default_;
}

std::string Tariff::period_of(const Interval& interval, const cctz::time_zone& clock) const {
    const std::string starts = period_at(interval.start_ms, clock);
    return starts == period_at(interval.end_ms - 1, clock) ? starts : MIXED;
}

}  // namespace kenergy
