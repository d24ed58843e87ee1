// SPDX-License-Identifier: MIT
// The em133 bundle's files: their names, their contents, the total, and what a failure
// half-way leaves on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "ground/text.hpp"
#include "kolvane.h"
#include "support/event_sample.hpp"
#include "support/files.hpp"
#include "support/journal.hpp"
#include "support/meter_on_502.hpp"

namespace {

using ktest::read_file;

const std::string DL1_CSV =
    "No.,Date/Time,Trigger,Param_1,Param_2\n"
    "1,14/11/23  22:13:20.000,SP,230,-1\n"
    "2,14/11/23  22:28:20.250,0x0011,231,65536\n";
// Reports no records; its one column comes from File Info.
const std::string DL2_CSV = "No.,Date/Time,Trigger,Param_1 (0xFFF0)\n";
const std::string DL3_CSV =
    "No.,Date/Time,Trigger,Param_1\n"
    "1,14/11/23  22:43:20.000,SP1,5\n"
    "2,14/11/23  22:58:20.000,SP16,-7\n"
    "3,14/11/23  23:13:20.999,SP,0\n";

class Em133Files : public ktest::MeterOn502 {
protected:
    void SetUp() override {
        MeterOn502::SetUp();
        ksim::LogFile dl1;
        dl1.records = {ksim::datalog_record(0, 10, 1700000000, 0, 0, {230, -1}),
                       ksim::datalog_record(0, 11, 1700000900, 250000, 17, {231, 65536})};
        ksim::LogFile dl2;
        dl2.records = dl1.records;
        dl2.info_records = 0;
        dl2.columns = {0xFFF0};
        ksim::LogFile dl3;
        dl3.records = {ksim::datalog_record(0, 1, 1700001800, 0, 1, {5}),
                       ksim::datalog_record(0, 2, 1700002700, 0, 16, {-7}),
                       ksim::datalog_record(0, 3, 1700003600, 999000, 0, {0})};
        dl3.records_per_block = 2;
        sim.set_log(1, dl1);
        sim.set_log(2, dl2);
        sim.set_log(3, dl3);
        sim.set_log(0, ktest::sample_event_log());
    }

    int export_all(const std::string& out_dir) {
        return kolvane_export_em133_all("127.0.0.1", 0, 0, out_dir.c_str(), err, sizeof err);
    }

    // The one file named prefix + stamp + ".csv"; its stamp must lie within [first, last].
    std::string bundle_file(const std::string& prefix, const std::string& first,
                            const std::string& last) {
        const std::regex name(prefix + "(\\d{8}_\\d{6}_\\d{3})\\.csv");
        std::string found;
        for (const std::string& file : dir.names()) {
            std::smatch match;
            if (!std::regex_match(file, match, name)) continue;
            EXPECT_TRUE(found.empty()) << "two files for " << prefix;
            EXPECT_LE(first, match[1].str()) << file;
            EXPECT_LE(match[1].str(), last) << file;
            found = file;
        }
        EXPECT_FALSE(found.empty()) << "no file for " << prefix;
        return dir.file(found);
    }
};

TEST_F(Em133Files, WritesFourFilesAndReturnsTheirRows) {
    const std::string before = kolvane::now_stamp();
    EXPECT_EQ(export_all(dir.path()), 2 + 0 + 3 + 4);
    const std::string after = kolvane::now_stamp();
    EXPECT_STREQ(err, "");
    EXPECT_EQ(dir.names().size(), 4u);
    EXPECT_EQ(read_file(bundle_file("EM133_DL1_", before, after)), DL1_CSV);
    EXPECT_EQ(read_file(bundle_file("EM133_DL2_", before, after)), DL2_CSV);
    EXPECT_EQ(read_file(bundle_file("EM133_DL3_", before, after)), DL3_CSV);
    EXPECT_EQ(read_file(bundle_file("EM133_EVENTLOG_", before, after)), ktest::sample_event_csv());
}

TEST_F(Em133Files, ConnectsOncePerLogInOrder) {
    EXPECT_EQ(export_all(dir.path()), 9);
    EXPECT_EQ(sim.connections_accepted(), 4u);
    // Each connection selects its own file: data logs 1, 2, 3, then the event log.
    const std::vector<std::string> selects = {"FC16 63120 [5,1,0,0]", "FC16 63120 [5,2,0,0]",
                                              "FC16 63120 [5,3,0,0]", "FC16 63120 [5,0,0,0]"};
    for (size_t i = 0; i < selects.size(); ++i) {
        const std::vector<std::string> requests = ktest::traffic(sim, i + 1);
        EXPECT_EQ(std::count(requests.begin(), requests.end(), selects[i]), 1)
            << "connection " << i + 1;
    }
}

TEST_F(Em133Files, DirectoryEndingInASlashIsUsedUnchanged) {
    EXPECT_EQ(export_all(dir.path() + "/"), 9);
    EXPECT_EQ(dir.names().size(), 4u);
    // The doubled separator shows in the path of a file that cannot be created.
    const std::string missing = dir.path() + "/missing/";
    EXPECT_EQ(export_all(missing), -1);
    const std::string message = err;
    const std::string expected_start = "Cannot open CSV: " + missing + "/EM133_DL1_";
    EXPECT_EQ(message.substr(0, expected_start.size()), expected_start);
    EXPECT_TRUE(std::regex_match(message.substr(expected_start.size()),
                                 std::regex("\\d{8}_\\d{6}_\\d{3}\\.csv")))
        << message;
}

TEST_F(Em133Files, FailureInTheSecondDataLogKeepsTheFirstAndStops) {
    ksim::LogFile dl2;
    dl2.records = {ksim::datalog_record(0, 1, 1700000000, 0, 0, {1}),
                   ksim::datalog_record(0, 2, 1700000900, 0, 0, {2}),
                   ksim::datalog_record(0, 3, 1700001800, 0, 0, {3})};
    dl2.records_per_block = 2;
    sim.set_log(2, dl2);
    // Data log 1 reads one block, data log 2 its first; its second is refused.
    sim.add_fault(
        ksim::Fault::exception(4).reads(ksim::BLOCK_DATA, ksim::BLOCK_DATA + 100).skip(2));
    const std::string before = kolvane::now_stamp();
    EXPECT_EQ(export_all(dir.path()), -1);
    const std::string after = kolvane::now_stamp();
    EXPECT_STREQ(err, "Modbus exception 4");
    EXPECT_EQ(dir.names().size(), 2u);
    EXPECT_EQ(read_file(bundle_file("EM133_DL1_", before, after)), DL1_CSV);
    EXPECT_EQ(read_file(bundle_file("EM133_DL2_", before, after)),
              "No.,Date/Time,Trigger,Param_1\n"
              "1,14/11/23  22:13:20.000,SP,1\n"
              "2,14/11/23  22:28:20.000,SP,2\n");
    EXPECT_EQ(sim.connections_accepted(), 2u);
}

struct ArgumentCase {
    const char* host;
    bool with_dir;
    const char* message;
};

class Em133Arguments : public Em133Files, public testing::WithParamInterface<ArgumentCase> {};

TEST_P(Em133Arguments, FailBeforeAnyTraffic) {
    EXPECT_EQ(kolvane_export_em133_all(GetParam().host, 1, 0,
                                       GetParam().with_dir ? dir.path().c_str() : nullptr, err,
                                       sizeof err),
              -1);
    EXPECT_STREQ(err, GetParam().message);
    EXPECT_EQ(sim.connections_accepted(), 0u);
    EXPECT_TRUE(dir.names().empty());
}

INSTANTIATE_TEST_SUITE_P(Null, Em133Arguments,
                         testing::Values(ArgumentCase{nullptr, false, "host must not be null"},
                                         ArgumentCase{nullptr, true, "host must not be null"},
                                         ArgumentCase{"127.0.0.1", false,
                                                      "out_dir must not be null"}));

}  // namespace
