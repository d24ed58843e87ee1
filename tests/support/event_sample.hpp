// SPDX-License-Identifier: MIT
// A small event log that the meter serves, with the JSON records and the CSV file the library
// must make of it. Chosen to cover: "no" counted from 1 whatever the sequence numbers are, a
// setpoint event, 0x6300 as effect of a setpoint action and outside one, all-empty texts,
// negative values down to INT32_MIN, event number 65535, milliseconds .005/.999, and
// microseconds of a full second or more (the CSV time carries them into the seconds, the
// JSON time does not).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator.hpp"

namespace ktest {

inline std::vector<std::vector<std::uint16_t>> sample_events() {
    return {
        ksim::event_record(0, 418, 1700000000, 123456, 7, 0x0000, 0xE101, 0),
        ksim::event_record(0, 419, 1700000001, 5000, 8, 0x5A00, 0x6300, -5),
        ksim::event_record(0, 420, 1700000002, 999999, 65535, 0x1234, 0x0001, INT32_MIN),
        ksim::event_record(0, 421, 1700000003, 1500000, 9, 0x0000, 0x6300, 65536),
    };
}

inline ksim::LogFile sample_event_log() {
    ksim::LogFile log;
    log.records = sample_events();
    return log;
}

inline const std::vector<std::string>& sample_event_json() {
    static const std::vector<std::string> records = {
        R"({"type":"record","no":1,"seq":418,"timestamp":"2023-11-14T22:13:20.123Z","event_no":7,"cause":"SP EVENT","point":"","state":"","effect":"SP operated","target":"#2","source_id":0,"effect_id":57601,"value_triggered":0})",
        R"({"type":"record","no":2,"seq":419,"timestamp":"2023-11-14T22:13:21.005Z","event_no":8,"cause":"SP ACTION","point":"SP1","state":"","effect":"Reset billing summary and TOU maximum demands","target":"#1","source_id":23040,"effect_id":25344,"value_triggered":-5})",
        R"({"type":"record","no":3,"seq":420,"timestamp":"2023-11-14T22:13:22.999Z","event_no":65535,"cause":"","point":"","state":"","effect":"","target":"","source_id":4660,"effect_id":1,"value_triggered":-2147483648})",
        R"({"type":"record","no":4,"seq":421,"timestamp":"2023-11-14T22:13:23.500Z","event_no":9,"cause":"EXTERNAL","point":"Power down","state":"","effect":"","target":"","source_id":0,"effect_id":25344,"value_triggered":65536})",
    };
    return records;
}

inline const std::string EVENT_CSV_HEADER =
    "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,"
    "Value Triggered\n";

inline const std::string& sample_event_csv() {
    static const std::string text =
        EVENT_CSV_HEADER +
        "1,14/11/23  22:13:20.123,7,SP EVENT,,,SP operated,#2,0,57601,0\n"
        "2,14/11/23  22:13:21.005,8,SP ACTION,SP1,,Reset billing summary and TOU maximum "
        "demands,#1,23040,25344,-5\n"
        "3,14/11/23  22:13:22.999,65535,,,,,,4660,1,-2147483648\n"
        "4,14/11/23  22:13:24.500,9,EXTERNAL,Power down,,,,0,25344,65536\n";
    return text;
}

}  // namespace ktest
