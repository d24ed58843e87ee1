// SPDX-License-Identifier: MIT
// Decoding of event log records and their classification into texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kolvane {

struct EventFields {
    int event_no = 0;
    int source_id = 0;
    int effect_id = 0;
    int32_t value_triggered = 0;
    std::string cause;
    std::string point;
    std::string state;
    std::string effect;
    std::string target;
};

struct EventTexts {
    std::string cause, point, state, effect, target;
};

// Words missing from a short record count as 0, so a record of any length decodes safely.
EventFields decode_event(std::span<const uint16_t> words);
std::string decode_f20_effect(int code);
EventTexts classify_event(int source_id, int effect_id);

}  // namespace kolvane
