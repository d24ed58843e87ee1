// SPDX-License-Identifier: MIT
// What the report may touch: -o never names the database or a file that is no earlier report,
// and a user who may only read the database and its directory gets the report all the same.
#include "report_run.hpp"
#include "support/files.hpp"
#include "support/reachable_copy.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace report_test {
namespace {

namespace fs = std::filesystem;

const std::string USAGE_HINT = "Run 'kolvane --help' or 'kolvane COMMAND --help' for usage.";

// The names of the entries in `dir`, sorted.
std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A connection that keeps the database open as a running collector does, so that its -wal and
// -shm files exist while it lives.
class OpenConnection {
public:
    explicit OpenConnection(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
                SQLITE_OK)
            throw std::runtime_error("cannot open " + path + ": " + sqlite3_errmsg(db_));
    }
    ~OpenConnection() { sqlite3_close(db_); }
    OpenConnection(const OpenConnection&) = delete;
    OpenConnection& operator=(const OpenConnection&) = delete;

private:
    sqlite3* db_ = nullptr;
};

TEST(ReportOutput, NeverTheDatabaseNorAFileThatIsNoReport) {
    StoredSite site;
    const std::string db = site.path();
    const std::string dir = fs::path(db).parent_path();
    const std::string dir_name = fs::path(dir).filename();
    fs::create_symlink(db, dir + "/link.html");
    fs::create_hard_link(db, dir + "/hard.html");
    fs::create_symlink(db, dir + "/r.html.part");  // where -o r.html writes first
    ktest::write_file(dir + "/notes.txt", "my notes, no report\n");
    ktest::write_file(dir + "/empty.html", "");
    ktest::write_file(dir + "/page.html", "<html><body>no doctype</body></html>\n");
    fs::create_directory(dir + "/folder");

    const std::string is_db = " is the database " + db + ": the report never writes there";
    const std::string no_page =
        " exists and is no HTML page; the report replaces only a page it wrote before";
    struct Case {
        const char* what;
        std::string output;
        std::string problem;  // after "kolvane: --output: "
        bool open = false;    // with the database open elsewhere, its -wal and -shm there
    };
    const std::vector<Case> cases = {
        {"the same path", db, "'" + db + "'" + is_db},
        {"a symbolic link to it", dir + "/link.html", "'" + dir + "/link.html'" + is_db},
        {"a hard link to it", dir + "/hard.html", "'" + dir + "/hard.html'" + is_db},
        {"another spelling of its path", dir + "/../" + dir_name + "/./site.db",
         "'" + dir + "/../" + dir_name + "/./site.db'" + is_db},
        {"the database as the part file", dir + "/r.html", "'" + dir + "/r.html.part'" + is_db},
        {"its -wal file before it exists", db + "-wal",
         "'" + db + "-wal' is the -wal file of the database " + db +
             ": the report never writes there"},
        {"its -wal file", db + "-wal",
         "'" + db + "-wal' is the -wal file of the database " + db +
             ": the report never writes there",
         true},
        {"its -shm file", db + "-shm",
         "'" + db + "-shm' is the -shm file of the database " + db +
             ": the report never writes there",
         true},
        {"a text file", dir + "/notes.txt", "'" + dir + "/notes.txt'" + no_page},
        {"an empty file", dir + "/empty.html", "'" + dir + "/empty.html'" + no_page},
        {"a page without a doctype", dir + "/page.html", "'" + dir + "/page.html'" + no_page},
        {"a directory", dir + "/folder", "'" + dir + "/folder' is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<OpenConnection> collector;
        if (c.open) collector = std::make_unique<OpenConnection>(db);
        const auto database = ktest::read_file(db);
        const auto output =
            fs::is_regular_file(c.output) ? ktest::read_file(c.output) : std::nullopt;
        const auto listed = entries(dir);
        const cli_test::Outcome outcome =
            cli_test::run_tool({"report", "--db", db, "-o", c.output});
        EXPECT_EQ(outcome.exit_status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "kolvane: --output: " + c.problem + "\n" + USAGE_HINT + "\n");
        EXPECT_EQ(ktest::read_file(db), database) << "the database is unchanged";
        if (!fs::is_directory(c.output)) {
            EXPECT_EQ(ktest::read_file(c.output), output) << "the file named is unchanged";
        }
        EXPECT_EQ(entries(dir), listed) << "nothing written beside them";
    }
}

TEST(ReportOutput, AnEarlierReportIsReplaced) {
    StoredSite site;
    const Report first = make_report(site.path());
    ASSERT_EQ(first.outcome.exit_status, 0) << first.outcome.err;
    const std::string dir = fs::path(first.path).parent_path();
    const std::string handwritten = dir + "/handwritten.html";
    ktest::write_file(handwritten, "\n  <!doctype HTML><title>an older page</title>\n");
    for (const std::string& output : {first.path, handwritten}) {
        SCOPED_TRACE(output);
        const cli_test::Outcome outcome =
            cli_test::run_tool({"report", "--db", site.path(), "-o", output});
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        EXPECT_EQ(ktest::read_file(output).value_or("").rfind("<!DOCTYPE html>", 0), 0u);
        EXPECT_FALSE(fs::exists(output + ".part"));
    }
}

// Opens and closes the database as its last connection does, which moves the -wal file's rows
// into the database file and removes the -wal and -shm files.
void close_last(const std::string& path) {
    sqlite3* db = nullptr;
    const bool done =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!done) throw std::runtime_error("cannot check point " + path);
}

// Runs the tool as the user nobody, from `tool`: the build tree may lie where nobody cannot
// reach it.
cli_test::Outcome run_as_nobody(const ktest::ReachableCopy& tool,
                                const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/sbin/runuser", "-u", "nobody", "--"};
    const std::vector<std::string> command = tool.command(args);
    argv.insert(argv.end(), command.begin(), command.end());
    return cli_test::Process(argv).finish();
}

// A collected site whose database and directory the user nobody may read but not write, in each
// state a collector leaves its -wal and -shm files in. The report reads what was committed, the
// rows still in the -wal file too, and writes nothing beside the database.
TEST(ReportAccess, AUserWhoMayOnlyReadTheDatabase) {
    ASSERT_EQ(::geteuid(), 0u) << "the test runs as root to hand the files to nobody";
    const ktest::ReachableCopy tool(KOLVANE_TOOL, {KOLVANE_LIBRARY});
    collect_test::SiteMeter first(ksim::Model::em133, 7101, 50, 10);
    collect_test::SiteMeter second(ksim::Model::em133, 7102, 50, 10);
    struct Case {
        const char* what;
        bool open;             // another connection holds the database, as a collector does
        fs::perms companions;  // the -wal and -shm files' permissions, when open
        int status;
    };
    const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write |
                               fs::perms::group_read | fs::perms::others_read;
    const std::vector<Case> cases = {
        {"-wal and -shm absent: the collector closed it", false, readable, 0},
        {"-wal and -shm there and readable: a collector has it open", true, readable, 0},
        {"-wal and -shm there but unreadable: no safe read", true,
         fs::perms::owner_read | fs::perms::owner_write, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string db = collect_test::fresh_sqlite_path();
        const std::string dir = fs::path(db).parent_path();
        ASSERT_EQ(collect_test::collect({first.address(), "--db", db}).exit_status, 0);
        std::unique_ptr<OpenConnection> collector;
        if (c.open) {
            collector = std::make_unique<OpenConnection>(db);
            // Its rows stay in the -wal file while the other connection holds it.
            ASSERT_EQ(collect_test::collect({second.address(), "--db", db}).exit_status, 0);
            ASSERT_GT(fs::file_size(db + "-wal"), 0u);
            fs::permissions(db + "-wal", c.companions);
            fs::permissions(db + "-shm", c.companions);
        } else {
            close_last(db);  // as the collector's own close does, whatever it left behind
            ASSERT_FALSE(fs::exists(db + "-wal"));
            ASSERT_FALSE(fs::exists(db + "-shm"));
        }
        const auto listed = entries(dir);
        fs::permissions(db, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read |
                                 fs::perms::others_exec);
        const std::string out_dir = cli_test::fresh_dir(fs::path(dir).filename().string() + "-out");
        fs::permissions(out_dir, fs::perms::all);
        const std::string output = out_dir + "/r.html";

        const cli_test::Outcome outcome = run_as_nobody(tool, {"report", "--db", db, "-o", output});
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(outcome.exit_status, c.status) << outcome.err;
        EXPECT_EQ(entries(dir), listed) << "nothing written beside the database";
        if (c.status != 0) {
            EXPECT_EQ(outcome.err.rfind("kolvane: Cannot read SQLite database " + db + ": ", 0), 0u)
                << outcome.err;
            EXPECT_EQ(cli_test::lines_of(outcome.err).size(), 1u) << outcome.err;
            EXPECT_FALSE(fs::exists(output));
            continue;
        }
        const auto summary = nlohmann::json::parse(outcome.out);
        EXPECT_EQ(summary.at("meters"), c.open ? 2 : 1) << outcome.out;
        EXPECT_EQ(summary.at("datalog_records"), (c.open ? 2 : 1) * 3 * 50) << outcome.out;
        const nlohmann::json data = embedded_data(ktest::read_file(output).value_or(""));
        EXPECT_EQ(data.at("meters").size(), c.open ? 2u : 1u);
    }
}

}  // namespace
}  // namespace report_test
