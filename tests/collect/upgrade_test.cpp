// SPDX-License-Identifier: MIT
// Databases that kolvane 1.2.1 wrote (schema version 1), kept in data/: today's collector
// upgrades them in place, and what they held reads the same afterwards; an upgrade gives way to
// a reader; a database of a newer schema is refused without a byte changed.
#include "database/schema.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace collect_test {
namespace {

// The meters kolvane 1.2.1 collected into data/schema_v1.db and data/schema_v1.sql (a pg_dump):
// default meters with 96 records in data logs 1-3 and 40 events, the logs ending here.
constexpr std::int64_t FIXTURE_END = 1764547200;  // 2025-12-01T00:00:00Z
constexpr int RECORDS = 96;
constexpr int EVENTS = 40;

// Every view's rows in the columns version 1 had, in a fixed order.
std::vector<std::vector<std::string>> views(Database& db) {
    std::vector<std::vector<std::string>> all;
    for (const char* sql :
         {"SELECT serial, file_id, recorded_at, seq, name, unit, value FROM datalog_values "
          "ORDER BY serial, file_id, recorded_at, seq, name",
          "SELECT serial, recorded_at, seq, event_no, cause, point, state, effect, target, "
          "value_triggered FROM events ORDER BY serial, recorded_at, seq",
          "SELECT serial, taken_at, name, unit, value FROM readings ORDER BY serial, taken_at, "
          "name"}) {
        const auto rows = db.rows(sql);
        all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
}

// A fresh copy of data/schema_v1.db.
std::string sqlite_copy() {
    const std::string path = fresh_sqlite_path();
    std::filesystem::copy_file(KOLVANE_TEST_DATA "/schema_v1.db", path);
    return path;
}

// A fresh database restored from data/schema_v1.sql.
std::string postgres_restore() {
    const std::string uri = fresh_postgres_database();
    const std::string restore = "/usr/lib/postgresql/15/bin/psql -q -v ON_ERROR_STOP=1 -f " +
                                std::string(KOLVANE_TEST_DATA) + "/schema_v1.sql '" + uri +
                                "' >/dev/null";
    if (std::system(restore.c_str()) != 0)
        throw std::runtime_error("cannot restore schema_v1.sql into " + uri);
    return uri;
}

class Upgrade : public EachEngine {
protected:
    std::string fresh_target() const override {
        return sqlite() ? sqlite_copy() : postgres_restore();
    }

    // Collects the fixture's two meters, served again with the same logs, their clocks on `zone`.
    void collect_fixture_meters(const std::string& zone) {
        // They answer at new ports now: they moved more than an hour ago.
        const std::string aged = "UPDATE meters SET last_seen = '2025-12-01T00:00:00.000Z'";
        if (sqlite())
            ASSERT_EQ(std::system(("sqlite3 " + target_ + " \"" + aged + "\"").c_str()), 0);
        else
            db()->rows(aged + " RETURNING serial");
        SiteMeter em133(ksim::Model::em133, 1201784, RECORDS, EVENTS, FIXTURE_END);
        SiteMeter em235(ksim::Model::em235, 2305001, RECORDS, EVENTS, FIXTURE_END);
        const Outcome run =
            collect({em133.address(), "--only", "datalog,eventlog", "--tz", zone, "--db", target_});
        const Outcome run235 = collect({em235.address(), "-m", "em235", "--only",
                                        "datalog,eventlog", "--tz", zone, "--db", target_});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        ASSERT_EQ(run235.exit_status, 0) << run235.err;
        EXPECT_EQ(new_records(summaries(run.out)) + new_records(summaries(run235.out)), 0);
    }

    std::int64_t stored_records() {
        return db()->number("SELECT count(*) FROM datalog_records") +
               db()->number("SELECT count(*) FROM event_records");
    }
};

// The report reads the old schema as it is, without changing it.
TEST_P(Upgrade, TheReportReadsAnOldDatabaseWithoutChangingIt) {
    const Outcome report = cli_test::run_tool(
        {"report", "--db", target_, "-o", cli_test::fresh_dir("upgrade_report") + "/r.html"});
    EXPECT_EQ(report.exit_status, 0) << report.err;
    EXPECT_EQ(db()->number("SELECT max(version) FROM schema_version"), 1);
}

TEST_P(Upgrade, CollectUpgradesInPlaceKeepingEveryRowAndStoresNothingTwice) {
    ASSERT_EQ(db()->number("SELECT max(version) FROM schema_version"), 1);
    const auto before = views(*db());
    ASSERT_FALSE(before.empty());
    collect_fixture_meters("UTC");
    EXPECT_EQ(db()->number("SELECT count(*) FROM schema_version"), 1);
    EXPECT_EQ(db()->number("SELECT max(version) FROM schema_version"), kdb::SCHEMA_VERSION);
    EXPECT_EQ(views(*db()), before);
    EXPECT_EQ(db()->number("SELECT count(*) FROM meters WHERE unit = 1 AND name = ''"), 2);
}

// Version 1 stored the meters' wall time labelled UTC. Their first collection with a zone turns
// every stored record into true UTC, keeping the wall time beside it, and stores none twice; a
// later change of zone converts them again from the wall time.
TEST_P(Upgrade, OldRecordsGetTrueUtcTimesFromTheMetersZone) {
    const std::int64_t records = stored_records();
    // The records lie in the winter of 2025, when Berlin is an hour ahead of UTC.
    for (const auto& [zone, to_utc] : {std::pair{"Europe/Berlin", "-1 hours"},
                                       {"Europe/Berlin", "-1 hours"},
                                       {"Asia/Tokyo", "-9 hours"},
                                       {"UTC", "+0 hours"}}) {
        SCOPED_TRACE(zone);
        collect_fixture_meters(zone);
        EXPECT_EQ(stored_records(), records);
        const std::string wrong =
            sqlite() ? std::string("recorded_at != strftime('%Y-%m-%dT%H:%M:%fZ', meter_time, '") +
                           to_utc + "')"
                     : std::string("recorded_at != (meter_time + interval '") + to_utc +
                           "') AT TIME ZONE 'UTC'";
        for (const char* table : {"datalog_records", "event_records"})
            EXPECT_EQ(db()->number(std::string("SELECT count(*) FROM ") + table + " WHERE " +
                                   wrong + " OR meter_time IS NULL"),
                      0)
                << table;
        // The energy kept of the records is computed again with their new times.
        EXPECT_GT(db()->number("SELECT count(*) FROM energy_intervals"), 0);
        EXPECT_EQ(db()->number("SELECT count(*) FROM energy_intervals e WHERE NOT EXISTS "
                               "(SELECT 1 FROM datalog_records r WHERE r.serial = e.serial AND "
                               "r.file_id = e.file_id AND r.recorded_at = e.recorded_at AND "
                               "r.meter_time = e.meter_time)"),
                  0);
    }
    EXPECT_EQ(db()->number("SELECT count(*) FROM meters WHERE clock_zone = 'UTC'"), 2);
}

// An upgrade needs each table it changes to itself, and every reader after it queues behind it:
// it waits a few seconds for a reader's open transaction, then gives way, the database as it was,
// and the next run upgrades it once the reader is done.
TEST(UpgradeBehindAReader, GivesWayToAnOpenTransactionAndSucceedsAfterIt) {
    std::string uri;
    try {
        uri = postgres_restore();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    const auto db = open_postgres(uri);
    const auto before = views(*db);
    // The upgrade's first steps change meters: the reader holds a table of a later step, so that
    // a half-done upgrade would show.
    const auto reader = open_postgres(uri);
    reader->rows("BEGIN; SELECT count(*) FROM event_records");
    SiteMeter meter(ksim::Model::em133, 1209001, 5, 5);
    // A collector hanging behind the reader is ended after a minute (timeout's status 124).
    const auto bounded_collect = [&] {
        cli_test::Process tool({"/usr/bin/timeout", "60", KOLVANE_TOOL, "collect", meter.address(),
                                "-m", "em133", "--tz", "UTC", "--db", uri});
        return tool.finish();
    };
    const Outcome refused = bounded_collect();
    ASSERT_EQ(refused.exit_status, 1) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "kolvane: PostgreSQL: cannot upgrade the schema from version 1 to " +
                  std::to_string(kdb::SCHEMA_VERSION) +
                  ": another session's open transaction (a reader) held its tables for 5 s; the "
                  "database is left at version 1, try again\n");
    EXPECT_EQ(db->number("SELECT max(version) FROM schema_version"), 1);
    EXPECT_EQ(db->number("SELECT count(*) FROM information_schema.columns "
                         "WHERE table_name = 'meters' AND column_name = 'unit'"),
              0);
    EXPECT_EQ(views(*db), before);

    reader->rows("COMMIT; SELECT 1");
    const Outcome upgraded = bounded_collect();
    EXPECT_EQ(upgraded.exit_status, 0) << upgraded.err;
    EXPECT_EQ(db->number("SELECT max(version) FROM schema_version"), kdb::SCHEMA_VERSION);
}

// A SQLite database of a newer schema is refused before anything writes to it (switching it to
// WAL alone rewrites its header): it stays byte for byte as it was, whatever its journal mode.
TEST(NewerSchema, ASqliteFileIsRefusedByteForByteUnchanged) {
    SiteMeter meter(ksim::Model::em133, 1209002, 5, 5);
    for (const char* mode : {"DELETE", "WAL"}) {
        SCOPED_TRACE(mode);
        const std::string path = sqlite_copy();
        const std::string newer = "sqlite3 " + path + " 'PRAGMA journal_mode=" + mode +
                                  "; UPDATE schema_version SET version = 99' >/dev/null";
        ASSERT_EQ(std::system(newer.c_str()), 0);
        const std::string bytes = cli_test::read_file(path);
        const Outcome refused = collect({meter.address(), "--db", path});
        EXPECT_EQ(refused.exit_status, 1);
        EXPECT_EQ(cli_test::lines_of(refused.err).size(), 1u) << refused.err;
        EXPECT_EQ(refused.err.rfind("kolvane: Cannot use SQLite database " + path +
                                        ": schema version 99 is newer than this kolvane knows (",
                                    0),
                  0u)
            << refused.err;
        EXPECT_TRUE(cli_test::read_file(path) == bytes) << "the file changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Upgrade, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collect_test
