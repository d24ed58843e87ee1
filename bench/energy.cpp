// SPDX-License-Identifier: MIT
// kolvane energy and kolvane report over a year of a site: 100 meters (KOLVANE_BENCH_METERS) of
// one data log with four energy counters and a voltage, a record every 15 minutes for 2026 on
// Berlin's clock, written through the collector's own store into SQLite and a throwaway
// PostgreSQL server. Times one meter's month (the target: under 100 ms), one meter's year by
// month, the whole site by month, and the report of one meter's year.
// Prints figures; nothing passes or fails.
#include "support/measure.hpp"
#include "support/postgres_server.hpp"

#include "database/database.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t FIRST_SERIAL = 800000;
constexpr int RECORDS = 365 * 96;
constexpr std::time_t YEAR_START = 1767222000;  // 2026-01-01 00:00 in Berlin

// A record's time as the collector stores it: true UTC, or with `wall` the meters' wall time
// (this process runs on Berlin's clock: TZ is set in main).
std::string time_text(std::time_t t, bool wall) {
    std::tm tm{};
    if (wall)
        localtime_r(&t, &tm);
    else
        gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, wall ? "%Y-%m-%dT%H:%M:%S.000" : "%Y-%m-%dT%H:%M:%S.000Z",
                  &tm);
    return text;
}

// The site written into `target`; returns the seconds it took.
double write_site(const std::string& target, int meters) {
    const auto start = kbench::Clock::now();
    const auto store = kdb::open_database(*kdb::parse_target(target), kdb::Access::COLLECT);
    const std::vector<kdb::Column> columns = {{"kWh import", "kWh"},
                                              {"kWh export", "kWh"},
                                              {"kvarh import", "kvarh"},
                                              {"kvarh export", "kvarh"},
                                              {"V1", "V"}};
    for (int m = 0; m < meters; ++m) {
        kdb::MeterRow meter;
        meter.serial = FIRST_SERIAL + m;
        meter.model = "em133";
        meter.model_name = "EM133";
        meter.firmware = "3.12";
        meter.host = "127.0.0.1";
        meter.clock_zone = "Europe/Berlin";
        meter.info = "{}";
        store->save_meter(meter);
        kdb::DatalogBatch batch{meter.serial, 1, columns, {}};
        double imported = 1000, exported = 10, reactive = 300, returned = 5;
        for (int r = 0; r < RECORDS; ++r) {
            const std::time_t t = YEAR_START + std::time_t(r) * 900;
            imported += 0.5 + (r % 96) * 0.01, exported += (r % 96 > 40 && r % 96 < 70) ? 0.3 : 0;
            reactive += 0.2, returned += 0.01;
            char values[160];
            std::snprintf(values, sizeof values, "[%.2f,%.2f,%.2f,%.2f,%.1f]", imported, exported,
                          reactive, returned, 230.0 + (r % 7) * 0.1);
            batch.rows.push_back(
                {time_text(t, false), r + 1, "periodic", values, time_text(t, true)});
            if (batch.rows.size() == 4096 || r + 1 == RECORDS) {
                store->save_datalog(batch);
                batch.rows.clear();
            }
        }
    }
    return kbench::seconds_since(start);
}

// Seconds of the tool's run with `args`, its output discarded; the median of `runs`.
double tool_seconds(const std::string& args, int runs = 1) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const auto start = kbench::Clock::now();
        const std::string command = std::string(KOLVANE_TOOL) + " " + args + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: kolvane " + args);
        seconds.push_back(kbench::seconds_since(start));
    }
    return kbench::median(seconds);
}

void measure(const char* engine, const std::string& target, int meters, const std::string& dir) {
    const double written = write_site(target, meters);
    const std::string db = "--db '" + target + "'";
    const std::string one = std::to_string(FIRST_SERIAL + meters / 2);
    std::printf("%s: %d meters x %d records written in %.1f s\n", engine, meters, RECORDS, written);
    std::printf("  energy, one meter, November          %8.3f s (target: under 0.100 s)\n",
                tool_seconds(
                    "energy " + db + " --serial " + one + " --from 2026-11-01 --to 2026-11-30", 5));
    std::printf("  energy, one meter, the year by month %8.3f s\n",
                tool_seconds("energy " + db + " --serial " + one + " --by month"));
    std::printf("  energy, every meter, the year by month %6.3f s\n",
                tool_seconds("energy " + db + " --by month"));
    std::printf(
        "  report, one meter, the year          %8.3f s\n",
        tool_seconds("report " + db + " --serial " + one + " -o " + dir + "/" + engine + ".html"));
}

}  // namespace

int main() try {
    const char* count = std::getenv("KOLVANE_BENCH_METERS");
    const int meters = count ? std::atoi(count) : 100;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    char dir_template[] = "/tmp/kolvane_bench_energy_XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    measure("SQLite", dir + "/site.db", meters, dir);
    {
        const ktest::PostgresServer server;
        measure("PostgreSQL", server.uri(), meters, dir);
    }
    std::filesystem::remove_all(dir);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_energy: %s\n", e.what());
    return 1;
}
