// SPDX-License-Identifier: MIT
#include "exporter/exporter_server.hpp"

#include "common/host_port.hpp"
#include "common/output.hpp"
#include "exporter/exposition.hpp"
#include "exporter/landing_page.hpp"
#include "exporter/probe_metrics.hpp"

#include <kolvane.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace kexp {
namespace {

constexpr int DEFAULT_BUDGET_MS = 10000;
constexpr double MARGIN_MS = 500;            // for the answer's way back to Prometheus ...
constexpr double MARGIN_FRACTION = 0.1;      // ... or a tenth of a short scrape time-out
constexpr int LONGEST_BUDGET_MS = 86400000;  // the library's bound of deadline_ms
constexpr const char* TIMEOUT_HEADER = "X-Prometheus-Scrape-Timeout-Seconds";

void answer_text(httplib::Response& response, int status, const std::string& text) {
    response.status = status;
    response.set_content(text + "\n", "text/plain; charset=utf-8");
}

// Holds one of the concurrent probe slots for the length of a probe.
class Slot {
public:
    Slot(std::counting_semaphore<>& slots, std::atomic<int>& in_flight)
        : slots_(slots), in_flight_(in_flight) {
        ++in_flight_;
    }
    ~Slot() {
        --in_flight_;
        slots_.release();
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

private:
    std::counting_semaphore<>& slots_;
    std::atomic<int>& in_flight_;
};

}  // namespace

std::variant<int, Refusal> probe_budget_ms(const std::string* header) {
    if (!header) return DEFAULT_BUDGET_MS;
    double seconds = 0;
    const char* end = header->data() + header->size();
    const auto parsed = std::from_chars(header->data(), end, seconds);
    if (parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(seconds) || seconds <= 0)
        return Refusal{400, std::string(TIMEOUT_HEADER) + " must be a positive number of seconds"};
    const double ms = seconds * 1000;
    const double budget = ms - std::min(MARGIN_MS, ms * MARGIN_FRACTION);
    return static_cast<int>(std::clamp(budget, 1.0, double(LONGEST_BUDGET_MS)));
}

ExporterServer::ExporterServer(ExporterSettings settings, TargetPolicy policy)
    : settings_(std::move(settings)),
      policy_(std::move(policy)),
      slots_(settings_.max_concurrent),
      gateways_(settings_.per_gateway) {
    // A fixed pool: the probes within the bound, as many waiting for a slot, and a few for the
    // other pages. Each connection serves one request, so an idle one never holds a thread. A
    // probe waits for its gateway while holding its slot, so that waiting never takes more
    // threads than the bound, and no thread longer than the probe's budget.
    const std::size_t threads = 2 * static_cast<std::size_t>(settings_.max_concurrent) + 2;
    http_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http_.set_keep_alive_max_count(1);
    // SO_REUSEADDR alone: httplib's default SO_REUSEPORT would let a second exporter share the
    // port silently instead of failing to start.
    http_.set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http_.Get("/probe", [this](const httplib::Request& request, httplib::Response& response) {
        probe(request, response);
    });
    http_.Get("/metrics",
              [this](const httplib::Request&, httplib::Response& response) { metrics(response); });
    http_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(landing_page(address_), "text/html; charset=utf-8");
    });
    http_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string message = "Internal error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                message += std::string(": ") + e.what();
            } catch (...) {}
            kcli::write_stderr_line("kolvane: " + message);
            answer_text(response, 500, message);
        });
}

int ExporterServer::bind() {
    const int port = settings_.listen_port == 0
                         ? http_.bind_to_any_port(settings_.listen_host)
                         : (http_.bind_to_port(settings_.listen_host, settings_.listen_port)
                                ? settings_.listen_port
                                : -1);
    if (port < 0)
        throw std::runtime_error("Cannot listen on " + kcli::join_host_port(settings_.listen_host,
                                                                            settings_.listen_port));
    address_ = kcli::join_host_port(settings_.listen_host, port);
    return port;
}

bool ExporterServer::serve() { return http_.listen_after_bind(); }

void ExporterServer::stop() { http_.stop(); }

void ExporterServer::refuse(const httplib::Request& request, httplib::Response& response,
                            const Refusal& refusal) {
    auto& counter = refusal.status == 403   ? forbidden_
                    : refusal.status == 503 ? busy_
                                            : bad_requests_;
    ++counter;
    if (settings_.log_refusals)
        kcli::write_stderr_line("kolvane: refused a probe from " + request.remote_addr + " (" +
                                std::to_string(refusal.status) + "): " + refusal.reason);
    answer_text(response, refusal.status, refusal.reason);
}

void ExporterServer::probe(const httplib::Request& request, httplib::Response& response) {
    const auto arrived = std::chrono::steady_clock::now();
    const std::string header = request.get_header_value(TIMEOUT_HEADER);
    const auto budget = probe_budget_ms(request.has_header(TIMEOUT_HEADER) ? &header : nullptr);
    if (const auto* refusal = std::get_if<Refusal>(&budget))
        return refuse(request, response, *refusal);
    const auto resolved = policy_.resolve(request.params);
    if (const auto* refusal = std::get_if<Refusal>(&resolved))
        return refuse(request, response, *refusal);
    const ProbeTarget& target = std::get<ProbeTarget>(resolved);

    const Deadline deadline{arrived + std::chrono::milliseconds(std::get<int>(budget)),
                            std::get<int>(budget)};
    const auto wait =
        std::min<std::chrono::steady_clock::duration>(settings_.slot_wait, deadline.end - arrived);
    if (!slots_.try_acquire_for(wait))
        return refuse(request, response,
                      {503, "Too many probes at once (" + std::to_string(settings_.max_concurrent) +
                                "); try again"});
    const Slot slot(slots_, in_flight_);

    const ProbeResult result = probe_target(target, deadline);
    ++probes_;
    if (!result.up) {
        ++failures_;
        kcli::write_stderr_line("kolvane: probe of " + target.address() + " unit " +
                                std::to_string(target.unit) + " failed: " + result.error);
    }
    response.set_content(probe_exposition(target, result), EXPOSITION_CONTENT_TYPE);
}

ProbeResult ExporterServer::probe_target(const ProbeTarget& target, const Deadline& deadline) {
    const auto start = std::chrono::steady_clock::now();
    const std::string gateway = target.address();
    const auto held = gateways_.acquire(gateway, deadline.end);
    if (!held) {
        ProbeResult busy;
        busy.error = "gateway " + gateway + " busy for the whole budget of " +
                     std::to_string(deadline.total_ms) + " ms";
        busy.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return busy;
    }
    return probe_meter(target, settings_.timeout_ms, deadline, identities_);
}

void ExporterServer::metrics(httplib::Response& response) const {
    Exposition out;
    out.family("kolvane_exporter_probes_total", "counter",
               "Probes that read a meter, whether it answered or not.");
    out.sample("kolvane_exporter_probes_total", {}, double(probes_.load()));
    out.family("kolvane_exporter_probe_failures_total", "counter",
               "Probes whose meter did not answer (kolvane_up 0).");
    out.sample("kolvane_exporter_probe_failures_total", {}, double(failures_.load()));
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
    response.set_content(out.text(), EXPOSITION_CONTENT_TYPE);
}

}  // namespace kexp
