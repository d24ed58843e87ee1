// SPDX-License-Identifier: MIT
// datalog and eventlog: JSON lines, CSV files, progress and Ctrl-C.
#include "served_meter.hpp"
#include "sim_suite.hpp"

#include <nlohmann/json.hpp>

#include <csignal>
#include <ctime>
#include <filesystem>

namespace cli_test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class Logs : public SimSuite {};

const std::string DATALOG_HEADER =
    R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":1,"total":2880,"columns":[)"
    R"({"name":"V1","unit":"V","decimals":1},{"name":"V2","unit":"V","decimals":1},)"
    R"({"name":"V3","unit":"V","decimals":1},{"name":"I1","unit":"A","decimals":2},)"
    R"({"name":"I2","unit":"A","decimals":2},{"name":"I3","unit":"A","decimals":2},)"
    R"({"name":"Total kW","unit":"kW","decimals":3},{"name":"Total PF","unit":"","decimals":3},)"
    R"({"name":"kWh import","unit":"kWh","decimals":2}]})";

const std::string DATALOG_CSV_HEADER =
    "No.,Date/Time,Trigger,V1 (V),V2 (V),V3 (V),I1 (A),I2 (A),I3 (A),Total kW (kW),Total PF,kWh "
    "import (kWh)";

const std::string EVENTLOG_CSV_HEADER =
    "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,Value "
    "Triggered";

std::size_t fields(const std::string& csv_line) {
    return static_cast<std::size_t>(std::count(csv_line.begin(), csv_line.end(), ',')) + 1;
}

TEST_F(Logs, DatalogPrintsOneJsonLinePerRecordAfterTheHeader) {
    const Outcome r = run_tool({"datalog", "127.0.0.1", "1", "-p", port(), "-m", "em133"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2881u);
    EXPECT_EQ(lines[0], DATALOG_HEADER);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const json record = json::parse(lines[i]);
        ASSERT_EQ(record["type"], "record");
        ASSERT_EQ(record["no"], i);
        ASSERT_EQ(record["values"].size(), 9u);
    }
}

TEST_F(Logs, EventlogPrintsTheHeaderAndDecodedEvents) {
    const Outcome r =
        run_tool({"eventlog", "127.0.0.1", "-p", port(), "-m", "em133", "--file-id", "0"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 301u);
    EXPECT_EQ(lines[0],
              R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":300})");
    const json first = json::parse(lines[1]);
    EXPECT_EQ(first["cause"], "EXTERNAL");
    EXPECT_EQ(first["point"], "Power down");
    EXPECT_EQ(json::parse(lines.back())["no"], 300);
}

TEST_F(Logs, CsvExportsWriteTheFileAndNothingToStandardOutput) {
    const std::string dir = fresh_dir("csv");
    const Outcome data = run_tool(
        {"datalog", "127.0.0.1", "1", "-p", port(), "-m", "em133", "-o", dir + "/dl1.csv"});
    ASSERT_EQ(data.exit_status, 0) << data.err;
    EXPECT_EQ(data.out, "");
    EXPECT_EQ(data.err, "");  // no progress bar: standard error is not a terminal
    const std::vector<std::string> rows = lines_of(read_file(dir + "/dl1.csv"));
    ASSERT_EQ(rows.size(), 2881u);
    EXPECT_EQ(rows[0], DATALOG_CSV_HEADER);
    EXPECT_TRUE(rows[1].starts_with("1,")) << rows[1];
    EXPECT_EQ(fields(rows[2880]), 12u);
    EXPECT_FALSE(fs::exists(dir + "/dl1.csv.part"));

    const Outcome events =
        run_tool({"eventlog", "127.0.0.1", "-p", port(), "-m", "em133", "-o", dir + "/ev.csv"});
    ASSERT_EQ(events.exit_status, 0) << events.err;
    const std::vector<std::string> event_rows = lines_of(read_file(dir + "/ev.csv"));
    ASSERT_EQ(event_rows.size(), 301u);
    EXPECT_EQ(event_rows[0], EVENTLOG_CSV_HEADER);
}

TEST_F(Logs, ProgressGoesToStandardErrorOnlyWhenAsked) {
    const std::string dir = fresh_dir("progress");
    const Outcome r = run_tool({"eventlog", "127.0.0.1", "-p", port(), "-m", "em133", "-o",
                                dir + "/ev.csv", "--progress"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> lines = lines_of(r.err);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines.front().starts_with("[------------------------------] 1/300 rows   0% "))
        << lines.front();
    EXPECT_TRUE(lines.back().starts_with("[##############################] 300/300 rows 100% "))
        << lines.back();
    EXPECT_TRUE(lines.back().ends_with(" rows/s")) << lines.back();
}

// The library's warnings reach standard error without -v; -q silences them.
TEST_F(Logs, ADataLogTheMeterDoesNotHoldIsAnEmptyStreamWithAWarning) {
    const Outcome r = run_tool({"datalog", "127.0.0.1", "9", "-p", port(), "-m", "em133"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(
        r.out,
        R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":9,"total":-1,"columns":[]})"
        "\n");
    EXPECT_EQ(r.err, "kolvane: warning: File 9: File Info unavailable, record count unknown\n");
    const Outcome quiet =
        run_tool({"datalog", "127.0.0.1", "9", "-p", port(), "-m", "em133", "-q"});
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.out, r.out);
    EXPECT_EQ(quiet.err, "");
}

// --after passes after_seq: data log 1 holds sequence numbers 1000-3879, so only the last
// three follow 3876, numbered from 1; --after-time is the stamp the record at SEQ must carry. A
// value out of range, a stamp without --after, or --after with a CSV export, is a usage error.
TEST_F(Logs, AfterPrintsOnlyTheNewerRecords) {
    const Outcome r =
        run_tool({"datalog", "127.0.0.1", "1", "-p", port(), "-m", "em133", "--after", "3876"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], DATALOG_HEADER);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const json record = json::parse(lines[i]);
        EXPECT_EQ(record["no"], i);
        EXPECT_EQ(record["seq"], 3876 + i);
    }
    // --after-time: the record at 3876 must carry the stamp given, else the log is read whole.
    const std::string stamp = json::parse(lines[1])["timestamp"].get<std::string>();
    struct Anchor {
        std::string stamp;
        std::size_t lines;
    };
    for (const Anchor& a : {Anchor{stamp, 3u}, Anchor{"2000-01-01T00:00:00.000Z", 2881u}}) {
        const Outcome checked = run_tool({"datalog", "127.0.0.1", "1", "-p", port(), "-m", "em133",
                                          "--after", "3877", "--after-time", a.stamp});
        EXPECT_EQ(checked.exit_status, 0) << checked.err;
        EXPECT_EQ(lines_of(checked.out).size(), a.lines) << a.stamp;
    }
    const std::vector<std::vector<std::string>> misuses = {
        {"--after", "65536"},
        {"--after", "-1"},
        {"--after", "5", "-o", "x.csv"},
        {"--after-time", stamp},
        {"--after", "5", "--after-time", "yesterday"}};
    for (std::vector<std::string> args : misuses) {
        args.insert(args.begin(), {"eventlog", "127.0.0.1", "-p", port(), "-m", "em133"});
        const Outcome bad = run_tool(args);
        EXPECT_EQ(bad.exit_status, 2) << bad.err;
        EXPECT_EQ(bad.out, "");
    }
}

TEST_F(Logs, AnExportOfALogTheMeterDoesNotHoldCreatesNoFile) {
    const std::vector<std::vector<std::string>> commands = {
        {"datalog", "127.0.0.1", "5"}, {"eventlog", "127.0.0.1", "--file-id", "5"}};
    for (std::vector<std::string> args : commands) {
        const std::string csv = fresh_dir("absent_log") + "/x.csv";
        args.insert(args.end(), {"-p", port(), "-m", "em133", "-o", csv, "-q"});
        const Outcome r = run_tool(args);
        EXPECT_EQ(r.exit_status, 1) << args[0];
        EXPECT_EQ(r.err, "kolvane: The meter has no log file 5: no file written\n") << args[0];
        EXPECT_FALSE(fs::exists(csv)) << args[0];
        EXPECT_FALSE(fs::exists(csv + ".part")) << args[0];
    }
}

// A meter that falls silent in the middle of a transfer.
TEST(LogsOfAFailingMeter, AFailedExportLeavesTheEarlierFileAndKeepsTheRowsInThePartFile) {
    ServedMeter meter(ksim::Model::em133, 2880);
    const std::string keep = fresh_dir("keep") + "/keep.csv";
    const std::vector<std::string> args = {"datalog", "127.0.0.1", "1",  "-p", meter.port(), "-m",
                                           "em133",   "-o",        keep, "-t", "300"};
    ASSERT_EQ(run_tool(args).exit_status, 0);
    const std::string good = read_file(keep);
    ASSERT_EQ(lines_of(good).size(), 2881u);

    meter.sim.add_fault(
        ksim::Fault::no_reply().reads(ksim::BLOCK_DATA, ksim::BLOCK_DATA + 1000).skip(40));
    const Outcome r = run_tool(args);
    EXPECT_EQ(r.exit_status, 1);
    const std::vector<std::string> messages = lines_of(r.err);
    ASSERT_EQ(messages.size(), 2u) << r.err;
    EXPECT_TRUE(messages[1].ends_with(" rows read are kept in " + keep + ".part; " + keep +
                                      " is unchanged"))
        << messages[1];
    EXPECT_TRUE(read_file(keep) == good);

    const std::string part = read_file(keep + ".part");
    ASSERT_FALSE(part.empty());
    EXPECT_EQ(part.back(), '\n');
    const std::vector<std::string> rows = lines_of(part);
    EXPECT_EQ(rows[0], DATALOG_CSV_HEADER);
    EXPECT_GT(rows.size(), 1u);
    EXPECT_LT(rows.size(), 2881u);
    EXPECT_TRUE(
        messages[1].starts_with("kolvane: The " + std::to_string(rows.size() - 1) + " rows"))
        << messages[1];
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_TRUE(rows[i].starts_with(std::to_string(i) + ",")) << rows[i];

    // Silent from the start: the call fails on the meter's scaling, before any file is opened;
    // the good file stays, and so do the rows the earlier run kept.
    meter.sim.clear_faults();
    meter.sim.add_fault(ksim::Fault::no_reply());
    const Outcome silent = run_tool(args);
    EXPECT_EQ(silent.exit_status, 1);
    EXPECT_EQ(lines_of(silent.err).size(), 1u) << silent.err;
    EXPECT_TRUE(read_file(keep) == good);
    EXPECT_TRUE(read_file(keep + ".part") == part);
}

constexpr std::int64_t SPRING_CHANGE = 1774746000;  // 2026-03-29T01:00:00Z, 02:00 CET -> 03:00 CEST
constexpr std::int64_t AUTUMN_CHANGE = 1792890000;  // 2026-10-25T01:00:00Z, 03:00 CEST -> 02:00 CET

// Berlin's wall clock in 2026, written out here so that the tool's zone database is checked
// against it.
std::int64_t berlin_2026(std::int64_t utc) {
    return utc + (utc >= SPRING_CHANGE && utc < AUTUMN_CHANGE ? 7200 : 3600);
}

// `seconds` as "YYYY-MM-DDTHH:MM:SS.000", or in another strftime `form`.
std::string time_text(std::int64_t seconds, const char* form = "%Y-%m-%dT%H:%M:%S.000") {
    const std::time_t t = seconds;
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, form, &parts);
    return text;
}

// The seconds of a text "YYYY-MM-DDTHH:MM:SS...", read as UTC.
std::int64_t seconds_of(const std::string& text) {
    std::tm parts{};
    strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &parts);
    return timegm(&parts);
}

// The CSV row from its field `n` on (the fields before it are never quoted), and that field.
std::string fields_from(const std::string& row, int n) {
    std::size_t at = 0;
    for (int i = 0; i < n; ++i) at = row.find(',', at) + 1;
    return row.substr(at);
}
std::string field(const std::string& row, int n) {
    const std::string rest = fields_from(row, n);
    return rest.substr(0, rest.find(','));
}

// A meter whose clock keeps Berlin's wall time, with records two hours either side of a change
// of the clock. With --tz each record's "timestamp" is its true UTC time and "meter_time" the
// meter's stamp, in the JSON lines and in CSV (Date/Time, then meter_time); without, the output
// is the library's own, the wall time labelled UTC. --after-time takes the UTC stamp printed, and
// the record after it lands on the right side of the autumn change. An unknown zone is a usage
// error before the meter is asked anything.
TEST(LogsOfABerlinMeter, TzPrintsTrueUtcBesideTheMeterTimeAcrossBothChanges) {
    constexpr int RECORDS = 17;
    for (const std::int64_t change : {AUTUMN_CHANGE, SPRING_CHANGE}) {
        SCOPED_TRACE(time_text(change));
        const std::int64_t newest = change + 8 * 900;
        ksim::Simulator sim(
            ksim::default_meter(ksim::Model::em133, RECORDS, newest, 40, berlin_2026));
        const std::string port = std::to_string(sim.start());
        const auto run = [&](const std::string& command, const std::vector<std::string>& more) {
            std::vector<std::string> args{command, "127.0.0.1", "-p", port, "-m", "em133"};
            if (command == "datalog") args.insert(args.begin() + 2, "1");
            args.insert(args.end(), more.begin(), more.end());
            return run_tool(args);
        };
        const auto true_time = [&](std::size_t i) {  // of the data log's record i
            return newest - static_cast<std::int64_t>(RECORDS - 1 - i) * 900;
        };
        const std::string dir = fresh_dir("berlin");

        for (const std::string command : {"datalog", "eventlog"}) {
            SCOPED_TRACE(command);
            const Outcome plain = run(command, {});
            const Outcome zoned = run(command, {"--tz", "Europe/Berlin"});
            ASSERT_EQ(run(command, {"-o", dir + "/plain.csv"}).exit_status, 0);
            const Outcome zoned_csv =
                run(command, {"-o", dir + "/zoned.csv", "--tz", "Europe/Berlin"});
            ASSERT_EQ(plain.exit_status, 0) << plain.err;
            ASSERT_EQ(zoned.exit_status, 0) << zoned.err;
            ASSERT_EQ(zoned_csv.exit_status, 0) << zoned_csv.err;
            const std::vector<std::string> plain_lines = lines_of(plain.out);
            const std::vector<std::string> zoned_lines = lines_of(zoned.out);
            const std::vector<std::string> plain_rows = lines_of(read_file(dir + "/plain.csv"));
            const std::vector<std::string> zoned_rows = lines_of(read_file(dir + "/zoned.csv"));
            ASSERT_GT(plain_lines.size(), 10u);
            ASSERT_EQ(zoned_lines.size(), plain_lines.size());
            ASSERT_EQ(plain_rows.size(), plain_lines.size());
            ASSERT_EQ(zoned_rows.size(), plain_lines.size());
            EXPECT_EQ(zoned_lines[0], plain_lines[0]);
            EXPECT_EQ(zoned_rows[0], "No.,Date/Time,meter_time," + fields_from(plain_rows[0], 2));
            std::string previous_utc;
            for (std::size_t i = 1; i < plain_lines.size(); ++i) {
                const json record = json::parse(zoned_lines[i]);
                const std::string utc = record["timestamp"], wall = record["meter_time"];
                // JSON: the library's line but for the UTC time and the wall time beside it.
                std::string restored = zoned_lines[i];
                restored.replace(restored.find(utc), utc.size() + 16 + wall.size(), wall + "Z");
                EXPECT_EQ(restored, plain_lines[i]);
                EXPECT_GT(utc, previous_utc);
                previous_utc = utc;
                EXPECT_EQ(time_text(berlin_2026(seconds_of(utc))), wall.substr(0, 19) + ".000");
                // CSV: the same two times after No., the rest of the library's row after them.
                EXPECT_EQ(zoned_rows[i], std::to_string(i) + "," + utc + "," + wall + "," +
                                             fields_from(plain_rows[i], 2));
                if (command == "eventlog") continue;
                EXPECT_EQ(utc, time_text(true_time(i - 1)) + "Z");
                EXPECT_EQ(wall, time_text(berlin_2026(true_time(i - 1))));
                EXPECT_EQ(field(plain_rows[i], 1),
                          time_text(berlin_2026(true_time(i - 1)), "%d/%m/%y  %H:%M:%S.000"));
            }
        }

        // --after: the record a quarter of an hour before the change, as printed with --tz, is
        // the anchor; the stamp printed without --tz is not its UTC time, and the log is read
        // whole.
        const std::size_t anchor = RECORDS - 1 - 9;
        struct Anchor {
            std::string stamp;
            std::size_t first;  // the first record printed
        };
        for (const Anchor& a : {Anchor{time_text(true_time(anchor)) + "Z", anchor + 1},
                                Anchor{time_text(berlin_2026(true_time(anchor))) + "Z", 0}}) {
            SCOPED_TRACE(a.stamp);
            const Outcome r =
                run("datalog", {"--after", std::to_string(1000 + anchor), "--after-time", a.stamp,
                                "--tz", "Europe/Berlin", "-q"});
            ASSERT_EQ(r.exit_status, 0) << r.err;
            const std::vector<std::string> lines = lines_of(r.out);
            ASSERT_EQ(lines.size(), RECORDS - a.first + 1);
            for (std::size_t i = 1; i < lines.size(); ++i)
                EXPECT_EQ(json::parse(lines[i])["timestamp"],
                          time_text(true_time(a.first + i - 1)) + "Z");
        }
    }

    ServedMeter meter;
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"datalog", "127.0.0.1", "1"},
          std::vector<std::string>{"datalog", "127.0.0.1", "1", "-o", fresh_dir("tz") + "/x.csv"},
          std::vector<std::string>{"eventlog", "127.0.0.1"}}) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"-p", meter.port(), "-m", "em133", "--tz", "Nowhere/Atlantis"});
        const Outcome bad = run_tool(args);
        EXPECT_EQ(bad.exit_status, 2);
        EXPECT_EQ(bad.err,
                  "kolvane: --tz: unknown time zone 'Nowhere/Atlantis'\nRun 'kolvane --help' or "
                  "'kolvane COMMAND --help' for usage.\n");
        EXPECT_EQ(bad.out, "");
    }
    EXPECT_EQ(meter.sim.requests_received(), 0u);
}

// A simulator whose data logs are long enough to interrupt.
class Interrupted : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = std::make_unique<Simulator>(std::vector<std::string>{"--records", "20000"});
    }
    static void TearDownTestSuite() { sim_.reset(); }
    void SetUp() override { ASSERT_NE(sim_->port(), 0); }
    static inline std::unique_ptr<Simulator> sim_;
};

TEST_F(Interrupted, CtrlCDuringACsvExportKeepsCompleteRowsInThePartFileAndExits130) {
    const std::string csv = fresh_dir("interrupt") + "/dl2.csv";
    Process tool({KOLVANE_TOOL, "datalog", "127.0.0.1", "2", "-p", sim_->port_text(), "-m", "em133",
                  "-o", csv, "--progress"});
    ASSERT_TRUE(tool.read_err_line().starts_with("[")) << "no progress line";
    tool.signal(SIGINT);
    const Outcome r = tool.finish();
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_TRUE(r.err.find("\nkolvane: Cancelled by caller\nkolvane: The ") != std::string::npos)
        << r.err;
    EXPECT_TRUE(
        r.err.ends_with(" rows read are kept in " + csv + ".part; " + csv + " is unchanged\n"))
        << r.err;
    EXPECT_FALSE(fs::exists(csv));
    const std::string text = read_file(csv + ".part");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> rows = lines_of(text);
    EXPECT_TRUE(rows[0].starts_with("No.,Date/Time,Trigger,")) << rows[0];
    EXPECT_LT(rows.size(), 20001u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_TRUE(rows[i].starts_with(std::to_string(i) + ",")) << rows[i];
        ASSERT_EQ(fields(rows[i]), 12u) << rows[i];
    }
}

TEST_F(Interrupted, CtrlCDuringAJsonStreamEndsWithACompleteLine) {
    Process tool(
        {KOLVANE_TOOL, "datalog", "127.0.0.1", "3", "-p", sim_->port_text(), "-m", "em133"});
    ASSERT_TRUE(tool.read_out_line().starts_with(R"({"type":"header")"));
    tool.signal(SIGINT);
    const Outcome r = tool.finish();
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_EQ(r.err, "kolvane: Cancelled by caller\n");
    ASSERT_EQ(r.out.back(), '\n');
    const std::vector<std::string> lines = lines_of(r.out);
    EXPECT_LT(lines.size(), 20001u);
    for (const std::string& line : lines) EXPECT_TRUE(json::accept(line)) << line;
}

}  // namespace
}  // namespace cli_test
