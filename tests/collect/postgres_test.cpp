// SPDX-License-Identifier: MIT
// The shared database: collectors that run at once, a server that ends their sessions or
// restarts, and a server that cannot be reached.
#include "support/loopback_ports.hpp"
#include "support/postgres_server.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

namespace collect_test {
namespace {

// Waits, up to 20 s, until a collector has committed its first data log batch.
bool first_batch_stored(Database& db) {
    for (int i = 0; i < 400; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        try {
            if (db.number("SELECT count(*) FROM datalog_records") > 0) return true;
        } catch (const std::exception&) {  // the schema is not there yet
        }
    }
    return false;
}

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

TEST(CollectPostgres, ALostDatabaseConnectionIsReopenedAndEveryRecordStoredOnce) {
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
    ASSERT_TRUE(first_batch_stored(*db));
    // The server ends the collector's sessions, as a restart or an administrator would: the
    // batch that failed is written again over a new connection, and the meters' locks are
    // taken again.
    db->rows(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
        "WHERE datname = current_database() AND pid <> pg_backend_pid()");
    const Outcome outcome = tool.finish();
    EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const auto lines = summaries(outcome.out);
    ASSERT_EQ(lines.size(), 2u) << outcome.out;
    bool reconnected = false;
    for (const auto& line : lines) {
        EXPECT_TRUE(line.at("complete").get<bool>()) << line;
        reconnected = reconnected || line.value("reconnected", false);
    }
    EXPECT_TRUE(reconnected) << outcome.out;
    const std::int64_t held = a.records_held() + b.records_held();
    EXPECT_EQ(db->number("SELECT count(*) FROM datalog_records") +
                  db->number("SELECT count(*) FROM event_records"),
              held);
    // A batch whose commit the server took as the session ended is found stored when written
    // again: it counts as not new.
    EXPECT_LE(new_records(lines), held);
    EXPECT_GE(new_records(lines), held - 500);
}

TEST(CollectPostgres, AMeterWhoseLockWentWithItsConnectionToAnotherCollectorIsNotReadOn) {
    std::string uri;
    try {
        uri = fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    // A slow meter: a batch every second or so, so the test acts between two of them.
    SiteMeter meter(ksim::Model::em133, 9301, 2000, 50);
    meter.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(20))
                              .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    cli_test::Process tool({KOLVANE_TOOL, "collect", meter.address(), "-m", "em133", "--db", uri});
    const auto db = open_postgres(uri);
    ASSERT_TRUE(first_batch_stored(*db));
    // The session holding the meter's lock ends, and another collector takes the lock at once,
    // while this one waits for a block of the slow meter.
    const char* const lock = "(x'6B6F6C76'::bigint << 32) | 9301";
    ASSERT_EQ(db->number("SELECT count(pg_terminate_backend(pid)) FROM pg_locks "
                         "WHERE locktype = 'advisory' AND objid = 9301"),
              1);
    bool taken = false;
    for (int i = 0; i < 5000 && !taken; ++i) {
        taken = db->rows("SELECT pg_try_advisory_lock(" + std::string(lock) + ")")[0][0] == "t";
        if (!taken) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(taken);
    const std::size_t requests_when_taken = meter.sim().requests_received();
    const Outcome outcome = tool.finish();
    // It stops before the meter's next block: at most the block in hand (its request, header,
    // data in several reads) was asked for since; without the check, hundreds until a batch.
    EXPECT_LE(meter.sim().requests_received() - requests_when_taken, 10u);
    EXPECT_EQ(outcome.exit_status, 1) << outcome.err << outcome.out;
    const auto lines = summaries(outcome.out);
    ASSERT_EQ(lines.size(), 1u) << outcome.out;
    EXPECT_NE(lines[0].value("error", "").find("another collector holds it"), std::string::npos)
        << lines[0];
    const std::int64_t kept = db->number("SELECT count(*) FROM datalog_records") +
                              db->number("SELECT count(*) FROM event_records");
    EXPECT_LT(kept, meter.records_held());  // it stopped reading
    EXPECT_EQ(kept, new_records(lines));
}

TEST(CollectPostgres, AServerRestartDuringEveryFailsOnePassAndTheNextStoresAgain) {
    std::unique_ptr<ktest::PostgresServer> server;  // its own: this test stops it
    std::string uri;
    try {
        server = std::make_unique<ktest::PostgresServer>();
        uri = server->create_database("restarted");
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    SiteMeter meter(ksim::Model::em133, 9201, 40, 10);
    cli_test::Process tool(
        {KOLVANE_TOOL, "collect", meter.address(), "-m", "em133", "--every", "1s", "--db", uri});
    auto next_line = [&] {
        const std::string text = tool.read_out_line();
        return text.empty() ? nlohmann::json() : nlohmann::json::parse(text);
    };
    const auto first = next_line();
    ASSERT_TRUE(first.is_object());
    ASSERT_FALSE(first.contains("error")) << first;
    EXPECT_EQ(new_records({first}), meter.records_held());

    server->stop();
    nlohmann::json line;
    for (int pass = 0; pass < 5 && !line.contains("error"); ++pass) line = next_line();
    ASSERT_TRUE(line.contains("error")) << line;
    EXPECT_EQ(line.at("error").get<std::string>().rfind("PostgreSQL: ", 0), 0u) << line;
    // Ten new records while the server is down.
    meter.sim().update_log(1, [](ksim::LogFile& log) {
        const auto last = log.records.back();  // a copy: the pushes below move the records
        const std::uint32_t seconds = last[2] | (static_cast<std::uint32_t>(last[3]) << 16);
        for (std::uint16_t i = 1; i <= 10; ++i) {
            auto record = last;
            record[1] = static_cast<std::uint16_t>(last[1] + i);
            record[2] = static_cast<std::uint16_t>(seconds + 900u * i);
            record[3] = static_cast<std::uint16_t>((seconds + 900u * i) >> 16);
            log.records.push_back(record);
        }
    });
    server->start();
    for (int pass = 0; pass < 10 && line.contains("error"); ++pass) line = next_line();
    tool.signal(SIGINT);
    const Outcome outcome = tool.finish();
    EXPECT_EQ(outcome.exit_status, 130) << outcome.err;
    ASSERT_TRUE(line.is_object()) << outcome.err;
    ASSERT_FALSE(line.contains("error")) << line;
    EXPECT_EQ(line.value("reconnected", false), true) << line;
    EXPECT_EQ(line.at("datalog").at(0).at("new"), 10) << line;
    const auto db = open_postgres(uri);
    EXPECT_EQ(db->number("SELECT count(*) FROM datalog_records") +
                  db->number("SELECT count(*) FROM event_records"),
              meter.records_held() + 10);
}

TEST(CollectPostgres, AServerThatStaysDownFailsTheRunWithOneLineAndKeepsEveryCommittedBatch) {
    std::unique_ptr<ktest::PostgresServer> server;  // its own: this test stops it
    std::string uri;
    try {
        server = std::make_unique<ktest::PostgresServer>();
        uri = server->create_database("stopped");
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    SiteMeter meter(ksim::Model::em133, 9401, 20000, 300);
    cli_test::Process tool({KOLVANE_TOOL, "collect", meter.address(), "-m", "em133", "--db", uri});
    ASSERT_TRUE(first_batch_stored(*open_postgres(uri)));
    server->stop();
    const Outcome outcome = tool.finish();
    EXPECT_EQ(outcome.exit_status, 1);
    ASSERT_EQ(cli_test::lines_of(outcome.err).size(), 1u) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("kolvane: PostgreSQL: ", 0), 0u) << outcome.err;

    server->start();
    const auto db = open_postgres(uri);
    const std::int64_t kept = db->number("SELECT count(*) FROM datalog_records") +
                              db->number("SELECT count(*) FROM event_records");
    // What was reported stored is there; at most the batch whose commit the server took as it
    // went down was not reported.
    const std::int64_t reported = new_records(summaries(outcome.out));
    EXPECT_GE(kept, reported);
    EXPECT_LE(kept, reported + 500);
    const Outcome rerun = collect({meter.address(), "--db", uri});
    ASSERT_EQ(rerun.exit_status, 0) << rerun.err;
    EXPECT_EQ(kept + new_records(summaries(rerun.out)), meter.records_held());
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
    other->rows("SELECT pg_try_advisory_lock((x'6B6F6C76'::bigint << 32) | 9101)");
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
