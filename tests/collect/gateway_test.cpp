// SPDX-License-Identifier: MIT
// Meters behind Modbus gateways: several units at one HOST:PORT, one conversation per gateway,
// a gateway that cannot be reached, and the pause a busy gateway wants between requests.
#include "support/loopback_ports.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace collect_test {
namespace {

using nlohmann::json;

constexpr int RECORDS = 30;
constexpr int EVENTS = 10;
constexpr int HELD = 3 * RECORDS + EVENTS;  // per meter: data logs 1-3 and the event log

std::int64_t stored_records(Database& db, std::uint32_t serial) {
    const std::string where = " WHERE serial = " + std::to_string(serial);
    return db.number("SELECT count(*) FROM datalog_records" + where) +
           db.number("SELECT count(*) FROM event_records" + where);
}

// True when two connections' requests interleave: the gateway saw two conversations at once.
bool conversations_overlap(const std::vector<ksim::Request>& journal) {
    std::map<std::uint64_t, std::pair<ksim::Request, ksim::Request>> spans;  // first, last
    for (const ksim::Request& r : journal)
        spans.try_emplace(r.connection, r, r).first->second.second = r;
    std::vector<
        std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::time_point>>
        times;
    for (const auto& [connection, span] : spans)
        times.emplace_back(span.first.received, span.second.received);
    std::sort(times.begin(), times.end());
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i].first < times[i - 1].second) return true;
    return false;
}

TEST(Gateways, EveryMeterOfTwoGatewaysIsStoredAndAnUnreachableOneFailsAtOnce) {
    SiteGateway hall(ksim::Model::em133, {{1, 7101}, {2, 7102}, {3, 7103}}, RECORDS, EVENTS);
    SiteGateway yard(ksim::Model::em133, {{9, 7201}}, RECORDS, EVENTS);
    const ktest::RefusingPort closed;
    const std::string gone = "127.0.0.1:" + std::to_string(closed.port());
    const std::string path = fresh_sqlite_path();
    const Outcome run = collect(
        {"--hosts",
         hosts_file(hall.hosts_lines() + yard.hosts_lines("name=Yard") + gone + " em133 unit=1\n" +
                    gone + " em133 unit=2\n" + gone + " em133 unit=3\n"),
         "--jobs", "8", "--db", path});
    EXPECT_EQ(run.exit_status, 1) << run.err;

    const std::vector<json> lines = summaries(run.out);
    ASSERT_EQ(lines.size(), 7u) << run.out;
    int failed = 0;
    for (const json& line : lines) {
        if (line["port"] == closed.port()) {
            ++failed;
            EXPECT_EQ(line["error"], "gateway " + gone + " unreachable: Cannot connect to " + gone);
            continue;
        }
        EXPECT_TRUE(line["complete"].get<bool>()) << line;
        EXPECT_EQ(line.contains("name"), line["unit"] == 9) << line;
    }
    EXPECT_EQ(failed, 3);

    const auto db = open_sqlite(path);
    for (SiteGateway* gateway : {&hall, &yard})
        for (const SiteGateway::Unit& unit : gateway->units()) {
            EXPECT_EQ(stored_records(*db, unit.serial), HELD) << unit.serial;
            EXPECT_EQ(
                db->number("SELECT unit FROM meters WHERE serial = " + std::to_string(unit.serial)),
                unit.unit);
        }
    EXPECT_EQ(db->rows("SELECT name FROM meters WHERE serial = 7201")[0][0], "Yard");
    EXPECT_FALSE(conversations_overlap(hall.sim().journal()));
}

// A gateway that does not answer the connect costs one time limit, not one per meter.
TEST(Gateways, ASilentGatewayCostsOneConnectTimeLimit) {
    const ktest::SilentPort silent;
    const std::string address = "127.0.0.1:" + std::to_string(silent.port());
    std::string lines;
    for (int unit = 1; unit <= 3; ++unit)
        lines += address + " em133 unit=" + std::to_string(unit) + "\n";
    const auto started = std::chrono::steady_clock::now();
    const Outcome run =
        collect({"--hosts", hosts_file(lines), "-t", "1000", "--db", fresh_sqlite_path()});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.exit_status, 1);
    for (const json& line : summaries(run.out))
        EXPECT_EQ(line["error"],
                  "gateway " + address + " unreachable: Timed out connecting to " + address);
    EXPECT_LT(took, std::chrono::milliseconds(2500));  // three time limits would be 3 s
}

// A gateway that answers "busy" to a request sooner than 25 ms after its last reply: the gap
// keeps it from doing so; without one, the tries carry the pass, and the line counts them.
TEST(Gateways, TheGapABusyGatewayWants) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string fields;
        int status;
        bool retried;
    };
    const std::vector<Case> cases{
        {"--gap", {"--gap", "30"}, "", 0, false},
        {"gap= on the line", {}, "gap=30", 0, false},
        {"the line's gap wins", {"--gap", "0"}, "gap=30", 0, false},
        {"no gap: tried again", {}, "", 0, true},
        {"no gap, one try", {"--tries", "1"}, "", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SiteMeter meter(ksim::Model::em133, 7301, RECORDS, EVENTS);
        meter.sim().set_min_gap(std::chrono::milliseconds(25));
        std::vector<std::string> args{
            "--hosts", hosts_file(meter.address() + " em133 " + c.fields + "\n"),
            "--only",  "live",
            "--db",    fresh_sqlite_path()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run = collect(args);
        EXPECT_EQ(run.exit_status, c.status) << run.out << run.err;
        const json line = summaries(run.out).at(0);
        EXPECT_EQ(line.value("retries", 0) > 0, c.retried) << line;
        if (c.status != 0) {
            EXPECT_NE(run.out.find("busy after 1 try: set gap=50"), std::string::npos) << run.out;
        }
    }
}

}  // namespace
}  // namespace collect_test
