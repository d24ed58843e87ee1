// SPDX-License-Identifier: MIT
// Argument checks: null pointers, model names, the options text and its integer lookup.
#include "capi/args.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/failure.hpp"

using namespace kolvane;
using ktest::failure_of;

TEST(RequireNonNull, NamesTheArgument) {
    int value = 0;
    EXPECT_NO_THROW(require_non_null(&value, "host"));
    for (const char* name : {"host", "meter", "out", "cb", "csv_path", "out_dir", "word_order"}) {
        EXPECT_EQ(failure_of([&] { require_non_null(nullptr, name); }),
                  std::string(name) + " must not be null");
    }
}

TEST(ParseMeter, AcceptsTheModelsInAnyLetterCase) {
    struct Case {
        const char* name;
        MeterModel model;
    };
    for (const Case& c : {Case{"em133", MeterModel::EM133}, Case{"EM133", MeterModel::EM133},
                          Case{"Em133", MeterModel::EM133}, Case{"em235", MeterModel::EM235},
                          Case{"eM235", MeterModel::EM235}, Case{"pm335", MeterModel::EM235},
                          Case{"PM335", MeterModel::EM235}}) {
        EXPECT_EQ(parse_meter(c.name), c.model) << c.name;
    }
    EXPECT_STREQ(model_name(MeterModel::EM133), "em133");
    EXPECT_STREQ(model_name(MeterModel::EM235), "em235");
}

TEST(ParseMeter, UnknownNameIsQuotedAsGiven) {
    // Bytes 0x80-0xFF must be plain non-letters whatever the locale: "\xC5M133" is no model.
    for (const char* name : {"", " em133", "em133 ", "em-133", "EM-235", "em13", "pm3350",
                             "\xC5M133", "em133\xE9", "\xFF"}) {
        EXPECT_EQ(failure_of([&] { parse_meter(name); }),
                  "Unknown meter model '" + std::string(name) + "' (expected em133 or em235)");
    }
}

TEST(ParseOptions, DefaultsWhenNothingIsGiven) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "{}", " ", "garbage",
                             "{\"other\":7}", "{\"PORT\":7}"}) {
        const ConnectionOptions parsed = parse_options(text);
        EXPECT_EQ(parsed.port, 502) << (text ? text : "null");
        EXPECT_EQ(parsed.unit_id, 1);
        EXPECT_EQ(parsed.timeout_ms, 30000);
        EXPECT_EQ(parsed.request_gap_ms, 0);
    }
}

TEST(ParseOptions, AcceptedValues) {
    struct Case {
        const char* text;
        int port, unit_id, timeout_ms;
        int request_gap_ms = 0;
    };
    for (const Case& c : {
             Case{R"({"port":1502,"unit_id":3,"timeout_ms":5000})", 1502, 3, 5000},
             Case{R"({"port":1})", 1, 1, 30000},
             Case{R"({"port":65535})", 65535, 1, 30000},
             Case{R"({"unit_id":0})", 502, 0, 30000},
             Case{R"({"unit_id":255})", 502, 255, 30000},
             Case{R"({"timeout_ms":100})", 502, 1, 100},
             Case{R"({"timeout_ms":3600000})", 502, 1, 3600000},
             Case{R"({"port":"1502"})", 502, 1, 30000},
             Case{R"({"port": 1502})", 1502, 1, 30000},
             Case{R"({"port":1502.7})", 1502, 1, 30000},
             Case{R"({"unit_id":5,"unit_id":7})", 502, 5, 30000},
             Case{R"({"timeout_ms":5000,"port":2000})", 2000, 1, 5000},
             Case{R"({"request_gap_ms":0})", 502, 1, 30000},
             Case{R"({"request_gap_ms":10000})", 502, 1, 30000, 10000},
             Case{R"({"port":1502,"request_gap_ms":40,"deadline_ms":900})", 1502, 1, 30000, 40},
             // 0xA0 is not blank in the standard classification: the value is not found.
             Case{"{\"port\":\xA0"
                  "1502}",
                  502, 1, 30000},
         }) {
        const ConnectionOptions parsed = parse_options(c.text);
        EXPECT_EQ(parsed.port, c.port) << c.text;
        EXPECT_EQ(parsed.unit_id, c.unit_id) << c.text;
        EXPECT_EQ(parsed.timeout_ms, c.timeout_ms) << c.text;
        EXPECT_EQ(parsed.request_gap_ms, c.request_gap_ms) << c.text;
    }
}

TEST(ParseOptions, OutOfRangeValuesFailWithTheFirstKeyInOrder) {
    const std::string port = "options.port must be 1-65535";
    const std::string unit = "options.unit_id must be 0-255";
    const std::string timeout = "options.timeout_ms must be 100-3600000";
    const std::string deadline = "options.deadline_ms must be 1-86400000";
    const std::string gap = "options.request_gap_ms must be 0-10000";
    struct Case {
        const char* text;
        const std::string& message;
    };
    for (const Case& c : {
             Case{R"({"port":0})", port},
             Case{R"({"port":65536})", port},
             Case{R"({"port":-1})", port},
             Case{R"({"port":4294967298})", port},            // would wrap to 2 in 32 bits
             Case{R"({"port":99999999999999999999})", port},  // saturates, never wraps
             Case{R"({"unit_id":-1})", unit},
             Case{R"({"unit_id":256})", unit},
             Case{R"({"unit_id":257})", unit},  // would wrap to 1 in 8 bits
             Case{R"({"timeout_ms":99})", timeout},
             Case{R"({"timeout_ms":3600001})", timeout},
             Case{R"({"timeout_ms":4294967396})", timeout},  // 2^32 + 100
             Case{R"({"timeout_ms":-99999999999999999999})", timeout},
             Case{R"({"port":70000,"unit_id":300})", port},
             Case{R"({"unit_id":300,"timeout_ms":5})", unit},
             Case{R"({"timeout_ms":5,"unit_id":300,"port":0})", port},  // key order, not text order
             Case{R"({"request_gap_ms":-1})", gap},
             Case{R"({"request_gap_ms":10001})", gap},
             Case{R"({"request_gap_ms":4294967296})", gap},  // would wrap to 0 in 32 bits
             Case{R"({"request_gap_ms":-1,"deadline_ms":0})", deadline},
         }) {
        EXPECT_EQ(failure_of([&] { parse_options(c.text); }), c.message) << c.text;
    }
}

TEST(JsonIntField, FoundValues) {
    struct Case {
        const char* json;
        int64_t expected;
    };
    for (const Case& c : {
             Case{R"({"port":502})", 502},
             Case{"{\"port\": \t\n\v\f\r12}", 12},
             Case{R"({"port":+7})", 7},
             Case{R"({"port":-7})", -7},
             Case{R"({"port":5.9})", 5},
             Case{R"({"port":1e3})", 1},
             Case{R"({"port":502abc})", 502},
             Case{R"({"port" junk : 12})", 12},        // text before the colon is not examined
             Case{R"({"x":{"port":7},"port":9})", 7},  // first occurrence, even when nested
             Case{R"({"a":"port","b":3})", 3},         // ... even as a string value
             Case{R"({"port":9223372036854775807})", INT64_MAX},
             Case{R"({"port":9223372036854775808})", INT64_MAX},
             Case{R"({"port":-9223372036854775808})", INT64_MIN},
             Case{R"({"port":-9223372036854775809})", INT64_MIN},
         }) {
        int64_t value = -12345;
        EXPECT_TRUE(json_int_field(c.json, "port", value)) << c.json;
        EXPECT_EQ(value, c.expected) << c.json;
    }
}

TEST(JsonIntField, NotFoundLeavesTheValueAlone) {
    for (const char* json :
         {"", "{}", R"({"Port":1})", R"({"port"})", R"({"port":})", R"({"port":-})",
          R"({"port":"1502"})", R"({"port":true})", R"({"port":null})", R"({"port":- 5})",
          R"({"port":"x","port":9})", R"({"portx":1})",
          "{\"port\":\xA0"
          "5}"}) {
        int64_t value = -12345;
        EXPECT_FALSE(json_int_field(json, "port", value)) << json;
        EXPECT_EQ(value, -12345) << json;
    }
}

TEST(JsonIntField, ReadsOnlyWithinTheGivenText) {
    const std::string json = R"({"port":12345})";
    int64_t value = 0;
    EXPECT_TRUE(json_int_field(std::string_view(json).substr(0, 10), "port", value));
    EXPECT_EQ(value, 12);
    EXPECT_FALSE(json_int_field(std::string_view(json).substr(0, 8), "port", value));
}
