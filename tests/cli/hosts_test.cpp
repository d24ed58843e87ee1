// info and live over a hosts file, with one meter that cannot be reached.
#include "sim_suite.hpp"

#include <nlohmann/json.hpp>

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
                            << "127.0.0.1:" << closed_port() << " em235   # switched off\n\n"
                            << "  127.0.0.1:" << port() << " em133\n";
        return path;
    }
};

TEST_F(Hosts, InfoPrintsOneLinePerMeterInFileOrderAndFailsForTheUnreachableOne) {
    const std::string path = hosts_file();
    const Outcome r = run_tool({"info", "--hosts", path, "--jobs", "3"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(json::parse(lines[0])["serial"], 1201784);
    const json failure = json::parse(lines[1]);
    EXPECT_EQ(failure.size(), 2u);
    EXPECT_EQ(failure["host"], "127.0.0.1");
    EXPECT_TRUE(failure["error"].get<std::string>().starts_with("Cannot connect to 127.0.0.1:")) << lines[1];
    EXPECT_EQ(json::parse(lines[2])["meter"], "em133");
}

TEST_F(Hosts, LiveWithOneJob) {
    const Outcome r = run_tool({"live", "--hosts", hosts_file(), "-j", "1"});
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
    const Outcome r = run_tool({"info", "--hosts", path});
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
    EXPECT_EQ(bad.exit_status, 1);
    EXPECT_EQ(bad.err, "kolvane: " + path + " line 1: expected HOST[:PORT] [MODEL], got '127.0.0.1 em133 extra'\n");
    EXPECT_EQ(bad.out, "");
}

TEST(HostsFile, HostAndHostsTogetherIsAUsageError) {
    const Outcome r = run_tool({"info", "127.0.0.1", "--hosts", "meters.txt"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace cli_test
