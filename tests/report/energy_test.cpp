// SPDX-License-Identifier: MIT
// `kolvane energy` on a meter whose clock keeps Berlin's wall time over both clock changes,
// with an outage across midnight, a record read too low, one read with a scale 100 times too
// large, and half a year without records: every day's and month's energy, partial mark, hole
// energy, peak and energy per tariff period equals a reckoning written here from the records'
// known consumption.
#include "report_run.hpp"

#include "support/postgres_server.hpp"
#include "support/process.hpp"
#include "support/site.hpp"

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>

namespace report_test {
namespace {

constexpr double SLOT = 900;  // seconds between records
// A day column as YYYY-MM-DD on either engine.
constexpr const char* DAY_TEXT = "substr(CAST(day AS text), 1, 10)";
const std::int64_t SERIAL = 1201784;

struct Figures {
    double energy = 0, hole_energy = 0;
    bool partial = false;
    double peak = 0;
    double year_peak = 0;                  // a month's: the highest of it and the eleven before
    std::map<std::string, double> tariff;  // energy per period of the tariff below
};

// Peak on working days from 07:00 to 20:00, but on a holiday.
constexpr const char* TARIFF = R"(zone: Europe/Berlin
default: off-peak
windows:
  - {period: peak, days: [mon, tue, wed, thu, fri], from: "07:00", to: "20:00"}
holidays: [2026-10-30]
)";

std::string tariff_period(double seconds, const cctz::time_zone& zone) {
    const cctz::civil_second wall = cctz::convert(
        std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds)), zone);
    const cctz::weekday weekday = cctz::get_weekday(cctz::civil_day(wall));
    const bool working = weekday != cctz::weekday::saturday && weekday != cctz::weekday::sunday &&
                         cctz::civil_day(wall) != cctz::civil_day(2026, 10, 30);
    return working && wall.hour() >= 7 && wall.hour() < 20 ? "peak" : "off-peak";
}

// The consumption of the 15 minutes ending at slot `k`, in kWh: a daily peak whose height
// changes every 30 days, so that months differ.
double used(long k) {
    return 0.25 + double(k % 7) * 0.125 + (k % 96 == 50 ? 3 + double((k / 2880) % 3) : 0);
}

std::string day_text(const cctz::civil_day& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", int(day.year()), day.month(), day.day());
    return text;
}

cctz::civil_day day_at(double seconds, const cctz::time_zone& zone) {
    return cctz::civil_day(cctz::convert(
        std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds)), zone));
}

std::map<std::string, Figures> run_energy(const std::string& db, const std::string& by) {
    const std::string tariff = cli_test::fresh_dir("tariff") + "/tou.yml";
    std::ofstream(tariff) << TARIFF;
    const cli_test::Outcome outcome =
        cli_test::run_tool({"energy", "--db", db, "--serial", std::to_string(SERIAL), "--by", by,
                            "--format", "json", "--tariff", tariff});
    EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    std::map<std::string, Figures> figures;
    std::istringstream lines(outcome.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json row = nlohmann::json::parse(line);
        if (row["counter"] != "kWh import") continue;
        Figures& f = figures[row["period"]];
        f.energy = row["energy"], f.hole_energy = row["hole_energy"], f.partial = row["partial"];
        f.peak = row["peak"].is_null() ? 0 : row["peak"]["power"].get<double>();
        for (const auto& [period, energy] : row["tariff"].items())
            if (energy.get<double>() != 0) f.tariff[period] = energy;
        if (row.contains("peak_12_months") && !row["peak_12_months"].is_null())
            f.year_peak = row["peak_12_months"]["power"];
    }
    return figures;
}

// The data log and what a bill makes of it, day by day.
struct Site {
    kdb::DatalogBatch batch{SERIAL, 1, {{"kWh import", "kWh"}}, {}};
    std::map<std::string, Figures> days;
    // Where a pass of the collector may end: after the glitches (still undecided then), before
    // the outage, within a day.
    std::vector<std::size_t> pass_ends;
};

Site berlin_site() {
    cctz::time_zone berlin;
    if (!cctz::load_time_zone("Europe/Berlin", &berlin)) throw std::runtime_error("no tzdata");
    Site site;
    kdb::DatalogBatch& batch = site.batch;
    std::map<std::string, Figures>& days = site.days;
    // Spring: 2026-03-25 10:00 UTC to 2026-04-04 10:00; autumn: 2026-10-20 10:00 to 11-03 10:00.
    const double spring = 1774432800, autumn = 1792490400;
    const std::vector<std::pair<double, double>> spans = {{spring, spring + 10 * 86400},
                                                          {autumn, autumn + 14 * 86400}};
    const double outage_from = 1793224800;  // 2026-10-28 22:00 UTC, 23:00 in Berlin
    const double outage_to = outage_from + 5 * 3600;
    const double dip = autumn + 9.5 * 86400;    // read too low
    const double scaled = autumn + 11 * 86400;  // read with a scale 100 times too large

    std::set<std::string> hole_days;
    double counter = 1000;
    int seq = 0;
    double last_kept = -1;  // time of the last record the reckoning counts from
    double pending = 0;     // consumption since that record
    for (const auto& [from, to] : spans) {
        for (double t = from; t <= to; t += SLOT) {
            const long k = std::lround(t / SLOT);
            counter += used(k);
            pending += used(k);
            const bool missing = t > outage_from && t < outage_to;
            if (missing) continue;
            double value = counter;
            if (t == dip) value = counter / 100;
            if (t == scaled) value = counter * 100;
            const std::string wall = cctz::format(
                "%Y-%m-%dT%H:%M:%S.000",
                std::chrono::system_clock::from_time_t(static_cast<std::time_t>(t)), berlin);
            batch.rows.push_back(datalog_row(t, ++seq, {value}, wall));
            if (t == dip || t == scaled || t + SLOT == outage_from || t == from + 40 * SLOT)
                site.pass_ends.push_back(batch.rows.size());
            if (t == dip || t == scaled) continue;  // counted with the record after it
            // A bill's day holds the intervals that end in (00:00, 24:00]: the day of the
            // instant just before the record.
            const cctz::civil_day ends = day_at(t - 1, berlin);
            if (last_kept >= 0) {
                const cctz::civil_day begins = day_at(last_kept, berlin);
                Figures& day = days[day_text(ends)];
                const bool spans_midnight = begins < ends && t - last_kept > SLOT;
                if (spans_midnight) {
                    day.hole_energy += pending;
                    for (cctz::civil_day d = begins; d <= ends; ++d) hole_days.insert(day_text(d));
                } else {
                    day.energy += pending;
                    if (t - last_kept == SLOT) day.peak = std::max(day.peak, pending * 4);
                    const std::string starts = tariff_period(last_kept, berlin);
                    day.tariff[starts == tariff_period(t - 1, berlin) ? starts : "mixed"] +=
                        pending;
                }
            }
            last_kept = t, pending = 0;
        }
        counter += 5000;  // consumed while no records were kept
        pending += 5000;
    }
    for (const std::string& d : hole_days) days[d].partial = true;
    // The first and last day of each span begin or end at noon.
    for (const auto& [from, to] : spans) {
        days[day_text(day_at(from, berlin))].partial = true;
        days[day_text(day_at(to, berlin))].partial = true;
    }
    return site;
}

void expect_days(const std::map<std::string, Figures>& got,
                 const std::map<std::string, Figures>& days) {
    ASSERT_FALSE(got.empty());
    for (const auto& [day, want] : days) {
        const auto found = got.find(day);
        ASSERT_NE(found, got.end()) << day;
        EXPECT_NEAR(found->second.energy, want.energy, 1e-6) << day;
        EXPECT_NEAR(found->second.hole_energy, want.hole_energy, 1e-6) << day;
        EXPECT_EQ(found->second.partial, want.partial) << day;
        EXPECT_NEAR(found->second.peak, want.peak, 1e-6) << day;
        EXPECT_EQ(found->second.tariff.size(), want.tariff.size()) << day;
        for (const auto& [period, energy] : want.tariff)
            EXPECT_NEAR(found->second.tariff.at(period), energy, 1e-6) << day << " " << period;
    }
    // The half year between the spans is one hole: in April's last day, no energy of its own.
    EXPECT_EQ(got.size(), days.size());
}

void expect_months(const std::map<std::string, Figures>& got,
                   const std::map<std::string, Figures>& days) {
    std::map<std::string, Figures> months;
    for (const auto& [day, f] : days) {
        Figures& month = months[day.substr(0, 7)];
        month.energy += f.energy, month.hole_energy += f.hole_energy;
        month.peak = std::max(month.peak, f.peak);
        for (const auto& [period, energy] : f.tariff) month.tariff[period] += energy;
    }
    // Every month has days without records or partial ones, but one: none here is whole.
    EXPECT_EQ(got.size(), months.size());
    for (const auto& [month, want] : months) {
        const auto found = got.find(month);
        ASSERT_NE(found, got.end()) << month;
        EXPECT_NEAR(found->second.energy, want.energy, 1e-6) << month;
        EXPECT_NEAR(found->second.hole_energy, want.hole_energy, 1e-6) << month;
        EXPECT_TRUE(found->second.partial) << month;
        EXPECT_NEAR(found->second.peak, want.peak, 1e-6) << month;
        double year_peak = 0;  // the months here all lie within one year
        for (const auto& [m, f] : months)
            if (m <= month) year_peak = std::max(year_peak, f.peak);
        EXPECT_NEAR(found->second.year_peak, year_peak, 1e-6) << month;
        for (const auto& [period, energy] : want.tariff)
            EXPECT_NEAR(found->second.tariff.at(period), energy, 1e-6) << month << " " << period;
    }
}

void check_figures(const std::string& db, const std::map<std::string, Figures>& days) {
    expect_days(run_energy(db, "day"), days);
    expect_months(run_energy(db, "month"), days);
}

// The days or months of the views, read with plain SQL: figures without a tariff's.
std::map<std::string, Figures> viewed(collect_test::Database& db, const std::string& sql) {
    std::map<std::string, Figures> figures;
    for (const std::vector<std::string>& row : db.rows(sql)) {
        Figures& f = figures[row[0]];
        f.energy = std::stod(row[1]), f.hole_energy = std::stod(row[2]);
        f.partial = row[3] == "1";
        f.peak = row[4].empty() ? 0 : std::stod(row[4]);
        f.year_peak = row[5].empty() ? 0 : std::stod(row[5]);
    }
    return figures;
}

void check_views(collect_test::Database& db, std::map<std::string, Figures> days) {
    for (auto& [day, f] : days) f.tariff.clear();
    const std::string counter = " WHERE serial = " + std::to_string(SERIAL) +
                                " AND file_id = 1 AND name = 'kWh import' AND unit = 'kWh'";
    expect_days(viewed(db, "SELECT " + std::string(DAY_TEXT) +
                               ", energy, hole_energy, CASE WHEN partial THEN 1 ELSE 0 END, "
                               "peak_power, NULL FROM energy_days" +
                               counter),
                days);
    expect_months(viewed(db,
                         "SELECT m.month, energy, hole_energy, "
                         "CASE WHEN partial THEN 1 ELSE 0 END, peak_power, peak_12_months "
                         "FROM energy_months m LEFT JOIN demand_peaks p USING(serial, "
                         "file_id, name, unit, month)" +
                             std::string(" WHERE m.serial = ") + std::to_string(SERIAL) +
                             " AND m.name = 'kWh import'"),
                  days);
}

// A number as the report's page prints it: a tenth above 100.
std::string page_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string shown = text;
    return shown.ends_with(".0") ? shown.substr(0, shown.size() - 2) : shown;
}

// The report draws the same days and months as `kolvane energy` counts them.
void check_report(const std::string& db, const std::map<std::string, Figures>& days) {
    const Report report = make_report(db);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const nlohmann::json* chart = nullptr;
    for (const nlohmann::json& log : report.data["meters"][0]["datalogs"])
        for (const nlohmann::json& c : log["charts"])
            if (c.value("quantity", "") == "kWh import") chart = &c;
    ASSERT_NE(chart, nullptr);
    ASSERT_EQ((*chart)["days"].size(), days.size());
    for (std::size_t d = 0; d < days.size(); ++d) {
        const Figures& want = days.at((*chart)["days"][d]);
        EXPECT_NEAR((*chart)["series"][0]["values"][d].get<double>(), want.energy, 1e-6);
        EXPECT_EQ((*chart)["partial"][d], want.partial) << (*chart)["days"][d];
    }
    const std::map<std::string, Figures> months = run_energy(db, "month");
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.log;
    for (const nlohmann::json& month : (*chart)["months"]) {
        const Figures& want = months.at(month["month"]);
        EXPECT_NEAR(month["energy"].get<double>(), want.energy, 1e-6) << month;
        const double peak = month["peak"].is_null() ? 0 : month["peak"]["power"].get<double>();
        EXPECT_NEAR(peak, want.peak, 1e-6) << month;
        // Every month here is partial; those within the half year without records have no peak.
        const std::string row = "<td>" + month["month"].get<std::string>() + ", partial</td><td>" +
                                page_number(want.energy) + " kWh</td><td>" +
                                (peak > 0 ? page_number(want.peak) + " kW" : "–") + "</td>";
        EXPECT_NE(view.dom.find(row), std::string::npos) << row;
    }
}

TEST(Energy, DaysMonthsAndPeaksAsABillCountsThemOnBothEngines) {
    const Site site = berlin_site();
    const ktest::PostgresServer server;
    for (StoredSite stored : {StoredSite(), StoredSite(server.uri())}) {
        SCOPED_TRACE(stored.path());
        stored.meter(SERIAL, "em133", "Europe/Berlin");
        stored.datalog(site.batch);
        check_figures(stored.path(), site.days);
        check_report(stored.path(), site.days);
    }
}

// The collector keeps the same figures in the database, pass by pass: a pass may end on a
// record it cannot yet judge, or before an outage, and the next goes on from what was kept.
TEST(Energy, TheViewsHoldTheFiguresTheCollectorKeptPassByPass) {
    const Site site = berlin_site();
    const std::string sqlite_whole = collect_test::fresh_sqlite_path();
    const std::string sqlite_passes = collect_test::fresh_sqlite_path();
    const std::string postgres_passes = collect_test::fresh_postgres_database();
    for (const std::string& target : {sqlite_whole, sqlite_passes, postgres_passes}) {
        SCOPED_TRACE(target);
        StoredSite stored(target);
        stored.meter(SERIAL, "em133", "Europe/Berlin");
        std::size_t begin = 0;
        std::vector<std::size_t> ends = site.pass_ends;
        if (target == sqlite_whole) ends.clear();
        ends.push_back(site.batch.rows.size());
        for (const std::size_t end : ends) {
            kdb::DatalogBatch pass = site.batch;
            pass.rows.assign(site.batch.rows.begin() + long(begin),
                             site.batch.rows.begin() + long(end));
            stored.collected(pass, "Europe/Berlin");
            begin = end;
        }
        const auto db = target == postgres_passes ? collect_test::open_postgres(target)
                                                  : collect_test::open_sqlite(target);
        check_views(*db, site.days);
    }
}

TEST(Energy, ATariffItCannotFollowIsRefusedWithItsKey) {
    StoredSite stored;
    const std::string path = cli_test::fresh_dir("bad_tariff") + "/tou.yml";
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"windows: []\n", "default must be given"},
        {"default: off\nrates: 1\n", "rates is no key of a tariff"},
        {"default: off\nwindows:\n  - {period: p, days: [mon], from: \"22:00\", to: \"06:00\"}\n",
         "windows[0].from must lie before to"},
        {"default: off\nwindows:\n  - {period: p, days: [monday], from: \"06:00\", to: "
         "\"08:00\"}\n",
         "windows[0].days: 'monday' is none of"},
        {"default: off\nholidays: [2026-02-30]\n", "holidays: '2026-02-30' is no day"},
        {"default: off\nzone: Mars/Olympus\n", "zone: unknown time zone"},
    };
    for (const auto& c : cases) {
        std::ofstream(path) << c.text;
        const cli_test::Outcome outcome =
            cli_test::run_tool({"energy", "--db", stored.path(), "--tariff", path});
        EXPECT_EQ(outcome.exit_status, 1) << c.text;
        EXPECT_NE(outcome.err.find("tariff " + path + ": " + c.message), std::string::npos)
            << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

}  // namespace
}  // namespace report_test
