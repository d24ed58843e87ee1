// SPDX-License-Identifier: MIT
// info, live, read, points, logs and version against kolvane-sim.
#include "sim_suite.hpp"

#include <kolvane_version.h>
#include <nlohmann/json.hpp>

namespace cli_test {
namespace {

using nlohmann::json;

class Documents : public SimSuite {};

const std::string INFO =
    R"({"meter":"em133","host":"127.0.0.1","model_name":"EM133","model_id":133,"serial":1201784,"options":0,)"
    R"("firmware":{"version":3,"build":12},"bootloader":{"version":1,"build":4},)"
    R"("setup":{"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})";

TEST_F(Documents, InfoPrintsTheDocumentOnOneLine) {
    const Outcome r = run_tool({"info", "127.0.0.1", "-p", port(), "-m", "em133"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, INFO + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Documents, PrettyIndentsWithoutChangingValues) {
    const Outcome r = run_tool({"info", "127.0.0.1", "--pretty", "--port", port(), "-m", "em133"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, R"({
  "meter": "em133",
  "host": "127.0.0.1",
  "model_name": "EM133",
  "model_id": 133,
  "serial": 1201784,
  "options": 0,
  "firmware": {
    "version": 3,
    "build": 12
  },
  "bootloader": {
    "version": 1,
    "build": 4
  },
  "setup": {
    "pt_ratio": 1.0,
    "energy_decimals": 2,
    "high_resolution": true
  }
}
)");
}

TEST_F(Documents, LiveReadsTheWholeLiveSet) {
    const Outcome r = run_tool({"live", "127.0.0.1", "-p", port(), "-m", "em133"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    ASSERT_EQ(lines_of(r.out).size(), 1u);
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["meter"], "em133");
    EXPECT_EQ(doc["host"], "127.0.0.1");
    ASSERT_EQ(doc["readings"].size(), 55u);
    EXPECT_EQ(doc["readings"][0]["pid"], 4352);
    EXPECT_EQ(doc["readings"][0]["name"], "V1");
    EXPECT_EQ(doc["readings"][0]["unit"], "V");
}

TEST_F(Documents, ReadJoinsNumbersAndQuotedNamesInRequestOrder) {
    const Outcome r =
        run_tool({"read", "127.0.0.1", "-p", port(), "-m", "em133", "V2", "4352", "0x1102", "i1"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const json readings = json::parse(r.out)["readings"];
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_EQ(readings[0]["name"], "V2");
    EXPECT_EQ(readings[1]["name"], "V1");
    EXPECT_EQ(readings[2]["pid"], 0x1102);
    EXPECT_EQ(readings[3]["name"], "I1");
}

TEST_F(Documents, ReadPassesQuotesInNamesSafelyToTheLibrary) {
    const Outcome r = run_tool({"read", "127.0.0.1", "-p", port(), "-m", "em133", R"(V1", "V2)"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kolvane: Unknown point 'V1\", \"V2'\n");
}

TEST_F(Documents, ReadOfAPointOutsideTheReadableBlocksFails) {
    const Outcome r = run_tool({"read", "127.0.0.1", "-p", port(), "-m", "em133", "0xFFFF"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "kolvane: Point 0xFFFF is not in a readable register block\n");
}

TEST_F(Documents, LogsListsTheLogFiles) {
    const Outcome r = run_tool({"logs", "127.0.0.1", "-p", port(), "-m", "em133"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const nlohmann::ordered_json logs = nlohmann::ordered_json::parse(r.out)["logs"];
    ASSERT_GE(logs.size(), 4u);
    EXPECT_EQ(logs[0].dump(), R"({"file_id":0,"type":"eventlog","records":300})");
    EXPECT_EQ(logs[1]["file_id"], 1);
    EXPECT_EQ(logs[1]["records"], 2880);
}

TEST_F(Documents, VerboseNamesTheLevelOnEachLogLine) {
    const Outcome quiet = run_tool({"read", "127.0.0.1", "-p", port(), "-m", "em133", "V1", "-vv"});
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.err, "");
    const Outcome debug =
        run_tool({"read", "127.0.0.1", "-p", port(), "-m", "em133", "V1", "-vvv"});
    EXPECT_EQ(debug.exit_status, 0);
    // The meter's identity is checked on a connection of its own before the points are read.
    const std::string connected = "kolvane: debug: Connected to 127.0.0.1:" + port() + "\n";
    EXPECT_EQ(debug.err, connected + connected);
}

TEST(DocumentsWithoutMeter, PointsListsTheCatalogueOfTheModel) {
    const Outcome em133 = run_tool({"points", "-m", "em133"});
    ASSERT_EQ(em133.exit_status, 0) << em133.err;
    EXPECT_EQ(json::parse(em133.out)["points"].size(), 199u);
    EXPECT_TRUE(em133.out.starts_with(
        R"({"meter":"em133","points":[{"pid":3072,"name":"V1","unit":"V","group":"1-cycle phase values"},)"));
    const Outcome em235 = run_tool({"points", "-m", "PM335"});
    ASSERT_EQ(em235.exit_status, 0) << em235.err;
    EXPECT_EQ(json::parse(em235.out)["points"].size(), 205u);
}

TEST(DocumentsWithoutMeter, Version) {
    EXPECT_EQ(run_tool({"version"}).out, std::string(KOLVANE_VERSION) + "\n");
    EXPECT_EQ(run_tool({"--version"}).out, std::string("kolvane ") + KOLVANE_VERSION + "\n");
}

TEST(DocumentsWithoutMeter, ClosedPortFailsEveryMeterCommand) {
    const std::string closed = std::to_string(closed_port());
    const std::vector<std::vector<std::string>> commands = {
        {"info", "127.0.0.1"}, {"live", "127.0.0.1"},         {"read", "127.0.0.1", "V1"},
        {"logs", "127.0.0.1"}, {"datalog", "127.0.0.1", "1"}, {"eventlog", "127.0.0.1"}};
    for (std::vector<std::string> args : commands) {
        args.insert(args.end(), {"-p", closed, "-t", "2000", "-m", "em133"});
        const Outcome r = run_tool(args);
        EXPECT_EQ(r.exit_status, 1) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, "kolvane: Cannot connect to 127.0.0.1:" + closed + "\n") << args[0];
    }
}

// The models keep their values in different registers and scales: read with the em133's
// layout, an em235's V1 came out as 2313 V.
TEST(DocumentsOfAnEm235, TheModelIsNamedNeverAssumed) {
    Simulator em235({"--model", "em235"});
    ASSERT_NE(em235.port(), 0) << "kolvane-sim did not start";
    const Outcome unnamed = run_tool({"read", "127.0.0.1", "-p", em235.port_text(), "V1"});
    EXPECT_EQ(unnamed.exit_status, 2);
    EXPECT_EQ(unnamed.out, "");
    EXPECT_TRUE(unnamed.err.starts_with("kolvane: --meter is required\n")) << unnamed.err;

    const Outcome named =
        run_tool({"read", "127.0.0.1", "-p", em235.port_text(), "V1", "-m", "em235"});
    ASSERT_EQ(named.exit_status, 0) << named.err;
    const json doc = json::parse(named.out);
    EXPECT_EQ(doc["meter"], "em235");
    const double volts = doc["readings"][0]["value"];
    EXPECT_GT(volts, 200.0);
    EXPECT_LT(volts, 260.0);
}

}  // namespace
}  // namespace cli_test
