// SPDX-License-Identifier: MIT
// Every exported function with hostile arguments: a clear message and status -1, never a
// crash, never a byte written outside the caller's buffers.
#include <gtest/gtest.h>

#include <string>

#include "kolvane.h"
#include "robustness/guarded_buffer.hpp"

namespace {

int ignore_record(const char*, void*) { return 0; }

// A loopback port with nothing listening: calls that get past their checks fail fast.
const char* const CLOSED = "{\"port\":1,\"timeout_ms\":200}";

TEST(BadInput, NullPointersInEveryPositionAreNamed) {
    GuardedBuffer out(64), err(128);
    auto check = [&](const char* expected, int status) {
        EXPECT_EQ(status, -1) << expected;
        EXPECT_STREQ(err.data(), expected);
        EXPECT_TRUE(err.guards_intact());
        EXPECT_TRUE(out.guards_intact());
    };
    char* o = out.data();
    const int ol = out.size();
    char* e = err.data();
    const int el = err.size();
    check("host must not be null",
          kolvane_read_device_info(nullptr, "em133", nullptr, o, ol, e, el));
    check("meter must not be null", kolvane_read_device_info("h", nullptr, nullptr, o, ol, e, el));
    check("out must not be null",
          kolvane_read_device_info("h", "em133", nullptr, nullptr, ol, e, el));
    check("host must not be null", kolvane_list_logs(nullptr, nullptr, nullptr, nullptr, 0, e, el));
    check("meter must not be null", kolvane_list_logs("h", nullptr, nullptr, o, ol, e, el));
    check("out must not be null", kolvane_list_logs("h", "em133", nullptr, nullptr, ol, e, el));
    check("host must not be null", kolvane_read_live(nullptr, "em133", o, ol, e, el));
    check("meter must not be null", kolvane_read_live_ex("h", nullptr, nullptr, o, ol, e, el));
    check("out must not be null", kolvane_read_live("h", "em133", nullptr, ol, e, el));
    check("host must not be null",
          kolvane_read_points(nullptr, "em133", nullptr, "1", o, ol, e, el));
    check("meter must not be null", kolvane_read_points("h", nullptr, nullptr, "1", o, ol, e, el));
    check("out must not be null",
          kolvane_read_points("h", "em133", nullptr, "1", nullptr, ol, e, el));
    check("points must not be null",
          kolvane_read_points("h", "em133", nullptr, nullptr, o, ol, e, el));
    check("meter must not be null", kolvane_list_points(nullptr, o, ol, e, el));
    check("out must not be null", kolvane_list_points("em133", nullptr, ol, e, el));
    check("host must not be null",
          kolvane_read_datalog(nullptr, "em133", 1, nullptr, ignore_record, nullptr, e, el));
    check("meter must not be null",
          kolvane_read_datalog("h", nullptr, 1, nullptr, ignore_record, nullptr, e, el));
    check("cb must not be null",
          kolvane_read_datalog("h", "em133", 1, nullptr, nullptr, nullptr, e, el));
    check("host must not be null",
          kolvane_read_eventlog(nullptr, "em133", 0, nullptr, ignore_record, nullptr, e, el));
    check("meter must not be null",
          kolvane_read_eventlog("h", nullptr, 0, nullptr, ignore_record, nullptr, e, el));
    check("cb must not be null",
          kolvane_read_eventlog("h", "em133", 0, nullptr, nullptr, nullptr, e, el));
    check("host must not be null", kolvane_export_datalog(nullptr, "em133", 1, "x.csv", e, el));
    check("meter must not be null",
          kolvane_export_datalog_ex("h", nullptr, 1, "x.csv", nullptr, nullptr, nullptr, e, el));
    check("csv_path must not be null", kolvane_export_datalog("h", "em133", 1, nullptr, e, el));
    check("host must not be null", kolvane_export_eventlog(nullptr, "em133", 0, "x.csv", e, el));
    check("meter must not be null",
          kolvane_export_eventlog_ex("h", nullptr, 0, "x.csv", nullptr, nullptr, nullptr, e, el));
    check("csv_path must not be null", kolvane_export_eventlog("h", "em133", 0, nullptr, e, el));
    check("host must not be null", kolvane_export_em133_all(nullptr, 0, 0, "d", e, el));
    check("out_dir must not be null", kolvane_export_em133_all("h", 0, 0, nullptr, e, el));
    check("host must not be null",
          kolvane_export_em235_diagnostics(nullptr, 1, 1, 2, "HI_FIRST", "x.csv", e, el));
    check("word_order must not be null",
          kolvane_export_em235_diagnostics("h", 1, 1, 2, nullptr, "x.csv", e, el));
    check("csv_path must not be null",
          kolvane_export_em235_diagnostics("h", 1, 1, 2, "HI_FIRST", nullptr, e, el));
}

TEST(BadInput, ZeroAndNegativeBufferLengthsWriteNothing) {
    for (const int length : {0, -1, -1000}) {
        GuardedBuffer out(32), err(32);
        EXPECT_EQ(kolvane_list_points("em133", out.data(), length, err.data(), length), -1);
        EXPECT_TRUE(out.untouched()) << length;
        EXPECT_TRUE(err.untouched()) << length;
        EXPECT_EQ(kolvane_read_device_info(nullptr, "em133", nullptr, out.data(), length,
                                           err.data(), length),
                  -1);
        EXPECT_TRUE(err.untouched()) << length;
    }
}

TEST(BadInput, OneByteAndShortErrorBuffersStayInside) {
    GuardedBuffer out(16), err(1);
    EXPECT_EQ(kolvane_list_points("em133", out.data(), out.size(), err.data(), err.size()), -1);
    EXPECT_EQ(err.data()[0], '\0');
    EXPECT_TRUE(err.guards_intact());
    EXPECT_TRUE(out.untouched());  // a document that does not fit is not written at all
}

TEST(BadInput, HostileHostTextsFailCleanly) {
    const std::string hosts[] = {"\xC3\xA9\xFF\x80", std::string("bad\nhost\t\x01", 11), "",
                                 "999.999.999.999", std::string(300, 'a')};
    for (const std::string& host : hosts) {
        GuardedBuffer out(256), err(512);
        const int status =
            kolvane_read_device_info(host.c_str(), "em133", "{\"timeout_ms\":200,\"port\":1}",
                                     out.data(), out.size(), err.data(), err.size());
        EXPECT_EQ(status, -1);
        const std::string message = err.data();
        EXPECT_TRUE(message.rfind("Cannot resolve host: ", 0) == 0 ||
                    message.rfind("Cannot connect to ", 0) == 0)
            << message;
        EXPECT_TRUE(err.guards_intact());
        EXPECT_TRUE(out.untouched());
    }
}

TEST(BadInput, MegabyteOptionsAndPointsTexts) {
    GuardedBuffer out(256), err(256);
    std::string options(1 << 20, ' ');
    options.replace(options.size() - 20, 13, "\"port\":70000");
    EXPECT_EQ(kolvane_read_live_ex("127.0.0.1", "em133", options.c_str(), out.data(), out.size(),
                                   err.data(), err.size()),
              -1);
    EXPECT_STREQ(err.data(), "options.port must be 1-65535");

    std::string points(1 << 20, ',');
    points.back() = 'x';
    EXPECT_EQ(kolvane_read_points("127.0.0.1", "em133", CLOSED, points.c_str(), out.data(),
                                  out.size(), err.data(), err.size()),
              -1);
    EXPECT_STREQ(err.data(), "points: unexpected item x");

    std::string many;
    for (int i = 0; i < 100000; ++i) many += "4352,";
    EXPECT_EQ(kolvane_read_points("127.0.0.1", "em133", CLOSED, many.c_str(), out.data(),
                                  out.size(), err.data(), err.size()),
              -1);
    EXPECT_STREQ(err.data(), "Cannot connect to 127.0.0.1:1");
    EXPECT_TRUE(out.untouched());
    EXPECT_TRUE(err.guards_intact());
}

TEST(BadInput, ModelAndOptionsWithHighBytes) {
    GuardedBuffer out(64), err(256);
    EXPECT_EQ(kolvane_list_points("\xC9M133", out.data(), out.size(), err.data(), err.size()), -1);
    EXPECT_STREQ(err.data(), "Unknown meter model '\xC9M133' (expected em133 or em235)");
    // 0xA0 is a blank in some locales; here it is no blank, so the value is no number and the
    // default unit id stays in force (999 would have been refused).
    EXPECT_EQ(kolvane_read_live_ex("127.0.0.1", "em133",
                                   "{\"port\":1,\"unit_id\":\xA0"
                                   "999}",
                                   out.data(), out.size(), err.data(), err.size()),
              -1);
    EXPECT_STREQ(err.data(), "Cannot connect to 127.0.0.1:1");
}

TEST(BadInput, UnusualFileIdsReachTheMeterUnchecked) {
    // File ids are the meter's business: with no meter the call fails on the connection.
    for (const int file_id : {-1, 17, 65536}) {
        GuardedBuffer err(128);
        EXPECT_EQ(kolvane_read_datalog("127.0.0.1", "em133", file_id, CLOSED, ignore_record,
                                       nullptr, err.data(), err.size()),
                  -1);
        EXPECT_STREQ(err.data(), "Cannot connect to 127.0.0.1:1");
        EXPECT_TRUE(err.guards_intact());
    }
}

}  // namespace
