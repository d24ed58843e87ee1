// SPDX-License-Identifier: MIT
// The process-wide log callback: set, replace, clear, use from inside the callback, and
// several threads logging at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "capi/frame.hpp"
#include "support/err_buf.hpp"
#include "support/log_capture.hpp"

using namespace kolvane;
using ktest::ErrBuf;
using ktest::LogCapture;
using ktest::LogEntry;

namespace {

// A deadlock would otherwise hang the whole test program; a stuck thread cannot be joined,
// so the program ends here with a message instead.
void expect_finishes(const std::function<void()>& work) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
        std::fprintf(stderr, "deadlock: the work did not finish\n");
        std::_Exit(1);
    }
    done.get();
}

struct Sink {
    std::vector<LogEntry> entries;
    std::function<void(Sink&)> on_message;  // runs inside the callback, after recording
};

void sink_cb(int level, const char* message, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->entries.push_back({level, message});
    if (sink->on_message) sink->on_message(*sink);
}

const char* const BAD_MODEL_MESSAGE = "Unknown meter model 'em999' (expected em133 or em235)";

int list_points_with_bad_model(ErrBuf& err) {
    char out[64];
    return kolvane_list_points("em999", out, sizeof out, err.data, ErrBuf::size);
}

}  // namespace

TEST(LogCallback, SetReplaceAndClear) {
    Sink first, second;
    kolvane_set_log_callback(sink_cb, &first);
    log_msg(LogLevel::Warning, "one");
    log_msg(LogLevel::Debug, std::string("two"));
    kolvane_set_log_callback(sink_cb, &second);
    log_msg(LogLevel::Info, "three");
    kolvane_set_log_callback(nullptr, nullptr);
    log_msg(LogLevel::Error, "dropped");

    EXPECT_EQ(first.entries, (std::vector<LogEntry>{{1, "one"}, {3, "two"}}));
    EXPECT_EQ(second.entries, (std::vector<LogEntry>{{2, "three"}}));
    EXPECT_FALSE(log_enabled());
}

TEST(LogCallback, FailedOperationLogsItsMessageAtErrorLevel) {
    LogCapture log;
    ErrBuf err;
    EXPECT_EQ(list_points_with_bad_model(err), -1);
    EXPECT_EQ(err.text(), BAD_MODEL_MESSAGE);
    EXPECT_EQ(log.entries(), (std::vector<LogEntry>{{0, BAD_MODEL_MESSAGE}}));
}

TEST(LogCallback, FailuresAreReportedWithoutAnyCallback) {
    kolvane_set_log_callback(nullptr, nullptr);
    ErrBuf err;
    EXPECT_EQ(list_points_with_bad_model(err), -1);
    EXPECT_EQ(err.text(), BAD_MODEL_MESSAGE);
}

TEST(LogCallback, CallbackMayReplaceItselfOnItsOwnThread) {
    Sink first, second;
    first.on_message = [&](Sink&) { kolvane_set_log_callback(sink_cb, &second); };
    kolvane_set_log_callback(sink_cb, &first);
    expect_finishes([] {
        log_msg(LogLevel::Info, "a");
        log_msg(LogLevel::Info, "b");
    });
    kolvane_set_log_callback(nullptr, nullptr);
    EXPECT_EQ(first.entries, (std::vector<LogEntry>{{2, "a"}}));
    EXPECT_EQ(second.entries, (std::vector<LogEntry>{{2, "b"}}));
}

TEST(LogCallback, CallbackMayClearItself) {
    Sink sink;
    sink.on_message = [](Sink&) { kolvane_set_log_callback(nullptr, nullptr); };
    kolvane_set_log_callback(sink_cb, &sink);
    expect_finishes([] {
        log_msg(LogLevel::Info, "a");
        log_msg(LogLevel::Info, "b");
    });
    EXPECT_EQ(sink.entries, (std::vector<LogEntry>{{2, "a"}}));
}

TEST(LogCallback, OperationRunFromTheCallbackWorksAndItsMessagesAreDropped) {
    Sink sink;
    std::vector<std::pair<int, std::string>> nested;
    sink.on_message = [&](Sink&) {
        ErrBuf err;
        const int status = list_points_with_bad_model(err);
        nested.emplace_back(status, err.text());
    };
    kolvane_set_log_callback(sink_cb, &sink);
    expect_finishes([] { log_msg(LogLevel::Warning, "outer"); });
    // The callback still works for messages after the nested one.
    expect_finishes([] { log_msg(LogLevel::Info, "after"); });
    kolvane_set_log_callback(nullptr, nullptr);

    EXPECT_EQ(sink.entries, (std::vector<LogEntry>{{1, "outer"}, {2, "after"}}));
    EXPECT_EQ(nested, (std::vector<std::pair<int, std::string>>{{-1, BAD_MODEL_MESSAGE},
                                                                {-1, BAD_MODEL_MESSAGE}}));
}

namespace {

// Counts messages and detects two callbacks running at the same time.
struct ConcurrentSink {
    std::atomic<bool> busy{false};
    std::atomic<int> overlaps{0};
    std::map<std::string, int> seen;  // guarded by the library's serialisation, checked by busy
    std::atomic<int> messages{0};     // for waiting threads, which must not read the map
    std::atomic<bool> retired{false};
    std::atomic<int> calls_after_retired{0};
};

void concurrent_cb(int, const char* message, void* user) {
    auto* sink = static_cast<ConcurrentSink*>(user);
    if (sink->retired.load()) ++sink->calls_after_retired;
    if (sink->busy.exchange(true)) {
        ++sink->overlaps;
        return;  // never touch the map concurrently
    }
    ++sink->seen[message];
    ++sink->messages;
    std::this_thread::yield();  // widen the window for an overlapping call
    sink->busy.store(false);
}

// Appended piece by piece: g++ 12 at -O3 warns falsely on "literal" + std::string.
std::string thread_model(int thread, int i) {
    std::string text = "t";
    text += std::to_string(thread);
    text += '-';
    text += std::to_string(i);
    return text;
}

}  // namespace

TEST(LogCallback, ThreadsLoggingAtOnceDeliverEveryMessageOnceWithoutOverlap) {
    constexpr int threads = 4;
    constexpr int per_thread = 250;
    ConcurrentSink sink;
    kolvane_set_log_callback(concurrent_cb, &sink);
    expect_finishes([&] {
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                char out[16];
                for (int i = 0; i < per_thread; ++i) {
                    kolvane_list_points(thread_model(t, i).c_str(), out, sizeof out, nullptr, 0);
                }
            });
        }
        for (auto& worker : workers) worker.join();
    });
    kolvane_set_log_callback(nullptr, nullptr);

    EXPECT_EQ(sink.overlaps.load(), 0);
    ASSERT_EQ(sink.seen.size(), size_t(threads * per_thread));
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < per_thread; ++i) {
            const std::string message =
                "Unknown meter model '" + thread_model(t, i) + "' (expected em133 or em235)";
            EXPECT_EQ(sink.seen[message], 1) << message;
        }
    }
}

TEST(LogCallback, ReplacedCallbackGetsNothingOnceTheSetterReturns) {
    ConcurrentSink old_sink, new_sink;
    kolvane_set_log_callback(concurrent_cb, &old_sink);
    std::atomic<bool> stop{false};
    expect_finishes([&] {
        std::thread writer([&] {
            while (!stop.load()) log_msg(LogLevel::Debug, "tick");
        });
        while (old_sink.messages.load() == 0) std::this_thread::yield();
        kolvane_set_log_callback(concurrent_cb, &new_sink);
        old_sink.retired.store(true);
        while (new_sink.messages.load() == 0) std::this_thread::yield();
        stop.store(true);
        writer.join();
    });
    kolvane_set_log_callback(nullptr, nullptr);
    EXPECT_EQ(old_sink.calls_after_retired.load(), 0);
    EXPECT_EQ(old_sink.overlaps.load() + new_sink.overlaps.load(), 0);
}
