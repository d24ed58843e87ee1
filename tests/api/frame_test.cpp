// SPDX-License-Identifier: MIT
// The call frame: status codes, the error and output buffers, record and progress callbacks.
#include "capi/frame.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "support/err_buf.hpp"
#include "support/log_capture.hpp"

using namespace kolvane;
using ktest::ErrBuf;
using ktest::LogCapture;
using ktest::LogEntry;

static_assert(std::is_base_of_v<std::runtime_error, Cancelled>);

TEST(RunSafe, SuccessReturnsTheValueAndClearsTheErrorBuffer) {
    LogCapture log;
    ErrBuf err;
    EXPECT_EQ(run_safe([] { return 42; }, err.data, ErrBuf::size), 42);
    EXPECT_EQ(err.text(), "");
    EXPECT_TRUE(log.entries().empty());
}

TEST(RunSafe, StandardExceptionIsFailureLoggedAtErrorLevel) {
    LogCapture log;
    ErrBuf err;
    const int status = run_safe([]() -> int { throw std::logic_error("Socket not connected"); },
                                err.data, ErrBuf::size);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(err.text(), "Socket not connected");
    EXPECT_EQ(log.entries(), (std::vector<LogEntry>{{0, "Socket not connected"}}));
}

TEST(RunSafe, CancellationIsReportedButNotLogged) {
    LogCapture log;
    ErrBuf err;
    EXPECT_EQ(run_safe([]() -> int { throw Cancelled(); }, err.data, ErrBuf::size), -2);
    EXPECT_EQ(err.text(), "Cancelled by caller");
    EXPECT_TRUE(log.entries().empty());
}

TEST(RunSafe, NonStandardThrowIsUnknownErrorAndNotLogged) {
    LogCapture log;
    ErrBuf err;
    EXPECT_EQ(run_safe([]() -> int { throw 7; }, err.data, ErrBuf::size), -1);
    EXPECT_EQ(err.text(), "Unknown error");
    EXPECT_TRUE(log.entries().empty());
}

TEST(RunSafe, FailureWithoutUsableErrorBufferStillReturnsStatus) {
    char err[4] = {'x', 'y', 'z', '\0'};
    const auto fail = []() -> int { throw std::runtime_error("boom"); };
    EXPECT_EQ(run_safe(fail, nullptr, 100), -1);
    EXPECT_EQ(run_safe(fail, err, 0), -1);
    EXPECT_EQ(run_safe(fail, err, -3), -1);
    EXPECT_STREQ(err, "xyz");
}

TEST(SetError, CopiesCutsAndTerminates) {
    const std::string message = "host must not be null";
    struct Case {
        int err_len;
        const char* expected;
    };
    for (const Case& c : {Case{5, "host"}, Case{1, ""}, Case{21, "host must not be nul"},
                          Case{22, "host must not be null"}, Case{200, "host must not be null"}}) {
        ErrBuf err;
        set_error(message, err.data, c.err_len);
        EXPECT_EQ(err.text(), c.expected) << "err_len " << c.err_len;
        // Nothing past the terminating NUL is touched.
        const size_t end = std::strlen(c.expected) + 1;
        EXPECT_EQ(err.data[end], '#') << "err_len " << c.err_len;
    }
}

TEST(SetError, NullOrNonPositiveCapacityWritesNothing) {
    for (const int err_len : {0, -1, -1000}) {
        ErrBuf err;
        set_error("host must not be null", err.data, err_len);
        EXPECT_EQ(err.data[0], '#') << "err_len " << err_len;
    }
    set_error("host must not be null", nullptr, 10);  // must not crash
}

TEST(WriteOut, ExactFitNeedsRoomForTheTerminatingNul) {
    const std::string document = R"({"meter":"em133"})";
    const int length = int(document.size());
    ErrBuf out;
    EXPECT_EQ(write_out(document, out.data, length + 1), length);
    EXPECT_EQ(out.text(), document);
    EXPECT_EQ(out.data[length + 1], '#');
}

TEST(WriteOut, TooSmallBufferFailsNamingTheSizeAndLeavesItUntouched) {
    const std::string document(1024, 'x');
    for (const int out_len : {1024, 1, 0, -5}) {
        // Room for the whole document and more, so a wrong size check shows as a result,
        // not as a corrupted stack.
        std::vector<char> out(2048, '#');
        try {
            write_out(document, out.data(), out_len);
            ADD_FAILURE() << "no failure for out_len " << out_len;
        } catch (const std::runtime_error& failure) {
            EXPECT_STREQ(failure.what(), "Output buffer too small: need 1025 bytes");
        }
        EXPECT_EQ(std::string(out.begin(), out.end()), std::string(2048, '#'))
            << "out_len " << out_len;
    }
}

TEST(WriteOut, EmptyDocumentFitsInOneByte) {
    char out[1] = {'#'};
    EXPECT_EQ(write_out("", out, 1), 0);
    EXPECT_EQ(out[0], '\0');
}

namespace {

// Records what the callbacks receive; each callback asks to stop on its n-th call when
// its stop_at is n (0: never).
struct Recorder {
    std::vector<std::string> records;
    std::vector<std::pair<int, int>> progress;
    size_t record_stop_at = 0;
    size_t progress_stop_at = 0;
    int stop_value = 1;
};

int record_cb(const char* record, void* user) {
    auto* recorder = static_cast<Recorder*>(user);
    recorder->records.push_back(record);
    return recorder->records.size() == recorder->record_stop_at ? recorder->stop_value : 0;
}

int progress_cb(int done, int total, void* user) {
    auto* recorder = static_cast<Recorder*>(user);
    recorder->progress.emplace_back(done, total);
    return recorder->progress.size() == recorder->progress_stop_at ? recorder->stop_value : 0;
}

// An operation shaped like a log export: three records, each followed by a progress report.
int stream_three(Recorder& recorder) {
    const RecordSink deliver = record_sink(record_cb, &recorder);
    const ProgressSink report_progress = progress_sink(progress_cb, &recorder);
    for (int i = 1; i <= 3; ++i) {
        deliver("{\"no\":" + std::to_string(i) + "}");
        report_progress(i, 3);
    }
    return 3;
}

}  // namespace

TEST(Deliver, PassesTextAndUserAndNullCallbackIsIgnored) {
    Recorder recorder;
    EXPECT_EQ(stream_three(recorder), 3);
    EXPECT_EQ(recorder.records,
              (std::vector<std::string>{"{\"no\":1}", "{\"no\":2}", "{\"no\":3}"}));
    EXPECT_EQ(recorder.progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_NO_THROW(record_sink(nullptr, nullptr)("x"));
    EXPECT_NO_THROW(progress_sink(nullptr, nullptr)(1, -1));
}

TEST(Deliver, AnyNonZeroAnswerCancelsAtOnce) {
    for (const int stop_value : {1, -1, 1000}) {
        LogCapture log;
        Recorder recorder;
        recorder.record_stop_at = 1;
        recorder.stop_value = stop_value;
        ErrBuf err;
        EXPECT_EQ(run_safe([&] { return stream_three(recorder); }, err.data, ErrBuf::size), -2);
        EXPECT_EQ(err.text(), "Cancelled by caller");
        EXPECT_EQ(recorder.records.size(), 1u) << "stop value " << stop_value;
        EXPECT_TRUE(recorder.progress.empty());
        EXPECT_TRUE(log.entries().empty());
    }
}

TEST(ReportProgress, NonZeroAnswerCancelsAfterTheRowItReports) {
    LogCapture log;
    Recorder recorder;
    recorder.progress_stop_at = 2;
    ErrBuf err;
    EXPECT_EQ(run_safe([&] { return stream_three(recorder); }, err.data, ErrBuf::size), -2);
    EXPECT_EQ(err.text(), "Cancelled by caller");
    EXPECT_EQ(recorder.records.size(), 2u);
    EXPECT_EQ(recorder.progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}}));
    EXPECT_TRUE(log.entries().empty());
}
