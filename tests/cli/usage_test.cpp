// SPDX-License-Identifier: MIT
// Usage errors exit with 2 and say so on standard error; help and version go to standard output.
#include "support/process.hpp"

#include <gtest/gtest.h>

namespace cli_test {
namespace {

const std::string HINT = "Run 'kolvane --help' or 'kolvane COMMAND --help' for usage.\n";

TEST(Usage, ErrorsExitWith2AndPrintNothingOnStandardOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "kolvane: A subcommand is required\n"},
        {{"frobnicate"}, "kolvane: The following argument was not expected: frobnicate\n"},
        {{"info"}, "kolvane: HOST or --hosts is required\n"},
        {{"datalog", "127.0.0.1", "-m", "em133"}, "kolvane: FILE_ID is required\n"},
        {{"datalog", "127.0.0.1", "one", "-m", "em133"},
         "kolvane: FILE_ID: Value one not in range 1 to 16\n"},
        {{"datalog", "127.0.0.1", "17", "-m", "em133"},
         "kolvane: FILE_ID: Value 17 not in range 1 to 16\n"},
        {{"eventlog", "127.0.0.1", "--file-id", "-1"},
         "kolvane: --file-id: Value -1 not in range 0 to 16\n"},
        {{"info", "127.0.0.1", "-p"}, "kolvane: --port: 1 required PORT missing\n"},
        {{"export-all", "127.0.0.1", "/tmp", "--guard", "3"},
         "kolvane: --guard requires --set-clock\n"},
        {{"diagnostics", "127.0.0.1", "-o", "d.csv"}, "kolvane: --register is required\n"},
        {{"diagnostics", "127.0.0.1", "--register", "5", "-o", "d.csv", "--word-order", "hi_first"},
         "kolvane: --word-order: hi_first not in {HI_FIRST,LO_FIRST}\n"},
        {{"info", "127.0.0.1", "--jobs", "2"}, "kolvane: --jobs requires --hosts\n"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome r = run_tool(args);
        EXPECT_EQ(r.exit_status, 2) << message;
        EXPECT_EQ(r.out, "") << message;
        EXPECT_EQ(r.err, message + HINT);
    }
}

// Nothing reaches the library (or a meter) with a model or a setting it would refuse; the
// message names the tool's flag.
TEST(Usage, ModelAndConnectionSettingsAreCheckedByTheTool) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"info", "127.0.0.1"}, "--meter is required"},
        {{"read", "127.0.0.1", "V1"}, "--meter is required"},
        {{"datalog", "127.0.0.1", "1"}, "--meter is required"},
        {{"points"}, "--meter is required"},
        {{"points", "-m", "em999"}, "--meter: em999 not in {em133,em235,pm335}"},
        {{"live", "127.0.0.1", "-m", "em133", "-p", "0"},
         "--port: Value 0 not in range 1 to 65535"},
        {{"logs", "127.0.0.1", "-m", "em133", "-p", "70000"},
         "--port: Value 70000 not in range 1 to 65535"},
        {{"info", "127.0.0.1", "-m", "em133", "-u", "300"},
         "--unit: Value 300 not in range 0 to 255"},
        {{"info", "127.0.0.1", "-m", "em133", "-t", "1"},
         "--timeout: Value 1 not in range 100 to 3600000"},
        {{"info", "127.0.0.1", "-m", "em133", "-t", "3600001"},
         "--timeout: Value 3600001 not in range 100 to 3600000"},
        {{"eventlog", "127.0.0.1", "-m", "em133", "--deadline", "-1"},
         "--deadline: Value -1 not in range 0 to 86400"},
        {{"diagnostics", "127.0.0.1", "--register", "5", "-o", "d.csv", "-u", "256"},
         "--unit: Value 256 not in range 0 to 255"},
        {{"diagnostics", "127.0.0.1", "--register", "5", "-o", "d.csv", "--count", "1"},
         "--count: Value 1 not in range 2 to 65535"},
        {{"info", "127.0.0.1", "-m", "em133", "-q", "-v"}, "--verbose excludes --quiet"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome r = run_tool(args);
        EXPECT_EQ(r.exit_status, 2) << message;
        EXPECT_EQ(r.out, "") << message;
        EXPECT_EQ(r.err, "kolvane: " + message + "\n" + HINT);
    }
}

TEST(Usage, HelpAndVersionGoToStandardOutput) {
    const Outcome help = run_tool({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_TRUE(help.out.find("\nUsage: kolvane [OPTIONS] SUBCOMMAND\n") != std::string::npos)
        << help.out;
    EXPECT_EQ(help.err, "");

    const Outcome command_help = run_tool({"export-all", "--help"});
    EXPECT_EQ(command_help.exit_status, 0);
    EXPECT_TRUE(command_help.out.find("Always connects to port 502") != std::string::npos)
        << command_help.out;
    EXPECT_TRUE(command_help.out.find("--deadline do not apply") != std::string::npos)
        << command_help.out;
    EXPECT_TRUE(command_help.out.find("Usage: kolvane export-all [OPTIONS] HOST DIR") !=
                std::string::npos)
        << command_help.out;
}

}  // namespace
}  // namespace cli_test
