// SPDX-License-Identifier: MIT
// The command itself, on the default store: the hosts it reads, Ctrl-C, and databases it cannot
// use.
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace collect_test {
namespace {

TEST(Collect, AMeterNamedTwiceIsReadOnce) {
    SiteMeter meter(ksim::Model::em133, 4001, 20, 5);
    const std::string path = fresh_sqlite_path();
    const std::string hosts = path + ".hosts";
    std::ofstream(hosts) << "# the same meter again\n"
                         << meter.address() << " em133\n"
                         << meter.address() << "\n";
    const Outcome outcome = collect({meter.address(), "--hosts", hosts, "--db", "sqlite:" + path});
    ASSERT_EQ(outcome.exit_status, 0) << outcome.err;
    ASSERT_EQ(summaries(outcome.out).size(), 1u) << outcome.out;
    EXPECT_EQ(new_records(summaries(outcome.out)), meter.records_held());
}

TEST(Collect, CtrlCKeepsEveryCommittedBatchAndTheDatabaseConsistent) {
    SiteMeter a(ksim::Model::em133, 5001, 20000, 300), b(ksim::Model::em235, 5002, 20000, 300);
    const std::string path = fresh_sqlite_path();
    cli_test::Process tool(
        {KOLVANE_TOOL, "collect", a.address(), b.address(), "-m", "em133", "--db", path});
    // Interrupt once the first batches are committed, well before the 120000 records are read.
    bool started = false;
    for (int i = 0; i < 200 && !started; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        try {
            started = open_sqlite(path)->number("SELECT count(*) FROM datalog_records") > 0;
        } catch (const std::exception&) {  // not created yet
        }
    }
    ASSERT_TRUE(started);
    tool.signal(SIGINT);
    const Outcome outcome = tool.finish();
    EXPECT_EQ(outcome.exit_status, 130) << outcome.err;
    const auto db = open_sqlite(path);
    EXPECT_EQ(db->rows("PRAGMA integrity_check").at(0).at(0), "ok");
    const std::int64_t kept = db->number("SELECT count(*) FROM datalog_records") +
                              db->number("SELECT count(*) FROM event_records");
    EXPECT_LT(kept, a.records_held() + b.records_held());
    // Every row reported as stored is there: no batch was half written or lost.
    EXPECT_EQ(kept, new_records(summaries(outcome.out)));

    const Outcome rerun = collect({a.address(), b.address(), "--db", path});
    ASSERT_EQ(rerun.exit_status, 0) << rerun.err;
    EXPECT_EQ(kept + new_records(summaries(rerun.out)), a.records_held() + b.records_held());
}

TEST(Collect, ASlowMeterCostsOneDeadlineAndKeepsWhatItDelivered) {
    SiteMeter slow(ksim::Model::em133, 4501, 120, 5), fine(ksim::Model::em133, 4502, 20, 5);
    slow.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(300))
                             .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    const std::string path = fresh_sqlite_path();
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = collect({slow.address(), fine.address(), "--only", "datalog", "-t",
                                     "1000", "--deadline", "2", "--db", path});
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(8));  // one deadline and a margin
    EXPECT_EQ(outcome.exit_status, 1);
    const auto lines = summaries(outcome.out);
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        if (line.at("serial") == 4502) {
            EXPECT_FALSE(line.contains("error")) << line;
            continue;
        }
        EXPECT_NE(line.at("error").get<std::string>().find("Deadline"), std::string::npos) << line;
        const auto& log1 = line.at("datalog").at(0);
        EXPECT_GT(log1.at("read").get<int>(), 0) << line;
        EXPECT_EQ(log1.at("new"), log1.at("read"));
        EXPECT_EQ(
            open_sqlite(path)->number("SELECT count(*) FROM datalog_records WHERE serial = 4501"),
            log1.at("read").get<int>());
    }
}

TEST(Collect, ADatabaseThatCannotBeOpenedIsOneLineAndStatusOne) {
    SiteMeter meter(ksim::Model::em133, 6001, 5, 5);
    const Outcome outcome = collect({meter.address(), "--db", "/nonexistent-kolvane-dir/site.db"});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.out, "");
    ASSERT_EQ(cli_test::lines_of(outcome.err).size(), 1u) << outcome.err;
    EXPECT_EQ(outcome.err.rfind(
                  "kolvane: Cannot open SQLite database /nonexistent-kolvane-dir/site.db: ", 0),
              0u)
        << outcome.err;
}

TEST(Collect, EveryRepeatsUntilInterrupted) {
    SiteMeter meter(ksim::Model::em133, 6101, 10, 5);
    const std::string path = fresh_sqlite_path();
    cli_test::Process tool(
        {KOLVANE_TOOL, "collect", meter.address(), "-m", "em133", "--every", "1s", "--db", path});
    const auto first = nlohmann::json::parse(tool.read_out_line());
    const auto second = nlohmann::json::parse(tool.read_out_line());
    tool.signal(SIGINT);
    EXPECT_EQ(tool.finish().exit_status, 130);
    EXPECT_EQ(first.at("datalog").at(0).at("new"), 10);
    EXPECT_EQ(second.at("datalog").at(0).at("new"), 0);
    EXPECT_EQ(second.at("datalog").at(0).at("read"), 10);
}

TEST(Collect, ADatabaseOfANewerSchemaIsLeftAlone) {
    SiteMeter meter(ksim::Model::em133, 6201, 5, 5);
    const std::string path = fresh_sqlite_path();
    ASSERT_EQ(collect({meter.address(), "--db", path}).exit_status, 0);
    EXPECT_EQ(open_sqlite(path)->number("SELECT version FROM schema_version"), 2);
    const std::string later = "sqlite3 " + path + " 'UPDATE schema_version SET version = 3'";
    ASSERT_EQ(std::system(later.c_str()), 0);
    const Outcome outcome = collect({meter.address(), "--db", path});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.err, "kolvane: Cannot use SQLite database " + path +
                               ": schema version 3 is newer than this kolvane knows (2)\n");
}

TEST(Collect, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"collect", "-m", "em133"},                              // no meter
        {"collect", "127.0.0.1", "-m", "em133", "--only", "x"},  // unknown part
        {"collect", "127.0.0.1", "-m", "em133", "--every", "0"},
        {"collect", "127.0.0.1", "-m", "em133", "--every", "5 minutes"},
        {"collect", "127.0.0.1"},  // no model
        {"collect", "127.0.0.1", "-m", "em133", "--db", "sqlite:"},
    };
    for (const auto& args : cases) {
        const Outcome outcome = cli_test::run_tool(args);
        EXPECT_EQ(outcome.exit_status, 2) << args.back() << ": " << outcome.err;
    }
}

}  // namespace
}  // namespace collect_test
