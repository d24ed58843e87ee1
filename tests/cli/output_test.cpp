// SPDX-License-Identifier: MIT
// Standard output that cannot be written (a full disk) is a failure, not a success.
#include "sim_suite.hpp"

namespace cli_test {
namespace {

class Output : public SimSuite {};

TEST_F(Output, AFullDiskFailsEveryCommandThatPrints) {
    const std::vector<std::vector<std::string>> commands = {
        {"datalog", "127.0.0.1", "1", "-p", port(), "-m", "em133"},
        {"info", "127.0.0.1", "-p", port(), "-m", "em133"},
        {"points", "-m", "em235"},
        {"version"},
        {"--help"},
    };
    for (const std::vector<std::string>& args : commands) {
        const Outcome r = run_tool(args, {.input = "", .output_path = "/dev/full"});
        EXPECT_EQ(r.exit_status, 1) << args[0];
        EXPECT_EQ(r.err, "kolvane: Cannot write standard output: No space left on device\n")
            << args[0];
    }
}

}  // namespace
}  // namespace cli_test
