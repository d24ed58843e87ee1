// SPDX-License-Identifier: MIT
// Weather never becomes a fact in the database: a busy or silent answer to a scale setting or to
// a log's File Info, at whichever call of a pass, stores no value scaled wrongly and never makes
// the pass complete; the next pass, in good weather, stores what is missing.
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <ctime>
#include <set>

namespace collect_test {
namespace {

using ksim::Fault;
using nlohmann::json;

constexpr int RECORDS = 12;
constexpr int EVENTS = 6;

// Every data log value and event stored, as text rows, to compare whole databases.
std::set<std::vector<std::string>> stored(Database& db) {
    std::set<std::vector<std::string>> all;
    for (auto& row : db.rows("SELECT file_id, seq, name, value FROM datalog_values"))
        all.insert(row);
    for (auto& row : db.rows("SELECT seq, recorded_at FROM events")) all.insert(row);
    return all;
}

struct Pass {
    Outcome run;
    std::set<std::vector<std::string>> rows;
};

Pass collect_into(const std::string& path, const std::string& address) {
    Pass pass{collect({address, "--db", path, "--tries", "2"}), {}};
    pass.rows = stored(*open_sqlite(path));
    return pass;
}

TEST(Weather, NoValueIsStoredWithAScaleOrLogTakenFromABusyAnswer) {
    SiteMeter meter(ksim::Model::em133, 7301, RECORDS, EVENTS);
    const Pass healthy = collect_into(fresh_sqlite_path(), meter.address());
    ASSERT_EQ(healthy.run.exit_status, 0) << healthy.run.err;
    ASSERT_EQ(summaries(healthy.run.out).at(0).at("complete"), true);

    struct Weather {
        std::string what;
        Fault fault;
    };
    std::vector<Weather> rows;
    // Each of the pass's six calls that print values (identity, directory, data logs 1-3, live)
    // reads the scales once: the busy answers strike the nth.
    for (int call = 1; call <= 6; ++call) {
        for (const uint16_t reg : {2305, 2390, 56672}) {
            rows.push_back(
                {"register " + std::to_string(reg) + " busy at call " + std::to_string(call),
                 Fault::exception(6).reads(reg).skip(call - 1).times(2)});
        }
    }
    // File Info requests of a pass: the directory's four files, then each log's own.
    for (int request = 1; request <= 8; ++request) {
        rows.push_back({"File Info request " + std::to_string(request) + " without a meter",
                        Fault::exception(11).writes(64944).skip(request - 1).times(2)});
    }
    for (const Weather& w : rows) {
        SCOPED_TRACE(w.what);
        meter.sim().clear_faults();
        meter.sim().add_fault(w.fault);
        const std::string path = fresh_sqlite_path();
        const Pass faulted = collect_into(path, meter.address());
        EXPECT_GE(meter.sim().fault_hits(0), 1) << "the weather never came";
        EXPECT_EQ(faulted.run.exit_status, 1) << faulted.run.out;
        const json line = summaries(faulted.run.out).at(0);
        EXPECT_NE(line.value("complete", false), true) << line;
        EXPECT_TRUE(line.contains("error")) << line;
        // What was stored is what the meter holds, scaled as the healthy pass scaled it.
        for (const auto& row : faulted.rows) EXPECT_TRUE(healthy.rows.contains(row));

        meter.sim().clear_faults();
        const Pass next = collect_into(path, meter.address());
        EXPECT_EQ(next.run.exit_status, 0) << next.run.out;
        EXPECT_EQ(next.rows, healthy.rows) << "the next pass did not complete the database";
    }
}

// A log that the meter stops listing, whose records are stored, is named on the meter's line.
TEST(Weather, AStoredLogTheMeterNoLongerListsIsWarnedOf) {
    SiteMeter meter(ksim::Model::em133, 7302, RECORDS, EVENTS);
    const std::string path = fresh_sqlite_path();
    ASSERT_EQ(collect_into(path, meter.address()).run.exit_status, 0);
    meter.sim().remove_log(2);
    const Pass next = collect_into(path, meter.address());
    const json line = summaries(next.run.out).at(0);
    EXPECT_EQ(
        line.at("warnings"),
        json::array({"data log 2: records of it are stored, but the meter no longer lists it"}))
        << line;
}

// A meter whose logs started again under the same sequence numbers (replaced by one with the same
// serial, or its logs cleared and refilled past the newest stored): the record at the stored
// anchor is another one, so each log is read whole and no record of the new logs is skipped.
TEST(Weather, ALogThatStartedAgainUnderTheSameNumbersIsReadWhole) {
    SiteMeter meter(ksim::Model::em133, 7707, 100, 20);
    const std::string path = fresh_sqlite_path();
    ASSERT_EQ(collect_into(path, meter.address()).run.exit_status, 0);

    // The replacement holds more records, stamped at other times: its numbers run past the
    // stored ones, and every record of it is one not stored yet.
    const ksim::Meter replacement =
        ksim::default_meter(ksim::Model::em133, 150, std::time(nullptr) + 3600, 20);
    for (const auto& [file_id, log] : replacement.logs) meter.sim().set_log(file_id, log);
    const Pass next = collect_into(path, meter.address());
    ASSERT_EQ(next.run.exit_status, 0) << next.run.out << next.run.err;
    EXPECT_NE(next.run.err.find("is not the one held"), std::string::npos) << next.run.err;
    const auto db = open_sqlite(path);
    for (int file_id = 1; file_id <= 3; ++file_id) {
        EXPECT_EQ(db->number("SELECT count(*) FROM datalog_records WHERE serial = 7707 AND "
                             "file_id = " +
                             std::to_string(file_id)),
                  100 + 150)
            << "data log " << file_id;
    }
}

// A resumed read whose first block comes back empty has nothing to measure the stored record
// against: the log is read whole, so a meter that skips blocks now and then loses no record to
// it, and one that keeps serving empty blocks makes the pass incomplete, never complete with
// nothing read.
TEST(Weather, AResumedReadThatGetsNothingIsNeverComplete) {
    struct Case {
        int empty_blocks;
        bool complete;
    };
    for (const Case& c : {Case{2, true}, Case{1000, false}}) {
        SCOPED_TRACE(c.empty_blocks);
        SiteMeter meter(ksim::Model::em133, 7708, 100, 20);
        const std::string path = fresh_sqlite_path();
        ASSERT_EQ(collect_into(path, meter.address()).run.exit_status, 0);
        meter.sim().update_log(1, [&](ksim::LogFile& log) {
            ksim::append_next_records(log, 30);
            log.empty_at = 0;
            log.empty_count = c.empty_blocks;
        });

        const Pass next = collect_into(path, meter.address());
        const json line = summaries(next.run.out).at(0);
        EXPECT_EQ(line.at("complete"), c.complete) << line;
        if (c.complete) {
            EXPECT_EQ(line.at("datalog").at(0).at("new"), 30) << line;
        } else {
            EXPECT_EQ(line.at("datalog").at(0).at("error"),
                      "File 1: 0 records read of 130 announced")
                << line;
        }
    }
}

}  // namespace
}  // namespace collect_test
