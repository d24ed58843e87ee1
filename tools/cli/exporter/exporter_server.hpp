// SPDX-License-Identifier: MIT
// The exporter's HTTP server: /probe reads one meter per request, /metrics tells about the
// exporter itself, / shows how to configure Prometheus.
#pragma once

#include "exporter/gateway_slots.hpp"
#include "exporter/http_server.hpp"
#include "exporter/identity_cache.hpp"
#include "exporter/meter_holds.hpp"
#include "exporter/meter_probe.hpp"
#include "exporter/target_policy.hpp"
#include "exporter/web_config_watch.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <variant>

namespace kexp {

struct ExporterSettings {
    std::string listen_host = "127.0.0.1";
    int listen_port = 9735;  // 0: the kernel picks one
    int timeout_ms = 5000;   // each wait for a meter
    int max_concurrent = 16;
    int max_probe_ms = 30000;                   // the longest budget, whatever the scrape announces
    int per_gateway = 1;                        // probes talking to one HOST:PORT at once
    std::chrono::milliseconds slot_wait{1000};  // how long a probe over the bound waits for a slot
    MeterHolds::Rule hold;                      // meters that did not answer
    bool log_refusals = false;
    std::string web_config_file;  // TLS and basic auth users; empty: plain HTTP, open to all
};

// A probe's whole budget in milliseconds: the scrape time-out Prometheus announces in the
// X-Prometheus-Scrape-Timeout-Seconds header, less a margin for the answer's way back; 10 s
// without the header; never more than `max_probe_ms`, so that no client holds a slot longer.
// A header that is no positive number is refused.
std::variant<int, Refusal> probe_budget_ms(const std::string* header, int max_probe_ms);

class ExporterServer {
public:
    ExporterServer(ExporterSettings settings, TargetPolicy policy);
    ExporterServer(const ExporterServer&) = delete;
    ExporterServer& operator=(const ExporterServer&) = delete;

    // Binds the listen address and starts answering; returns the bound port. Throws
    // std::runtime_error.
    int bind();
    // Serves until stop(); true when stopped that way.
    bool serve();
    void stop();

private:
    HttpAnswer answer(const HttpRequest& request);
    // Serves new connections with the TLS settings of the web configuration file, when they
    // changed.
    void take_tls_settings();
    HttpAnswer probe(const HttpRequest& request);
    HttpAnswer metrics() const;
    HttpAnswer refuse(const HttpRequest& request, const Refusal& refusal);
    // The answer to a probe of a held meter: its failure again, without asking it.
    HttpAnswer held_answer(const ProbeTarget& target, const MeterHolds::Held& held);

    ExporterSettings settings_;
    TargetPolicy policy_;
    IdentityCache identities_;
    MeterHolds holds_;
    HttpServer http_;
    std::shared_ptr<WebConfigWatch> web_config_;  // null without --web.config.file
    std::string tls_problem_;                     // said once, until it changes
    std::string address_;                         // HOST:PORT once bound
    std::mutex stop_mutex_;
    std::condition_variable stop_requested_;
    bool stopping_ = false;
    std::counting_semaphore<> slots_;
    GatewaySlots gateways_;
    std::atomic<std::uint64_t> probes_{0}, failures_{0}, held_{0}, bad_requests_{0}, forbidden_{0},
        busy_{0};
    std::atomic<int> in_flight_{0};
};

}  // namespace kexp
