// SPDX-License-Identifier: MIT
#include "eventlog/decode.hpp"
#include "ground/words.hpp"

namespace kolvane {
namespace {

uint16_t word_or_zero(std::span<const uint16_t> words, size_t index) {
    return index < words.size() ? words[index] : 0;
}

}  // namespace

EventFields decode_event(std::span<const uint16_t> words) {
    EventFields fields;
    fields.event_no = word_or_zero(words, 6);
    fields.source_id = word_or_zero(words, 7);
    if (words.size() > 8) {
        fields.effect_id = words[8];
        if (words.size() > 11) {
            fields.value_triggered = static_cast<int32_t>(low_first(words[10], words[11]));
        }
    }
    EventTexts texts = classify_event(fields.source_id, fields.effect_id);
    fields.cause = std::move(texts.cause);
    fields.point = std::move(texts.point);
    fields.state = std::move(texts.state);
    fields.effect = std::move(texts.effect);
    fields.target = std::move(texts.target);
    return fields;
}

std::string decode_f20_effect(int code) {
    struct Row {
        int first, last;
        const char* text;
    };
    static constexpr Row ROWS[] = {
        {0x0000, 0x0000, "None"},
        {0x6000, 0x6000, "Total energy registers cleared"},
        {0x6100, 0x6100, "All total maximum demands cleared"},
        {0x6101, 0x6101, "Power maximum demands cleared"},
        {0x6102, 0x6102, "Volt/Ampere maximum demands cleared"},
        {0x6103, 0x6103, "Volt maximum demands cleared"},
        {0x6104, 0x6104, "Ampere maximum demands cleared"},
        {0x6105, 0x6105, "Harmonic maximum demands cleared"},
        {0x6200, 0x6200, "Billing/TOU registers cleared"},
        {0x6300, 0x6300, "Billing/TOU maximum demand registers cleared"},
        {0x6400, 0x6400, "All counters cleared"},
        {0x6401, 0x641F, "Counter cleared"},
        {0x6A00, 0x6A1B, "Log file cleared"},
        {0x6B06, 0x6B06, "Communication counters cleared"},
        {0x6B07, 0x6B07, "Switch operation counters cleared"},
        {0xF100, 0xF11F, "Setpoint cleared"},
        {0xF200, 0xF200, "Setup/Data cleared"},
        {0xF300, 0xF300, "Setup reset"},
        {0xF400, 0xF400, "Setup change"},
        {0xF500, 0xF500, "RTC set"},
        {0xF600, 0xF600, "Device function/option enabled"},
        {0xF700, 0xF700, "Device function/option disabled"},
        {0xF800, 0xF800, "Device function restarted"},
        {0xF900, 0xF900, "Device function stopped"},
    };
    for (const Row& row : ROWS) {
        if (code >= row.first && code <= row.last) return row.text;
    }
    return "";
}

}  // namespace kolvane
