// SPDX-License-Identifier: MIT
#include "collect_command.hpp"

#include "../exit_status.hpp"
#include "../hosts.hpp"
#include "../log_output.hpp"
#include "../meter_options.hpp"
#include "duration.hpp"
#include "runner.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

namespace kcli {
namespace {

struct CollectArgs {
    MeterOptions options;
    std::vector<std::string> hosts;
    std::string hosts_file;
    std::string db = "kolvane.db";
    int jobs = 4;
    std::string only;
    std::string every;
};

std::vector<std::string> split_parts(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream list(text);
    for (std::string part; std::getline(list, part, ',');) parts.push_back(part);
    return parts;
}

// "HOST" or "HOST:PORT" ("[ADDRESS]:PORT" for IPv6) from the command line.
HostEntry parse_host(const std::string& text, const std::string& meter) {
    HostEntry entry{text, meter, std::nullopt};
    const std::size_t colon = text.rfind(':');
    const bool bracketed = !text.empty() && text.front() == '[';
    if (bracketed && (colon == std::string::npos || text[colon - 1] != ']')) {
        entry.host = text.substr(1, text.size() - 2);  // "[ADDRESS]" alone
        return entry;
    }
    if (colon == std::string::npos || (!bracketed && text.find(':') != colon))
        return entry;  // plain IPv6 too
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
        std::stoi(port) > 65535)
        throw CLI::ValidationError("HOST", "bad port in '" + text + "'");
    entry.port = std::stoi(port);
    entry.host = text.substr(bracketed ? 1 : 0, bracketed ? colon - 2 : colon);
    return entry;
}

// The meters to read, each once: a host and port named twice is read once.
std::vector<kcollect::Target> targets_of(const std::vector<HostEntry>& entries,
                                         const MeterOptions& options) {
    std::vector<kcollect::Target> targets;
    std::set<std::pair<std::string, int>> seen;
    for (const HostEntry& entry : entries) {
        MeterOptions own = options;
        own.port = entry.port ? entry.port : options.port;
        const int port = own.port.value_or(502);
        if (!seen.insert({entry.host, port}).second) continue;
        std::string storage;
        targets.push_back({entry.host, port, entry.meter, own.options_arg(storage)});
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
    kcollect::RunSettings settings;
    settings.targets = targets_of(entries, args.options);
    settings.jobs = args.jobs;
    if (!args.only.empty()) {
        const std::vector<std::string> only = split_parts(args.only);
        auto has = [&](const char* part) {
            return std::find(only.begin(), only.end(), part) != only.end();
        };
        settings.parts = {has("datalog"), has("eventlog"), has("live")};
    }
    if (!args.every.empty()) settings.every = kcollect::parse_duration(args.every);

    std::unique_ptr<kcollect::Store> store;
    try {
        store = kcollect::open_store(args.db);
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
    command->add_option("HOST", args->hosts,
                        "Meter address or name, HOST[:PORT]; several may be given");
    command
        ->add_option("--hosts", args->hosts_file,
                     "Also read every meter of FILE ('-': standard input): one 'HOST[:PORT] "
                     "[MODEL]' per line, "
                     "'#' comments, -m for lines without MODEL")
        ->type_name("FILE");
    command
        ->add_option("--db", args->db,
                     "Database: a file path or sqlite:PATH for SQLite, or a postgresql:// URI")
        ->type_name("TARGET")
        ->capture_default_str()
        ->check([](const std::string& text) {
            return text.empty() || text == "sqlite:" ? std::string("a database file path is needed")
                                                     : std::string();
        });
    command->add_option("-j,--jobs", args->jobs, "Meters read at once")
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
            return kcollect::parse_duration(text)
                       ? std::string()
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
