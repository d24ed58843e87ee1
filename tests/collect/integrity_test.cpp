// SPDX-License-Identifier: MIT
// What the collector stores is never wrong: one reader per meter however many collectors run,
// the meter is the model it is named as, one serial is one meter, and a long log completes.
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <map>

namespace collect_test {
namespace {

using nlohmann::json;

// Every record of a meter as its own log streams give them: by file id, then sequence number,
// the time stamp and the values (data logs) or the cause (the event log).
using Records = std::map<int, std::map<int, std::pair<std::string, std::string>>>;

// The tool's arguments that reach `meter`.
std::vector<std::string> meter_args(SiteMeter& meter, const std::string& model) {
    return {"127.0.0.1", "-p", std::to_string(meter.sim().port()), "-m", model};
}

Records streamed(SiteMeter& meter, const std::string& model) {
    Records records;
    for (const auto& [file_id, log] : meter.content().logs) {
        std::vector<std::string> args{file_id == 0 ? "eventlog" : "datalog"};
        for (const std::string& arg : meter_args(meter, model)) args.push_back(arg);
        if (file_id > 0) args.push_back(std::to_string(file_id));
        const Outcome out = cli_test::run_tool(args);
        for (const std::string& line : cli_test::lines_of(out.out)) {
            const json r = json::parse(line);
            if (r.at("type") != "record") continue;
            records[file_id][r.at("seq").get<int>()] = {
                r.at("timestamp"), file_id == 0 ? r.at("cause").dump() : r.at("values").dump()};
        }
    }
    return records;
}

Records stored(const std::string& path, std::uint32_t serial) {
    Records records;
    const auto db = open_sqlite(path);
    const std::string s = std::to_string(serial);
    for (const auto& row : db->rows(
             "SELECT file_id, seq, recorded_at, vals FROM datalog_records WHERE serial = " + s))
        records[std::stoi(row[0])][std::stoi(row[1])] = {row[2], json::parse(row[3]).dump()};
    for (const auto& row :
         db->rows("SELECT seq, recorded_at, cause FROM event_records WHERE serial = " + s))
        records[0][std::stoi(row[0])] = {row[1], json(row[2]).dump()};
    return records;
}

TEST(Integrity, TwoCollectorsOnOneSqliteDatabaseNeverGarbleARecord) {
    SiteMeter a(ksim::Model::em133, 7101, 200, 40), b(ksim::Model::em133, 7102, 200, 40);
    for (SiteMeter* m : {&a, &b})
        m->sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(1))
                               .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    const Records truth_a = streamed(a, "em133"), truth_b = streamed(b, "em133");
    ASSERT_EQ(truth_a.size(), 4u);
    for (int round = 0; round < 10; ++round) {
        const std::string path = fresh_sqlite_path();
        const std::vector<std::string> args{
            "--only", "datalog,eventlog", a.address(), b.address(), "--db", path};
        auto first = std::async(std::launch::async, [&] { return collect(args); });
        auto second = std::async(std::launch::async, [&] { return collect(args); });
        for (const Outcome& run : {first.get(), second.get()}) {
            EXPECT_EQ(run.exit_status, 0) << run.err;
            for (const json& line : summaries(run.out))
                EXPECT_TRUE(line.value("busy", false) || line.at("complete").get<bool>()) << line;
        }
        // Each meter was read whole by one of them, and every record is the meter's own.
        const auto busy_free = [&](const SiteMeter& m) {
            return collect({"--only", "datalog,eventlog", m.address(), "--db", path});
        };
        for (SiteMeter* m : {&a, &b}) EXPECT_EQ(new_records(summaries(busy_free(*m).out)), 0);
        EXPECT_EQ(stored(path, a.serial()), truth_a) << "round " << round;
        EXPECT_EQ(stored(path, b.serial()), truth_b) << "round " << round;
    }
}

TEST(Integrity, TwoTransfersFromOneMeterTakeTurns) {
    SiteMeter meter(ksim::Model::em133, 7201, 300, 5);
    meter.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(2))
                              .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    std::vector<std::string> args{"datalog"};
    for (const std::string& arg : meter_args(meter, "em133")) args.push_back(arg);
    args.push_back("1");
    auto first = std::async(std::launch::async, [&] { return cli_test::run_tool(args); });
    auto second = std::async(std::launch::async, [&] { return cli_test::run_tool(args); });
    const Outcome one = first.get(), two = second.get();
    EXPECT_EQ(one.exit_status, 0) << one.err;
    EXPECT_EQ(two.exit_status, 0) << two.err;
    EXPECT_EQ(cli_test::lines_of(one.out).size(), 301u);  // the header and every record
    EXPECT_EQ(one.out, two.out);
}

TEST(Integrity, AMeterOfTheOtherModelIsRefusedAndNothingOfItStored) {
    const struct {
        ksim::Model model;
        const char* right;
        const char* wrong;
    } cases[] = {{ksim::Model::em235, "em235", "em133"}, {ksim::Model::em133, "em133", "em235"}};
    for (const auto& c : cases) {
        SiteMeter meter(c.model, 7301, 20, 5);
        const std::string path = fresh_sqlite_path();
        const std::string named = std::string("not an ") + c.wrong;
        const Outcome wrong = collect({meter.address(), "-m", c.wrong, "--db", path});
        EXPECT_EQ(wrong.exit_status, 1) << c.wrong;
        const json line = summaries(wrong.out).at(0);
        EXPECT_NE(line.at("error").get<std::string>().find(std::string("is an ") + c.right),
                  std::string::npos)
            << line;
        EXPECT_NE(line.at("error").get<std::string>().find(named), std::string::npos) << line;
        const auto db = open_sqlite(path);
        EXPECT_EQ(db->number("SELECT count(*) FROM meters") +
                      db->number("SELECT count(*) FROM datalog_records") +
                      db->number("SELECT count(*) FROM event_records"),
                  0);
        for (const char* command : {"info", "live"}) {
            std::vector<std::string> args{command};
            for (const std::string& arg : meter_args(meter, c.wrong)) args.push_back(arg);
            const Outcome printed = cli_test::run_tool(args);
            EXPECT_EQ(printed.exit_status, 1) << command;
            EXPECT_EQ(printed.out, "") << command;
            EXPECT_NE(printed.err.find(named), std::string::npos) << command << printed.err;
        }
        const Outcome right = collect({meter.address(), "-m", c.right, "--db", path});
        ASSERT_EQ(right.exit_status, 0) << right.err;
        EXPECT_EQ(new_records(summaries(right.out)), meter.records_held());
        // Once collected as one model, the serial is not taken as the other, even from a meter
        // whose identity names no model.
        ksim::Identity anonymous = *meter.content().identity;
        anonymous.model_name = "X1";
        anonymous.model_id = 1;
        meter.sim().set_identity(anonymous);
        const Outcome renamed = collect({meter.address(), "-m", c.wrong, "--db", path});
        EXPECT_EQ(renamed.exit_status, 1);
        EXPECT_NE(summaries(renamed.out)
                      .at(0)
                      .at("error")
                      .get<std::string>()
                      .find(std::string("was collected as an ") + c.right),
                  std::string::npos)
            << renamed.out;
    }
}

TEST(Integrity, TwoMetersWithOneSerialStoreOnlyTheFirst) {
    SiteMeter first(ksim::Model::em133, 7401, 20, 5), clone(ksim::Model::em133, 7401, 30, 7);
    const std::string path = fresh_sqlite_path();
    const Outcome run = collect({first.address(), clone.address(), "-j", "1", "--db", path});
    EXPECT_EQ(run.exit_status, 1);
    const auto lines = summaries(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].at("complete").get<bool>()) << lines[0];
    const std::string error = lines[1].at("error");
    EXPECT_NE(error.find(first.address()), std::string::npos) << error;
    EXPECT_EQ(open_sqlite(path)->number("SELECT count(*) FROM datalog_records"), 60);
    EXPECT_EQ(open_sqlite(path)->number("SELECT port FROM meters"), first.sim().port());
    // A later run of the clone alone, while the first was collected moments ago.
    const Outcome later = collect({clone.address(), "--db", path});
    EXPECT_EQ(later.exit_status, 1);
    EXPECT_NE(summaries(later.out).at(0).at("error").get<std::string>().find(first.address()),
              std::string::npos)
        << later.out;
    EXPECT_EQ(open_sqlite(path)->number("SELECT count(*) FROM datalog_records"), 60);
}

TEST(Integrity, ALogLongerThanTheDeadlineCompletes) {
    SiteMeter meter(ksim::Model::em133, 7501, 1000, 5);
    meter.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(5)));
    const std::string path = fresh_sqlite_path();
    // Some 500 requests of 5 ms: far over the one second the deadline gives any call.
    const Outcome run =
        collect({meter.address(), "--only", "datalog", "--deadline", "1", "--db", path});
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    const json line = summaries(run.out).at(0);
    EXPECT_TRUE(line.at("complete").get<bool>()) << line;
    EXPECT_EQ(new_records({line}), 3000);
}

// Appends `count` records to every log of `meter`.
void append_records(SiteMeter& meter, int count) {
    for (const auto& [file_id, log] : meter.content().logs)
        meter.sim().update_log(
            file_id, [count](ksim::LogFile& file) { ksim::append_next_records(file, count); });
}

// A resumed read gets the deadline alone, as it reads what is new: many new records make it go
// on after the last record it delivered, and a meter that stops answering costs that deadline,
// not one grown by the size of its log.
TEST(Integrity, AResumedReadIsBoundedByWhatItReads) {
    SiteMeter meter(ksim::Model::em133, 7502, 2000, 5);
    const std::string path = fresh_sqlite_path();
    auto run = [&](const std::string& timeout_ms) {
        return collect({meter.address(), "--only", "datalog", "-t", timeout_ms, "--deadline", "1",
                        "--db", path});
    };
    ASSERT_EQ(run("5000").exit_status, 0);
    append_records(meter, 200);
    meter.sim().add_fault(ksim::Fault::delay(std::chrono::milliseconds(70))
                              .reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1)
                              .times(60));
    // 20 blocks of 70 ms per log: over the one second the deadline gives a call.
    const Outcome longer = run("5000");
    ASSERT_EQ(longer.exit_status, 0) << longer.out << longer.err;
    EXPECT_EQ(new_records(summaries(longer.out)), 3 * 200);
    EXPECT_EQ(open_sqlite(path)->number("SELECT count(*) FROM datalog_records"), 3 * 2200);

    append_records(meter, 1);
    meter.sim().add_fault(
        ksim::Fault::no_reply().reads(ksim::BLOCK_DATA, ksim::FILE_INFO_REQUEST - 1));
    const auto start = std::chrono::steady_clock::now();
    const Outcome silent = run("30000");
    // Grown by 25 ms for each of 2,201 records, each log's deadline would be some 56 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(silent.exit_status, 1);
    const std::vector<json> lines = summaries(silent.out);
    for (const json& log : lines.at(0).at("datalog"))
        EXPECT_EQ(log.at("error"), "Deadline of 1000 ms exceeded") << log;
}

TEST(Integrity, EveryPassReadsOnlyWhatIsNewAndStoresExactlyTheMetersRecords) {
    SiteMeter meter(ksim::Model::em133, 7601, 2000, 300);
    const std::string path = fresh_sqlite_path();
    const std::vector<std::string> args{meter.address(), "--only", "datalog,eventlog", "--db",
                                        path};
    const Outcome first = collect(args);
    ASSERT_EQ(first.exit_status, 0) << first.err;
    const std::size_t full_requests = meter.sim().requests_received();
    std::size_t before = full_requests;
    for (int pass = 1; pass <= 10; ++pass) {
        append_records(meter, pass % 3);  // none now and then
        const Outcome run = collect(args);
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const json line = summaries(run.out).at(0);
        EXPECT_TRUE(line.at("complete").get<bool>()) << line;
        for (const json& log : line.at("datalog")) {
            EXPECT_TRUE(log.contains("resumed_after")) << line;
            EXPECT_EQ(log.at("new"), pass % 3) << line;
        }
        EXPECT_EQ(line.at("eventlog").at("new"), pass % 3) << line;
        const std::size_t requests = meter.sim().requests_received() - before;
        before = meter.sim().requests_received();
        EXPECT_LT(requests * 10, full_requests) << "pass " << pass;
    }
    // The meter's own content and kolvane's, with every record, both ways.
    meter.sim().clear_faults();
    EXPECT_EQ(stored(path, meter.serial()), streamed(meter, "em133"));
}

}  // namespace
}  // namespace collect_test
