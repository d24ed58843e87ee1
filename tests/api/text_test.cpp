// SPDX-License-Identifier: MIT
// The text routines: JSON and CSV escaping, hex ids, time stamps, document prefix, number
// printing and CSV files.
#include "ground/text.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <regex>
#include <sstream>
#include <string>

#include "capi/args.hpp"
#include "meter/model.hpp"
#include "modbus/client.hpp"
#include "support/failure.hpp"
#include "support/files.hpp"
#include "support/scoped_tz.hpp"
#include "support/temp_dir.hpp"

using namespace kolvane;
using ktest::failure_of;
using ktest::ScopedTz;
using ktest::TempDir;

TEST(JsonEscape, EscapesQuotesBackslashesAndControlBytesOnly) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {
             Case{"plain / text", "plain / text"},
             Case{"a\"b", "a\\\"b"},
             Case{"a\\b", "a\\\\b"},
             Case{"\n\r\t", "\\n\\r\\t"},
             Case{"\x01", "\\u0001"},
             Case{"\x08\x0c", "\\u0008\\u000c"},
             Case{"\x1f", "\\u001f"},
             Case{std::string("a\0b", 3), "a\\u0000b"},
             Case{"\x7f", "\x7f"},
             Case{"caf\xC3\xA9", "caf\xC3\xA9"},
             Case{"\xFF\x80", "\xFF\x80"},  // invalid UTF-8 passes unrepaired
             Case{"q\"\\\t\x01\xC3\xA9", "q\\\"\\\\\\t\\u0001\xC3\xA9"},
         }) {
        EXPECT_EQ(json_escape(c.in), c.out) << c.in;
    }
}

TEST(JsonEscape, AppendFormAddsToExistingText) {
    std::string out = "{\"host\":\"";
    append_json_escaped(out, "a\"b");
    EXPECT_EQ(out, "{\"host\":\"a\\\"b");
}

TEST(CsvQuote, QuotesOnlyForCommaQuoteOrLineFeed) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {
             Case{"plain", "plain"},
             Case{"", ""},
             Case{"a,b", "\"a,b\""},
             Case{"say \"hi\"", "\"say \"\"hi\"\"\""},
             Case{"two\nlines", "\"two\nlines\""},
             Case{"\r", "\r"},
             Case{"a;b", "a;b"},
             Case{" padded ", " padded "},
         }) {
        EXPECT_EQ(csv_quote(c.in), c.out) << c.in;
    }
}

TEST(Hex4, FourUpperCaseDigits) {
    EXPECT_EQ(hex4(0), "0x0000");
    EXPECT_EQ(hex4(5), "0x0005");
    EXPECT_EQ(hex4(0x1A2B), "0x1A2B");
    EXPECT_EQ(hex4(0xabcd), "0xABCD");
    EXPECT_EQ(hex4(0xFFFF), "0xFFFF");
}

TEST(MeterTime, BothFormsAreUtcWhateverTheLocalZone) {
    const ScopedTz zone("KLV-05:30");
    struct Case {
        uint32_t seconds, microseconds;
        const char* iso;
        const char* hmi;
    };
    for (const Case& c : {
             Case{0, 0, "1970-01-01T00:00:00.000Z", "01/01/70  00:00:00.000"},
             Case{0, 999999, "1970-01-01T00:00:00.999Z", "01/01/70  00:00:00.999"},
             Case{1700000000, 123456, "2023-11-14T22:13:20.123Z", "14/11/23  22:13:20.123"},
             Case{951782400, 5000, "2000-02-29T00:00:00.005Z", "29/02/00  00:00:00.005"},
             Case{2147483648u, 0, "2038-01-19T03:14:08.000Z", "19/01/38  03:14:08.000"},
             Case{4294967295u, 999999, "2106-02-07T06:28:15.999Z", "07/02/06  06:28:15.999"},
             // Microseconds of a second or more carry into the seconds of the HMI form only.
             Case{1700000000, 1500000, "2023-11-14T22:13:20.500Z", "14/11/23  22:13:21.500"},
             Case{1700000000, 1000000, "2023-11-14T22:13:20.000Z", "14/11/23  22:13:21.000"},
             Case{1700000000, 4294967295u, "2023-11-14T22:13:20.967Z", "14/11/23  23:24:54.967"},
         }) {
        EXPECT_EQ(fmt_iso_utc(c.seconds, c.microseconds), c.iso)
            << c.seconds << "/" << c.microseconds;
        EXPECT_EQ(fmt_hmi_datetime(c.seconds, c.microseconds), c.hmi)
            << c.seconds << "/" << c.microseconds;
    }
}

namespace {

std::string local_stamp_seconds(time_t when) {
    struct tm local {};
    localtime_r(&when, &local);
    char text[32];
    return std::string(text, strftime(text, sizeof text, "%Y%m%d_%H%M%S", &local));
}

}  // namespace

TEST(NowStamp, IsTheLocalTimeWithMilliseconds) {
    for (const char* tz : {"KLV-05:30", "KLV+11"}) {
        const ScopedTz zone(tz);
        const time_t before = time(nullptr);
        const std::string stamp = now_stamp();
        const time_t after = time(nullptr);

        ASSERT_TRUE(std::regex_match(stamp, std::regex(R"(\d{8}_\d{6}_\d{3})"))) << stamp;
        bool matches = false;
        for (time_t t = before; t <= after; ++t)
            matches |= stamp.substr(0, 15) == local_stamp_seconds(t);
        EXPECT_TRUE(matches) << tz << ": " << stamp << " vs " << local_stamp_seconds(before);
    }
}

TEST(NowIsoUtc, IsTheUtcTimeWithMilliseconds) {
    const ScopedTz zone("KLV-05:30");
    const time_t before = time(nullptr);
    const std::string now = now_iso_utc();
    const time_t after = time(nullptr);
    ASSERT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
        << now;
    bool matches = false;
    for (time_t t = before; t <= after; ++t)
        matches |= now.substr(0, 19) == fmt_iso_utc(uint32_t(t), 0).substr(0, 19);
    EXPECT_TRUE(matches) << now;
}

TEST(DocPrefix, CanonicalModelAndEscapedHost) {
    EXPECT_EQ(doc_prefix("10.0.0.5", MeterModel::EM235), R"("meter":"em235","host":"10.0.0.5")");
    EXPECT_EQ(doc_prefix("meter-1.local", parse_meter("PM335")),
              R"("meter":"em235","host":"meter-1.local")");
    EXPECT_EQ(doc_prefix("a\"b\\c\x01", MeterModel::EM133),
              R"("meter":"em133","host":"a\"b\\c\u0001")");
    const ModbusTcpClient client("x\"y", ConnectionOptions{});
    EXPECT_EQ(doc_prefix(client.host(), MeterModel::EM133), R"("meter":"em133","host":"x\"y")");
}

TEST(OpenCsv, FailsWhenThePathCannotBeOpened) {
    const TempDir dir;
    const std::string missing = dir.file("missing/out.csv");
    EXPECT_EQ(failure_of([&] { open_csv(missing); }), "Cannot open CSV: " + missing);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    EXPECT_EQ(failure_of([&] { open_csv(dir.path()); }), "Cannot open CSV: " + dir.path());
}

TEST(OpenCsv, TruncatesAndKeepsWhatWasWrittenWhenDestroyed) {
    const TempDir dir;
    const std::string path = dir.file("out.csv");
    ktest::write_file(path, "an older and much longer content\n");
    {
        CsvFile file = open_csv(path);
        file.stream() << "No.,Date/Time\r\n1,x\n";
        // Destroyed without close(), as on a failure half-way.
    }
    EXPECT_EQ(ktest::read_file(path), "No.,Date/Time\r\n1,x\n");
}

TEST(OpenCsv, CloseReportsAWriteThatDidNotReachTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    CsvFile file = open_csv("/dev/full");
    file.stream() << "a,b\n";
    EXPECT_EQ(failure_of([&] { file.close(); }), "Cannot write CSV: /dev/full");
}

namespace {

// Standard fixed-point stream formatting in the classic locale: what the printed values
// must equal.
std::string classic_fixed(double value, int decimals) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(decimals) << value;
    return out.str();
}

}  // namespace

TEST(FormatFixed, MatchesClassicFixedFormatting) {
    struct Case {
        double value;
        int decimals;
        const char* expected;
    };
    for (const Case& c : {
             Case{230.1, 1, "230.1"},
             Case{2301 * 0.1, 1, "230.1"},
             Case{-12345 * 0.01, 2, "-123.45"},
             Case{15 * 0.1, 0, "2"},
             Case{7.0, 0, "7"},
             Case{0.0, 3, "0.000"},
             Case{1234567.891, 2, "1234567.89"},
             Case{1.0, 1, "1.0"},
             Case{0.125, 2, "0.12"},  // exact tie: to even, as the stream does
             Case{-0.04, 1, "-0.0"},
             Case{4294967295.0 * 0.001, 3, "4294967.295"},
         }) {
        EXPECT_EQ(format_fixed(c.value, c.decimals), c.expected) << c.value << "/" << c.decimals;
        EXPECT_EQ(format_fixed(c.value, c.decimals), classic_fixed(c.value, c.decimals));
    }
}

namespace {

struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Restores the global C++ locale and the C locale after a test that changes them.
class HostLocale : public testing::Test {
protected:
    void TearDown() override {
        std::locale::global(saved_cpp_);
        std::setlocale(LC_ALL, saved_c_.c_str());
    }

private:
    std::locale saved_cpp_;
    std::string saved_c_ = std::setlocale(LC_ALL, nullptr);
};

}  // namespace

TEST_F(HostLocale, GlobalCppLocaleDoesNotChangeNumbers) {
    std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    EXPECT_EQ(format_fixed(230.1, 1), "230.1");
    EXPECT_EQ(format_fixed(1234567.5, 1), "1234567.5");
}

TEST_F(HostLocale, CLocaleDoesNotChangeNumbersOrClassification) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    EXPECT_EQ(format_fixed(230.1, 1), "230.1");
    EXPECT_EQ(format_fixed(1234567.5, 1), "1234567.5");
    EXPECT_EQ(parse_options("{\"port\":\xA0"
                            "1502}")
                  .port,
              502);
    EXPECT_EQ(failure_of([] { parse_meter("\xC9M133"); }),
              "Unknown meter model '\xC9M133' (expected em133 or em235)");
}
