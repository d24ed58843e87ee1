// SPDX-License-Identifier: MIT
// What every store promises, checked on both: everything once, nothing twice, nothing lost
// when a meter drops mid-log (and its other logs still read), and each record keeps the columns
// it was written with.
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace collect_test {
namespace {

constexpr int RECORDS = 120;
constexpr int EVENTS = 40;

class Stores : public EachEngine {
protected:
    Outcome run(std::vector<std::string> args) const {
        args.insert(args.end(), {"--db", target_});
        return collect(args);
    }
    // Data log records (distinct) and events stored for a meter, through the documented views.
    std::int64_t stored(std::uint32_t serial) const {
        const std::string s = std::to_string(serial);
        const auto d = db();
        return d->number(
                   "SELECT count(*) FROM (SELECT DISTINCT file_id, recorded_at, seq FROM "
                   "datalog_values "
                   "WHERE serial = " +
                   s + ") AS r") +
               d->number("SELECT count(*) FROM events WHERE serial = " + s);
    }
};

TEST_P(Stores, FirstRunStoresEveryRecordOnceAndTheSecondStoresNothing) {
    SiteMeter a(ksim::Model::em133, 1001, RECORDS, EVENTS),
        b(ksim::Model::em133, 1002, RECORDS, EVENTS), c(ksim::Model::em235, 1003, RECORDS, EVENTS);
    const std::string hosts = cli_test::fresh_dir("hosts") + "/site.txt";
    std::ofstream(hosts) << a.address() << "\n"
                         << b.address() << " em133\n"
                         << c.address() << " em235\n";
    const Outcome run1 = run({"--hosts", hosts, "-j", "2"});
    ASSERT_EQ(run1.exit_status, 0) << run1.err;
    const auto lines = summaries(run1.out);
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_TRUE(line.at("complete").get<bool>()) << line;
        ASSERT_EQ(line.at("datalog").size(), 3u) << line;
        for (const auto& log : line["datalog"]) {
            EXPECT_EQ(log.at("announced"), RECORDS);
            EXPECT_EQ(log.at("read"), RECORDS);
        }
        EXPECT_EQ(line.at("eventlog").at("read"), EVENTS);
        EXPECT_GT(line.at("live").get<int>(), 50);
    }
    EXPECT_EQ(new_records(lines), a.records_held() + b.records_held() + c.records_held());
    for (SiteMeter* m : {&a, &b, &c}) EXPECT_EQ(stored(m->serial()), m->records_held());

    // A sample of values against the meter's own stream, and its sequence numbers against its
    // content.
    const auto d = db();
    const Outcome stream = cli_test::run_tool(
        {"datalog", "127.0.0.1", "1", "-m", "em235", "-p", std::to_string(c.sim().port())});
    const auto records = cli_test::lines_of(stream.out);
    ASSERT_EQ(records.size(), RECORDS + 1u);
    for (const std::size_t i : {std::size_t{1}, std::size_t{RECORDS / 2}, std::size_t{RECORDS}}) {
        const auto record = nlohmann::json::parse(records[i]);
        const auto values = d->rows(
            "SELECT name, value FROM datalog_values WHERE serial = 1003 AND file_id = 1 "
            "AND seq = " +
            std::to_string(record["seq"].get<int>()));
        ASSERT_EQ(values.size(), record["values"].size());
        const auto stored_v1 = d->number(
            "SELECT count(*) FROM datalog_values WHERE serial = 1003 AND file_id = 1 "
            "AND seq = " +
            std::to_string(record["seq"].get<int>()) + " AND name = 'V1' AND abs(value - " +
            record["values"][0].dump() + ") < 1e-9");
        EXPECT_EQ(stored_v1, 1) << records[i];
    }
    const auto& log1 = c.content().logs.at(1).records;
    EXPECT_EQ(d->number("SELECT min(seq) FROM datalog_values WHERE serial = 1003 AND file_id = 1"),
              log1.front()[1]);
    EXPECT_EQ(d->number("SELECT max(seq) FROM datalog_values WHERE serial = 1003 AND file_id = 1"),
              log1.back()[1]);
    EXPECT_EQ(d->number("SELECT count(*) FROM readings WHERE serial = 1001"),
              lines[0]["live"].get<int>());
    // Every event's texts as the meter's own stream has them.
    const Outcome events = cli_test::run_tool(
        {"eventlog", "127.0.0.1", "-m", "em235", "-p", std::to_string(c.sim().port())});
    for (const std::string& text : cli_test::lines_of(events.out)) {
        const auto event = nlohmann::json::parse(text);
        if (event["type"] != "record") continue;
        const auto row = d->rows(
            "SELECT event_no, cause, point, state, effect, target, value_triggered FROM events "
            "WHERE serial = 1003 AND seq = " +
            std::to_string(event["seq"].get<int>()));
        ASSERT_EQ(row.size(), 1u) << text;
        EXPECT_EQ(row[0], (std::vector<std::string>{
                              std::to_string(event["event_no"].get<int>()), event["cause"],
                              event["point"], event["state"], event["effect"], event["target"],
                              std::to_string(event["value_triggered"].get<long>())}))
            << text;
    }

    const Outcome run2 = run({"--hosts", hosts});
    ASSERT_EQ(run2.exit_status, 0) << run2.err;
    EXPECT_EQ(new_records(summaries(run2.out)), 0);
    for (SiteMeter* m : {&a, &b, &c}) EXPECT_EQ(stored(m->serial()), m->records_held());
}

TEST_P(Stores, AMeterThatDropsMidLogKeepsWhatWasReadAndTheNextRunStoresTheRest) {
    SiteMeter meter(ksim::Model::em133, 2001, RECORDS, EVENTS);
    // The sixth read of block data goes unanswered: the connection closes in the middle of data
    // log 1.
    meter.sim().add_fault(
        ksim::Fault::close().reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1).skip(5).times(1));
    const Outcome broken = run({meter.address(), "--only", "datalog"});
    EXPECT_EQ(broken.exit_status, 1);
    const auto line = summaries(broken.out).at(0);
    ASSERT_TRUE(line.contains("error")) << line;
    EXPECT_FALSE(line.at("complete").get<bool>());
    const auto& log1 = line.at("datalog").at(0);
    const int read = log1.at("read").get<int>();
    EXPECT_GT(read, 0);
    EXPECT_LT(read, RECORDS);
    EXPECT_EQ(log1.at("new"), read);
    EXPECT_TRUE(log1.contains("error")) << line;
    // The failed log does not keep the meter's other logs from being read.
    for (int i : {1, 2}) {
        const auto& other = line.at("datalog").at(i);
        EXPECT_EQ(other.at("read"), RECORDS) << line;
        EXPECT_EQ(other.at("new"), RECORDS) << line;
    }
    EXPECT_EQ(stored(meter.serial()), read + 2 * RECORDS);

    meter.sim().clear_faults();
    const Outcome clean = run({meter.address()});
    ASSERT_EQ(clean.exit_status, 0) << clean.err;
    EXPECT_EQ(summaries(clean.out).at(0).at("datalog").at(0).at("new"), RECORDS - read);
    EXPECT_EQ(stored(meter.serial()), meter.records_held());
}

TEST_P(Stores, RecordsKeepTheColumnsTheyWereWrittenWith) {
    SiteMeter meter(ksim::Model::em133, 3001, 10, 5);
    ASSERT_EQ(run({"--only", "datalog", meter.address()}).exit_status, 0);
    // The meter's log 1 is set up anew: two other columns, ten more records.
    meter.sim().update_log(1, [](ksim::LogFile& log) {
        log.columns = {0x1103, 0x1104};        // I1, I2
        const auto last = log.records.back();  // a copy: the pushes below move the records
        const std::uint32_t seconds = last[2] | (static_cast<std::uint32_t>(last[3]) << 16);
        for (std::uint16_t i = 1; i <= 10; ++i)
            log.records.push_back(ksim::datalog_record(0, static_cast<std::uint16_t>(last[1] + i),
                                                       seconds + 900u * i, 0, 0, {1500, 1600}));
    });
    const Outcome second = run({meter.address(), "--only", "datalog"});
    ASSERT_EQ(second.exit_status, 0) << second.err;
    EXPECT_EQ(summaries(second.out).at(0).at("datalog").at(0).at("new"), 10);
    const auto d = db();
    const auto names = d->rows(
        "SELECT seq, name FROM datalog_values WHERE serial = 3001 AND file_id = 1 "
        "AND (seq = 1000 OR seq = 1019)");
    std::vector<std::string> old_names, new_names;
    for (const auto& row : names) (row[0] == "1000" ? old_names : new_names).push_back(row[1]);
    std::sort(old_names.begin(), old_names.end());
    std::sort(new_names.begin(), new_names.end());
    EXPECT_EQ(old_names, (std::vector<std::string>{"I1", "I2", "I3", "Total PF", "Total kW", "V1",
                                                   "V2", "V3", "kWh import"}));
    EXPECT_EQ(new_names, (std::vector<std::string>{"I1", "I2"}));
    EXPECT_EQ(d->number("SELECT count(*) FROM datalog_values WHERE serial = 3001 AND file_id = 1 "
                        "AND seq = 1019 "
                        "AND name = 'I1' AND abs(value - 15.0) < 1e-9"),
              1);
}

// A meter whose clock was set back two hours holds records older than ones before them: the next
// run resumes from the newest by time and reads the later ones again, with the new ones in the
// same batch. Each is stored once and only the new ones count.
TEST_P(Stores, RecordsReadAgainWithNewOnesAreStoredOnce) {
    SiteMeter meter(ksim::Model::em133, 4001, 10, 5);
    const auto append = [&](int count, std::int64_t first_step_s) {
        meter.sim().update_log(1, [&](ksim::LogFile& log) {
            std::vector<std::uint16_t> record = log.records.back();
            std::int64_t seconds = record[2] | (std::int64_t{record[3]} << 16);
            for (int i = 0; i < count; ++i) {
                seconds += i == 0 ? first_step_s : 900;
                record[1] = static_cast<std::uint16_t>(record[1] + 1);
                record[2] = static_cast<std::uint16_t>(seconds & 0xFFFF);
                record[3] = static_cast<std::uint16_t>(seconds >> 16);
                log.records.push_back(record);
            }
        });
    };
    append(5, -7200);
    ASSERT_EQ(run({"--only", "datalog", meter.address()}).exit_status, 0);
    append(3, 3600);
    const Outcome second = run({"--only", "datalog", meter.address()});
    ASSERT_EQ(second.exit_status, 0) << second.err;
    const auto log1 = summaries(second.out).at(0).at("datalog").at(0);
    EXPECT_GT(log1.at("read").get<int>(), 3) << log1;
    EXPECT_EQ(log1.at("new"), 3) << log1;
    EXPECT_EQ(db()->number("SELECT count(*) FROM (SELECT DISTINCT file_id, recorded_at, seq FROM "
                           "datalog_values WHERE serial = 4001 AND file_id = 1) AS r"),
              18);
}

INSTANTIATE_TEST_SUITE_P(Backends, Stores, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collect_test
