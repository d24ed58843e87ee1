// SPDX-License-Identifier: MIT
// kolvane_export_datalog_ex: the CSV file byte for byte, progress per row, and the rows kept
// when the export is cancelled or fails half-way.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "datalog_meter.hpp"
#include "kolvane.h"
#include "support/callbacks.hpp"
#include "support/files.hpp"
#include "support/temp_dir.hpp"

using namespace ktest;

namespace {

class ExportDatalog : public ::testing::Test {
protected:
    int export_csv(const std::string& path) {
        return kolvane_export_datalog_ex("127.0.0.1", "em133", 1, path.c_str(),
                                         meter.options().c_str(), &ProgressSink::receive, &progress,
                                         err, sizeof err);
    }
    int export_csv() { return export_csv(csv); }
    std::optional<std::string> written() const { return read_file(csv); }

    SimMeter meter;
    ProgressSink progress;
    TempDir dir;
    std::string csv = dir.file("datalog.csv");
    char err[256] = "untouched";
};

TEST_F(ExportDatalog, WritesHeaderAndScaledRowsOverAnOldFile) {
    serve(meter, three_record_file());
    write_file(csv, "an older, longer file that must not shine through\n\n\n\n\n\n\n\n");

    EXPECT_EQ(export_csv(), 3);

    EXPECT_STREQ(err, "");
    EXPECT_EQ(written(), CSV_HEADER + CSV_ROWS[0] + CSV_ROWS[1] + CSV_ROWS[2]);
    EXPECT_EQ(progress.calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(meter.traffic(), concat({traffic_before_blocks(), THREE_RECORD_BLOCKS}));
}

TEST_F(ExportDatalog, UnknownCountReportsTotalMinusOne) {
    ksim::LogFile file = three_record_file();
    file.var0_refusal = {2, true};
    serve(meter, file);

    EXPECT_EQ(export_csv(), 3);

    EXPECT_EQ(written(), CSV_HEADER + CSV_ROWS[0] + CSV_ROWS[1] + CSV_ROWS[2]);
    EXPECT_EQ(progress.calls, (std::vector<std::pair<int, int>>{{1, -1}, {2, -1}, {3, -1}}));
}

TEST_F(ExportDatalog, ZeroRecordsWritesHeaderOnlyWhenThereAreColumns) {
    struct Case {
        const char* what;
        bool columns;
        std::string content;
    };
    const Case cases[] = {
        {"with columns", true, CSV_HEADER},
        {"without columns", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter fresh;
        ksim::LogFile file = three_record_file();
        file.records.clear();
        if (!c.columns) file.var2_refusal = {2, false};
        serve(fresh, file);
        write_file(csv, "old");

        EXPECT_EQ(
            kolvane_export_datalog_ex("127.0.0.1", "em133", 1, csv.c_str(), fresh.options().c_str(),
                                      &ProgressSink::receive, &progress, err, sizeof err),
            0);

        EXPECT_EQ(written(), c.content);
        EXPECT_TRUE(progress.calls.empty());
        EXPECT_EQ(fresh.traffic(), traffic_before_blocks());
    }
}

TEST_F(ExportDatalog, MissingColumnListNamesColumnsFromFirstRecord) {
    ksim::LogFile file;
    file.records = {ksim::datalog_record(0x0001, 1, 1700000000, 1500000, 16, {1, -2, 3})};
    file.var2_refusal = {2, false};
    serve(meter, file);

    EXPECT_EQ(export_csv(), 1);

    EXPECT_EQ(written(),
              "No.,Date/Time,Trigger,Param_1,Param_2,Param_3\n"
              "1,14/11/23  22:13:21.500,SP16,1,-2,3\n");
}

// The file is opened after the column list and before the transfer: a path that cannot be
// opened makes no transfer request at all.
TEST_F(ExportDatalog, UnopenableFileFailsBeforeTransfer) {
    serve(meter, three_record_file());
    const std::string path = csv + "/missing/datalog.csv";

    EXPECT_EQ(export_csv(path), -1);

    EXPECT_EQ(std::string(err), "Cannot open CSV: " + path);
    EXPECT_EQ(meter.traffic(), concat({SCALED_EM133_READS, file_info_exchange(1, 2)}));
}

// A progress callback that stops ends the export after the row it reports on.
TEST_F(ExportDatalog, CancelFromProgressKeepsRowsWritten) {
    serve(meter, three_record_file());
    progress.stop_at = 2;

    EXPECT_EQ(export_csv(), -2);

    EXPECT_STREQ(err, "Cancelled by caller");
    EXPECT_EQ(written(), CSV_HEADER + CSV_ROWS[0] + CSV_ROWS[1]);
    EXPECT_EQ(meter.traffic(),
              concat({traffic_before_blocks(),
                      {"FC16 63120 [11,1,0,0,0,0]", "FC3 63152 8", "FC3 63160 32"}}));
}

TEST_F(ExportDatalog, FailureMidTransferKeepsCompleteRows) {
    struct Case {
        const char* what;
        ksim::Fault fault;
        const char* message;
    };
    const Case cases[] = {
        {"exception reply", ksim::Fault::exception(4).reads(63160).nth(2), "Modbus exception 4"},
        {"connection closed", ksim::Fault::close().reads(63152).nth(2), "socket recv failed"},
        {"reply cut short", ksim::Fault::close_after_bytes(12).reads(63160).nth(2),
         "socket recv failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter fresh;
        serve(fresh, three_record_file());
        fresh.sim.add_fault(c.fault);
        ProgressSink rows;

        EXPECT_EQ(
            kolvane_export_datalog_ex("127.0.0.1", "em133", 1, csv.c_str(), fresh.options().c_str(),
                                      &ProgressSink::receive, &rows, err, sizeof err),
            -1);

        EXPECT_STREQ(err, c.message);
        EXPECT_EQ(written(), CSV_HEADER + CSV_ROWS[0] + CSV_ROWS[1]);
        EXPECT_EQ(rows.calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}}));
    }
}

TEST_F(ExportDatalog, NullPathFailsWithoutConnecting) {
    EXPECT_EQ(kolvane_export_datalog_ex("127.0.0.1", "em133", 1, nullptr, meter.options().c_str(),
                                        nullptr, nullptr, err, sizeof err),
              -1);
    EXPECT_STREQ(err, "csv_path must not be null");
    EXPECT_EQ(meter.sim.connections_accepted(), 0u);
}

}  // namespace
