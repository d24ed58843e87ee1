// SPDX-License-Identifier: MIT
#include "exporter_process.hpp"

#include "support/readme.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace exporter_test {

Exporter::Exporter(const std::vector<std::string>& args)
    : process_([&args] {
          std::vector<std::string> argv{KOLVANE_TOOL, "exporter", "--listen", "127.0.0.1:0"};
          argv.insert(argv.end(), args.begin(), args.end());
          return argv;
      }()) {
    // "kolvane exporter listening on 127.0.0.1:40123"
    const std::string first = process_.read_out_line();
    const std::string prefix = "kolvane exporter listening on 127.0.0.1:";
    if (first.starts_with(prefix)) port_ = std::stoi(first.substr(prefix.size()));
    if (port_ == 0)
        throw std::runtime_error("the exporter did not start: " + process_.finish().err);
}

httplib::Response Exporter::get(const std::string& path, const httplib::Headers& headers) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    const httplib::Result result = client.Get(path.c_str(), headers);
    if (!result)
        throw std::runtime_error("no answer to GET " + path + ": " +
                                 httplib::to_string(result.error()));
    return *result;
}

long Exporter::resident_kb() const {
    std::ifstream status("/proc/" + std::to_string(process_.pid()) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    throw std::runtime_error("no VmRSS for the exporter");
}

double Exporter::cpu_seconds() const {
    std::ifstream stat("/proc/" + std::to_string(process_.pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // After the command name in parentheses: state is field 3, utime 14 and stime 15.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> field((std::istream_iterator<std::string>(fields)),
                                   std::istream_iterator<std::string>());
    if (field.size() < 13) throw std::runtime_error("no CPU times for the exporter");
    return double(std::stol(field[11]) + std::stol(field[12])) / double(sysconf(_SC_CLK_TCK));
}

cli_test::Outcome Exporter::stop() {
    process_.signal(SIGTERM);
    return process_.finish();
}

std::string hosts_file(const std::vector<std::string>& lines) {
    static int count = 0;
    const std::string path = cli_test::fresh_dir("hosts" + std::to_string(++count)) + "/meters.txt";
    std::ofstream file(path);
    for (const std::string& line : lines) file << line << "\n";
    return path;
}

std::vector<Sample> parse_samples(const std::string& text) {
    std::vector<Sample> samples;
    for (const std::string& line : cli_test::lines_of(text)) {
        if (line.empty() || line[0] == '#') continue;
        Sample sample;
        std::size_t i = line.find_first_of("{ ");
        sample.name = line.substr(0, i);
        if (line[i] == '{') {
            ++i;
            while (line[i] != '}') {
                const std::size_t equals = line.find('=', i);
                const std::string key = line.substr(i, equals - i);
                std::string value;
                for (i = equals + 2; line[i] != '"'; ++i) {
                    if (line[i] == '\\')
                        value += line[++i] == 'n' ? '\n' : line[i];
                    else
                        value += line[i];
                }
                sample.labels[key] = value;
                i += line[i + 1] == ',' ? 2 : 1;
            }
            ++i;
        }
        sample.value = std::stod(line.substr(i + 1));
        samples.push_back(sample);
    }
    return samples;
}

std::optional<Sample> find_sample(const std::vector<Sample>& samples, const std::string& name,
                                  const std::map<std::string, std::string>& labels) {
    std::optional<Sample> found;
    for (const Sample& sample : samples) {
        if (sample.name != name) continue;
        bool match = true;
        for (const auto& [key, value] : labels) {
            const auto it = sample.labels.find(key);
            match = match && it != sample.labels.end() && it->second == value;
        }
        if (!match) continue;
        if (found) throw std::runtime_error("more than one sample of " + name);
        found = sample;
    }
    return found;
}

cli_test::Outcome promtool_check(const std::string& text) {
    const std::string path = cli_test::fresh_dir("promtool") + "/metrics.txt";
    std::ofstream(path) << text;
    // promtool reads the metrics on standard input.
    return cli_test::Process(
               {"/bin/sh", "-c", std::string(PROMTOOL) + " check metrics < '" + path + "'"})
        .finish();
}

std::string readme_scrape_config(const std::string& exporter_address) {
    const std::string readme_exporter = "replacement: 127.0.0.1:9735\n";
    std::string config = ktest::readme_block("## Live values for Prometheus", "yaml");
    const std::size_t at = config.find(readme_exporter);
    if (at == std::string::npos)
        throw std::runtime_error("the README's configuration names no exporter at 127.0.0.1:9735");
    return config.replace(at, readme_exporter.size(), "replacement: " + exporter_address + "\n");
}

namespace {

// The job's static_configs: a group per target, a unit as the label __param_unit.
std::string static_configs(const std::vector<ScrapeTarget>& targets) {
    std::string groups = "    static_configs:\n";
    for (const ScrapeTarget& target : targets) {
        groups += "      - targets: ['" + target.address + "']\n";
        if (target.unit)
            groups += "        labels: {__param_unit: '" + std::to_string(*target.unit) + "'}\n";
    }
    return groups;
}

// The README's configuration scraping every second, its job's `params` and `static_configs`
// replaced by the test's targets (the hosts files name the models).
std::string prometheus_config(const std::vector<ScrapeTarget>& targets,
                              const std::string& exporter_address, const std::string& job_extra) {
    std::string config = "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n";
    bool replaced = false;
    for (const std::string& line : cli_test::lines_of(readme_scrape_config(exporter_address))) {
        if (line.starts_with("    ") && line[4] != ' ') {  // a key of the job
            replaced = line == "    params:" || line == "    static_configs:";
            if (line == "    static_configs:") config += static_configs(targets);
        }
        if (!replaced) config += line + "\n";
    }
    return config + job_extra;  // the job is the configuration's last
}

// Prometheus's command line, its configuration written to a fresh directory.
std::vector<std::string> prometheus_argv(const std::vector<ScrapeTarget>& targets,
                                         const std::string& exporter_address, int port,
                                         const std::string& job_extra) {
    static int count = 0;
    const std::string dir = cli_test::fresh_dir("prometheus" + std::to_string(++count));
    std::ofstream(dir + "/prometheus.yml")
        << prometheus_config(targets, exporter_address, job_extra);
    return {PROMETHEUS, "--config.file=" + dir + "/prometheus.yml",
            "--storage.tsdb.path=" + dir + "/data",
            "--web.listen-address=127.0.0.1:" + std::to_string(port)};
}

std::vector<ScrapeTarget> plain(const std::vector<std::string>& addresses) {
    std::vector<ScrapeTarget> targets;
    for (const std::string& address : addresses) targets.push_back({address, std::nullopt});
    return targets;
}

}  // namespace

Prometheus::Prometheus(const std::vector<ScrapeTarget>& targets,
                       const std::string& exporter_address, const std::string& job_extra)
    : port_(cli_test::closed_port()),
      process_(prometheus_argv(targets, exporter_address, port_, job_extra)) {}

Prometheus::Prometheus(const std::vector<std::string>& targets, const std::string& exporter_address,
                       const std::string& job_extra)
    : Prometheus(plain(targets), exporter_address, job_extra) {}

Prometheus::Answer Prometheus::query(const std::string& promql) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    Answer answer;
    const httplib::Result result = client.Post("/api/v1/query", httplib::Params{{"query", promql}});
    if (!result) return answer;
    answer.answered = true;
    const nlohmann::json body = nlohmann::json::parse(result->body, nullptr, false);
    if (result->status != 200 || body.is_discarded())
        answer.error = body.is_discarded() ? result->body : body.value("error", result->body);
    else
        answer.series = body.at("data").at("result");
    return answer;
}

bool Prometheus::wait_until(const std::function<bool()>& ready) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (ready()) return true;
    }
    return false;
}

std::string Prometheus::stop() {
    process_.signal(SIGTERM);
    return process_.finish().err;
}

}  // namespace exporter_test
