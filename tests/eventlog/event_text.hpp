// SPDX-License-Identifier: MIT
// One line per decoded event or classification, so expectations read as a single literal.
#pragma once

#include <string>

#include "eventlog/decode.hpp"

namespace ktest {

inline std::string texts_line(const kolvane::EventTexts& t) {
    return "[" + t.cause + "|" + t.point + "|" + t.state + "|" + t.effect + "|" + t.target + "]";
}

// "event_no source_id effect_id value_triggered [cause|point|state|effect|target]"
inline std::string fields_line(const kolvane::EventFields& e) {
    return std::to_string(e.event_no) + " " + std::to_string(e.source_id) + " " +
           std::to_string(e.effect_id) + " " + std::to_string(e.value_triggered) + " " +
           texts_line({e.cause, e.point, e.state, e.effect, e.target});
}

}  // namespace ktest
