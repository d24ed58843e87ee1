// SPDX-License-Identifier: MIT
// Hot-path micro-benchmarks (Google Benchmark) of the library's internal formatting code:
// the code each data log or event record goes through on its way to the caller.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "datalog/datalog_format.hpp"
#include "eventlog/event_format.hpp"
#include "ground/text.hpp"
#include "points/catalogue.hpp"
#include "simulator.hpp"

namespace {

using kolvane::Kind;

// The scaling of the simulator's default em133: PT ratio 1.0, high resolution, 2 energy decimals.
kolvane::DataScales default_scales() {
    kolvane::DataScales s;
    s.voltage_scale = 0.1, s.voltage_decimals = 1;
    s.current_scale = 0.01, s.current_decimals = 2;
    s.power_scale = 0.001, s.power_decimals = 3;
    s.energy_scale = 0.01, s.energy_decimals = 2;
    s.energy_units = {"kWh", "kvarh", "kVAh", "m3"};
    return s;
}

const char* kind_name(Kind kind) {
    static const char* const NAMES[] = {"Voltage",     "Current",    "Power",      "Energy",
                                        "PowerFactor", "Percent",    "KFactor",    "Angle",
                                        "Frequency2",  "Frequency3", "Frequency4", "Unbalance"};
    return NAMES[int(kind)];
}

// format_value of one point of each scaling kind (the first point of that kind in the catalogue).
void register_format_value() {
    std::map<Kind, uint16_t> first_of_kind;
    for (const auto& [pid, def] : kolvane::param_table()) first_of_kind.emplace(def.kind, pid);
    for (const auto& [kind, pid] : first_of_kind) {
        const std::string name = std::string("format_value/") + kind_name(kind);
        const kolvane::ColumnFormat format =
            kolvane::resolve_column(pid, 1, kolvane::MeterModel::EM133, default_scales());
        benchmark::RegisterBenchmark(name.c_str(), [format](benchmark::State& state) {
            int32_t raw = 123456;
            for (auto _ : state) {
                benchmark::DoNotOptimize(kolvane::format_value(raw, format));
                raw ^= 0x155;
            }
        });
    }
}

// The 16 columns of the transfer benchmark's data log and one of its records.
kolvane::DatalogColumns sixteen_columns() {
    kolvane::DatalogColumns columns;
    columns.scales = default_scales();
    columns.point_ids = {0x1100, 0x1101, 0x1102, 0x1103, 0x1104, 0x1105, 0x1106, 0x1107,
                         0x1108, 0x1400, 0x1401, 0x1402, 0x1403, 0x1502, 0x1700, 0x1701};
    columns.column_count = 16;
    columns.resolve(16);
    return columns;
}

const std::vector<uint16_t> DATALOG_RECORD =
    ksim::datalog_record(0, 4711, 1700000000, 250000, 0,
                         {2301, 2298, 2305, 1250, 1237, 1262, 2810, 2796, 2819, 8430, 410, 8700,
                          972, 5000, 12345678, 1024});

void datalog_json_record(benchmark::State& state) {
    const kolvane::DatalogColumns columns = sixteen_columns();
    std::string text;
    int number = 1;
    for (auto _ : state) {
        kolvane::format_json_record(text, number++, DATALOG_RECORD, columns);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(datalog_json_record);

void datalog_csv_row(benchmark::State& state) {
    const kolvane::DatalogColumns columns = sixteen_columns();
    std::string line;
    int row = 1;
    for (auto _ : state) {
        kolvane::format_csv_row(line, row++, DATALOG_RECORD, columns);
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(datalog_csv_row);

// A setpoint operation on V1: decoded, classified and formatted as the stream delivers it.
const std::vector<uint16_t> EVENT_RECORD =
    ksim::event_record(0, 812, 1700000000, 250000, 7, 0x1100, 0xE101, 2531);

void event_json_record(benchmark::State& state) {
    int number = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kolvane::event_json_record(number++, EVENT_RECORD,
                                                            kolvane::decode_event(EVENT_RECORD)));
    }
}
BENCHMARK(event_json_record);

void event_csv_row(benchmark::State& state) {
    int number = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            kolvane::event_csv_row(number++, EVENT_RECORD, kolvane::decode_event(EVENT_RECORD)));
    }
}
BENCHMARK(event_csv_row);

// classify_event over the default meter's kinds of events, in turn.
void classify_event(benchmark::State& state) {
    static constexpr int PAIRS[][2] = {{0x6300, 0},      {0x6308, 0},      {0x1100, 0xE101},
                                       {0x1403, 0xE202}, {0x5A03, 0x3003}, {0x5B15, 0xF400},
                                       {0x5B15, 0x6000}, {0x5B15, 0xF500}};
    size_t i = 0;
    for (auto _ : state) {
        const auto& pair = PAIRS[i++ % std::size(PAIRS)];
        benchmark::DoNotOptimize(kolvane::classify_event(pair[0], pair[1]));
    }
}
BENCHMARK(classify_event);

void json_escape(benchmark::State& state, const char* text) {
    for (auto _ : state) benchmark::DoNotOptimize(kolvane::json_escape(text));
}
BENCHMARK_CAPTURE(json_escape, plain_name, "kW import block demand");
BENCHMARK_CAPTURE(json_escape, quotes_and_controls, "Meter \"A\"\tline\\2\n");

}  // namespace

int main(int argc, char** argv) {
    std::puts(
        "hot paths, time per call:\n"
        "  format_value/<kind>  one raw point value of that scaling kind as text (default em133 "
        "scaling)\n"
        "  datalog_json_record  a data log record of 16 columns as the JSON record the stream "
        "delivers\n"
        "  datalog_csv_row      the same record as a CSV row of the export\n"
        "  event_json_record    an event record decoded, classified and formatted as a JSON "
        "record\n"
        "  event_csv_row        the same event as a CSV row\n"
        "  classify_event       the texts of a (source, effect) pair, over eight typical pairs\n"
        "  json_escape          a 21-byte column name; a short text with quotes and control bytes");
    std::fflush(stdout);
    register_format_value();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
