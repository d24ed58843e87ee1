// SPDX-License-Identifier: MIT
// Decoding of raw event records: which words count, how short records and signed values
// come out, and the effect-code texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "event_text.hpp"
#include "eventlog/decode.hpp"

namespace {

using kolvane::decode_event;
using kolvane::decode_f20_effect;
using ktest::fields_line;

struct RecordCase {
    const char* what;
    std::vector<uint16_t> words;
    const char* expected;
};

class DecodeRecord : public testing::TestWithParam<RecordCase> {};

TEST_P(DecodeRecord, GivesFieldsAndTexts) {
    const RecordCase& c = GetParam();
    EXPECT_EQ(fields_line(decode_event(c.words)), c.expected) << c.what;
}

// Words 0 to 5 (status, sequence, time) never reach the fields, so they hold noise here.
INSTANTIATE_TEST_SUITE_P(
    ShortAndLong, DecodeRecord,
    testing::Values(
        // Fewer than 8 words: the missing words count as 0 and nothing past the record is read.
        RecordCase{"0 words", {}, "0 0 0 0 [COMM|||None|]"},
        RecordCase{"3 words", {0xAAAA, 0xBBBB, 0xCCCC}, "0 0 0 0 [COMM|||None|]"},
        RecordCase{"7 words", {1, 2, 3, 4, 5, 6, 0x1234}, "4660 0 0 0 [COMM|||None|]"},
        // 8 words: no effect id, classified as (source, 0).
        RecordCase{"8 words",
                   {9, 9, 9, 9, 9, 9, 0xFFFF, 0x6308},
                   "65535 25352 0 0 [EXTERNAL|Power up|||]"},
        // 9 to 11 words: the effect id counts, the value does not.
        RecordCase{
            "9 words", {9, 9, 9, 9, 9, 9, 3, 0, 0xE101}, "3 0 57601 0 [SP EVENT|||SP operated|#2]"},
        RecordCase{"10 words",
                   {9, 9, 9, 9, 9, 9, 3, 0, 0xE101, 7},
                   "3 0 57601 0 [SP EVENT|||SP operated|#2]"},
        RecordCase{"11 words",
                   {9, 9, 9, 9, 9, 9, 3, 0, 0xE101, 7, 5},
                   "3 0 57601 0 [SP EVENT|||SP operated|#2]"},
        // 12 words: word 9 is unused, words 10 (low) and 11 (high) form the value.
        RecordCase{"12 words",
                   {9, 9, 9, 9, 9, 9, 3, 0x5B15, 0xF400, 0xEEEE, 5, 0},
                   "3 23317 62464 5 [COMM|Memory setup||Setup change|]"},
        RecordCase{"13 words, the last ignored",
                   {9, 9, 9, 9, 9, 9, 3, 0x5B15, 0xF400, 0, 5, 0, 0xFFFF},
                   "3 23317 62464 5 [COMM|Memory setup||Setup change|]"},
        RecordCase{"all words 0xFFFF", std::vector<uint16_t>(12, 0xFFFF),
                   "65535 65535 65535 -1 [||||]"}));

struct ValueCase {
    uint16_t low, high;
    int32_t expected;
};

class DecodeValue : public testing::TestWithParam<ValueCase> {};

TEST_P(DecodeValue, IsSignedWithLowWordFirst) {
    const ValueCase& c = GetParam();
    const std::vector<uint16_t> words = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, c.low, c.high};
    EXPECT_EQ(decode_event(words).value_triggered, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words10And11, DecodeValue,
    testing::Values(ValueCase{0x0001, 0x0000, 1}, ValueCase{0x0000, 0x0001, 65536},
                    ValueCase{0xFFFF, 0xFFFF, -1}, ValueCase{0x0000, 0x8000, INT32_MIN},
                    ValueCase{0xFFFF, 0x7FFF, INT32_MAX}, ValueCase{0xFFFE, 0xFFFF, -2}));

struct EffectCase {
    int code;
    const char* text;
};

class EffectText : public testing::TestWithParam<EffectCase> {};

TEST_P(EffectText, MatchesTheTable) {
    EXPECT_EQ(decode_f20_effect(GetParam().code), GetParam().text) << std::hex << GetParam().code;
}

// Every entry, the first and last code of each range, and the codes just outside.
INSTANTIATE_TEST_SUITE_P(
    AllEntries, EffectText,
    testing::Values(
        EffectCase{0x0000, "None"}, EffectCase{0x0001, ""}, EffectCase{0x5FFF, ""},
        EffectCase{0x6000, "Total energy registers cleared"}, EffectCase{0x6001, ""},
        EffectCase{0x60FF, ""}, EffectCase{0x6100, "All total maximum demands cleared"},
        EffectCase{0x6101, "Power maximum demands cleared"},
        EffectCase{0x6102, "Volt/Ampere maximum demands cleared"},
        EffectCase{0x6103, "Volt maximum demands cleared"},
        EffectCase{0x6104, "Ampere maximum demands cleared"},
        EffectCase{0x6105, "Harmonic maximum demands cleared"}, EffectCase{0x6106, ""},
        EffectCase{0x61FF, ""}, EffectCase{0x6200, "Billing/TOU registers cleared"},
        EffectCase{0x6201, ""}, EffectCase{0x6300, "Billing/TOU maximum demand registers cleared"},
        EffectCase{0x6301, ""}, EffectCase{0x6400, "All counters cleared"},
        EffectCase{0x6401, "Counter cleared"}, EffectCase{0x641F, "Counter cleared"},
        EffectCase{0x6420, ""}, EffectCase{0x69FF, ""}, EffectCase{0x6A00, "Log file cleared"},
        EffectCase{0x6A1B, "Log file cleared"}, EffectCase{0x6A1C, ""}, EffectCase{0x6B05, ""},
        EffectCase{0x6B06, "Communication counters cleared"},
        EffectCase{0x6B07, "Switch operation counters cleared"}, EffectCase{0x6B08, ""},
        EffectCase{0xF0FF, ""}, EffectCase{0xF100, "Setpoint cleared"},
        EffectCase{0xF11F, "Setpoint cleared"}, EffectCase{0xF120, ""},
        EffectCase{0xF200, "Setup/Data cleared"}, EffectCase{0xF201, ""},
        EffectCase{0xF300, "Setup reset"}, EffectCase{0xF400, "Setup change"},
        EffectCase{0xF500, "RTC set"}, EffectCase{0xF600, "Device function/option enabled"},
        EffectCase{0xF700, "Device function/option disabled"},
        EffectCase{0xF800, "Device function restarted"},
        EffectCase{0xF900, "Device function stopped"}, EffectCase{0xF901, ""},
        EffectCase{0xFFFF, ""}));

}  // namespace
