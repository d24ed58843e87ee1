// SPDX-License-Identifier: MIT
// collect under this host's zone, which a meter's clock falls back to without --tz or tz=.
#include "served_meter.hpp"

#include "support/process.hpp"
#include "support/scoped_tz.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace cli_test {
namespace {

// A zone the zone database does not hold (a POSIX rule in TZ, a name it lacks) is a usage error
// before anything is stored, where a meter would fall back to it; a meter whose zone is given
// never uses it. Before, every such meter failed and the zone was stored as its own.
TEST(HostZone, AnUnloadableZoneIsRefusedWhereAMeterFallsBackToIt) {
    ServedMeter meter(ksim::Model::em133, 20);
    const std::string address = "127.0.0.1:" + meter.port();
    const std::string posix = "CET-1CEST,M3.5.0,M10.5.0/3";
    const struct {
        std::string tz;
        std::vector<std::string> options;
        std::optional<std::string> line;  // the meter's hosts file line; none: on the command line
        std::string stored;               // the meter's zone; empty: refused
    } cases[] = {
        {posix, {}, std::nullopt, ""},
        {posix, {}, address + " em133", ""},
        {"Nowhere/Atlantis", {}, std::nullopt, ""},
        {posix, {"--tz", "Europe/Berlin"}, std::nullopt, "Europe/Berlin"},
        {posix, {}, address + " em133 tz=UTC", "UTC"},
        {"Europe/Vienna", {}, std::nullopt, "Europe/Vienna"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz + " " + c.line.value_or("") + testing::PrintToString(c.options));
        const std::string dir = fresh_dir("host_zone");
        const std::string db = dir + "/site.db";
        std::vector<std::string> args{"collect", "--db", db};
        if (c.line) {
            std::ofstream(dir + "/meters.txt") << *c.line << "\n";
            args.insert(args.end(), {"--hosts", dir + "/meters.txt"});
        } else {
            args.insert(args.end(), {address, "-m", "em133"});
        }
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ktest::ScopedTz zone(c.tz.c_str());
        const Outcome r = run_tool(args);
        if (c.stored.empty()) {
            EXPECT_EQ(r.exit_status, 2);
            EXPECT_EQ(r.err, "kolvane: this host's zone '" + c.tz +
                                 "' (TZ) is not in the zone database: give the meters' zone with "
                                 "--tz or a hosts file line's tz=, an IANA name such as "
                                 "Europe/Berlin, or UTC\n");
            EXPECT_EQ(r.out, "");
            EXPECT_FALSE(std::filesystem::exists(db));
            continue;
        }
        EXPECT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(collect_test::open_sqlite(db)->rows("SELECT clock_zone FROM meters"),
                  (std::vector<std::vector<std::string>>{{c.stored}}));
    }
}

}  // namespace
}  // namespace cli_test
