// SPDX-License-Identifier: MIT
#include "exporter/exporter_server.hpp"

#include "common/host_port.hpp"
#include "common/output.hpp"
#include "exporter/exposition.hpp"
#include "exporter/landing_page.hpp"
#include "exporter/probe_metrics.hpp"
#include "exporter/web_gate.hpp"

#include <kolvane.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace kexp {
namespace {

constexpr int DEFAULT_BUDGET_MS = 10000;
constexpr double MARGIN_MS = 500;        // for the answer's way back to Prometheus ...
constexpr double MARGIN_FRACTION = 0.1;  // ... or a tenth of a short scrape time-out
constexpr const char* TIMEOUT_HEADER = "X-Prometheus-Scrape-Timeout-Seconds";

HttpAnswer text_answer(int status, const std::string& text) {
    return {status, "text/plain; charset=utf-8", text + "\n"};
}

void log_failure(const ProbeTarget& target, const std::string& error) {
    kcli::write_stderr_line("kolvane: probe of " + target.address() + " unit " +
                            std::to_string(target.unit) + " failed: " + error);
}

// A held meter's failure and when it is asked again, e.g. "(held after 2 failures: tried again
// in 47 s)".
std::string held_note(const MeterHolds::Held& held) {
    const std::string failures =
        std::to_string(held.failures) + (held.failures == 1 ? " failure" : " failures");
    if (held.left <= held.left.zero()) return " (held after " + failures + ": being tried again)";
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(held.left).count();
    return " (held after " + failures + ": tried again in " + std::to_string(seconds) + " s)";
}

// Bounds on what clients can hold. Prometheus scrapes from one address: room for every probe
// slot, as many waiting for one, and the exporter's own pages; the total lets a few such clients
// in and stays within the default limit of 1024 open descriptors.
HttpLimits http_limits(const ExporterSettings& settings) {
    HttpLimits limits;
    limits.per_client = 2 * static_cast<unsigned>(settings.max_concurrent) + 32;
    limits.connections = std::min(4 * limits.per_client, 900u);
    return limits;
}

// Counts a probe in flight from the wait for its gateway to its answer.
class InFlight {
public:
    explicit InFlight(std::atomic<int>& count) : count_(count) { ++count_; }
    ~InFlight() { --count_; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    std::atomic<int>& count_;
};

// Holds one of the concurrent probe slots while the meter is read.
class Slot {
public:
    explicit Slot(std::counting_semaphore<>& slots) : slots_(slots) {}
    ~Slot() { slots_.release(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

private:
    std::counting_semaphore<>& slots_;
};

}  // namespace

std::variant<int, Refusal> probe_budget_ms(const std::string* header, int max_probe_ms) {
    if (!header) return std::min(DEFAULT_BUDGET_MS, max_probe_ms);
    double seconds = 0;
    const char* end = header->data() + header->size();
    const auto parsed = std::from_chars(header->data(), end, seconds);
    if (parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(seconds) || seconds <= 0)
        return Refusal{400, std::string(TIMEOUT_HEADER) + " must be a positive number of seconds"};
    const double ms = seconds * 1000;
    const double budget = ms - std::min(MARGIN_MS, ms * MARGIN_FRACTION);
    return static_cast<int>(std::clamp(budget, 1.0, double(max_probe_ms)));
}

ExporterServer::ExporterServer(ExporterSettings settings, TargetPolicy policy)
    : settings_(std::move(settings)),
      policy_(std::move(policy)),
      holds_(settings_.hold),
      http_(http_limits(settings_), [this](const HttpRequest& request) { return answer(request); }),
      slots_(settings_.max_concurrent),
      gateways_(settings_.per_gateway) {}

int ExporterServer::bind() {
    std::optional<TlsSettings> tls;
    if (!settings_.web_config_file.empty()) {
        web_config_ = std::make_shared<WebConfigWatch>(settings_.web_config_file);
        tls = web_config_->current()->tls;
        http_.set_gate(web_gate(web_config_));
    }
    const int port = http_.start(settings_.listen_host, settings_.listen_port, tls);
    if (port < 0)
        throw std::runtime_error("Cannot listen on " + kcli::join_host_port(settings_.listen_host,
                                                                            settings_.listen_port));
    address_ = kcli::join_host_port(settings_.listen_host, port);
    return port;
}

bool ExporterServer::serve() {
    std::unique_lock lock(stop_mutex_);
    // The web configuration is looked at every second, for TLS settings that changed.
    while (!stop_requested_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; }))
        if (web_config_) {
            lock.unlock();
            try {
                take_tls_settings();
            } catch (const std::runtime_error& e) {
                kcli::write_stderr_line(std::string("kolvane: ") + e.what());
                http_.stop();
                return false;
            }
            lock.lock();
        }
    lock.unlock();
    http_.stop();
    return true;
}

void ExporterServer::take_tls_settings() {
    const std::optional<TlsSettings> wanted = web_config_->current()->tls;
    const std::optional<TlsSettings> serving = http_.tls();
    if (wanted == serving) return;
    std::string problem;
    if (!wanted || !serving)
        problem = "switching between HTTP and HTTPS takes a restart";
    else if (!http_.replace_tls(*wanted))
        problem = "libmicrohttpd refused its TLS settings";
    else
        kcli::write_stderr_line("kolvane: web config " + settings_.web_config_file +
                                ": new connections get its new TLS settings");
    if (!problem.empty() && problem != tls_problem_)
        kcli::write_stderr_line("kolvane: web config " + settings_.web_config_file + ": " +
                                problem + "; the TLS settings before stay");
    tls_problem_ = problem;
}

void ExporterServer::stop() {
    {
        const std::lock_guard lock(stop_mutex_);
        stopping_ = true;
    }
    stop_requested_.notify_all();
}

HttpAnswer ExporterServer::answer(const HttpRequest& request) {
    const std::string& path = request.path();
    if (path != "/probe" && path != "/metrics" && path != "/" && path != "/-/healthy" &&
        path != "/-/ready")
        return text_answer(404, "Not found: " + path);
    if (request.method() != "GET") return text_answer(405, "Only GET is served");
    if (path == "/probe") return probe(request);
    if (path == "/metrics") return metrics();
    // As Prometheus's own: healthy while it answers, ready to be scraped until it stops.
    if (path == "/-/healthy") return text_answer(200, "kolvane exporter is healthy.");
    if (path == "/-/ready") {
        const std::lock_guard lock(stop_mutex_);
        return stopping_ ? text_answer(503, "kolvane exporter is stopping.")
                         : text_answer(200, "kolvane exporter is ready.");
    }
    return {200, "text/html; charset=utf-8", landing_page(address_)};
}

HttpAnswer ExporterServer::refuse(const HttpRequest& request, const Refusal& refusal) {
    auto& counter = refusal.status == 403   ? forbidden_
                    : refusal.status == 503 ? busy_
                                            : bad_requests_;
    ++counter;
    if (settings_.log_refusals)
        kcli::write_stderr_line("kolvane: refused a probe from " + request.remote_address() + " (" +
                                std::to_string(refusal.status) + "): " + refusal.reason);
    return text_answer(refusal.status, refusal.reason);
}

HttpAnswer ExporterServer::probe(const HttpRequest& request) {
    const auto arrived = std::chrono::steady_clock::now();
    const std::optional<std::string> header = request.header(TIMEOUT_HEADER);
    const auto budget = probe_budget_ms(header ? &*header : nullptr, settings_.max_probe_ms);
    if (const auto* refusal = std::get_if<Refusal>(&budget)) return refuse(request, *refusal);
    const auto resolved = policy_.resolve(request.params());
    if (const auto* refusal = std::get_if<Refusal>(&resolved)) return refuse(request, *refusal);
    const ProbeTarget& target = std::get<ProbeTarget>(resolved);
    // A held meter is answered at once: it needs no slot, and its gateway is not asked.
    auto turn = holds_.start(target.address() + "/" + std::to_string(target.unit));
    if (const auto* held = std::get_if<MeterHolds::Held>(&turn)) return held_answer(target, *held);
    MeterHolds::Attempt& attempt = std::get<MeterHolds::Attempt>(turn);

    // A client that has gone (Prometheus gave up on the scrape) no longer awaits the probe.
    const Deadline deadline{arrived + std::chrono::milliseconds(std::get<int>(budget)),
                            std::get<int>(budget), [&request] { return request.client_gone(); }};
    // The gateway's turn comes first: a probe waiting for a busy gateway holds no probe slot,
    // so probes of other gateways go on meanwhile.
    const std::string gateway = target.address();
    const InFlight counted(in_flight_);
    const auto turn_at_gateway = gateways_.acquire(gateway, deadline.end, deadline.abandoned);
    ProbeResult result;
    if (!turn_at_gateway) {
        result.error = deadline.abandoned()
                           ? std::string(CLIENT_GONE)
                           : "gateway " + gateway + " busy for the whole budget of " +
                                 std::to_string(deadline.total_ms) + " ms";
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - arrived).count();
    } else {
        const auto now = std::chrono::steady_clock::now();
        const auto wait =
            std::min<std::chrono::steady_clock::duration>(settings_.slot_wait, deadline.end - now);
        if (!slots_.try_acquire_for(wait))
            return refuse(request,
                          {503, "Too many probes at once (" +
                                    std::to_string(settings_.max_concurrent) + "); try again"});
        const Slot slot(slots_);
        result = probe_meter(target, settings_.timeout_ms, deadline, identities_);
    }
    ++probes_;
    if (result.up) {
        attempt.answered();
    } else {
        ++failures_;
        if (result.silent) attempt.silent(result.error);
        log_failure(target, result.error);
    }
    return {200, EXPOSITION_CONTENT_TYPE, probe_exposition(target, result)};
}

HttpAnswer ExporterServer::held_answer(const ProbeTarget& target, const MeterHolds::Held& held) {
    ++held_;
    log_failure(target, held.error + held_note(held));
    return {200, EXPOSITION_CONTENT_TYPE, probe_exposition(target, ProbeResult{})};
}

HttpAnswer ExporterServer::metrics() const {
    Exposition out;
    out.family("kolvane_exporter_probes_total", "counter",
               "Probes that read a meter, whether it answered or not.");
    out.sample("kolvane_exporter_probes_total", {}, double(probes_.load()));
    out.family("kolvane_exporter_probe_failures_total", "counter",
               "Probes whose meter did not answer (kolvane_up 0).");
    out.sample("kolvane_exporter_probe_failures_total", {}, double(failures_.load()));
    out.family("kolvane_exporter_probes_held_total", "counter",
               "Probes of a meter that had not answered, answered kolvane_up 0 without asking it.");
    out.sample("kolvane_exporter_probes_held_total", {}, double(held_.load()));
    out.family("kolvane_exporter_probes_refused_total", "counter",
               "Probes refused: 400 bad parameters, 403 target not allowed, 503 too many at once.");
    out.sample("kolvane_exporter_probes_refused_total", {{"code", "400"}},
               double(bad_requests_.load()));
    out.sample("kolvane_exporter_probes_refused_total", {{"code", "403"}},
               double(forbidden_.load()));
    out.sample("kolvane_exporter_probes_refused_total", {{"code", "503"}}, double(busy_.load()));
    out.family("kolvane_exporter_probes_in_flight", "gauge",
               "Probes reading a meter or waiting for its gateway right now.");
    out.sample("kolvane_exporter_probes_in_flight", {}, in_flight_.load());
    out.family("kolvane_exporter_build_info", "gauge",
               "Versions of the exporter and its library; the value is always 1.");
    out.sample("kolvane_exporter_build_info",
               {{"version", KOLVANE_CLI_VERSION}, {"library_version", kolvane_version()}}, 1);
    return {200, EXPOSITION_CONTENT_TYPE, out.text()};
}

}  // namespace kexp
