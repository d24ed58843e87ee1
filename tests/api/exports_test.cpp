// SPDX-License-Identifier: MIT
// The exported functions as a host calls them: version, buffers, and the order in which
// each reports its argument faults. Nothing here reaches a meter: the last step of each
// order is a connection refused on a closed loopback port.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/err_buf.hpp"
#include "support/log_capture.hpp"
#include "support/loopback_ports.hpp"
#include "support/temp_dir.hpp"

using ktest::closed_loopback_port;
using ktest::closed_port_options;
using ktest::ErrBuf;
using ktest::LogCapture;
using ktest::LogEntry;
using ktest::TempDir;

namespace {

const char* const HOST = "127.0.0.1";
const char* const BAD_OPTIONS = R"({"port":0})";
const char* const BAD_MODEL = "em999";
const std::string OPTIONS_MESSAGE = "options.port must be 1-65535";
const std::string MODEL_MESSAGE = "Unknown meter model 'em999' (expected em133 or em235)";

int ignore_record(const char*, void*) { return 0; }

struct OrderCase {
    const char* faults;
    std::function<int(char* err, int err_len)> call;
    std::string expected;
};

void expect_failures(const std::vector<OrderCase>& cases) {
    for (const OrderCase& c : cases) {
        ErrBuf err;
        EXPECT_EQ(c.call(err.data, ErrBuf::size), -1) << c.faults;
        EXPECT_EQ(err.text(), c.expected) << c.faults;
    }
}

class Exports : public testing::Test {
protected:
    const int port_ = closed_loopback_port();
    const std::string closed_ = closed_port_options(port_);
    const std::string refused_ = "Cannot connect to 127.0.0.1:" + std::to_string(port_);
    char out_[256] = {};
};

}  // namespace

TEST(Version, IsTheHeadersVersion) {
    EXPECT_STREQ(kolvane_version(), KOLVANE_VERSION);
    const std::string parts = std::to_string(KOLVANE_VERSION_MAJOR) + "." +
                              std::to_string(KOLVANE_VERSION_MINOR) + "." +
                              std::to_string(KOLVANE_VERSION_PATCH);
    EXPECT_EQ(parts, KOLVANE_VERSION);
    EXPECT_EQ(KOLVANE_VERSION_NUMBER,
              KOLVANE_VERSION_MAJOR * 10000 + KOLVANE_VERSION_MINOR * 100 + KOLVANE_VERSION_PATCH);
}

TEST(ErrorBuffer, RulesForEveryCapacity) {
    const auto fail = [](char* err, int err_len) {
        char out[8];
        return kolvane_read_device_info(nullptr, "em133", nullptr, out, sizeof out, err, err_len);
    };
    EXPECT_EQ(fail(nullptr, 100), -1);
    for (const int err_len : {0, -1}) {
        ErrBuf err;
        EXPECT_EQ(fail(err.data, err_len), -1);
        EXPECT_EQ(err.data[0], '#') << "err_len " << err_len;
    }
    ErrBuf one;
    EXPECT_EQ(fail(one.data, 1), -1);
    EXPECT_EQ(one.data[0], '\0');
    EXPECT_EQ(one.data[1], '#');
    ErrBuf five;
    EXPECT_EQ(fail(five.data, 5), -1);
    EXPECT_EQ(five.text(), "host");
    EXPECT_EQ(five.data[5], '#');
}

TEST(OutputBuffer, SuccessClearsTheErrorAndTheDocumentNeedsItsLengthPlusOne) {
    std::vector<char> big(1 << 20);
    ErrBuf err;
    ASSERT_EQ(kolvane_list_points("em133", big.data(), int(big.size()), err.data, ErrBuf::size),
              199);
    EXPECT_EQ(err.text(), "");
    const std::string document = big.data();
    const int length = int(document.size());

    std::vector<char> exact(length + 1, '#');
    EXPECT_EQ(kolvane_list_points("em133", exact.data(), length + 1, err.data, ErrBuf::size), 199);
    EXPECT_EQ(std::string(exact.data()), document);

    LogCapture log;
    std::vector<char> short_by_one(length + 1, '#');
    EXPECT_EQ(kolvane_list_points("em133", short_by_one.data(), length, err.data, ErrBuf::size),
              -1);
    const std::string message =
        "Output buffer too small: need " + std::to_string(length + 1) + " bytes";
    EXPECT_EQ(err.text(), message);
    EXPECT_EQ(std::string(short_by_one.begin(), short_by_one.end()), std::string(length + 1, '#'));
    EXPECT_EQ(log.entries(), (std::vector<LogEntry>{{0, message}}));
}

TEST_F(Exports, DocumentOperationsCheckPointersThenOptionsThenModelThenConnect) {
    using DocumentFn = int (*)(const char*, const char*, const char*, char*, int, char*, int);
    for (const auto& [name, fn] :
         {std::pair<const char*, DocumentFn>{"read_device_info", kolvane_read_device_info},
          {"list_logs", kolvane_list_logs},
          {"read_live_ex", kolvane_read_live_ex}}) {
        SCOPED_TRACE(name);
        const auto call = [&, fn = fn](const char* host, const char* meter, const char* options,
                                       char* out) {
            return [=](char* err, int err_len) {
                return fn(host, meter, options, out, 256, err, err_len);
            };
        };
        expect_failures({
            {"all", call(nullptr, nullptr, BAD_OPTIONS, nullptr), "host must not be null"},
            {"meter", call(HOST, nullptr, BAD_OPTIONS, nullptr), "meter must not be null"},
            {"out", call(HOST, BAD_MODEL, BAD_OPTIONS, nullptr), "out must not be null"},
            {"options", call(HOST, BAD_MODEL, BAD_OPTIONS, out_), OPTIONS_MESSAGE},
            {"model", call(HOST, BAD_MODEL, closed_.c_str(), out_), MODEL_MESSAGE},
            {"connect", call(HOST, "em133", closed_.c_str(), out_), refused_},
        });
    }
}

TEST_F(Exports, ReadPointsChecksModelThenPointsThenOptions) {
    const auto call = [&](const char* meter, const char* options, const char* points, char* out) {
        return [=](char* err, int err_len) {
            return kolvane_read_points(HOST, meter, options, points, out, 256, err, err_len);
        };
    };
    expect_failures({
        {"all",
         [](char* err, int n) {
             return kolvane_read_points(nullptr, nullptr, BAD_OPTIONS, nullptr, nullptr, 0, err, n);
         },
         "host must not be null"},
        {"meter", call(nullptr, BAD_OPTIONS, nullptr, nullptr), "meter must not be null"},
        {"out", call(BAD_MODEL, BAD_OPTIONS, nullptr, nullptr), "out must not be null"},
        {"model", call(BAD_MODEL, BAD_OPTIONS, nullptr, out_), MODEL_MESSAGE},
        {"points null", call("em133", BAD_OPTIONS, nullptr, out_), "points must not be null"},
        {"points empty", call("em133", BAD_OPTIONS, "", out_),
         "points: at least one point is required"},
        {"points name", call("em133", BAD_OPTIONS, "[\"nope\"]", out_), "Unknown point 'nope'"},
        {"options", call("em133", BAD_OPTIONS, "[4352, \"V2\"]", out_), OPTIONS_MESSAGE},
        {"connect", call("pm335", closed_.c_str(), "4352", out_), refused_},
    });
}

TEST_F(Exports, ListPointsChecksMeterThenOutThenModel) {
    const auto call = [](const char* meter, char* out) {
        return [=](char* err, int err_len) {
            return kolvane_list_points(meter, out, 256, err, err_len);
        };
    };
    expect_failures({
        {"all", call(nullptr, nullptr), "meter must not be null"},
        {"out", call(BAD_MODEL, nullptr), "out must not be null"},
        {"model", call(BAD_MODEL, out_), MODEL_MESSAGE},
        {"high bytes", call("\xE5m133", out_),
         "Unknown meter model '\xE5m133' (expected em133 or em235)"},
    });
}

TEST_F(Exports, LogStreamsCheckPointersThenOptionsThenModelThenConnect) {
    using StreamFn =
        int (*)(const char*, const char*, int, const char*, kolvane_record_cb, void*, char*, int);
    for (const auto& [name, fn] :
         {std::pair<const char*, StreamFn>{"read_datalog", kolvane_read_datalog},
          {"read_eventlog", kolvane_read_eventlog}}) {
        SCOPED_TRACE(name);
        const auto call = [&, fn = fn](const char* host, const char* meter, const char* options,
                                       kolvane_record_cb cb) {
            return [=](char* err, int err_len) {
                return fn(host, meter, 1, options, cb, nullptr, err, err_len);
            };
        };
        expect_failures({
            {"all", call(nullptr, nullptr, BAD_OPTIONS, nullptr), "host must not be null"},
            {"meter", call(HOST, nullptr, BAD_OPTIONS, nullptr), "meter must not be null"},
            {"cb", call(HOST, BAD_MODEL, BAD_OPTIONS, nullptr), "cb must not be null"},
            {"options", call(HOST, BAD_MODEL, BAD_OPTIONS, ignore_record), OPTIONS_MESSAGE},
            {"model", call(HOST, BAD_MODEL, closed_.c_str(), ignore_record), MODEL_MESSAGE},
            {"connect", call(HOST, "em235", closed_.c_str(), ignore_record), refused_},
        });
    }
}

TEST_F(Exports, CsvExportsCheckPointersThenTheirOwnOrderOfOptionsAndModel) {
    const TempDir dir;
    const std::string csv = dir.file("log.csv");
    using ExportFn = int (*)(const char*, const char*, int, const char*, const char*,
                             kolvane_progress_cb, void*, char*, int);
    struct Form {
        const char* name;
        ExportFn fn;
        bool model_first;  // the event log checks its model before its options
    };
    for (const Form& form : {Form{"export_datalog_ex", kolvane_export_datalog_ex, false},
                             Form{"export_eventlog_ex", kolvane_export_eventlog_ex, true}}) {
        SCOPED_TRACE(form.name);
        const auto call = [&](const char* host, const char* meter, const char* path,
                              const char* options) {
            return [=](char* err, int err_len) {
                return form.fn(host, meter, 0, path, options, nullptr, nullptr, err, err_len);
            };
        };
        expect_failures({
            {"all", call(nullptr, nullptr, nullptr, BAD_OPTIONS), "host must not be null"},
            {"meter", call(HOST, nullptr, nullptr, BAD_OPTIONS), "meter must not be null"},
            {"csv_path", call(HOST, BAD_MODEL, nullptr, BAD_OPTIONS), "csv_path must not be null"},
            {"options and model", call(HOST, BAD_MODEL, csv.c_str(), BAD_OPTIONS),
             form.model_first ? MODEL_MESSAGE : OPTIONS_MESSAGE},
            {"connect", call(HOST, "em133", csv.c_str(), closed_.c_str()), refused_},
        });
        // Both forms connect before they open the file.
        EXPECT_FALSE(std::filesystem::exists(csv));
    }
}

TEST(BundleExports, CheckTheirPointersAndCountBeforeConnecting) {
    const auto diagnostics = [](const char* host, int count, const char* word_order,
                                const char* path) {
        return [=](char* err, int err_len) {
            return kolvane_export_em235_diagnostics(host, 1, 1, count, word_order, path, err,
                                                    err_len);
        };
    };
    expect_failures({
        {"em133 all",
         [](char* err, int n) { return kolvane_export_em133_all(nullptr, 1, 0, nullptr, err, n); },
         "host must not be null"},
        {"em133 out_dir",
         [](char* err, int n) { return kolvane_export_em133_all(HOST, 1, 0, nullptr, err, n); },
         "out_dir must not be null"},
        {"diagnostics all", diagnostics(nullptr, 1, nullptr, nullptr), "host must not be null"},
        {"word_order", diagnostics(HOST, 1, nullptr, nullptr), "word_order must not be null"},
        {"csv_path", diagnostics(HOST, 1, "HI_FIRST", nullptr), "csv_path must not be null"},
        {"count 1", diagnostics(HOST, 1, "HI_FIRST", "x.csv"),
         "count must be >= 2 for 32-bit diagnostics"},
        {"count 0", diagnostics(HOST, 0, "HI_FIRST", "x.csv"),
         "count must be >= 2 for 32-bit diagnostics"},
    });
}

TEST(ShortForms, BehaveAsTheExtendedFormsWithoutOptionsOrCallbacks) {
    struct Args {
        const char* host;
        const char* meter;
        const char* path;
    };
    char out[64];
    for (const Args& a : {Args{nullptr, "em133", "x.csv"}, Args{HOST, nullptr, "x.csv"},
                          Args{HOST, BAD_MODEL, nullptr}, Args{HOST, BAD_MODEL, "x.csv"},
                          Args{HOST, "", "x.csv"}}) {
        const auto same = [](const std::function<int(char*, int)>& short_form,
                             const std::function<int(char*, int)>& ex_form) {
            ErrBuf short_err, ex_err;
            EXPECT_EQ(short_form(short_err.data, ErrBuf::size), ex_form(ex_err.data, ErrBuf::size));
            EXPECT_EQ(short_err.text(), ex_err.text());
            EXPECT_NE(short_err.text(), "");
        };
        same(
            [&](char* e, int n) {
                return kolvane_read_live(a.host, a.meter, a.path ? out : nullptr, 64, e, n);
            },
            [&](char* e, int n) {
                return kolvane_read_live_ex(a.host, a.meter, nullptr, a.path ? out : nullptr, 64, e,
                                            n);
            });
        same([&](char* e,
                 int n) { return kolvane_export_datalog(a.host, a.meter, 1, a.path, e, n); },
             [&](char* e, int n) {
                 return kolvane_export_datalog_ex(a.host, a.meter, 1, a.path, nullptr, nullptr,
                                                  nullptr, e, n);
             });
        same([&](char* e,
                 int n) { return kolvane_export_eventlog(a.host, a.meter, 0, a.path, e, n); },
             [&](char* e, int n) {
                 return kolvane_export_eventlog_ex(a.host, a.meter, 0, a.path, nullptr, nullptr,
                                                   nullptr, e, n);
             });
    }
}
