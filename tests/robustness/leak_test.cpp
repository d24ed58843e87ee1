// SPDX-License-Identifier: MIT
// Ten thousand failing calls of mixed kinds leave the descriptor count and the memory where
// they started (LeakSanitizer watches the heap in the sanitizer build).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "kolvane.h"
#include "simulator.hpp"
#include "support/descriptors.hpp"

namespace {

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

int ignore_record(const char*, void*) { return 0; }

TEST(Leaks, TenThousandFailingCallsLeaveNothingBehind) {
    // A meter that refuses everything, and one that hangs up on every request.
    ksim::Simulator refusing(ksim::Model::em133);
    refusing.add_fault(ksim::Fault::exception(2));
    ksim::Simulator closing(ksim::Model::em133);
    closing.add_fault(ksim::Fault::close());
    const std::string refusing_options = "{\"port\":" + std::to_string(refusing.start()) + "}";
    const std::string closing_options = "{\"port\":" + std::to_string(closing.start()) + "}";
    const char* closed = "{\"port\":1}";

    char out[512], err[256];
    auto failing_call = [&](int i) {
        switch (i % 6) {
            case 0:
                return kolvane_read_device_info("127.0.0.1", "em133", refusing_options.c_str(), out,
                                                sizeof out, err, sizeof err);
            case 1:
                return kolvane_read_live_ex("127.0.0.1", "em235", closing_options.c_str(), out,
                                            sizeof out, err, sizeof err);
            case 2:
                return kolvane_read_datalog("127.0.0.1", "em133", 1, closed, ignore_record, nullptr,
                                            err, sizeof err);
            case 3:
                return kolvane_export_eventlog_ex("127.0.0.1", "em133", 0, "/nonexistent-dir/x.csv",
                                                  refusing_options.c_str(), nullptr, nullptr, err,
                                                  sizeof err);
            case 4:
                return kolvane_read_points("127.0.0.1", "em133", nullptr, "\"no such point\"", out,
                                           sizeof out, err, sizeof err);
            default:
                return kolvane_list_logs("127.0.0.1", "em999", nullptr, out, sizeof out, err,
                                         sizeof err);
        }
    };
    // The simulators run in this process and accept and close their side of a connection on
    // threads of their own, possibly after the call returned: the count is taken once it has
    // stopped changing.
    auto settled_descriptors = [&] {
        int count = ktest::open_descriptors();
        for (int stable = 0; stable < 5;
             std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
            const int now = ktest::open_descriptors();
            stable = now == count ? stable + 1 : 0;
            count = now;
        }
        return count;
    };
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(failing_call(i), -1) << i;  // warm up allocator and tables
    const int descriptors = settled_descriptors();
    const long memory = resident_kib();
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(failing_call(i), -1) << i << ": " << err;
    EXPECT_EQ(settled_descriptors(), descriptors);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing
    // here; LeakSanitizer checks the heap at exit instead.
    (void)memory;
#else
    EXPECT_LT(resident_kib() - memory, 2048) << "resident memory grew";
#endif
}

}  // namespace
