// SPDX-License-Identifier: MIT
// Options text, model names and the integer lookup must take any bytes without harm.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "capi/args.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const kolvane::ConnectionOptions options = kolvane::parse_options(text.c_str());
        if (options.port == 0 || options.timeout_ms < 100 || options.timeout_ms > 3600000)
            __builtin_trap();
    } catch (const std::runtime_error&) {}
    try {
        kolvane::parse_meter(text.c_str());
    } catch (const std::runtime_error&) {}
    int64_t value = 0;
    kolvane::json_int_field(text, "port", value);
    return 0;
}
