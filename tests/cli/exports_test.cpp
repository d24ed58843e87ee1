// SPDX-License-Identifier: MIT
// export-all and diagnostics, which always connect to port 502: each test serves a simulator
// there (CTest runs the suite under the port's resource lock) and fails when the port is taken.
#include "served_meter.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace cli_test {
namespace {

namespace fs = std::filesystem;

#define START_SIM_ON_502(sim, ...)                                         \
    Simulator sim(std::vector<std::string>{"--port", "502", __VA_ARGS__}); \
    ASSERT_EQ(sim.port(), 502) << "cannot serve a meter on 127.0.0.1:502"

// The CSV files of `dir`, by name.
std::vector<fs::path> files_in(const std::string& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ExportAll, WritesTheFourFilesOfTheBundle) {
    START_SIM_ON_502(sim, "--model", "em133");
    const std::string dir = fresh_dir("bundle");
    const Outcome r = run_tool({"export-all", "127.0.0.1", dir, "--set-clock", "--guard", "3"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::vector<fs::path> files = files_in(dir);
    ASSERT_EQ(files.size(), 4u);
    const char* prefixes[] = {"EM133_DL1_", "EM133_DL2_", "EM133_DL3_", "EM133_EVENTLOG_"};
    const std::size_t lines[] = {2881, 2881, 2881, 301};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(files[i].filename().string().starts_with(prefixes[i])) << files[i];
        EXPECT_EQ(lines_of(read_file(files[i])).size(), lines[i]) << files[i];
    }
}

TEST(ExportAll, ProgressShowsASpinnerWithTheRowsDone) {
    START_SIM_ON_502(sim, "--records", "200");
    const Outcome r =
        run_tool({"export-all", "127.0.0.1", fresh_dir("bundle_progress"), "--progress"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with("| 900 rows ") ||
                lines.back().starts_with("/ 900 rows ") ||
                lines.back().starts_with("- 900 rows ") || lines.back().starts_with("\\ 900 rows "))
        << lines.back();
}

TEST(ExportAll, CtrlCStopsTheExportAndLeavesOnlyCompleteLines) {
    START_SIM_ON_502(sim, "--records", "20000");
    const std::string dir = fresh_dir("bundle_interrupt");
    Process tool({KOLVANE_TOOL, "export-all", "127.0.0.1", dir, "--progress"});
    ASSERT_FALSE(tool.read_err_line().empty()) << "no progress line";
    tool.signal(SIGINT);
    const Outcome r = tool.finish();
    EXPECT_EQ(r.exit_status, 130);
    EXPECT_TRUE(r.err.ends_with("kolvane: Cancelled by caller\n")) << r.err;
    const std::vector<fs::path> files = files_in(dir);
    ASSERT_FALSE(files.empty());
    EXPECT_LT(files.size(), 4u);
    for (const fs::path& file : files) {
        const std::string text = read_file(file);
        EXPECT_TRUE(text.empty() || text.back() == '\n') << file;
        for (const std::string& row : lines_of(text))
            EXPECT_EQ(std::count(row.begin(), row.end(), ','), 11) << row;
    }
}

// The clock must not be set for an export that cannot be written: DIR is checked first.
TEST(ExportAll, AnUnusableDirectoryFailsBeforeAnyTraffic) {
    ServedMeter meter(ksim::Model::em133, 10, 502);
    const std::string file = fresh_dir("bundle_not_a_dir") + "/file";
    std::ofstream(file) << "x\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/nonexistent/kolvane", "No such directory: /nonexistent/kolvane"},
        {file, "Not a directory: " + file}};
    for (const auto& [dir, message] : cases) {
        const Outcome r = run_tool({"export-all", "127.0.0.1", dir, "--set-clock"});
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "kolvane: " + message + "\n");
    }
    EXPECT_EQ(meter.sim.connections_accepted(), 0u);
    EXPECT_TRUE(meter.sim.journal().empty());
}

TEST(Diagnostics, WritesTheWordWithOneRowPerBit) {
    START_SIM_ON_502(sim, "--model", "em235");
    // Registers 46081-46082 hold the em235's serial number 2350417 (0x23DD51), low word first.
    const std::string csv = fresh_dir("diagnostics") + "/diag.csv";
    const Outcome r = run_tool(
        {"diagnostics", "127.0.0.1", "--register", "46081", "--word-order", "HI_FIRST", "-o", csv});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> lines = lines_of(read_file(csv));
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[0], "word0_hex,word1_hex,value_hex,word_order");
    EXPECT_EQ(lines[1], "0xDD51,0x23,0x23DD51,HI_FIRST");
    EXPECT_EQ(lines[3], "bit,label,state");
    EXPECT_EQ(lines[4], "0,Critical error,1");
    EXPECT_EQ(lines[29], "25,IRIG-B time unlocked,0");

    const Outcome swapped =
        run_tool({"diagnostics", "127.0.0.1", "--register", "46081", "--word-order", "LO_FIRST",
                  "--unit", "1", "--count", "4", "-o", csv});
    ASSERT_EQ(swapped.exit_status, 0) << swapped.err;
    EXPECT_EQ(lines_of(read_file(csv))[1], "0xDD51,0x23,0xDD510023,LO_FIRST");
}

// The default is LO_FIRST, as in the Python binding: the first register is the upper half.
TEST(Diagnostics, WordOrderDecidesWhichRegisterIsTheUpperHalf) {
    ServedMeter meter(ksim::Model::em235, 10, 502);
    meter.sim.set_registers(999, {0x0001, 0x0002});
    const std::string csv = fresh_dir("diagnostics_order") + "/diag.csv";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "0x1,0x2,0x10002,LO_FIRST"},
        {{"--word-order", "LO_FIRST"}, "0x1,0x2,0x10002,LO_FIRST"},
        {{"--word-order", "HI_FIRST"}, "0x1,0x2,0x20001,HI_FIRST"},
    };
    for (const auto& [order, value_line] : cases) {
        std::vector<std::string> args = {"diagnostics", "127.0.0.1", "--register",
                                         "1000",        "-o",        csv};
        args.insert(args.end(), order.begin(), order.end());
        const Outcome r = run_tool(args);
        ASSERT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(lines_of(read_file(csv))[1], value_line);
    }
}

TEST(Diagnostics, ARefusedReadFailsAndCreatesNoFile) {
    START_SIM_ON_502(sim, "--model", "em235");
    const std::string csv = fresh_dir("diagnostics_refused") + "/diag.csv";
    const Outcome r = run_tool({"diagnostics", "127.0.0.1", "--register", "1", "-o", csv});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "kolvane: Modbus exception 2\n");
    EXPECT_FALSE(fs::exists(csv));
}

}  // namespace
}  // namespace cli_test
