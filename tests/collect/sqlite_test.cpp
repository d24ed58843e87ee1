// SPDX-License-Identifier: MIT
// The command itself, on the default store: the hosts it reads, Ctrl-C, and databases it cannot
// use.
#include "database/schema.hpp"
#include "support/files.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
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
    SiteMeter a(ksim::Model::em133, 5001, 20000, 300), b(ksim::Model::em133, 5002, 20000, 300);
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

TEST(Collect, ASlowMeterCostsADeadlinePerLogAndKeepsWhatItDelivered) {
    SiteMeter slow(ksim::Model::em133, 4501, 40, 5), fine(ksim::Model::em133, 4502, 20, 5);
    // A block of ten records a second: slower than the deadline's allowance per record.
    slow.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(1000))
                             .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    const std::string path = fresh_sqlite_path();
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = collect({slow.address(), fine.address(), "--only", "datalog", "-t",
                                     "2000", "--deadline", "2", "--db", path});
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(15));  // three logs of one deadline each, and a margin
    EXPECT_EQ(outcome.exit_status, 1);
    const auto lines = summaries(outcome.out);
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        if (line.at("serial") == 4502) {
            EXPECT_FALSE(line.contains("error")) << line;
            continue;
        }
        EXPECT_NE(line.at("error").get<std::string>().find("Deadline"), std::string::npos) << line;
        int read = 0;
        for (const auto& log : line.at("datalog")) {
            EXPECT_NE(log.at("error").get<std::string>().find("Deadline"), std::string::npos)
                << line;
            EXPECT_GT(log.at("read").get<int>(), 0) << line;
            EXPECT_EQ(log.at("new"), log.at("read"));
            read += log.at("read").get<int>();
        }
        EXPECT_EQ(
            open_sqlite(path)->number("SELECT count(*) FROM datalog_records WHERE serial = 4501"),
            read);
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
    // The second pass resumes after the newest record stored: nothing new to read.
    EXPECT_EQ(second.at("datalog").at(0).at("read"), 0);
    EXPECT_TRUE(second.at("datalog").at(0).contains("resumed_after")) << second;
}

TEST(Collect, ADatabaseOfANewerSchemaIsLeftAlone) {
    SiteMeter meter(ksim::Model::em133, 6201, 5, 5);
    const std::string path = fresh_sqlite_path();
    ASSERT_EQ(collect({meter.address(), "--db", path}).exit_status, 0);
    EXPECT_EQ(open_sqlite(path)->number("SELECT version FROM schema_version"), kdb::SCHEMA_VERSION);
    const std::string newer = std::to_string(kdb::SCHEMA_VERSION + 1);
    const std::string later =
        "sqlite3 " + path + " 'UPDATE schema_version SET version = " + newer + "'";
    ASSERT_EQ(std::system(later.c_str()), 0);
    const Outcome outcome = collect({meter.address(), "--db", path});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.err, "kolvane: Cannot use SQLite database " + path + ": schema version " +
                               newer + " is newer than this kolvane knows (" +
                               std::to_string(kdb::SCHEMA_VERSION) + ")\n");
}

const std::string USAGE_HINT = "Run 'kolvane --help' or 'kolvane COMMAND --help' for usage.";

// The names of the entries in `dir`, sorted.
std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// --db texts that name no file: SQLite would keep the database in memory (gone with the
// process) or read parameters out of a URI. Both commands refuse them before doing anything.
TEST(Collect, DatabaseTargetsWithoutAFileAreUsageErrors) {
    struct Case {
        std::string db;
        std::string problem;  // the first line of standard error
    };
    const std::string memory =
        "' is a SQLite database in memory, gone when kolvane exits: name a file";
    const std::string uri =
        "' is a SQLite URI filename, which kolvane does not take: name the database file by its "
        "path";
    const std::vector<Case> cases = {
        {":memory:", "':memory:" + memory},
        {"sqlite::memory:", "'sqlite::memory:" + memory},
        {"file::memory:", "'file::memory:" + memory},
        {"file::memory:?cache=shared", "'file::memory:?cache=shared" + memory},
        {"sqlite:file::memory:", "'sqlite:file::memory:" + memory},
        {"file:site.db?mode=memory", "'file:site.db?mode=memory" + memory},
        {"file:///tmp/site.db?mode=memory&cache=shared",
         "'file:///tmp/site.db?mode=memory&cache=shared" + memory},
        {"file:site.db", "'file:site.db" + uri},
        {"file:/tmp/site.db?immutable=1", "'file:/tmp/site.db?immutable=1" + uri},
        {"sqlite:", "a database file path is needed"},
        {"", "a database file path is needed"},
    };
    const std::string out = cli_test::fresh_dir("refused-targets") + "/report.html";
    for (const Case& c : cases) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"collect", "127.0.0.1", "-m", "em133"},
              std::vector<std::string>{"report", "-o", out}}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--db", c.db});
            const Outcome outcome = cli_test::run_tool(args);
            EXPECT_EQ(outcome.exit_status, 2) << command[0] << " --db " << c.db;
            EXPECT_EQ(outcome.out, "");
            EXPECT_EQ(outcome.err, "kolvane: --db: " + c.problem + "\n" + USAGE_HINT + "\n")
                << command[0] << " --db " << c.db;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

// A file that is not a kolvane database stays as it is, byte for byte, and nothing appears beside
// it; an empty file becomes one.
TEST(Collect, AFileOfSomethingElseIsLeftUntouched) {
    SiteMeter meter(ksim::Model::em133, 6301, 5, 5);
    struct Case {
        const char* what;
        std::string sql;      // run by the sqlite3 program into a new file; empty: `content`
        std::string content;  // the file's bytes otherwise
        int status;
        std::string message;  // after "kolvane: Cannot use SQLite database PATH: "
    };
    const std::string foreign =
        "it holds no kolvane database but tables of something else; left "
        "untouched";
    const std::vector<Case> cases = {
        {"a table", "CREATE TABLE notes(t); INSERT INTO notes VALUES('keep me');", "", 1, foreign},
        {"a view only", "CREATE VIEW answer AS SELECT 42;", "", 1, foreign},
        {"a table in WAL mode",
         "PRAGMA journal_mode=WAL; CREATE TABLE notes(t); INSERT INTO notes VALUES('keep me');", "",
         1, foreign},
        {"no SQLite file", "", "some notes, not a database\n", 1, "SQLite: file is not a database"},
        {"an empty file", "", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = fresh_sqlite_path();
        if (c.sql.empty()) {
            ktest::write_file(path, c.content);
        } else {
            const std::string make = "sqlite3 " + path + " \"" + c.sql + "\" >/dev/null";
            ASSERT_EQ(std::system(make.c_str()), 0);
        }
        const std::string dir = std::filesystem::path(path).parent_path();
        const auto before = ktest::read_file(path);
        const auto listed = entries(dir);
        const Outcome outcome = collect({meter.address(), "--db", path});
        EXPECT_EQ(outcome.exit_status, c.status) << outcome.err;
        if (c.status == 0) {
            EXPECT_EQ(open_sqlite(path)->number("SELECT max(version) FROM schema_version"),
                      kdb::SCHEMA_VERSION);
            EXPECT_EQ(new_records(summaries(outcome.out)), meter.records_held());
            continue;
        }
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err,
                  "kolvane: Cannot use SQLite database " + path + ": " + c.message + "\n");
        EXPECT_EQ(ktest::read_file(path), before) << "the file is unchanged";
        EXPECT_EQ(entries(dir), listed) << "nothing beside it";
    }
}

TEST(Collect, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"collect", "-m", "em133"},                              // no meter
        {"collect", "127.0.0.1", "-m", "em133", "--only", "x"},  // unknown part
        {"collect", "127.0.0.1", "-m", "em133", "--every", "0"},
        {"collect", "127.0.0.1", "-m", "em133", "--every", "5 minutes"},
        {"collect", "127.0.0.1"},  // no model
    };
    for (const auto& args : cases) {
        const Outcome outcome = cli_test::run_tool(args);
        EXPECT_EQ(outcome.exit_status, 2) << args.back() << ": " << outcome.err;
    }
}

}  // namespace
}  // namespace collect_test
