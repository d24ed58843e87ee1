// A simulated meter on a kernel-chosen loopback port, with the options text that reaches it,
// and recorders for the caller callbacks of the event log operations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "simulator.hpp"

namespace kolvane_test {

class EventMeterTest : public testing::Test {
protected:
    void SetUp() override {
        const std::uint16_t port = sim.start();
        options = "{\"port\":" + std::to_string(port) + "}";
    }

    ksim::Simulator sim{ksim::Model::em133};
    std::string options;
    char err[256] = "untouched";
};

// Keeps every record text; answers non-zero (cancel) on the call numbered cancel_at (1-based).
struct RecordSink {
    std::vector<std::string> records;
    int cancel_at = 0;

    static int receive(const char* record, void* user) {
        auto* self = static_cast<RecordSink*>(user);
        self->records.emplace_back(record);
        return int(self->records.size()) == self->cancel_at ? 1 : 0;
    }
};

// Keeps every (done, total) pair; answers non-zero on the call numbered cancel_at (1-based).
struct ProgressSink {
    std::vector<std::pair<int, int>> calls;
    int cancel_at = 0;

    static int receive(int done, int total, void* user) {
        auto* self = static_cast<ProgressSink*>(user);
        self->calls.emplace_back(done, total);
        return int(self->calls.size()) == self->cancel_at ? 1 : 0;
    }
};

}  // namespace kolvane_test
