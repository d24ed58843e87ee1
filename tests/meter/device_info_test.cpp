// SPDX-License-Identifier: MIT
// The device information document, read from simulated meters with chosen identity blocks.
#include <gtest/gtest.h>

#include <string>

#include "kolvane.h"
#include "support/api_call.hpp"
#include "support/journal.hpp"
#include "support/sim_fixture.hpp"

namespace {

using ksim::Model;
using ktest::Op;
using ktest::read_op;

ksim::Identity identity(std::string name) {
    ksim::Identity id;
    id.serial = 0x00125678;  // words 0x5678, 0x0012
    id.model_id = 133;
    id.model_name = std::move(name);
    id.options = 0x00010002;
    id.firmware_version = 2;
    id.firmware_build = 3;
    id.bootloader_version = 4;
    id.bootloader_build = 5;
    return id;
}

ksim::Meter meter(Model model, std::string name, std::optional<uint16_t> pt_ratio,
                  std::optional<uint16_t> high_resolution, uint16_t energy_decimals) {
    ksim::Meter m;
    m.model = model;
    m.identity = identity(std::move(name));
    m.pt_ratio = pt_ratio;
    m.high_resolution = high_resolution;
    m.energy_decimals = energy_decimals;
    return m;
}

class DeviceInfo : public ktest::SimTest {
protected:
    ktest::ApiResult read(const char* model, int out_len = 1 << 16) {
        const std::string opts = options();
        return ktest::call_api(
            [&](char* out, int len, char* err, int err_len) {
                return kolvane_read_device_info("127.0.0.1", model, opts.c_str(), out, len, err,
                                                err_len);
            },
            out_len);
    }
};

TEST_F(DeviceInfo, DocumentsForChosenMeters) {
    struct Case {
        const char* name;
        ksim::Meter meter;
        const char* model;
        std::string document;
    };
    const std::string head = R"({"meter":"em133","host":"127.0.0.1","model_name":")";
    const std::string numbers =
        R"(","model_id":133,"serial":1201784,"options":65538,"firmware":{"version":2,"build":3},"bootloader":{"version":4,"build":5},"setup":)";
    const Case cases[] = {
        {"name ended by NUL bytes", meter(Model::em133, "AB12", 10, 1, 2), "em133",
         head + "AB12" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"name padded with blanks, no NUL", meter(Model::em133, "AB12            ", 10, 1, 2),
         "em133",
         head + "AB12" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"blanks before the NUL are kept", meter(Model::em133, "AB 12 ", 10, 1, 2), "em133",
         head + "AB 12 " + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"non-printable bytes are skipped",
         meter(Model::em133,
               "AB\x07"
               "12\xE9X",
               10, 1, 2),
         "em133",
         head + "AB12X" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"16 printable bytes", meter(Model::em133, "ABCDEFGHIJKLMNOP", 10, 1, 2), "em133",
         head + "ABCDEFGHIJKLMNOP" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"quote and backslash are escaped", meter(Model::em133, "A\"B\\C", 10, 1, 2), "em133",
         head + R"(A\"B\\C)" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"},
        {"PT ratio 0", meter(Model::em133, "AB12", 0, 0, 4), "em133",
         head + "AB12" + numbers +
             R"({"pt_ratio":0.0,"energy_decimals":4,"high_resolution":false}})"},
        {"PT ratio 125, high resolution 2", meter(Model::em133, "AB12", 125, 2, 0), "em133",
         head + "AB12" + numbers +
             R"({"pt_ratio":12.5,"energy_decimals":0,"high_resolution":false}})"},
        {"PT ratio 65535", meter(Model::em133, "AB12", 65535, 1, 5), "EM133",
         head + "AB12" + numbers +
             R"({"pt_ratio":6553.5,"energy_decimals":0,"high_resolution":true}})"},
        {"PT ratio refused", meter(Model::em133, "AB12", std::nullopt, 1, 1), "em133",
         head + "AB12" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":1,"high_resolution":false}})"},
        {"pm335 is an em235", meter(Model::em235, "AB12", 11, std::nullopt, 3), "pm335",
         R"({"meter":"em235","host":"127.0.0.1","model_name":"AB12)" + numbers +
             R"({"pt_ratio":1.1,"energy_decimals":3,"high_resolution":true}})"},
        {"em235 without a PT ratio", meter(Model::em235, "AB12", std::nullopt, std::nullopt, 4),
         "em235",
         R"({"meter":"em235","host":"127.0.0.1","model_name":"AB12)" + numbers +
             R"({"pt_ratio":1.0,"energy_decimals":0,"high_resolution":false}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(c.meter);
        const auto result = read(c.model);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.document);
        EXPECT_EQ(result.status, int(c.document.size()));
    }
}

// Identity block, then the scaling setup, which holds the PT ratio.
TEST_F(DeviceInfo, RegisterTrafficInOrder) {
    ksim::Meter em133 = meter(Model::em133, "AB12", 10, 1, 2);
    em133.energy_units = std::vector<uint16_t>(12, 1);
    ksim::Meter em235 = meter(Model::em235, "AB12", 10, std::nullopt, 2);
    em235.energy_units = {1, 2};  // entry 2 refused ends the unit reads
    struct Case {
        ksim::Meter meter;
        const char* model;
        std::vector<Op> traffic;
    };
    const Case cases[] = {
        {em133,
         "em133",
         {read_op(46080, 26), read_op(2305, 1), read_op(2390, 4), read_op(2390, 1),
          read_op(2393, 1), read_op(56672, 48)}},
        {em235,
         "pm335",
         {read_op(46080, 26), read_op(46209, 1), read_op(46258, 1), read_op(56672, 64),
          read_op(56672, 4), read_op(56676, 4), read_op(56680, 4)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        serve(c.meter);
        EXPECT_GT(read(c.model).status, 0);
        EXPECT_EQ(ktest::ops(sim()), c.traffic);
    }
}

TEST_F(DeviceInfo, RefusedIdentityBlockEndsTheCall) {
    serve(meter(Model::em133, "AB12", 10, 1, 2)).clear_identity();
    const auto result = read("em133");
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Modbus exception 2");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ktest::ops(sim()), std::vector<Op>{read_op(46080, 26)});
}

TEST_F(DeviceInfo, OutputBufferMustHoldTheTerminatingNul) {
    serve(meter(Model::em133, "AB12", 10, 1, 2));
    const int length = read("em133").status;
    ASSERT_GT(length, 0);
    const auto too_small = read("em133", length);
    EXPECT_EQ(too_small.status, -1);
    EXPECT_EQ(too_small.err,
              "Output buffer too small: need " + std::to_string(length + 1) + " bytes");
    EXPECT_EQ(too_small.out, "");
    EXPECT_EQ(read("em133", length + 1).status, length);
}

}  // namespace
