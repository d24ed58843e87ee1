// SPDX-License-Identifier: MIT
#include "collect/collect_command.hpp"

#include "collect/runner.hpp"
#include "common/duration.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/host_port.hpp"
#include "common/hosts_file.hpp"
#include "common/log_output.hpp"
#include "common/meter_clock.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "database/database.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace kcli {
namespace {

struct CollectArgs {
    MeterOptions options;
    std::vector<std::string> hosts;
    std::string hosts_file;
    std::string db = kdb::DEFAULT_TARGET;
    int jobs = 4;
    int per_gateway = 1;
    std::string only;
    std::string every;
    std::string zone;  // --tz: the clock zone of meters whose line names none
};

std::vector<std::string> split_parts(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream list(text);
    for (std::string part; std::getline(list, part, ',');) parts.push_back(part);
    return parts;
}

// "HOST", "HOST:PORT" or "[ADDRESS]:PORT" (IPv6) from the command line.
HostEntry parse_host(const std::string& text, const std::string& meter) {
    // Host names and addresses are printable ASCII: other bytes would reach the meter's JSON
    // line in the library's messages.
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) - 0x21u > 0x7Eu - 0x21u; }))
        throw CLI::ValidationError("HOST", "a HOST is printable ASCII, without blanks");
    HostEntry entry;
    entry.meter = meter;
    if (const auto problem = take_address(text, entry))
        throw CLI::ValidationError("HOST",
                                   problem->empty() ? "bad host in '" + text + "'" : *problem);
    return entry;
}

// The meters to read, each once: a meter (host, port and unit) named twice is read once.
std::vector<kcollect::Target> targets_of(const std::vector<HostEntry>& entries,
                                         const MeterOptions& options, const std::string& zone) {
    std::vector<kcollect::Target> targets;
    std::set<std::tuple<std::string, int, int>> seen;
    for (const HostEntry& entry : entries) {
        const MeterOptions own = options_for(entry, options);
        const int port = own.port.value_or(MODBUS_TCP_PORT);
        const int unit = own.unit.value_or(1);
        if (!seen.insert({entry.host, port, unit}).second) continue;
        targets.push_back({entry.host, port, unit, entry.meter, entry.name,
                           entry.zone.empty() ? zone : entry.zone, own});
    }
    return targets;
}

int run(const CollectArgs& args) {
    set_verbosity(args.options.verbosity);
    std::vector<HostEntry> entries;
    for (const std::string& host : args.hosts)
        entries.push_back(parse_host(host, canonical_model(args.options.meter)));
    if (!args.hosts_file.empty()) {
        try {
            for (HostEntry& entry : read_hosts_file(args.hosts_file, args.options.meter))
                entries.push_back(entry);
        } catch (const HostsFileError& e) {
            return report_hosts_error(e);
        }
    }
    const std::string zone = args.zone.empty() ? host_zone() : args.zone;
    // This host's zone is checked as --tz is, where a meter falls back to it.
    if (args.zone.empty() && std::any_of(entries.begin(), entries.end(),
                                         [](const HostEntry& e) { return e.zone.empty(); }))
        if (const std::string problem = host_zone_problem(zone); !problem.empty()) {
            print_diagnostic(problem.c_str());
            return USAGE;
        }
    kcollect::RunSettings settings;
    settings.targets = targets_of(entries, args.options, zone);
    settings.jobs = args.jobs;
    settings.per_gateway = args.per_gateway;
    if (!args.only.empty()) {
        const std::vector<std::string> only = split_parts(args.only);
        auto has = [&](const char* part) {
            return std::find(only.begin(), only.end(), part) != only.end();
        };
        settings.parts = {has("datalog"), has("eventlog"), has("live")};
    }
    if (!args.every.empty()) {
        settings.every = kcli::parse_duration(args.every);
        settings.parts.moved_after = std::max(settings.parts.moved_after, *settings.every);
    }

    std::unique_ptr<kdb::Database> store;
    try {
        store = kdb::open_database(*kdb::parse_target(args.db), kdb::Access::COLLECT);
    } catch (const std::exception& e) {
        print_diagnostic(e.what());
        return FAILURE;
    }
    return kcollect::run_collection(settings, *store);
}

}  // namespace

void add_collect_command(CLI::App& app, int& status) {
    auto args = std::make_shared<CollectArgs>();
    CLI::App* command =
        app.add_subcommand("collect",
                           "Read every meter's identity, log directory, data logs, event log and "
                           "live values into a database; "
                           "records already stored are not stored again. One JSON line per meter.");
    command->footer(
        "Each meter's line: host, port, unit, name, meter and serial; per data log and\n"
        "the event log \"announced\" (the meter's count), \"read\", \"new\" (not stored),\n"
        "\"resumed_after\" or \"full_read\" with its reason, \"lost\" (overwritten before\n"
        "collection); \"live\" readings; \"newest_record\"; \"warnings\" (clock, lost\n"
        "records); \"complete\"; \"error\" (the first failure). \"busy\":true: another\n"
        "collector or kolvane transfer is reading the meter; it is read next time.\n"
        "-t bounds each wait for a meter, --deadline each library call (identity, log\n"
        "directory, each log, live values); a full read of a log gets 25 ms more per\n"
        "record, a resumed read that the deadline cuts goes on after its last record.\n"
        "Exit status: 0 every meter done, 1 a meter or the database failed, 2 usage\n"
        "error, 130 interrupted (every batch handed over is committed first).");
    add_examples(*command, {"kolvane-sim --port 1502 &",
                            "kolvane collect 127.0.0.1:1502 -m em133 --db site.db",
                            "kolvane collect --hosts site.txt --db site.db --every 15m"});
    command->add_option("HOST", args->hosts,
                        "Meter address or name, HOST[:PORT]; several may be given");
    command
        ->add_option("--hosts", args->hosts_file,
                     "Also read every meter of FILE ('-': standard input): one 'HOST[:PORT] "
                     "[MODEL] [unit=N] [name=LABEL] [gap=MS] [tz=ZONE]' per line, "
                     "'#' comments, -m for lines without MODEL")
        ->type_name("FILE");
    command->add_option("--db", args->db, kdb::TARGET_HELP)
        ->type_name("TARGET")
        ->capture_default_str()
        ->check(kdb::target_problem);
    command->add_option("-j,--jobs", args->jobs, "Meters read at once")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    command
        ->add_option("--tz", args->zone,
                     "Zone of the meters' clocks, an IANA name such as Europe/Berlin, or UTC, for "
                     "lines without tz= (default: this host's zone, the one export-all "
                     "--set-clock writes)")
        ->type_name("ZONE")
        ->check(zone_problem);
    command
        ->add_option("--per-gateway", args->per_gateway,
                     "Meters of one gateway (one HOST:PORT) read at once, whatever --jobs")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    command
        ->add_option("--only", args->only,
                     "Read only these parts: datalog, eventlog, live (comma-separated)")
        ->type_name("PARTS")
        ->check([](const std::string& text) {
            for (const std::string& part : split_parts(text))
                if (part != "datalog" && part != "eventlog" && part != "live")
                    return "unknown part '" + part + "' (expected datalog, eventlog or live)";
            return std::string();
        });
    command
        ->add_option("--every", args->every,
                     "Collect again every DURATION (e.g. 90s, 15m, 1h) until interrupted")
        ->type_name("DURATION")
        ->check([](const std::string& text) {
            return kcli::parse_duration(text) ? std::string()
                                              : "DURATION must be a positive number with s, m or h";
        });
    add_meter_options(*command, args->options)
        ->required(false)
        ->description(
            "Meter model: em133, em235 or pm335 (with --hosts: of the lines naming none)");
    command->callback([args, &status] {
        if (args->hosts.empty() && args->hosts_file.empty())
            throw CLI::ValidationError("HOST or --hosts is required");
        if (!args->hosts.empty() && args->options.meter.empty())
            throw CLI::ValidationError("--meter is required");
        status = run(*args);
    });
}

}  // namespace kcli
