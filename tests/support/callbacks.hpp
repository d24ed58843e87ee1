// SPDX-License-Identifier: MIT
// Receivers for the record and progress callbacks of the C interface; each can ask the
// library to stop at a chosen call.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ktest {

struct RecordSink {
    std::vector<std::string> texts;
    size_t stop_at = 0;  // 1-based call that returns non-zero; 0: never

    static int receive(const char* text, void* user) {
        auto* self = static_cast<RecordSink*>(user);
        self->texts.emplace_back(text);
        return self->texts.size() == self->stop_at ? 1 : 0;
    }
};

struct ProgressSink {
    std::vector<std::pair<int, int>> calls;  // (done, total)
    size_t stop_at = 0;

    static int receive(int done, int total, void* user) {
        auto* self = static_cast<ProgressSink*>(user);
        self->calls.emplace_back(done, total);
        return self->calls.size() == self->stop_at ? 1 : 0;
    }
};

}  // namespace ktest
