// SPDX-License-Identifier: MIT
// The web configuration file Prometheus's exporters share: TLS with the exporter's certificate and
// basic auth users with bcrypt hashes, proven with curl and with a real Prometheus scraping over
// HTTPS with a password; the users and the TLS settings read again when their files change;
// settings kolvane does not implement refused at start.
#include "exporter_process.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;

// bcrypt (cost 10) of "secret".
constexpr const char* SECRET_HASH = "$2b$10$K8/.k5JcvQ0UU63hBbNcVOawhBLSAf1JajLC50LYwEcP3qsicA23O";

// A directory with a self-signed certificate for 127.0.0.1 (cert.pem, key.pem) made by openssl.
std::string certificate_dir(const std::string& name = "web_config") {
    const std::string dir = cli_test::fresh_dir(name);
    const cli_test::Outcome made =
        cli_test::Process({OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                           "ec_paramgen_curve:prime256v1", "-nodes", "-subj", "/CN=127.0.0.1",
                           "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout",
                           dir + "/key.pem", "-out", dir + "/cert.pem"})
            .finish();
    if (made.exit_status != 0) throw std::runtime_error("openssl: " + made.err);
    return dir;
}

// A web configuration with TLS (paths relative to it, `tls` added to its settings) and `users`.
std::string write_config(const std::string& dir, const std::string& users,
                         const std::string& tls = "") {
    const std::string path = dir + "/web.yml";
    std::ofstream(path) << "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
                        << tls << "basic_auth_users:\n"
                        << users;
    return path;
}

// What curl got for `url` trusting the certificate `ca`, with `user` ("name:password", or none)
// and `extra` arguments: the body, or with `status_only` the status ("000" when none).
std::string curl(const std::string& url, const std::string& ca, const std::string& user,
                 const std::vector<std::string>& extra = {}, bool status_only = true) {
    std::vector<std::string> argv{CURL, "-s", "--max-time", "20", "--cacert", ca, url};
    if (status_only) argv.insert(argv.end(), {"-o", "/dev/null", "-w", "%{http_code}"});
    if (!user.empty()) argv.insert(argv.end(), {"-u", user});
    argv.insert(argv.end(), extra.begin(), extra.end());
    return cli_test::Process(argv).finish().out;
}

std::string status_of(const std::string& url, const std::string& dir, const std::string& user) {
    return curl(url, dir + "/cert.pem", user);
}

TEST(WebConfig, TlsAndBasicAuthWithUsersReadAgainWhenTheFileChanges) {
    const std::string dir = certificate_dir();
    const std::string config = write_config(dir, std::string("  prom: ") + SECRET_HASH + "\n");
    Exporter exporter({"--allow-any-target", "--web.config.file", config});
    const std::string https = "https://" + exporter.address();
    const struct {
        std::string url, user, status;
    } cases[] = {
        {https + "/metrics", "prom:secret", "200"},
        {https + "/-/healthy", "prom:secret", "200"},
        {https + "/metrics", "prom:wrong", "401"},
        {https + "/metrics", "nobody:secret", "401"},
        {https + "/metrics", "", "401"},
        {"http://" + exporter.address() + "/metrics", "prom:secret",
         "000"},  // plaintext: no answer
    };
    for (const auto& c : cases)
        EXPECT_EQ(status_of(c.url, dir, c.user), c.status) << c.url << c.user;

    // The user renamed in the file: the old name is refused from the next request on.
    std::this_thread::sleep_for(20ms);  // a change the file's time can tell
    write_config(dir, std::string("  scraper: ") + SECRET_HASH + "\n");
    EXPECT_EQ(status_of(https + "/metrics", dir, "prom:secret"), "401");
    EXPECT_EQ(status_of(https + "/metrics", dir, "scraper:secret"), "200");
}

// The certificate, key and TLS versions changed under a running exporter: new connections get
// them within seconds, a probe in flight meanwhile gets its answer, and a key that does not
// belong to its certificate leaves the settings before in place.
TEST(WebConfig, TlsSettingsReadAgainWhenTheirFilesChange) {
    namespace fs = std::filesystem;
    ksim::Simulator meter(ksim::default_meter(ksim::Model::em133));
    meter.set_latency(100ms);  // a probe takes seconds
    const std::string probe =
        "/probe?target=127.0.0.1:" + std::to_string(meter.start()) + "&model=em133";
    const std::string dir = certificate_dir(), next = certificate_dir("web_config_next");
    const std::string users = std::string("  prom: ") + SECRET_HASH + "\n";
    const std::string config = write_config(dir, users);
    const std::string first = dir + "/first.pem", second = next + "/cert.pem";
    fs::copy_file(dir + "/cert.pem", first);
    fs::copy_file(dir + "/key.pem", dir + "/first-key.pem");
    Exporter exporter({"--allow-any-target", "--web.config.file", config});
    const std::string https = "https://" + exporter.address();
    const auto status = [&](const std::string& ca, const std::vector<std::string>& extra = {}) {
        return curl(https + "/-/healthy", ca, "prom:secret", extra);
    };
    ASSERT_EQ(status(first), "200");

    auto in_flight = std::async(
        std::launch::async, [&] { return curl(https + probe, first, "prom:secret", {}, false); });
    ASSERT_TRUE(meter.wait_for_requests(1));
    fs::copy_file(next + "/key.pem", dir + "/key.pem", fs::copy_options::overwrite_existing);
    fs::copy_file(next + "/cert.pem", dir + "/cert.pem", fs::copy_options::overwrite_existing);
    EXPECT_TRUE(Prometheus::wait_until([&] { return status(second) == "200"; }));
    EXPECT_EQ(status(first), "000");
    EXPECT_NE(in_flight.get().find("\nkolvane_up 1\n"), std::string::npos);

    // TLS 1.3 at least: a client that stops at 1.2 no longer gets in.
    const std::vector<std::string> tls12{"--tls-max", "1.2"};
    EXPECT_EQ(status(second, tls12), "200");
    write_config(dir, users, "  min_version: TLS13\n");
    EXPECT_TRUE(Prometheus::wait_until([&] { return status(second, tls12) == "000"; }));
    EXPECT_EQ(status(second), "200");

    fs::copy_file(dir + "/first-key.pem", dir + "/key.pem", fs::copy_options::overwrite_existing);
    std::this_thread::sleep_for(2500ms);  // two looks at the file
    EXPECT_EQ(status(second), "200");
    EXPECT_NE(exporter.stop().err.find("cert_file and key_file: The certificate and the given key "
                                       "do not match.: the settings read before stay"),
              std::string::npos);
}

TEST(WebConfig, PrometheusScrapesOverHttpsWithItsPasswordAndNotWithAWrongOne) {
    ksim::Simulator meter(ksim::default_meter(ksim::Model::em133));
    const std::string target = "127.0.0.1:" + std::to_string(meter.start());
    const std::string dir = certificate_dir();
    const std::string config = write_config(dir, std::string("  prom: ") + SECRET_HASH + "\n");
    Exporter exporter({"--hosts", hosts_file({target + " em133"}), "--web.config.file", config});
    for (const auto& [password, up] : {std::pair{"secret", "1"}, std::pair{"wrong", "0"}}) {
        Prometheus prometheus({target}, exporter.address(),
                              "    scheme: https\n    tls_config:\n      ca_file: " + dir +
                                  "/cert.pem\n    basic_auth:\n      username: prom\n"
                                  "      password: " +
                                  password + "\n");
        std::string seen;
        EXPECT_TRUE(Prometheus::wait_until([&] {
            const Prometheus::Answer answer = prometheus.query("up{job=\"kolvane\"}");
            if (answer.series.empty()) return false;
            seen = answer.series[0]["value"][1].get<std::string>();
            return true;
        })) << password;
        EXPECT_EQ(seen, up) << password << prometheus.stop();
    }
}

TEST(WebConfig, SettingsItCannotHonourStopItAtStart) {
    const std::string dir = certificate_dir();
    const struct {
        std::string text, message;
    } cases[] = {
        {"tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n  cipher_suites: [x]\n",
         "tls_server_config.cipher_suites is not supported"},
        {"tls_server_config:\n  cert_file: cert.pem\n", "needs cert_file and key_file"},
        {"tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n  min_version: SSL3\n",
         "min_version must be TLS10, TLS11, TLS12 or TLS13"},
        {"basic_auth_users:\n  prom: secret\n", "basic_auth_users.prom is no bcrypt hash"},
        {"http_server_config:\n  http2: true\n", "http_server_config is not supported"},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/bad.yml";
        std::ofstream(path) << c.text;
        const cli_test::Outcome outcome =
            cli_test::run_tool({"exporter", "--allow-any-target", "--listen", "127.0.0.1:0",
                                "--web.config.file", path});
        EXPECT_EQ(outcome.exit_status, 1) << c.text;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

}  // namespace
}  // namespace exporter_test
