// SPDX-License-Identifier: MIT
// The scaling setup read from simulated meters: which registers are read, in which order, and
// what each answer (or refusal) does to the scales.
#include <gtest/gtest.h>

#include <string>

#include "meter/scales.hpp"
#include "modbus/client.hpp"
#include "support/journal.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::DataScales;
using kolvane::MeterModel;
using ksim::Fault;
using ksim::Model;
using ktest::Op;
using ktest::read_op;

struct Expected {
    double voltage_scale = 1.0, current_scale = 1.0, power_scale = 1.0, energy_scale = 1.0;
    int voltage_decimals = 0, current_decimals = 0, power_decimals = 0, energy_decimals = 0;
    std::vector<std::string> energy_units;
};

constexpr Expected DEFAULTS{};
Expected high_resolution(double energy_scale = 1.0, int energy_decimals = 0) {
    return {0.1, 0.01, 0.001, energy_scale, 1, 2, 3, energy_decimals, {}};
}
Expected current_only() { return {1.0, 0.01, 1.0, 1.0, 0, 2, 0, 0, {}}; }

void expect_scales(const DataScales& s, const Expected& e) {
    EXPECT_DOUBLE_EQ(s.voltage_scale, e.voltage_scale);
    EXPECT_DOUBLE_EQ(s.current_scale, e.current_scale);
    EXPECT_DOUBLE_EQ(s.power_scale, e.power_scale);
    EXPECT_DOUBLE_EQ(s.energy_scale, e.energy_scale);
    EXPECT_EQ(s.voltage_decimals, e.voltage_decimals);
    EXPECT_EQ(s.current_decimals, e.current_decimals);
    EXPECT_EQ(s.power_decimals, e.power_decimals);
    EXPECT_EQ(s.energy_decimals, e.energy_decimals);
    EXPECT_EQ(s.energy_units, e.energy_units);
}

ksim::Meter setup(Model model, std::optional<uint16_t> pt_ratio, std::optional<uint16_t> high_res,
                  std::optional<uint16_t> energy_decimals, std::vector<uint16_t> units = {}) {
    ksim::Meter m;
    m.model = model;
    m.pt_ratio = pt_ratio;
    m.high_resolution = high_res;
    m.energy_decimals = energy_decimals;
    m.energy_units = std::move(units);
    return m;
}

// The range read of all `range` setup registers that the meter refused, then `count` entries
// read one by one.
std::vector<Op> entry_reads(int count, uint16_t range) {
    std::vector<Op> ops{read_op(56672, range)};
    for (int i = 0; i < count; ++i) ops.push_back(read_op(uint16_t(56672 + 4 * i), 4));
    return ops;
}

class Scales : public ktest::SimTest {
protected:
    DataScales read(const ksim::Meter& meter, const std::vector<Fault>& faults = {}) {
        serve(meter);
        for (const Fault& f : faults) sim().add_fault(f);
        kolvane::ModbusTcpClient client(ktest::LOOPBACK, connection());
        client.connect();
        return kolvane::read_data_scales(
            client, meter.model == Model::em235 ? MeterModel::EM235 : MeterModel::EM133);
    }
};

TEST_F(Scales, ResolutionRules) {
    struct Case {
        const char* name;
        ksim::Meter meter;
        Expected expected;
        std::vector<Op> traffic;
    };
    // The settings 2390 and 2393 as one range, here without the registers between them: each
    // on its own then. The energy setup at once, here without entries: entry 0 on its own then.
    const std::vector<Op> em133_all = {read_op(2305, 1), read_op(2390, 4),   read_op(2390, 1),
                                       read_op(2393, 1), read_op(56672, 48), read_op(56672, 4)};
    const std::vector<Op> em235_all = {read_op(46209, 1), read_op(46258, 1), read_op(56672, 64),
                                       read_op(56672, 4)};
    ksim::Meter whole_range = setup(Model::em133, 10, 1, 2);
    whole_range.registers[2391] = 0;
    whole_range.registers[2392] = 0;
    const Case cases[] = {
        {"em235 PT 10", setup(Model::em235, 10, std::nullopt, std::nullopt), high_resolution(),
         em235_all},
        {"em235 PT 0", setup(Model::em235, 0, std::nullopt, std::nullopt), high_resolution(),
         em235_all},
        {"em235 PT 11", setup(Model::em235, 11, std::nullopt, std::nullopt), current_only(),
         em235_all},
        {"em235 PT refused", setup(Model::em235, std::nullopt, std::nullopt, std::nullopt),
         DEFAULTS, em235_all},
        {"em133 high resolution, PT 10", setup(Model::em133, 10, 1, std::nullopt),
         high_resolution(), em133_all},
        {"em133 high resolution, PT 0", setup(Model::em133, 0, 1, std::nullopt), high_resolution(),
         em133_all},
        {"em133 high resolution, PT 11", setup(Model::em133, 11, 1, std::nullopt), current_only(),
         em133_all},
        {"em133 high resolution 0", setup(Model::em133, 10, 0, std::nullopt), DEFAULTS, em133_all},
        {"em133 high resolution 2", setup(Model::em133, 10, 2, std::nullopt), DEFAULTS, em133_all},
        {"em133 high resolution refused", setup(Model::em133, 10, std::nullopt, std::nullopt),
         DEFAULTS, em133_all},
        {"em133 PT refused: the setting is not read on its own",
         setup(Model::em133, std::nullopt, 1, std::nullopt),
         DEFAULTS,
         {read_op(2305, 1), read_op(2390, 4), read_op(2393, 1), read_op(56672, 48),
          read_op(56672, 4)}},
        {"em133 with the registers between: one range read",
         whole_range,
         high_resolution(0.01, 2),
         {read_op(2305, 1), read_op(2390, 4), read_op(56672, 48), read_op(56672, 4)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_scales(read(c.meter), c.expected);
        EXPECT_EQ(ktest::ops(sim()), c.traffic);
    }
}

TEST_F(Scales, EnergyDecimals) {
    struct Case {
        Model model;
        std::optional<uint16_t> decimals;
        double scale;
        int expected;
    };
    const Case cases[] = {
        {Model::em133, 1, 0.1, 1},
        {Model::em133, 4, 0.0001, 4},
        {Model::em133, 0, 1.0, 0},
        {Model::em133, 5, 1.0, 0},
        {Model::em133, std::nullopt, 1.0, 0},
        {Model::em235, 2, 0.01, 2},
        {Model::em235, 3, 0.001, 3},
        {Model::em235, 4, 1.0, 0},
        {Model::em235, 0, 1.0, 0},
        {Model::em235, 65535, 1.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << ksim::model_name(c.model) << " decimals "
                                        << (c.decimals ? int(*c.decimals) : -1));
        const DataScales s = read(setup(c.model, std::nullopt, std::nullopt, c.decimals));
        EXPECT_DOUBLE_EQ(s.energy_scale, c.scale);
        EXPECT_EQ(s.energy_decimals, c.expected);
        EXPECT_DOUBLE_EQ(s.voltage_scale, 1.0);  // energy decimals touch nothing else
        EXPECT_EQ(s.current_decimals, 0);
    }
}

TEST_F(Scales, EnergyUnitsAtOnceOrEntryByEntry) {
    struct Case {
        const char* name;
        ksim::Meter meter;
        std::vector<Fault> faults;
        std::vector<std::string> units;
        std::vector<Op> unit_traffic;
    };
    const Case cases[] = {
        {"em133 reads its 12 entries at once",
         setup(Model::em133, 10, 0, 2, {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5}),
         {},
         {"kWh", "kvarh", "kVAh", "m3", "CF", "CCF", "kL", "MJ", "kWh", "kvarh", "kVAh", "m3"},
         {read_op(56672, 48)}},
        {"em235 reads its 16 entries at once",
         setup(Model::em235, 10, std::nullopt, 2, std::vector<uint16_t>(16, 8)),
         {},
         std::vector<std::string>(16, "MJ"),
         {read_op(56672, 64)}},
        {"codes 0 and 9 give empty texts in place",
         setup(Model::em235, 10, std::nullopt, 2, {1, 1, 1, 0, 2, 3, 4, 9, 5}),
         {},
         {"kWh", "kWh", "kWh", "", "kvarh", "kVAh", "m3", "", "CF"},
         entry_reads(10, 64)},
        {"refused entry 5 keeps entries 0 to 4",
         setup(Model::em133, 10, 0, 2, std::vector<uint16_t>(12, 2)),
         {Fault::exception(2).reads(56672 + 20, 56672 + 23)},
         {"kvarh", "kvarh", "kvarh", "kvarh", "kvarh"},
         entry_reads(6, 48)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DataScales s = read(c.meter, c.faults);
        EXPECT_EQ(s.energy_units, c.units);
        EXPECT_EQ(ktest::reads_within(sim(), 56672, 65535), c.unit_traffic);
    }
}

// Only "no such register" leaves a default: any other failure of any setting read fails, naming
// the register, so that no value is ever printed with a guessed scale.
TEST_F(Scales, WeatherOnAnySettingFailsNamingIt) {
    struct Register {
        Model model;
        uint16_t address;
        const char* setting;
        uint16_t named;  // the register the message names: the first of the range read
    };
    const char* em133_pair = "high-resolution setting and energy decimals";
    const Register registers[] = {
        {Model::em133, 2305, "PT ratio", 2305},
        {Model::em133, 2390, em133_pair, 2390},
        {Model::em133, 2393, em133_pair, 2390},
        {Model::em133, 56672 + 4 * 3, "energy register setup", 56672},
        {Model::em235, 46209, "PT ratio", 46209},
        {Model::em235, 46258, "energy decimals", 46258},
        {Model::em235, 56672 + 4 * 15, "energy register setup", 56672},
    };
    struct Weather {
        const char* name;
        Fault fault;
        const char* cause;  // the end of the message; empty: the time-out's
    };
    const Weather weathers[] = {
        {"busy on every try", Fault::exception(6), ": set gap=50"},
        {"acknowledge on every try", Fault::exception(5), ": set gap=50"},
        {"no meter at the unit", Fault::exception(11), "no meter answered at unit 1 behind"},
        {"device failure", Fault::exception(4), "Modbus exception 4"},
        {"gateway path unavailable", Fault::exception(10), "Modbus exception 10"},
        {"malformed reply", Fault::pdu({0x03, 4, 0, 1}), "Malformed read response length"},
        {"no reply", Fault::no_reply(), ""},
    };
    for (const Register& r : registers) {
        for (const Weather& w : weathers) {
            SCOPED_TRACE(std::string(ksim::model_name(r.model)) + " " + r.setting + ", " + w.name);
            serve(setup(r.model, 10, 1, 2, std::vector<uint16_t>(16, 1)));
            Fault fault = w.fault;
            sim().add_fault(fault.reads(r.address));
            auto options = connection(300);
            kolvane::ModbusTcpClient client(ktest::LOOPBACK, options);
            client.connect();
            try {
                kolvane::read_data_scales(
                    client, r.model == Model::em235 ? MeterModel::EM235 : MeterModel::EM133);
                ADD_FAILURE() << "scales read despite the failure";
            } catch (const std::runtime_error& e) {
                const std::string message = e.what();
                EXPECT_TRUE(message.starts_with(std::string("Cannot read the ") + r.setting +
                                                " (register " + std::to_string(r.named) + "): "))
                    << message;
                const std::string cause = *w.cause ? w.cause : no_reply(300);
                EXPECT_NE(message.find(cause), std::string::npos) << message;
            }
        }
    }
}

}  // namespace
