// SPDX-License-Identifier: MIT
#include "exporter/exporter_command.hpp"

#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/host_port.hpp"
#include "common/hosts_file.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "common/stop_signals.hpp"
#include "exporter/exporter_server.hpp"

#include <CLI/CLI.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace kexp {
namespace {

struct ExporterArgs {
    std::string listen = "127.0.0.1:9735";
    std::string web_config_file;
    std::string hosts_file;
    std::string meter;  // the model of hosts file lines that name none
    bool allow_any_target = false;
    int max_concurrent = 16;
    int per_gateway = 1;
    int gap_ms = 0;  // for hosts file lines without gap=
    int max_probe_s = 30;
    int hold_s = 30;
    std::optional<int> timeout_ms;
    int verbosity = 0;
};

// Serves until SIGINT or SIGTERM; returns the exit status.
int serve_until_signal(ExporterServer& server, const kcli::StopSignalsBlocked& blocked) {
    int received = 0;  // read after the join
    std::jthread watcher([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (const int sig = blocked.wait(200); sig > 0) {
                received = sig;
                server.stop();
                return;
            }
        }
    });
    const bool served = server.serve();
    watcher.request_stop();
    watcher.join();
    if (received) return kcli::exit_status_after(received);
    if (!served) kcli::print_diagnostic("The HTTP server stopped unexpectedly");
    return served ? kcli::SUCCESS : kcli::FAILURE;
}

int run_exporter(const ExporterArgs& args) {
    const auto listen = kcli::parse_listen_address(args.listen);
    if (!listen) throw CLI::ValidationError("--listen", "expected ADDR:PORT, e.g. 127.0.0.1:9735");
    if (args.hosts_file.empty() && !args.allow_any_target)
        throw CLI::ValidationError("--hosts FILE or --allow-any-target is required");
    kcli::set_verbosity(args.verbosity);

    ExporterSettings settings;
    settings.listen_host = listen->first;
    settings.listen_port = listen->second;
    settings.timeout_ms = args.timeout_ms.value_or(settings.timeout_ms);
    settings.max_concurrent = args.max_concurrent;
    settings.per_gateway = args.per_gateway;
    settings.max_probe_ms = args.max_probe_s * 1000;
    settings.hold.first = std::chrono::seconds(args.hold_s);
    settings.log_refusals = args.verbosity > 0;
    settings.web_config_file = args.web_config_file;
    try {
        std::vector<kcli::HostEntry> listed;
        if (!args.hosts_file.empty()) listed = kcli::read_hosts_file(args.hosts_file, args.meter);
        // Before the server starts its threads, so that none of them takes a stop signal.
        const kcli::StopSignalsBlocked blocked;
        ExporterServer server(settings,
                              TargetPolicy(std::move(listed), args.allow_any_target, args.gap_ms));
        const int port = server.bind();
        kcli::write_stdout_line("kolvane exporter listening on " +
                                kcli::join_host_port(settings.listen_host, port));
        return serve_until_signal(server, blocked);
    } catch (const kcli::HostsFileError& e) {
        return kcli::report_hosts_error(e);
    } catch (const std::runtime_error& e) {
        kcli::print_diagnostic(e.what());
        return kcli::FAILURE;
    }
}

}  // namespace

void add_exporter_command(CLI::App& app, int& status) {
    auto args = std::make_shared<ExporterArgs>();
    CLI::App* command =
        app.add_subcommand("exporter",
                           "Serve live values to Prometheus: GET "
                           "/probe?target=HOST[:PORT]&unit=N&model=MODEL reads one meter "
                           "([IPv6]:PORT for an IPv6 address)");
    command
        ->add_option("--listen,--web.listen-address", args->listen,
                     "Address and port to serve HTTP on (ADDR:PORT, [IPv6]:PORT)")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    command
        ->add_option("--web.config.file", args->web_config_file,
                     "The web configuration file Prometheus's exporters share: "
                     "tls_server_config (cert_file, key_file, min_version, max_version, "
                     "client_auth_type, client_ca_file) and basic_auth_users (bcrypt hashes), "
                     "the users read again when it changes")
        ->type_name("FILE");
    CLI::Option* hosts =
        command
            ->add_option(
                "--hosts", args->hosts_file,
                "The meters that may be probed: one 'HOST[:PORT] [MODEL] [unit=N] [name=LABEL] "
                "[gap=MS]' per line ([IPv6]:PORT for an IPv6 address), '#' comments; a line "
                "without unit= lists every unit of its HOST:PORT")
            ->type_name("FILE");
    command
        ->add_option("-m,--meter", args->meter,
                     "Model of the hosts file's lines that name none: em133, em235 or pm335")
        ->type_name("MODEL")
        ->needs(hosts);
    command->add_flag(
        "--allow-any-target", args->allow_any_target,
        "Probe any target, not only those of --hosts (lets anyone who reaches the exporter "
        "make it connect anywhere)");
    command
        ->add_option("-t,--timeout", args->timeout_ms,
                     "Time-out of each wait for a meter, milliseconds (default 5000)")
        ->type_name("MS")
        ->check(CLI::Range(100, 3600000));
    command
        ->add_option("--max-concurrent", args->max_concurrent,
                     "Probes read at once; a probe over the bound waits up to 1 s, then gets 503")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    command
        ->add_option("--max-probe-time", args->max_probe_s,
                     "Longest budget of a probe, 1-300 seconds, whatever the scrape time-out "
                     "a client announces (10 s without one, if less)")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(CLI::Range(1, 300));
    command
        ->add_option("--per-gateway", args->per_gateway,
                     "Probes talking to one gateway (one HOST:PORT) at once, each on a connection "
                     "of its own, whatever --max-concurrent; others wait for it within their "
                     "scrape's budget, the one whose budget ends first going first")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1, 64));
    command
        ->add_option("--hold", args->hold_s,
                     "Answer a meter that did not answer (no reply, no meter at its unit, gateway "
                     "busy after every try, no connection) with kolvane_up 0 without asking it, "
                     "for SECONDS after its failure, twice as long after each further one up to "
                     "5 minutes; an answer ends it, 0 never holds")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600));
    command
        ->add_option("--gap", args->gap_ms,
                     "Least pause between two requests, 0-10000 milliseconds, as a Modbus gateway "
                     "or a slow bus wants, for every target whose hosts file line names no gap=")
        ->type_name("MS")
        ->capture_default_str()
        ->check(CLI::Range(0, kcli::MAX_GAP_MS).description(""));
    command->add_flag(
        "-v,--verbose", args->verbosity,
        "Log refused probes and the library's messages on standard error; repeat for more "
        "(-v warnings, -vv information, -vvv debug)");
    command->callback([args, &status] { status = run_exporter(*args); });
    kcli::add_examples(*command, {"kolvane-sim --port 1502 &",
                                  "echo 127.0.0.1:1502 em133 | kolvane exporter --hosts - &",
                                  "curl '127.0.0.1:9735/probe?target=127.0.0.1:1502'"});
}

}  // namespace kexp
