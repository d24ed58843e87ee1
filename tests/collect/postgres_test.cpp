// SPDX-License-Identifier: MIT
// The shared database: collectors that run at once, and a server that cannot be reached.
#include "support/loopback_ports.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace collect_test {
namespace {

TEST(CollectPostgres, TwoCollectorsAtOnceWithOverlappingHostsStoreEachRecordOnce) {
    std::string uri;
    try {
        uri = fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    std::vector<std::unique_ptr<SiteMeter>> meters;
    for (std::uint32_t serial = 7001; serial <= 7004; ++serial)
        meters.push_back(std::make_unique<SiteMeter>(ksim::Model::em133, serial, 600, 100));
    auto hosts = [&](std::size_t first) {
        std::vector<std::string> args{KOLVANE_TOOL, "collect", "-m", "em133",
                                      "--db",       uri,       "-j", "3"};
        for (std::size_t i = first; i < first + 3; ++i) args.push_back(meters[i]->address());
        return args;
    };
    cli_test::Process one(hosts(0)), two(hosts(1));  // meters 2 and 3 are on both lists
    const Outcome first = one.finish(), second = two.finish();
    EXPECT_EQ(first.exit_status, 0) << first.err;
    EXPECT_EQ(second.exit_status, 0) << second.err;
    auto lines = summaries(first.out);
    for (const auto& line : summaries(second.out)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    for (const auto& line : lines) EXPECT_FALSE(line.contains("error")) << line;

    const auto db = open_postgres(uri);
    std::int64_t held = 0;
    for (const auto& m : meters) {
        held += m->records_held();
        const std::string s = std::to_string(m->serial());
        EXPECT_EQ(db->number("SELECT count(*) FROM datalog_records WHERE serial = " + s) +
                      db->number("SELECT count(*) FROM events WHERE serial = " + s),
                  m->records_held());
    }
    EXPECT_EQ(new_records(lines), held);  // each record counted as new by exactly one collector
}

TEST(CollectPostgres, ALostDatabaseConnectionKeepsEveryCommittedBatch) {
    std::string uri;
    try {
        uri = fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    SiteMeter a(ksim::Model::em133, 9001, 20000, 300), b(ksim::Model::em133, 9002, 20000, 300);
    cli_test::Process tool(
        {KOLVANE_TOOL, "collect", a.address(), b.address(), "-m", "em133", "--db", uri});
    const auto db = open_postgres(uri);
    bool started = false;
    for (int i = 0; i < 200 && !started; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        try {
            started = db->number("SELECT count(*) FROM datalog_records") > 0;
        } catch (const std::exception&) {  // the schema is not there yet
        }
    }
    ASSERT_TRUE(started);
    // The server ends the collector's sessions, as a restart or an administrator would.
    db->rows(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
        "WHERE datname = current_database() AND pid <> pg_backend_pid()");
    const Outcome outcome = tool.finish();
    EXPECT_EQ(outcome.exit_status, 1);
    ASSERT_EQ(cli_test::lines_of(outcome.err).size(), 1u) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("kolvane: PostgreSQL: ", 0), 0u) << outcome.err;
    const std::int64_t kept = db->number("SELECT count(*) FROM datalog_records") +
                              db->number("SELECT count(*) FROM event_records");
    // What was reported stored is there; at most the batch whose commit the server took as its
    // session ended was not reported.
    const std::int64_t reported = new_records(summaries(outcome.out));
    EXPECT_GE(kept, reported);
    EXPECT_LE(kept, reported + 500);

    const Outcome rerun = collect({a.address(), b.address(), "--db", uri});
    ASSERT_EQ(rerun.exit_status, 0) << rerun.err;
    EXPECT_EQ(kept + new_records(summaries(rerun.out)), a.records_held() + b.records_held());
}

TEST(CollectPostgres, AMeterAnotherCollectorIsReadingIsSkippedAsBusy) {
    std::string uri;
    try {
        uri = fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    SiteMeter meter(ksim::Model::em133, 9101, 20, 5);
    ASSERT_EQ(collect({"--only", "live", meter.address(), "--db", uri}).exit_status,
              0);  // creates the schema
    // Another collector holds the meter: its advisory lock, keyed by the serial.
    const auto other = open_postgres(uri);
    other->rows("SELECT pg_advisory_lock((x'6B6F6C76'::bigint << 32) | 9101)");
    const Outcome outcome = collect({meter.address(), "--db", uri});
    EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    const auto line = summaries(outcome.out).at(0);
    EXPECT_EQ(line.at("busy"), true) << line;
    EXPECT_EQ(line.at("serial"), 9101);
    EXPECT_EQ(open_postgres(uri)->number("SELECT count(*) FROM datalog_values WHERE serial = 9101"),
              0);
}

TEST(CollectPostgres, AnUnreachableServerIsOneLineAndStatusOne) {
    SiteMeter meter(ksim::Model::em133, 8001, 5, 5);
    const ktest::RefusingPort nobody;
    const Outcome outcome =
        collect({meter.address(), "--db",
                 "postgresql://postgres@127.0.0.1:" + std::to_string(nobody.port()) + "/x"});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.out, "");
    ASSERT_EQ(cli_test::lines_of(outcome.err).size(), 1u) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("kolvane: Cannot connect to PostgreSQL: ", 0), 0u) << outcome.err;
}

}  // namespace
}  // namespace collect_test
