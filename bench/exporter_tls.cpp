// SPDX-License-Identifier: MIT
// The exporter over HTTPS with basic auth against plain HTTP: probes per second with 4
// concurrent scrapers of 4 simulated em235 meters, through two exporters run side by side, one
// plain, one given a web configuration file (a self-signed certificate made by openssl, one user
// with a bcrypt hash of cost 10). The password is verified once and then remembered, and each
// scraper keeps its connection, as Prometheus does, so what remains is TLS's encryption: one
// handshake per scraper, not per probe. Passes alternate, so drift in the machine's load hits
// both alike. The scrapers' own TLS runs on the same cores, so the exporter's CPU time per probe
// is printed too: what TLS costs the exporter alone.
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "simulator.hpp"
#include "support/exporter_process.hpp"
#include "support/measure.hpp"

namespace {

constexpr int METERS = 4;
constexpr int SCRAPERS = 4;
constexpr int ROUNDS = 5;
constexpr double SECONDS_PER_RUN = 1.0;
// bcrypt (cost 10) of "secret".
constexpr const char* SECRET_HASH = "$2b$10$K8/.k5JcvQ0UU63hBbNcVOawhBLSAf1JajLC50LYwEcP3qsicA23O";

// A certificate for 127.0.0.1 and a web configuration naming it and user prom in `dir`.
std::string web_config(const std::string& dir) {
    const std::string made =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
        "-nodes -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 "
        "-days 2 -keyout " +
        dir + "/key.pem -out " + dir + "/cert.pem 2>/dev/null";
    if (std::system(made.c_str()) != 0) throw std::runtime_error("openssl failed");
    std::ofstream(dir + "/web.yml")
        << "tls_server_config:\n  cert_file: cert.pem\n"
        << "  key_file: key.pem\nbasic_auth_users:\n  prom: " << SECRET_HASH << "\n";
    return dir + "/web.yml";
}

// The probes the exporter answered, from its own counter.
template <class Client>
double probes_answered(Client& client) {
    const auto answer = client.Get("/metrics");
    const std::string name = "\nkolvane_exporter_probes_total ";
    const std::size_t at = answer ? answer->body.find(name) : std::string::npos;
    if (at == std::string::npos) throw std::runtime_error("no probe count on /metrics");
    return std::stod(answer->body.substr(at + name.size()));
}

// Microseconds of the exporter's CPU time per probe, once it has stopped.
double cpu_us_per_probe(kbench::ExporterProcess& exporter, double probes) {
    const kbench::CpuTime used = exporter.stop();
    return (used.user + used.system) / probes * 1e6;
}

}  // namespace

int main() try {
    const kbench::Em235Meters served(METERS);
    const std::vector<int>& meters = served.ports;
    char dir_template[] = "/tmp/kolvane_bench_tls_XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    const std::string cert = dir + "/cert.pem";
    kbench::ExporterProcess plain, secured({"--web.config.file", web_config(dir)});

    const auto plain_client = [&] {
        return std::make_unique<httplib::Client>("127.0.0.1", plain.port());
    };
    const auto secured_client = [&] {
        auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", secured.port());
        client->set_ca_cert_path(cert.c_str());
        client->enable_server_certificate_verification(true);
        client->set_basic_auth("prom", "secret");
        return client;
    };
    std::vector<double> http, https;
    for (int r = 0; r < ROUNDS; ++r) {
        http.push_back(kbench::probes_per_second(meters, SCRAPERS, SECONDS_PER_RUN, plain_client));
        https.push_back(
            kbench::probes_per_second(meters, SCRAPERS, SECONDS_PER_RUN, secured_client));
    }
    const double h = kbench::median(http), s = kbench::median(https);
    const double plain_probes = probes_answered(*plain_client());
    const double secured_probes = probes_answered(*secured_client());
    const double plain_cpu = cpu_us_per_probe(plain, plain_probes);
    const double secured_cpu = cpu_us_per_probe(secured, secured_probes);
    std::printf(
        "probes per second, %d scrapers, %d em235 meters (median of %d alternating runs of %.0f "
        "s):\n"
        "  plain HTTP %8.0f\n  HTTPS + basic auth %8.0f  = %.2fx plain (target: within 10 %%, "
        "0.90x or more)\n"
        "exporter CPU time per probe (scrapers' TLS not counted):\n"
        "  plain HTTP %8.0f us\n  HTTPS + basic auth %8.0f us = %.2fx plain\n",
        SCRAPERS, METERS, ROUNDS, SECONDS_PER_RUN, h, s, s / h, plain_cpu, secured_cpu,
        secured_cpu / plain_cpu);
    std::filesystem::remove_all(dir);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_exporter_tls: %s\n", e.what());
    return 1;
}
