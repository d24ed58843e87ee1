// SPDX-License-Identifier: MIT
// What the exporter refuses: targets outside the hosts file (without any traffic to them), bad
// parameters, probes over the concurrency bound, and command lines it cannot serve.
#include "exporter_process.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <csignal>

#include <chrono>
#include <future>

namespace exporter_test {
namespace {

class Refusals : public ::testing::Test {
protected:
    void SetUp() override {
        listed_port_ = listed_.start();
        unlisted_port_ = unlisted_.start();
    }
    std::string listed() const { return "127.0.0.1:" + std::to_string(listed_port_); }
    std::string unlisted() const { return "127.0.0.1:" + std::to_string(unlisted_port_); }

    ksim::Simulator listed_{ksim::default_meter(ksim::Model::em133)};
    ksim::Simulator unlisted_{ksim::default_meter(ksim::Model::em133)};
    int listed_port_ = 0, unlisted_port_ = 0;
};

TEST_F(Refusals, BadParametersGet400WithAOneLineReasonAndNoTraffic) {
    Exporter exporter({"--hosts", hosts_file({listed() + " em133"}), "--allow-any-target"});
    const std::string t = "/probe?target=" + listed();
    const std::string bad_target =
        "target must be HOST[:PORT] or [IPV6][:PORT] with a port of 1-65535";
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {"/probe", "target is required"},
        {"/probe?target=", bad_target},
        {"/probe?target=a%20b", bad_target},
        {"/probe?target=127.0.0.1:0", bad_target},
        {"/probe?target=127.0.0.1:70000", bad_target},
        {"/probe?target=127.0.0.1:12x", bad_target},
        {"/probe?target=::1", bad_target},  // a port could not be told from the address
        {"/probe?target=[::1", bad_target},
        {"/probe?target=[::1]:0", bad_target},
        {"/probe?target=[::g]:502", bad_target},
        {"/probe?target=[127.0.0.1]:502", bad_target},
        {"/probe?target=[localhost]", bad_target},
        {t + "&target=" + unlisted(), "target must be given once"},
        {t + "&unit=256", "unit must be 0-255"},
        {t + "&unit=-1", "unit must be 0-255"},
        {t + "&unit=1x", "unit must be 0-255"},
        {t + "&unit=", "unit must be 0-255"},
        {t + "&model=em999", "model must be em133 or em235"},
        {t + "&model=em235", "model em235 contradicts the hosts file's em133 for " + listed()},
        {"/probe?target=" + unlisted(),
         "model is required for " + unlisted() + ": name it in the hosts file or as model="},
        {"/probe?target=" + unlisted() + "&model=", "model must be em133 or em235"},
    };
    for (const auto& c : cases) {
        const httplib::Response response = exporter.get(c.path);
        EXPECT_EQ(response.status, 400) << c.path;
        EXPECT_EQ(response.body, c.reason + "\n") << c.path;
    }
    const httplib::Response bad_header =
        exporter.get(t, {{"X-Prometheus-Scrape-Timeout-Seconds", "soon"}});
    EXPECT_EQ(bad_header.status, 400);
    EXPECT_EQ(bad_header.body,
              "X-Prometheus-Scrape-Timeout-Seconds must be a positive number of seconds\n");
    EXPECT_EQ(listed_.connections_accepted(), 0u);
    EXPECT_EQ(unlisted_.connections_accepted(), 0u);

    // The model may come from the parameter instead of the hosts file.
    EXPECT_EQ(exporter.get("/probe?target=" + unlisted() + "&model=EM133").status, 200);
    EXPECT_EQ(exporter.get(t + "&model=em133&unit=1&other=ignored").status, 200);
}

TEST_F(Refusals, UnlistedTargetsGet403WithoutTrafficUnlessAnyTargetIsAllowed) {
    const std::string hosts =
        hosts_file({"# the one meter we may read, of the model -m names", listed()});
    {
        Exporter exporter({"--hosts", hosts, "-m", "em133"});
        for (const std::string& target : {unlisted(), std::string("127.0.0.1"),
                                          std::string("localhost:") + std::to_string(listed_port_),
                                          std::string("[::1]:") + std::to_string(listed_port_)}) {
            const httplib::Response response =
                exporter.get("/probe?target=" + target + "&model=em133");
            EXPECT_EQ(response.status, 403) << target;
            EXPECT_EQ(response.body.find('\n'), response.body.size() - 1) << response.body;
        }
        EXPECT_EQ(exporter.get("/probe?target=" + listed()).status, 200);
        // A line without unit= lists every unit of its HOST:PORT.
        EXPECT_EQ(exporter.get("/probe?target=" + listed() + "&unit=7").status, 200);
        const auto refused =
            find_sample(parse_samples(exporter.get("/metrics").body),
                        "kolvane_exporter_probes_refused_total", {{"code", "403"}});
        EXPECT_EQ(refused->value, 4);
    }
    EXPECT_EQ(unlisted_.connections_accepted(), 0u);

    Exporter open({"--hosts", hosts, "-m", "em133", "--allow-any-target"});
    const httplib::Response response = open.get("/probe?target=" + unlisted() + "&model=em133");
    ASSERT_EQ(response.status, 200);
    EXPECT_EQ(find_sample(parse_samples(response.body), "kolvane_up")->value, 1);
    EXPECT_GT(unlisted_.connections_accepted(), 0u);
}

// A probe needs its gateway's turn, then one of the probe slots: over the bound of slots it waits
// briefly and gets 503; a probe waiting for a busy gateway holds no slot, so a meter elsewhere
// is probed meanwhile.
TEST_F(Refusals, ProbesOverTheBoundWaitBrieflyThenGet503) {
    listed_.add_fault(ksim::Fault::delay(std::chrono::milliseconds(3000)).nth(1));
    Exporter exporter({"--hosts", hosts_file({listed() + " em133", unlisted() + " em133"}),
                       "--max-concurrent", "1"});
    auto slow =
        std::async(std::launch::async, [&] { return exporter.get("/probe?target=" + listed()); });
    ASSERT_TRUE(listed_.wait_for_requests(1));  // the first probe holds the only slot

    const auto start = std::chrono::steady_clock::now();
    const httplib::Response busy = exporter.get("/probe?target=" + unlisted());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.body, "Too many probes at once (1); try again\n");
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
    // The exporter's own pages are served meanwhile.
    const auto own = parse_samples(exporter.get("/metrics").body);
    EXPECT_EQ(find_sample(own, "kolvane_exporter_probes_in_flight")->value, 1);
    EXPECT_EQ(find_sample(own, "kolvane_exporter_probes_refused_total", {{"code", "503"}})->value,
              1);

    EXPECT_EQ(slow.get().status, 200);
    EXPECT_EQ(exporter.get("/probe?target=" + listed()).status, 200);  // the slot is free again
}

TEST_F(Refusals, ProbesWaitingForABusyGatewayLeaveTheSlotsToOtherMeters) {
    listed_.set_latency(std::chrono::milliseconds(300));
    Exporter exporter({"--hosts", hosts_file({listed() + " em133", unlisted() + " em133"}),
                       "--max-concurrent", "2"});
    std::vector<std::future<httplib::Response>> queued;
    for (int i = 0; i < 6; ++i)
        queued.push_back(std::async(std::launch::async,
                                    [&] { return exporter.get("/probe?target=" + listed()); }));
    ASSERT_TRUE(listed_.wait_for_requests(1));
    EXPECT_EQ(exporter.get("/probe?target=" + unlisted()).status, 200);
    for (auto& probe : queued) probe.get();
}

TEST(CommandLine, RefusesWhatItCannotServe) {
    const struct {
        std::vector<std::string> args;
        int exit_status;
        std::string message;
    } cases[] = {
        {{"exporter"}, 2, "--hosts FILE or --allow-any-target is required"},
        {{"exporter", "--allow-any-target", "--listen", "nonsense"}, 2, "expected ADDR:PORT"},
        {{"exporter", "--allow-any-target", "--max-concurrent", "0"}, 2, "--max-concurrent"},
        {{"exporter", "--allow-any-target", "--max-probe-time", "301"}, 2, "--max-probe-time"},
        {{"exporter", "--hosts", "/nonexistent/meters.txt"}, 1, "/nonexistent/meters.txt"},
        {{"exporter", "--hosts", hosts_file({"127.0.0.1 em999"})}, 2, "em999"},
        {{"exporter", "--hosts", hosts_file({"127.0.0.1"})}, 2, "no MODEL"},
        {{"exporter", "--allow-any-target", "-m", "em133"}, 2, "--hosts"},
    };
    for (const auto& c : cases) {
        const cli_test::Outcome outcome = cli_test::run_tool(c.args);
        EXPECT_EQ(outcome.exit_status, c.exit_status) << c.args.back() << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

// A second exporter on a port in use fails; one started again right after answers, its last
// connections in TIME-WAIT, listens at once (under systemd's Restart= it must).
TEST(CommandLine, AnAddressInUseFailsWithAMessageAndARestartListensAtOnce) {
    Exporter first({"--allow-any-target"});
    const cli_test::Outcome second =
        cli_test::run_tool({"exporter", "--allow-any-target", "--listen", first.address()});
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, "kolvane: Cannot listen on " + first.address() + "\n");

    EXPECT_EQ(first.get("/metrics").status, 200);
    const std::string address = first.address();
    EXPECT_EQ(first.stop().exit_status, 0);
    cli_test::Process again({KOLVANE_TOOL, "exporter", "--allow-any-target", "--listen", address});
    EXPECT_EQ(again.read_out_line(), "kolvane exporter listening on " + address);
    again.signal(SIGTERM);
    EXPECT_EQ(again.finish().exit_status, 0);
}

}  // namespace
}  // namespace exporter_test
