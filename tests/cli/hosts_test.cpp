// SPDX-License-Identifier: MIT
// info and live over a hosts file, with one meter that cannot be reached.
#include "served_meter.hpp"
#include "sim_suite.hpp"

#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>

namespace cli_test {
namespace {

using nlohmann::json;

class Hosts : public SimSuite {
protected:
    // Two simulated meters around a closed port, with comments and a blank line.
    std::string hosts_file() {
        const std::string path = fresh_dir("hosts") + "/meters.txt";
        std::ofstream(path) << "# meters of the test\n"
                            << "127.0.0.1:" << port() << "\n"
                            << "127.0.0.1:" << closed_ << " em235   # switched off\n\n"
                            << "  127.0.0.1:" << port() << " em133\n";
        return path;
    }

    const std::string closed_ = std::to_string(closed_port());
};

TEST_F(Hosts, InfoPrintsOneLinePerMeterInFileOrderAndFailsForTheUnreachableOne) {
    const std::string path = hosts_file();
    const Outcome r = run_tool({"info", "--hosts", path, "--jobs", "3", "-m", "em133"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with(R"({"meter":"em133","host":"127.0.0.1","port":)" + port() +
                                     R"(,"unit":1,"model_name":)"))
        << lines[0];
    EXPECT_EQ(json::parse(lines[0])["serial"], 1201784);
    EXPECT_EQ(lines[1], R"({"host":"127.0.0.1","port":)" + closed_ +
                            R"(,"unit":1,"meter":"em235","error":"gateway 127.0.0.1:)" + closed_ +
                            R"( unreachable: Cannot connect to 127.0.0.1:)" + closed_ + R"("})");
    EXPECT_EQ(json::parse(lines[2])["meter"], "em133");
    EXPECT_EQ(json::parse(lines[2])["port"], std::stoi(port()));
}

TEST_F(Hosts, LiveWithOneJob) {
    const Outcome r = run_tool({"live", "--hosts", hosts_file(), "-j", "1", "--meter", "em133"});
    EXPECT_EQ(r.exit_status, 1);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(json::parse(lines[0])["readings"].size(), 55u);
    EXPECT_TRUE(json::parse(lines[1]).contains("error"));
    EXPECT_EQ(json::parse(lines[2])["readings"].size(), 55u);
}

TEST_F(Hosts, AllMetersReachableIsSuccess) {
    const std::string path = fresh_dir("hosts_ok") + "/meters.txt";
    std::ofstream(path) << "127.0.0.1:" << port() << "\n127.0.0.1:" << port() << " EM133\n";
    const Outcome r = run_tool({"info", "--hosts", path, "-m", "em133"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(lines_of(r.out).size(), 2u);
}

TEST(HostsFile, UnreadableOrMalformedFilesFail) {
    const Outcome missing = run_tool({"info", "--hosts", "/nonexistent/meters.txt"});
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_EQ(missing.err, "kolvane: Cannot read hosts file /nonexistent/meters.txt\n");

    const std::string path = fresh_dir("hosts_bad") + "/meters.txt";
    std::ofstream(path) << "127.0.0.1 em133 extra\n";
    const Outcome bad = run_tool({"live", "--hosts", path});
    EXPECT_EQ(bad.exit_status, 2);
    EXPECT_EQ(bad.err, "kolvane: " + path +
                           " line 1: expected HOST[:PORT], rtu:DEVICE or rtu+tcp://HOST[:PORT], "
                           "then [MODEL] [unit=N] [name=LABEL] [gap=MS] [tz=ZONE], got "
                           "'127.0.0.1 em133 extra'\n");
    EXPECT_EQ(bad.out, "");
}

// Every bad line is named at once, and a file with a bad line reaches no meter at all.
TEST(HostsFile, EveryBadLineIsReportedBeforeAnyTraffic) {
    ServedMeter meter;
    const std::string path = fresh_dir("hosts_many_bad") + "/meters.txt";
    std::ofstream(path) << "127.0.0.1:" << meter.port() << " em133\n"
                        << "127.0.0.1:0 em133\n"
                        << "127.0.0.1:65536 em133\n"
                        << "127.0.0.1 em999\n"
                        << "# no model and no -m:\n"
                        << "127.0.0.1\n"
                        << "127.0.0.1: em133\n"
                        << "127.0.0.1 em133 unit=256\n"
                        << "127.0.0.1 em133 gap=10001 unit=1\n"
                        << "127.0.0.1 em133 colour=red\n"
                        << "127.0.0.1 em133 name=\"open # not a comment\n"
                        << "127.0.0.1 unit=2 em133\n"
                        << "127.0.0.1 em133 unit=2 unit=3\n"
                        << "127.0.0.1 em133 tz=Nowhere/Atlantis\n"
                        << "rtu:ttyUSB0 em133\n"
                        << "rtu:/dev/ttyUSB0 em133 baud=9601\n"
                        << "rtu:/dev/ttyUSB0 em133 parity=mark\n"
                        << "rtu:/dev/ttyUSB0 em133 stop_bits=3\n"
                        << "127.0.0.1 em133 parity=even\n"
                        << "rtu+tcp://127.0.0.1:4001 em133 stop_bits=2\n"
                        << "127.0.0.1 em133 baud=19200\n"
                        << "rtu+tcp:///dev/ttyUSB0 em133\n";
    const Outcome r = run_tool({"info", "--hosts", path});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    const std::string at = "kolvane: " + path + " line ";
    const std::string MALFORMED =
        "expected HOST[:PORT], rtu:DEVICE or rtu+tcp://HOST[:PORT], then [MODEL] [unit=N] "
        "[name=LABEL] [gap=MS] [tz=ZONE], got ";
    EXPECT_EQ(
        r.err,
        at + "2: port must be 1-65535, got 0\n" + at + "3: port must be 1-65535, got 65536\n" + at +
            "4: unknown model 'em999' (expected em133, em235 or pm335)\n" + at +
            "6: no MODEL on the line and no -m/--meter\n" + at + "7: " + MALFORMED +
            "'127.0.0.1: em133'\n" + at + "8: unit must be 0-255, got '256'\n" + at +
            "9: gap must be 0-10000 milliseconds, got '10001'\n" + at +
            "10: unknown field 'colour' (expected unit=, name=, gap=, tz=, baud=, parity=, "
            "stop_bits= or echo=)\n" +
            at +
            "11: a double quote is not closed in '127.0.0.1 em133 name=\"open # not "
            "a comment'\n" +
            at + "12: " + MALFORMED + "'127.0.0.1 unit=2 em133'\n" + at + "13: unit given twice\n" +
            at + "14: unknown time zone 'Nowhere/Atlantis'\n" + at +
            "15: rtu: names a serial device by its path (rtu:/dev/ttyUSB0), got 'rtu:ttyUSB0'\n" +
            at +
            "16: baud must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, "
            "230400, got '9601'\n" +
            at + "17: parity must be none, odd or even, got 'mark'\n" + at +
            "18: stop_bits must be 1 or 2, got '3'\n" + at +
            "19: parity= needs a serial line (rtu:DEVICE)\n" + at +
            "20: stop_bits= needs a serial line (rtu:DEVICE)\n" + at +
            "21: baud= needs RTU (rtu:DEVICE or rtu+tcp://HOST[:PORT])\n" + at +
            "22: " + MALFORMED + "'rtu+tcp:///dev/ttyUSB0 em133'\n");
    EXPECT_EQ(meter.sim.connections_accepted(), 0u);
}

TEST_F(Hosts, AHostsFileOnStandardInput) {
    const Outcome r = run_tool(
        {"info", "--hosts", "-", "-m", "pm335"},
        {.input = "127.0.0.1:" + port() + " EM133\n[::1]:" + closed_ + "\n", .output_path = ""});
    EXPECT_EQ(r.exit_status, 1);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_EQ(json::parse(lines[0])["serial"], 1201784);
    const json failure = json::parse(lines[1]);
    EXPECT_EQ(failure["host"], "::1");
    EXPECT_EQ(failure["port"], std::stoi(closed_));
    EXPECT_EQ(failure["meter"], "em235");
}

// A line's unit and name reach the meter and its line; a quoted name keeps its blanks and '#'.
TEST(HostsFile, UnitAndNameOfALine) {
    ServedMeter meter;
    const std::string path = fresh_dir("hosts_fields") + "/meters.txt";
    std::ofstream(path) << "127.0.0.1:" << meter.port()
                        << " em133 unit=7 name=\"Hall #2\" # gateway\n";
    const Outcome r = run_tool({"info", "--hosts", path});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const json line = json::parse(r.out);
    EXPECT_EQ(line["unit"], 7);
    EXPECT_EQ(line["name"], "Hall #2");
    const std::vector<ksim::Request> requests = meter.sim.journal();
    ASSERT_FALSE(requests.empty());
    for (const ksim::Request& request : requests) EXPECT_EQ(request.unit, 7);
}

// The hosts file is UTF-8 text in lines of at most 4096 bytes: any other line is named, not quoted,
// and no command reaches a meter. Before, a name that is not UTF-8 aborted info, live and collect
// when their JSON line was printed, and a name of any length was held whole.
TEST(HostsFile, OnlyUtf8LinesOfBoundedLengthAreTaken) {
    ServedMeter meter;
    const std::string start = "127.0.0.1:" + meter.port() + " em133 name=";
    const auto padded = [&](std::size_t length) {
        return start + std::string(length - start.size(), 'n');
    };
    // The problem of a line whose first bad byte is `byte`, `offset` bytes into the name.
    const auto not_utf8 = [&](const char* byte, std::size_t offset) {
        return "not UTF-8 text: " + std::string(byte) + " at byte " +
               std::to_string(start.size() + offset);
    };
    const struct {
        const char* what;
        std::string line;
        std::string problem;  // empty: taken
    } cases[] = {
        {"Latin-1", start + "Z\xe4hler", not_utf8("0xE4", 2)},
        {"an overlong slash", start + "a\xc0\xaf", not_utf8("0xC0", 2)},
        {"a surrogate", start + "\xed\xa0\x80", not_utf8("0xED", 1)},
        {"a cut sequence", start + "a\xe2\x82", not_utf8("0xE2", 2)},
        {"in a comment", start + "a # caf\xe9", not_utf8("0xE9", 8)},
        {"one byte too long", padded(4097), "longer than 4096 bytes"},
        {"a megabyte", padded(1 << 20), "longer than 4096 bytes"},
        {"two, three and four bytes", start + "\"Z\xc3\xa4hler \xe2\x82\xac \xf0\x9f\x94\x8c\"",
         ""},
        {"the longest line", padded(4096), ""},
    };
    const std::vector<std::vector<std::string>> commands = {
        {"info"},
        {"live"},
        {"collect", "--tz", "UTC", "--db", fresh_dir("hosts_utf8_db") + "/site.db"},
        {"exporter", "--listen", "127.0.0.1:0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = fresh_dir("hosts_utf8") + "/meters.txt";
        std::ofstream(path) << c.line << "\n127.0.0.1:" << meter.port() << " em133\n";
        if (c.problem.empty()) {
            const Outcome r = run_tool({"info", "--hosts", path});
            ASSERT_EQ(r.exit_status, 0) << r.err;
            const std::vector<std::string> lines = lines_of(r.out);
            ASSERT_EQ(lines.size(), 2u);
            std::string name = c.line.substr(start.size());
            if (name.front() == '"') name = name.substr(1, name.size() - 2);
            EXPECT_EQ(json::parse(lines[0])["name"], name);
            continue;
        }
        const std::size_t connections = meter.sim.connections_accepted();
        for (std::vector<std::string> args : commands) {
            SCOPED_TRACE(args.front());
            args.insert(args.begin() + 1, {"--hosts", path});
            args.insert(args.begin(), KOLVANE_TOOL);
            Process tool(args);
            // An exporter that took the file says it listens: it is stopped then.
            if (args[1] == "exporter" && !tool.read_out_line().empty()) tool.signal(SIGTERM);
            const Outcome r = tool.finish();
            EXPECT_EQ(r.exit_status, 2);
            EXPECT_EQ(r.err, "kolvane: " + path + " line 1: " + c.problem + "\n");
            EXPECT_EQ(r.out, "");
        }
        EXPECT_EQ(meter.sim.connections_accepted(), connections);
    }
}

TEST(HostsFile, HostAndHostsTogetherIsAUsageError) {
    const Outcome r = run_tool({"info", "127.0.0.1", "--hosts", "meters.txt"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace cli_test
