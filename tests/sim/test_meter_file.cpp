// SPDX-License-Identifier: MIT
// Meter description files: keys applied onto a meter, numbers, and the lines refused.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "simulator.hpp"
#include "support/files.hpp"
#include "support/temp_dir.hpp"

using ksim::Model;
using W = std::vector<std::uint16_t>;

namespace {

TEST(SimDefaultMeter, MeterFileOverrides) {
    const ktest::TempDir dir;
    const std::string path = dir.file("meter.txt");
    ktest::write_file(
        path,
        "# test meter\nmodel em235\nrecords 20\nevents 5\nserial 0x125678\n"
        "model_name My Meter\nfirmware 7 8\npt_ratio none\nenergy_decimals 3\n"
        "energy_units 1 2\npoint 0x1100 -5\nregister 2575 99\nblock_size 4\nno_log 3\n");
    ksim::Meter m = ksim::default_meter(Model::em133, 10);
    std::string err;
    ASSERT_TRUE(ksim::load_meter_file(path, m, err)) << err;
    EXPECT_EQ(m.model, Model::em235);
    EXPECT_EQ(m.identity->serial, 0x125678u);
    EXPECT_EQ(m.identity->model_name, "My Meter");
    EXPECT_EQ(m.identity->firmware_build, 8);
    EXPECT_FALSE(m.pt_ratio.has_value());
    EXPECT_EQ(m.energy_decimals, 3);
    EXPECT_EQ(m.energy_units, (W{1, 2}));
    EXPECT_EQ(m.points.at(0x1100), -5);
    EXPECT_EQ(m.point_overrides.at(0x1100), -5);
    EXPECT_EQ(m.registers.at(2575), 99);
    EXPECT_EQ(m.logs.at(1).records.size(), 20u);
    EXPECT_EQ(m.logs.at(1).records_per_block, 4);
    EXPECT_EQ(m.logs.at(0).records.size(), 5u);
    EXPECT_EQ(m.logs.count(3), 0u);

    ktest::write_file(path, "serial twelve\n");
    EXPECT_FALSE(ksim::load_meter_file(path, m, err));
    EXPECT_NE(err.find(":1:"), std::string::npos);
}

// A small meter to apply files onto: no log records to build.
ksim::Meter small_meter() { return ksim::default_meter(Model::em133, 0, 1760000000, 0); }

TEST(SimMeterFile, NumbersAreDecimalOrHexAndKeepTheirBits) {
    using Read = std::function<long long(const ksim::Meter&)>;
    const Read register_100 = [](const ksim::Meter& m) { return m.registers.at(100); };
    const Read point_v1 = [](const ksim::Meter& m) { return m.points.at(0x1100); };
    const Read serial = [](const ksim::Meter& m) { return m.identity->serial; };
    const Read firmware = [](const ksim::Meter& m) { return m.identity->firmware_version; };
    const struct {
        std::string line;
        Read read;
        long long expected;
    } cases[] = {
        {"register 100 010", register_100, 10},  // a leading zero is no octal
        {"register 100 09", register_100, 9},
        {"register 100 0x10", register_100, 16},
        {"register 100 0X1f", register_100, 31},
        {"register 0x64 +7", register_100, 7},
        {"register 100 65535", register_100, 65535},
        {"register 100 -1", register_100, 0xFFFF},  // a negative word is its two's complement
        {"register 100 -32768", register_100, 0x8000},
        {"point 0x1100 -2147483648", point_v1, -2147483648LL},
        {"point 0x1100 0xFFFFFFFF", point_v1, -1},
        {"serial 0123", serial, 123},
        {"serial 4294967295", serial, 4294967295LL},
        {"firmware 65535 0", firmware, 65535},
    };
    const ktest::TempDir dir;
    const std::string path = dir.file("meter.txt");
    for (const auto& c : cases) {
        ktest::write_file(path, c.line + "\n");
        ksim::Meter m = small_meter();
        std::string err;
        ASSERT_TRUE(ksim::load_meter_file(path, m, err)) << c.line << ": " << err;
        EXPECT_EQ(c.read(m), c.expected) << c.line;
    }
}

TEST(SimMeterFile, RefusedLinesNameTheirNumberAndReason) {
    const struct {
        std::string text;
        std::string error;  // after "PATH:"
    } cases[] = {
        {"# a comment\n\nregister 100 1\nregister 100 x\n", "4: not a number: x"},
        {"register 100 65536\n", "1: bad value for register"},  // would lose bits
        {"register 100 -32769\n", "1: bad value for register"},
        {"register 65536 1\n", "1: bad value for register"},
        {"register 100\n", "1: bad value for register"},
        {"point 0x1100 0x100000000\n", "1: bad value for point"},
        {"point 0x1100 -2147483649\n", "1: bad value for point"},
        {"point 0x0001 5\n", "1: bad value for point"},  // in no family
        {"serial 0x100000000\n", "1: bad value for serial"},
        {"model_id -2147483649\n", "1: bad value for model_id"},
        {"options 1 2\n", "1: bad value for options"},
        {"firmware 65536 1\n", "1: bad value for firmware"},
        {"bootloader 1\n", "1: bad value for bootloader"},
        {"energy_units 1 70000\n", "1: bad value for energy_units"},
        {"pt_ratio 65536\n", "1: bad value for pt_ratio"},
        {"block_size 0\n", "1: bad value for block_size"},
        {"block_size 2147483648\n", "1: bad value for block_size"},
        {"no_log 4294967297\n", "1: bad value for no_log"},  // would remove log 1
        {"serial 1\nrecords 65536\n", "2: records needs a count of 0-65535"},
        {"events -1\n", "1: events needs a count of 0-65535"},
        {"events 010x\n", "1: events needs a count of 0-65535"},
        {"model em999\n", "1: model must be em133 or em235"},
        {"model\n", "1: model must be em133 or em235"},
        {"colour red\n", "1: not a number: red"},
        {"colour 1\n", "1: unknown key colour"},
    };
    const ktest::TempDir dir;
    const std::string path = dir.file("meter.txt");
    for (const auto& c : cases) {
        ktest::write_file(path, c.text);
        ksim::Meter m = small_meter();
        std::string err;
        EXPECT_FALSE(ksim::load_meter_file(path, m, err)) << c.text;
        EXPECT_EQ(err, path + ":" + c.error) << c.text;
    }
}

TEST(SimMeterFile, UnreadableFilesAreRefused) {
    const ktest::TempDir dir;
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        {dir.file("missing.txt"), "cannot open meter file " + dir.file("missing.txt")},
        {dir.path(), "cannot read meter file " + dir.path()},  // a directory opens
    };
    for (const auto& c : cases) {
        ksim::Meter m = small_meter();
        std::string err;
        EXPECT_FALSE(ksim::load_meter_file(c.path, m, err)) << c.path;
        EXPECT_EQ(err, c.error);
    }
}

}  // namespace
