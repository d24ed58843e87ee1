// SPDX-License-Identifier: MIT
// A running `kolvane exporter` on a kernel-chosen loopback port, its HTTP client, and the
// samples of an exposition-format answer read back.
#pragma once

#include "support/process.hpp"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace exporter_test {

class Exporter {
public:
    // `kolvane exporter --listen 127.0.0.1:0` with `args`.
    explicit Exporter(const std::vector<std::string>& args);
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // GET `path`; throws when no answer came.
    httplib::Response get(const std::string& path, const httplib::Headers& headers = {}) const;
    // Its resident memory in kB (VmRSS).
    long resident_kb() const;
    // The CPU time it has used so far, user and kernel, in seconds.
    double cpu_seconds() const;
    // Stops it with SIGTERM: its exit status and what it wrote.
    cli_test::Outcome stop();

private:
    cli_test::Process process_;
    int port_ = 0;
};

// A hosts file in a fresh directory holding `lines`.
std::string hosts_file(const std::vector<std::string>& lines);

struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;  // values unescaped
    double value = 0;
};

// The samples of an exposition text (comment lines skipped).
std::vector<Sample> parse_samples(const std::string& text);

// The one sample of `name` whose labels include `labels`; nullopt when there is none.
std::optional<Sample> find_sample(const std::vector<Sample>& samples, const std::string& name,
                                  const std::map<std::string, std::string>& labels = {});

// Runs `promtool check metrics` on `text`: its exit status and output.
cli_test::Outcome promtool_check(const std::string& text);

// The README's Prometheus configuration, the exporter at `exporter_address`.
std::string readme_scrape_config(const std::string& exporter_address);

// A meter for Prometheus to scrape: HOST:PORT, and the unit behind it when it names one.
struct ScrapeTarget {
    std::string address;
    std::optional<int> unit;
};

// A real Prometheus server (Debian's prometheus) on a free loopback port that scrapes `targets`
// every second through the exporter at `exporter_address`, with the README's scrape
// configuration (its targets replaced, its model parameter left out).
class Prometheus {
public:
    // `job_extra`: YAML lines added to the job, such as its scheme, tls_config and basic_auth.
    Prometheus(const std::vector<ScrapeTarget>& targets, const std::string& exporter_address,
               const std::string& job_extra = "");
    Prometheus(const std::vector<std::string>& targets, const std::string& exporter_address,
               const std::string& job_extra = "");

    struct Answer {
        bool answered = false;  // false while the server is not listening yet
        std::string error;      // Prometheus's own message for a query it refused
        nlohmann::json series = nlohmann::json::array();
    };
    // The series of an instant query of `promql`.
    Answer query(const std::string& promql) const;
    // Calls `ready` every half second until it returns true, for at most 60 s: a server starts
    // and takes its samples within seconds, so false means it never will.
    static bool wait_until(const std::function<bool()>& ready);
    // Stops the server: what it wrote to standard error, to explain a failure.
    std::string stop();

private:
    int port_ = 0;
    cli_test::Process process_;
};

}  // namespace exporter_test
