// SPDX-License-Identifier: MIT
// Classification of (source id, effect id) into the five texts: every rule, its ranges' first
// and last codes and the codes just outside, every override, and which rule wins where two
// could apply.
#include <gtest/gtest.h>

#include "event_text.hpp"
#include "eventlog/decode.hpp"

namespace {

struct Case {
    int source, effect;
    const char* expected;  // [cause|point|state|effect|target]
};

class Classify : public testing::TestWithParam<Case> {};

TEST_P(Classify, GivesTheTexts) {
    const Case& c = GetParam();
    EXPECT_EQ(ktest::texts_line(kolvane::classify_event(c.source, c.effect)), c.expected)
        << std::hex << "source 0x" << c.source << " effect 0x" << c.effect;
}

INSTANTIATE_TEST_SUITE_P(
    Overrides, Classify,
    testing::Values(Case{0x031D, 0xE100, "[SP EVENT|EVENT FLAG 30|ON|SP operated|#1]"},
                    Case{0x031D, 0xE101, "[SP EVENT|||SP operated|#2]"},
                    Case{0x5A00, 0x2000, "[SP ACTION|SP1||Set event flag|#1]"},
                    Case{0x5A00, 0x2001, "[SP ACTION|SP1||Set event flag|#2]"},
                    Case{0x5A00, 0x2002, "[SP ACTION|SP1||Set user event flag|#3]"},
                    Case{0x0080, 0xE103, "[SP EVENT|SP1|OFF|SP operated|#4]"},
                    Case{0x0081, 0xE103, "[SP EVENT|||SP operated|#4]"},
                    Case{0x0302, 0xE103, "[SP EVENT|EVENT FLAG 3|ON|SP operated|#4]"},
                    Case{0x0302, 0xE102, "[SP EVENT|EVENT FLAG 3|ON|SP operated|#3]"},
                    Case{0x0302, 0xE104, "[SP EVENT|||SP operated|#5]"},
                    Case{0x0500, 0xE102, "[SP EVENT|TIMER 1|ON|SP operated|#3]"},
                    Case{0x0500, 0xE103, "[SP EVENT|||SP operated|#4]"},
                    Case{0x0303, 0xE105, "[SP EVENT|EVENT FLAG 4|ON|SP operated|#6]"},
                    Case{0x0303, 0xE104, "[SP EVENT|||SP operated|#5]"},
                    Case{0x5A05, 0x2103, "[SP ACTION|SP6||Clear event flag|#4]"},
                    Case{0x5A05, 0x2102, "[SP ACTION|SP6||Clear user event flag|#3]"}));

// The setpoint source range 0x5A00-0x5A3F, its edges and the codes just outside it.
INSTANTIATE_TEST_SUITE_P(
    SetpointSources, Classify,
    testing::Values(Case{0x5A00, 0x2002, "[SP ACTION|SP1||Set user event flag|#3]"},
                    Case{0x5A3F, 0x5100, "[SP ACTION|SP64||Send event notification|#64]"},
                    Case{0x59FF, 0x2002, "[||||]"}, Case{0x5A40, 0x2002, "[||||]"},
                    Case{0x5A40, 0x5100, "[||||]"}));

// The action table, seen from setpoint 2 (source 0x5A01): each row's first and last code,
// the codes just outside, the rows that take no +1 and the rows without a number.
INSTANTIATE_TEST_SUITE_P(
    SetpointActions, Classify,
    testing::Values(
        Case{0x5A01, 0x1FFF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x2000, "[SP ACTION|SP2||Set user event flag|#1]"},
        Case{0x5A01, 0x203F, "[SP ACTION|SP2||Set user event flag|#64]"},
        Case{0x5A01, 0x2040, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x2100, "[SP ACTION|SP2||Clear user event flag|#1]"},
        Case{0x5A01, 0x213F, "[SP ACTION|SP2||Clear user event flag|#64]"},
        Case{0x5A01, 0x2140, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x2FFF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3000, "[SP ACTION|SP2||Operate relay RO|#1]"},
        Case{0x5A01, 0x303F, "[SP ACTION|SP2||Operate relay RO|#64]"},
        Case{0x5A01, 0x3040, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3100, "[SP ACTION|SP2||Release latched relay RO|#1]"},
        Case{0x5A01, 0x313F, "[SP ACTION|SP2||Release latched relay RO|#64]"},
        Case{0x5A01, 0x3140, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x36FF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3700, "[SP ACTION|SP2||Unblock relay RO|#1]"},
        Case{0x5A01, 0x373F, "[SP ACTION|SP2||Unblock relay RO|#64]"},
        Case{0x5A01, 0x3740, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3800, "[SP ACTION|SP2||Unblock direct control port|#0]"},
        Case{0x5A01, 0x3807, "[SP ACTION|SP2||Unblock direct control port|#7]"},
        Case{0x5A01, 0x3808, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x38FF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3900, "[SP ACTION|SP2||Close breaker XCBR|#1]"},
        Case{0x5A01, 0x3901, "[SP ACTION|SP2||Close breaker XCBR|#2]"},
        Case{0x5A01, 0x3902, "[SP ACTION|SP2||Close switch XSWI|#2]"},
        Case{0x5A01, 0x390F, "[SP ACTION|SP2||Close switch XSWI|#15]"},
        Case{0x5A01, 0x3910, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x39FF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3A00, "[SP ACTION|SP2||Open breaker XCBR|#1]"},
        Case{0x5A01, 0x3A01, "[SP ACTION|SP2||Open breaker XCBR|#2]"},
        Case{0x5A01, 0x3A02, "[SP ACTION|SP2||Open switch XSWI|#2]"},
        Case{0x5A01, 0x3A0F, "[SP ACTION|SP2||Open switch XSWI|#15]"},
        Case{0x5A01, 0x3A10, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x3FFF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x4000, "[SP ACTION|SP2||Increment counter|#1]"},
        Case{0x5A01, 0x401F, "[SP ACTION|SP2||Increment counter|#32]"},
        Case{0x5A01, 0x4020, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x4100, "[SP ACTION|SP2||Decrement counter|#1]"},
        Case{0x5A01, 0x411F, "[SP ACTION|SP2||Decrement counter|#32]"},
        Case{0x5A01, 0x4120, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x4200, "[SP ACTION|SP2||Clear counter|#1]"},
        Case{0x5A01, 0x421F, "[SP ACTION|SP2||Clear counter|#32]"},
        Case{0x5A01, 0x4220, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x50FF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x5100, "[SP ACTION|SP2||Send event notification|#2]"},
        Case{0x5A01, 0x5101, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x5300, "[SP ACTION|SP2||Remote control|#2]"},
        Case{0x5A01, 0x5301, "[SP ACTION|SP2||SP action|#2]"},
        // Inside a setpoint action these codes read as actions, not as the effect texts.
        Case{0x5A01, 0x6000, "[SP ACTION|SP2||Reset total energy registers|#2]"},
        Case{0x5A01, 0x6001, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6100, "[SP ACTION|SP2||Reset total maximum demand registers|#2]"},
        Case{0x5A01, 0x6101, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6200, "[SP ACTION|SP2||Reset billing summary and TOU energy|#2]"},
        Case{0x5A01, 0x6201, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6300, "[SP ACTION|SP2||Reset billing summary and TOU maximum demands|#2]"},
        Case{0x5A01, 0x6301, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6400, "[SP ACTION|SP2||Clear all counters|#2]"},
        Case{0x5A01, 0x6401, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6500, "[SP ACTION|SP2||Clear Min/Max log registers|#2]"},
        Case{0x5A01, 0x6501, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6FFF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x7000, "[SP ACTION|SP2||Event log on setpoint operated|#2]"},
        Case{0x5A01, 0x7001, "[SP ACTION|SP2||Event log on setpoint released|#2]"},
        Case{0x5A01, 0x7002, "[SP ACTION|SP2||Event log on any setpoint transition|#2]"},
        Case{0x5A01, 0x7003, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x7100, "[SP ACTION|SP2||Data log|#1]"},
        Case{0x5A01, 0x710F, "[SP ACTION|SP2||Data log|#16]"},
        Case{0x5A01, 0x7110, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x7200, "[SP ACTION|SP2||Waveform log|#1]"},
        Case{0x5A01, 0x7207, "[SP ACTION|SP2||Waveform log|#8]"},
        Case{0x5A01, 0x7208, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x7FFF, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x8000, "[SP ACTION|SP2||External trigger|#1]"},
        Case{0x5A01, 0x800F, "[SP ACTION|SP2||External trigger|#16]"},
        Case{0x5A01, 0x8010, "[SP ACTION|SP2||SP action|#2]"},
        // Codes of later rules do not escape a setpoint action.
        Case{0x5A02, 0x6B06, "[SP ACTION|SP3||SP action|#3]"},
        Case{0x5A01, 0xE100, "[SP ACTION|SP2||SP action|#2]"},
        Case{0x5A01, 0x6308, "[SP ACTION|SP2||SP action|#2]"}));

INSTANTIATE_TEST_SUITE_P(SetpointOperatedAndReleased, Classify,
                         testing::Values(Case{0x0000, 0xE0FF, "[||||]"},
                                         Case{0x0000, 0xE100, "[SP EVENT|||SP operated|#1]"},
                                         Case{0x0000, 0xE13F, "[SP EVENT|||SP operated|#64]"},
                                         Case{0x0000, 0xE140, "[||||]"},
                                         Case{0x0000, 0xE1FF, "[||||]"},
                                         Case{0x0000, 0xE200, "[SP EVENT|||SP released|#1]"},
                                         Case{0x0000, 0xE23F, "[SP EVENT|||SP released|#64]"},
                                         Case{0x0000, 0xE240, "[||||]"},
                                         // Before the external and setup rules.
                                         Case{0x6308, 0xE100, "[SP EVENT|||SP operated|#1]"},
                                         Case{0x5B15, 0xE23F, "[SP EVENT|||SP released|#64]"}));

INSTANTIATE_TEST_SUITE_P(
    External, Classify,
    testing::Values(Case{0x6300, 0, "[EXTERNAL|Power down|||]"},
                    Case{0x6308, 0, "[EXTERNAL|Power up|||]"},
                    Case{0x6309, 0, "[EXTERNAL|External reset|||]"},
                    Case{0x6318, 0, "[EXTERNAL|IRIG-B signal lost|||]"},
                    Case{0x6319, 0, "[EXTERNAL|IRIG-B time unlocked|||]"},
                    Case{0x631A, 0, "[EXTERNAL|IRIG-B time locked|||]"},
                    Case{0x6320, 0, "[EXTERNAL|SNTP server failed|||]"},
                    Case{0x6321, 0, "[EXTERNAL|SNTP server reconnected|||]"},
                    Case{0x6301, 0, "[COMM|||None|]"}, Case{0x6322, 0, "[COMM|||None|]"},
                    Case{0x0000, 0x6308, "[EXTERNAL|Power up|||]"},
                    Case{0x1234, 0x6321, "[EXTERNAL|SNTP server reconnected|||]"},
                    // By effect, 0x6300 reads "Power down", not its effect text.
                    Case{0x0000, 0x6300, "[EXTERNAL|Power down|||]"},
                    // The source is looked up before the effect.
                    Case{0x6308, 0x6300, "[EXTERNAL|Power up|||]"},
                    // Both come before the setup areas.
                    Case{0x5B15, 0x6300, "[EXTERNAL|Power down|||]"},
                    Case{0x5B10, 0x6309, "[EXTERNAL|External reset|||]"}));

INSTANTIATE_TEST_SUITE_P(
    SetupAreas, Classify,
    testing::Values(Case{0x5B0F, 0xF400, "[COMM|Display setup||Setup change|]"},
                    Case{0x5B12, 0xF400, "[COMM|Assign. registers||Setup change|]"},
                    Case{0x5B14, 0xF400, "[COMM|Data Log setup||Setup change|]"},
                    Case{0x5B15, 0xF400, "[COMM|Memory setup||Setup change|]"},
                    Case{0x5B1C, 0xF400, "[COMM|User options||Setup change|]"},
                    Case{0x5B25, 0xF400, "[COMM|Net setup||Setup change|]"},
                    Case{0x5B35, 0xF400, "[COMM|RSTP setup||Setup change|]"},
                    Case{0x5B15, 0x6B06, "[COMM|Memory setup||Communication counters cleared|]"},
                    Case{0x5B15, 0x0000, "[COMM|Memory setup||None|]"},
                    // An effect without a text still reads as a setup change of the area...
                    Case{0x5B0F, 0x6B05, "[COMM|Display setup||Setup change|]"},
                    Case{0x5B35, 0x6B05, "[COMM|RSTP setup||Setup change|]"},
                    // ...but not next to an area.
                    Case{0x5B0E, 0x6B05, "[||||]"}, Case{0x5B11, 0x6B05, "[||||]"},
                    Case{0x5B36, 0x6B05, "[||||]"},
                    Case{0x5B0E, 0xF400, "[COMM|||Setup change|]"}));

INSTANTIATE_TEST_SUITE_P(
    SetpointsSetup, Classify,
    testing::Values(Case{0x5B10, 0x0000, "[COMM|Setpoints setup||Setpoint set|#1]"},
                    Case{0x5B10, 0x03FF, "[COMM|Setpoints setup||Setpoint set|#1024]"},
                    Case{0x5B10, 0x0400, "[COMM|Setpoints setup||Setpoint set|#1]"},
                    Case{0x5B10, 0xF405, "[COMM|Setpoints setup||Setpoint set|#6]"}));

INSTANTIATE_TEST_SUITE_P(EffectTextsAndNothing, Classify,
                         testing::Values(Case{0x1234, 0xF500, "[COMM|||RTC set|]"},
                                         Case{0x1234, 0x0000, "[COMM|||None|]"},
                                         Case{0x0000, 0x6400, "[COMM|||All counters cleared|]"},
                                         Case{0x1234, 0x6B05, "[||||]"},
                                         Case{0xFFFF, 0xFFFF, "[||||]"}));

}  // namespace
