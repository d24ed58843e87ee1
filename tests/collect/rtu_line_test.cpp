// SPDX-License-Identifier: MIT
// Meters on an RS-485 line: the collector stores over Modbus RTU, on a serial line (a socat
// pseudo-terminal) and over a serial server, exactly what it stores over Modbus TCP from the same
// meter, and says how it reached each; a scan of the line prints hosts lines that collect reads.
#include "support/pty_pair.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

namespace collect_test {
namespace {

// Every stored record and event, as plain SQL reads them.
std::vector<std::vector<std::string>> stored(Database& db) {
    std::vector<std::vector<std::string>> rows = db.rows(
        "SELECT serial, file_id, recorded_at, seq, name, unit, value FROM "
        "datalog_values ORDER BY serial, file_id, recorded_at, seq, name");
    for (auto& event : db.rows("SELECT serial, recorded_at, seq, event_no, cause, point, state "
                               "FROM events ORDER BY serial, recorded_at, seq"))
        rows.push_back(event);
    return rows;
}

TEST(RtuLine, CollectStoresWhatModbusTcpGivesOnEveryTransport) {
    SiteMeter meter(ksim::Model::em133, 5301, 60, 20);
    const ktest::PtyPair pty;
    meter.sim().start_rtu_serial(pty.meter_end(), {115200, 'E', 1, false});
    const std::uint16_t server = meter.sim().start_rtu_tcp(0, "127.0.0.1", {115200, 'E', 1, false});
    const struct {
        std::string line, transport;
    } transports[] = {
        {meter.address() + " em133", "tcp"},
        {"rtu:" + pty.client_end() + " em133 baud=115200 parity=even", "rtu"},
        {"rtu+tcp://127.0.0.1:" + std::to_string(server) + " em133 baud=115200", "rtu+tcp"},
    };
    std::vector<std::vector<std::string>> over_tcp;
    for (const auto& t : transports) {
        SCOPED_TRACE(t.line);
        const std::string db = fresh_sqlite_path();
        const Outcome outcome = collect({"--hosts", hosts_file(t.line + "\n"), "--db", db});
        ASSERT_EQ(outcome.exit_status, 0) << outcome.err << outcome.out;
        const std::vector<nlohmann::json> lines = summaries(outcome.out);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].value("transport", "tcp"), t.transport);
        const auto site = open_sqlite(db);
        EXPECT_EQ(site->rows("SELECT transport FROM meters"),
                  (std::vector<std::vector<std::string>>{{t.transport}}));
        EXPECT_EQ(site->rows("SELECT DISTINCT transport FROM collections"),
                  (std::vector<std::vector<std::string>>{{t.transport}}));
        EXPECT_EQ(new_records(lines), meter.records_held()) << "records of every log";
        const auto rows = stored(*site);
        if (over_tcp.empty())
            over_tcp = rows;
        else
            EXPECT_EQ(rows, over_tcp);
    }
}

// A scan of the serial line lists the meter in a hosts line with the line's settings, and the
// collector reads that line as it stands.
TEST(RtuLine, AScanOfTheLineIsAHostsFile) {
    SiteMeter meter(ksim::Model::em133, 5302, 10, 5);
    const ktest::PtyPair pty;
    meter.sim().start_rtu_serial(pty.meter_end(), {115200, 'O', 1, false});
    const Outcome scan = cli_test::run_tool({"scan", "rtu:" + pty.client_end(), "--baud", "115200",
                                             "--parity", "odd", "--units", "1-2", "-t", "300"});
    const std::string line = "rtu:" + pty.client_end() + " em133 unit=1 baud=115200 parity=odd";
    EXPECT_EQ(scan.out.substr(0, scan.out.find('\n')), line) << scan.out << scan.err;
    const Outcome collected =
        collect({"--hosts", hosts_file(scan.out), "--db", fresh_sqlite_path()});
    EXPECT_EQ(collected.exit_status, 0) << collected.err;
    EXPECT_EQ(new_records(summaries(collected.out)), meter.records_held());
}

}  // namespace
}  // namespace collect_test
