// SPDX-License-Identifier: MIT
// info, live, read, points and logs.
#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/hosts_file.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "meter/commands.hpp"
#include "meter/hosts_runner.hpp"
#include "meter/identity_guard.hpp"
#include "meter/points_text.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>

#include <memory>

namespace kcli {
namespace {

// The arguments of a command that reads one meter, or many with --hosts.
struct MeterArgs {
    MeterOptions options;
    std::string host;
    std::string hosts_file;
    int jobs = 4;
    bool pretty = false;
    std::vector<std::string> points;
};

// info HOST, live HOST: (host, meter, options, out, out_len, err, err_len) -> status.
using MeterCall = int (*)(const char*, const char*, const char*, char*, int, char*, int);

CLI::App* add_command(CLI::App& app, const char* name, const char* about, MeterArgs& args) {
    CLI::App* command = app.add_subcommand(name, about);
    command->add_flag("--pretty", args.pretty, "Indent the JSON document");
    return command;
}

// A command on one meter: HOST is required.
CLI::App* add_host_command(CLI::App& app, const char* name, const char* about, MeterArgs& args) {
    CLI::App* command = add_command(app, name, about, args);
    command->add_option("HOST", args.host, "Address or name of the meter")->required();
    return command;
}

CLI::App* add_meter_command(CLI::App& app, int& status, const char* name, const char* about,
                            MeterCall call) {
    auto args = std::make_shared<MeterArgs>();
    CLI::App* command = add_command(app, name, about, *args);
    auto* host = command->add_option("HOST", args->host, "Address or name of the meter");
    auto* hosts =
        command
            ->add_option(
                "--hosts", args->hosts_file,
                "Read every meter of FILE ('-': standard input): one 'HOST[:PORT] [MODEL] "
                "[unit=N] [name=LABEL] [gap=MS]' per line, '#' comments, -m for lines without "
                "MODEL; one JSON line per "
                "meter, in the file's order, with its host, port and model")
            ->type_name("FILE")
            ->excludes(host);
    command->add_option("-j,--jobs", args->jobs, "Meters read at once with --hosts")
        ->capture_default_str()
        ->check(CLI::Range(1, 256))
        ->needs(hosts);
    // With --hosts a line may name the model itself.
    add_meter_options(*command, args->options)
        ->required(false)
        ->description(
            "Meter model: em133, em235 or pm335 (with --hosts: of the lines naming none)");
    command->callback([args, call, &status] {
        if (args->host.empty() && args->hosts_file.empty())
            throw CLI::ValidationError("HOST or --hosts is required");
        if (args->hosts_file.empty() && args->options.meter.empty())
            throw CLI::ValidationError("--meter is required");
        set_verbosity(args->options.verbosity);
        std::string storage;
        const char* options = args->options.options_arg(storage);
        const bool is_info = call == kolvane_read_device_info;
        if (args->hosts_file.empty()) {
            status =
                run_document(identity_guarded(
                                 [&](char* out, int out_len, char* err, int err_len) {
                                     return call(args->host.c_str(), args->options.meter.c_str(),
                                                 options, out, out_len, err, err_len);
                                 },
                                 args->host, args->options.meter, options, is_info),
                             args->pretty);
            return;
        }
        std::vector<HostEntry> entries;
        try {
            entries = read_hosts_file(args->hosts_file, args->options.meter);
        } catch (const HostsFileError& e) {
            status = report_hosts_error(e);
            return;
        }
        status = run_hosts(
            entries, args->options, args->jobs,
            [call, is_info](const HostEntry& entry, const char* options, char* out, int out_len,
                            char* err, int err_len) {
                return identity_guarded(
                    [&](char* o, int ol, char* e, int el) {
                        return call(entry.host.c_str(), entry.meter.c_str(), options, o, ol, e, el);
                    },
                    entry.host, entry.meter, options, is_info)(out, out_len, err, err_len);
            },
            args->pretty);
    });
    return command;
}

void add_read_command(CLI::App& app, int& status) {
    auto args = std::make_shared<MeterArgs>();
    CLI::App* command = add_host_command(app, "read", "Read the named points of a meter", *args);
    command
        ->add_option("POINT", args->points,
                     "Point ID (decimal or 0x hexadecimal) or point name, e.g. 4352 V2 0x1102")
        ->required();
    add_meter_options(*command, args->options);
    command->callback([args, &status] {
        set_verbosity(args->options.verbosity);
        std::string storage;
        const char* options = args->options.options_arg(storage);
        const std::string points = points_text(args->points);
        status = run_document(identity_guarded(
                                  [&](char* out, int out_len, char* err, int err_len) {
                                      return kolvane_read_points(
                                          args->host.c_str(), args->options.meter.c_str(), options,
                                          points.c_str(), out, out_len, err, err_len);
                                  },
                                  args->host, args->options.meter, options, false),
                              args->pretty);
    });
    add_examples(*command, {"kolvane-sim --port 1502 &",
                            "kolvane read 127.0.0.1 V1 V2 V3 'Total kW' -p 1502 -m em133",
                            "kolvane read 127.0.0.1 0x1102 4352 -p 1502 -m em133 --pretty"});
}

void add_points_command(CLI::App& app, int& status) {
    auto args = std::make_shared<MeterArgs>();
    CLI::App* command =
        add_command(app, "points", "List the point catalogue of a model (no meter needed)", *args);
    add_meter_options(*command, args->options, false);
    command->callback([args, &status] {
        set_verbosity(args->options.verbosity);
        status = run_document(
            [&](char* out, int out_len, char* err, int err_len) {
                return kolvane_list_points(args->options.meter.c_str(), out, out_len, err, err_len);
            },
            args->pretty);
    });
    add_examples(*command, {"kolvane points -m em133 --pretty", "kolvane points -m em235"});
}

void add_logs_command(CLI::App& app, int& status) {
    auto args = std::make_shared<MeterArgs>();
    CLI::App* command = add_host_command(
        app, "logs", "List the log files of a meter with their record counts", *args);
    add_meter_options(*command, args->options);
    command->callback([args, &status] {
        set_verbosity(args->options.verbosity);
        std::string storage;
        const char* options = args->options.options_arg(storage);
        status = run_document(
            [&](char* out, int out_len, char* err, int err_len) {
                return kolvane_list_logs(args->host.c_str(), args->options.meter.c_str(), options,
                                         out, out_len, err, err_len);
            },
            args->pretty);
    });
    add_examples(*command,
                 {"kolvane-sim --port 1502 &", "kolvane logs 127.0.0.1 -p 1502 -m em133 --pretty"});
}

}  // namespace

void add_document_commands(CLI::App& app, int& status) {
    CLI::App* info = add_meter_command(app, status, "info",
                                       "Identify a meter: model, serial number, firmware, setup",
                                       kolvane_read_device_info);
    add_examples(*info,
                 {"kolvane-sim --port 1502 &", "kolvane info 127.0.0.1 -p 1502 -m em133 --pretty",
                  "echo 127.0.0.1:1502 em133 | kolvane info --hosts -"});
    CLI::App* live = add_meter_command(app, status, "live", "Read the live values of a meter",
                                       kolvane_read_live_ex);
    add_examples(*live, {"kolvane-sim --port 1502 &", "kolvane live 127.0.0.1 -p 1502 -m em133",
                         "echo 127.0.0.1:1502 em133 | kolvane live --hosts - --pretty"});
    add_read_command(app, status);
    add_points_command(app, status);
    add_logs_command(app, status);
}

}  // namespace kcli
