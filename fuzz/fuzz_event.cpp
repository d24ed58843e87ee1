// SPDX-License-Identifier: MIT
// Event records of any length and content decode and classify without harm.
#include "eventlog/decode.hpp"
#include "words.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint16_t> words = to_words(data, size);
    const kolvane::EventFields fields = kolvane::decode_event(words);
    if (fields.event_no < 0 || fields.source_id < 0 || fields.effect_id < 0) __builtin_trap();
    kolvane::decode_f20_effect(fields.effect_id);
    return 0;
}
