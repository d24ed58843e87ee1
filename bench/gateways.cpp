// SPDX-License-Identifier: MIT
// kolvane collect over 8 simulated gateways of 4 meters each, every reply 20 ms late (an RS-485
// bus behind each gateway): the wall time of the whole site with --jobs 8 against one gateway's
// meters read one after another. Gateways in parallel and nothing else waiting make the two
// about equal. Prints figures; nothing passes or fails.
#include "support/measure.hpp"

#include "simulator.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int GATEWAYS = 8;
constexpr int METERS_PER_GATEWAY = 4;
constexpr int RECORDS = 96;  // a day of quarter hours in each data log
constexpr int EVENTS = 50;
constexpr auto LATENCY = std::chrono::milliseconds(20);

std::unique_ptr<ksim::Simulator> gateway(int number) {
    auto sim = std::make_unique<ksim::Simulator>(ksim::Model::em133);
    for (int unit = 1; unit <= METERS_PER_GATEWAY; ++unit) {
        ksim::Meter meter =
            ksim::default_meter(ksim::Model::em133, RECORDS, std::time(nullptr), EVENTS);
        meter.identity->serial = static_cast<std::uint32_t>(100000 * number + unit);
        sim->add_unit(static_cast<std::uint8_t>(unit), meter);
    }
    sim->set_journal_enabled(false);
    sim->set_latency(LATENCY);
    sim->start();
    return sim;
}

// Collects the meters of `gateways` into a fresh database; returns the wall time.
double collect(const std::vector<std::unique_ptr<ksim::Simulator>>& gateways, std::size_t count,
               const std::filesystem::path& dir, const std::string& name) {
    const std::filesystem::path hosts = dir / (name + ".txt");
    {
        std::ofstream file(hosts);
        for (std::size_t g = 0; g < count; ++g)
            for (int unit = 1; unit <= METERS_PER_GATEWAY; ++unit)
                file << "127.0.0.1:" << gateways[g]->port() << " em133 unit=" << unit << "\n";
    }
    const std::string command = std::string(KOLVANE_TOOL) + " collect --hosts " + hosts.string() +
                                " --jobs 8 --db " + (dir / (name + ".db")).string() +
                                " >/dev/null 2>&1";
    const auto start = kbench::Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = kbench::seconds_since(start);
    if (status != 0) std::printf("  (the %s run failed)\n", name.c_str());
    return seconds;
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kolvane-bench-gateways-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::unique_ptr<ksim::Simulator>> gateways;
    for (int g = 1; g <= GATEWAYS; ++g) gateways.push_back(gateway(g));

    const double one = collect(gateways, 1, dir, "one");
    const double all = collect(gateways, gateways.size(), dir, "all");
    std::printf("%d gateways x %d meters, %lld ms per reply, --jobs 8:\n", GATEWAYS,
                METERS_PER_GATEWAY, static_cast<long long>(LATENCY.count()));
    std::printf("  one gateway's meters in turn %8.2f s\n", one);
    std::printf("  the whole site               %8.2f s  (%.2fx)\n", all, all / one);
    std::filesystem::remove_all(dir);
    return 0;
}
