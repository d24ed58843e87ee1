// SPDX-License-Identifier: MIT
// The collector's scan of data log records: what it takes itself, what it leaves to the whole
// parse, and that both engines read from its values text the very doubles they read from the
// text stored before (the record parsed into doubles and printed back).
#include "collect/parse.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// The values text as every record was stored before the scan.
std::string stored_before(const std::string& record) {
    return json(json::parse(record).at("values").get<std::vector<double>>()).dump();
}

struct Read {
    std::string type;
    double value = 0;
};

// The values of a JSON array as SQLite's json_each gives them to the datalog_values view.
class JsonEach {
public:
    JsonEach() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
        if (sqlite3_prepare_v2(db_, "SELECT typeof(value), value FROM json_each(?1) ORDER BY key",
                               -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
    }
    ~JsonEach() {
        sqlite3_finalize(stmt_);
        sqlite3_close(db_);
    }
    JsonEach(const JsonEach&) = delete;
    JsonEach& operator=(const JsonEach&) = delete;

    std::vector<Read> operator()(const std::string& array) {
        sqlite3_reset(stmt_);
        sqlite3_bind_text(stmt_, 1, array.data(), static_cast<int>(array.size()), SQLITE_TRANSIENT);
        std::vector<Read> out;
        int rc;
        while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW)
            out.push_back({reinterpret_cast<const char*>(sqlite3_column_text(stmt_, 0)),
                           sqlite3_column_double(stmt_, 1)});
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        return out;
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Both engines read the same doubles from `now` as from `before`: SQLite through json_each,
// PostgreSQL through strtod (as nlohmann's number parse does).
void expect_same_reads(JsonEach& each, const std::string& now, const std::string& before) {
    const std::vector<Read> a = each(now), b = each(before);
    ASSERT_EQ(a.size(), b.size()) << now << " / " << before;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].type, b[i].type) << "value " << i << " of " << now;
        EXPECT_TRUE(same_bits(a[i].value, b[i].value)) << "value " << i << " of " << now;
    }
    const auto x = json::parse(now).get<std::vector<double>>();
    const auto y = json::parse(before).get<std::vector<double>>();
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_TRUE(same_bits(x[i], y[i])) << "value " << i << " of " << now;
}

std::string record(const std::string& trigger_json, const std::string& values) {
    return R"({"type":"record","no":1,"seq":1000,"timestamp":"2026-12-07T16:30:00.000Z","trigger":)" +
           trigger_json + R"(,"values":)" + values + "}";
}

struct Case {
    const char* what;
    std::string text;
    bool scanned;  // taken by the scan, else by the whole parse
    int seq;
    std::string trigger;
    std::string values;  // as stored; empty: as stored before
};

TEST(DatalogScan, TakesTheLibraryLayoutAndLeavesTheRest) {
    const std::string T = "2026-12-07T16:30:00.000Z";
    const std::vector<Case> cases = {
        {"the library's record",
         R"({"type":"record","no":1,"seq":1000,"timestamp":"2026-12-07T16:30:00.000Z","trigger":"SP","values":[230.6,232.1,231.3,15.71,11.64,8.38,7.664,0.927,123452.50]})",
         true, 1000, "SP", "[230.6,232.1,231.3,15.71,11.64,8.38,7.664,0.927,123452.50]"},
        {"integers read as REAL, as the doubles were",
         record(R"("SP3")", "[15,-3,0,2147483647,-0.0]"), true, 1000, "SP3",
         "[15.0,-3.0,0.0,2147483647.0,-0.0]"},
        {"no values", record(R"("SP")", "[]"), true, 1000, "SP", "[]"},
        {"an escaped quote in the trigger", record(R"("S\"P")", "[1.5]"), true, 1000, "S\"P",
         "[1.5]"},
        {"an escaped backslash ending the trigger", record(R"("SP\\")", "[1.5]"), true, 1000,
         "SP\\", "[1.5]"},
        {"a \\u escape in the trigger", record(R"("\u00e9\u0041")", "[1.5]"), true, 1000,
         "\xc3\xa9"
         "A",
         "[1.5]"},
        {"members in another order",
         R"({"type":"record","seq":7,"no":1,"timestamp":"2026-12-07T16:30:00.000Z","trigger":"SP","values":[1.50,2]})",
         false, 7, "SP", "[1.5,2.0]"},
        {"white space",
         R"({"type": "record", "no": 1, "seq": 7, "timestamp": "2026-12-07T16:30:00.000Z", "trigger": "SP", "values": [1.5, 2]})",
         false, 7, "SP", "[1.5,2.0]"},
        {"a value with an exponent", record(R"("SP")", "[1.5,1e2]"), false, 1000, "SP",
         "[1.5,100.0]"},
        {"a value of 16 digits", record(R"("SP")", "[1234567890.123456]"), false, 1000, "SP", ""},
        {"minus zero, an integer 0 before", record(R"("SP")", "[-0]"), false, 1000, "SP", "[0.0]"},
    };
    JsonEach each;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kcollect::scan_datalog_record(c.text).has_value(), c.scanned) << c.text;
        const kdb::DatalogRow row = kcollect::parse_datalog_record(c.text);
        EXPECT_EQ(row.seq, c.seq);
        EXPECT_EQ(row.recorded_at, T);
        EXPECT_EQ(row.trigger, c.trigger);
        EXPECT_EQ(row.values, c.values.empty() ? stored_before(c.text) : c.values);
        expect_same_reads(each, row.values, stored_before(c.text));
    }
}

// Texts the collector refused before are refused still: nothing of them is stored.
TEST(DatalogScan, RefusesWhatIsNoRecord) {
    const std::vector<std::string> refused = {
        record(R"("SP")", "[1.5,null]"),
        record(R"("SP")", "[1.5,inf]"),
        record(R"("SP")", "[nan]"),
        record(R"("SP")", "[01.5]"),
        record(R"("SP")", "[1.]"),
        record(R"("SP")", "[.5]"),
        record(R"("SP")", "[1.5,]"),
        record(R"("SP")", "[1.5,\"2\"]"),
        record(R"("SP")", "[1.5]") + "x",
        record("\"S\x01P\"", "[1.5]"),
        record(R"("S\qP")", "[1.5]"),
        record(R"("SP)", "[1.5]"),
        R"({"type":"record","no":1,"seq":1000,"timestamp":"2026-12-07T16:30:00.000Z","trigger":"SP","values":[1.5])",
        R"({"type":"record","no":1,"seq":1000,"timestamp":"2026-12-07T16:30:00.000Z","trigger":"SP"})",
        R"({"type":"record","no":1,"seq":0100,"timestamp":"2026-12-07T16:30:00.000Z","trigger":"SP","values":[1.5]})",
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(kcollect::scan_datalog_record(text).has_value()) << text;
        EXPECT_THROW(kcollect::parse_datalog_record(text), std::exception) << text;
    }
}

// Values printed the way the library prints them (a 32-bit raw value over 10^decimals in exact
// decimal, or a fixed-point print of raw * scale), many at a time: every one is read as the
// same double by both engines as the text stored before.
TEST(DatalogScan, LibraryValuesReadAsBefore) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::int32_t> raw_values(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<std::int32_t> small_values(-99999, 99999);
    const double scales[] = {0.5, 0.25, 2.5, 0.00001, 1.0 / 3};
    JsonEach each;
    std::size_t scanned = 0;
    for (int round = 0; round < 200; ++round) {
        std::string values = "[";
        for (int i = 0; i < 500; ++i) {
            if (i > 0) values += ',';
            const std::int32_t raw = i % 2 ? raw_values(random) : small_values(random);
            const int decimals = i % 10;
            char text[64];
            if (i % 7 == 6) {
                const double scale = scales[i % 5];
                values.append(text, std::to_chars(text, text + sizeof text, double(raw) * scale,
                                                  std::chars_format::fixed, decimals % 4)
                                        .ptr);
                continue;
            }
            const std::int64_t value = raw;
            const std::uint64_t magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
            std::uint64_t power = 1;
            for (int d = 0; d < decimals; ++d) power *= 10;
            if (value < 0) values += '-';
            values.append(text, std::to_chars(text, text + sizeof text, magnitude / power).ptr);
            if (decimals > 0) {
                std::string fraction = std::to_string(magnitude % power);
                values += '.' +
                          std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') +
                          fraction;
            }
        }
        values += ']';
        const std::string text = record(R"("SP")", values);
        if (kcollect::scan_datalog_record(text)) ++scanned;
        expect_same_reads(each, kcollect::parse_datalog_record(text).values, stored_before(text));
        if (HasFailure()) return;
    }
    EXPECT_GT(scanned, 0u);
}

}  // namespace
