// SPDX-License-Identifier: MIT
// The pause a gateway wants between requests: each request leaves request_gap_ms after the end
// of the reply before it (or of the connect), and never past the call's deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/api_call.hpp"
#include "support/journal.hpp"
#include "support/sim_fixture.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class RequestGap : public ktest::SimTest {
protected:
    void SetUp() override { serve(ksim::default_meter(ksim::Model::em133, 4, 1700000000, 4)); }

    // kolvane_read_device_info on the simulated meter, with `members` added to the options.
    ktest::ApiResult device_info(const std::string& members) {
        std::string text = options();
        text.insert(text.size() - 1, members);
        return ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info(ktest::LOOPBACK, "em133", text.c_str(), out, out_len,
                                            err, err_len);
        });
    }
};

TEST_F(RequestGap, RequestsGoOutTheGapApartAndGapZeroChangesNothing) {
    const ktest::ApiResult plain = device_info("");
    ASSERT_GE(plain.status, 0) << plain.err;
    const std::vector<ktest::Op> requests = ktest::ops(sim());
    ASSERT_GE(requests.size(), 3u);

    for (const int gap_ms : {0, 60}) {
        SCOPED_TRACE(testing::Message() << "request_gap_ms " << gap_ms);
        sim().clear_journal();
        const Clock::time_point before = Clock::now();
        const ktest::ApiResult paced = device_info(",\"request_gap_ms\":" + std::to_string(gap_ms));
        EXPECT_EQ(paced.status, plain.status) << paced.err;
        EXPECT_EQ(paced.out, plain.out);
        EXPECT_EQ(ktest::ops(sim()), requests);
        if (gap_ms == 0) continue;
        // A request arrives before its reply ends, so arrivals are at least the gap apart; the
        // first arrives the gap after the connect, which ended after `before`.
        Clock::time_point previous = before;
        for (const ksim::Request& request : sim().journal()) {
            EXPECT_GE(request.received - previous, std::chrono::milliseconds(gap_ms));
            previous = request.received;
        }
    }
}

// A gap that would end after the deadline sends nothing more: the call fails at the deadline,
// not when the gap is over.
TEST_F(RequestGap, DeadlineEndsTheWaitAndNoRequestFollows) {
    const ktest::ApiResult plain = device_info("");
    ASSERT_GE(plain.status, 0) << plain.err;
    const size_t needed = sim().journal_size();
    struct Case {
        int gap_ms;
        int deadline_ms;
        size_t most_sent;  // the requests whose gap ends before the deadline
    };
    for (const Case& c : {Case{10000, 300, 0}, Case{250, 400, 1}}) {
        SCOPED_TRACE(testing::Message() << "gap " << c.gap_ms << ", deadline " << c.deadline_ms);
        sim().clear_journal();
        const Clock::time_point start = Clock::now();
        const ktest::ApiResult result =
            device_info(",\"request_gap_ms\":" + std::to_string(c.gap_ms) +
                        ",\"deadline_ms\":" + std::to_string(c.deadline_ms));
        EXPECT_LT(Clock::now() - start, 3s) << "waited for the gap";
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, "Deadline of " + std::to_string(c.deadline_ms) + " ms exceeded");
        EXPECT_TRUE(sim().wait_until_idle()) << "the connection stayed open";
        EXPECT_LE(sim().journal_size(), c.most_sent);
        EXPECT_LT(sim().journal_size(), needed);
    }
}

}  // namespace
