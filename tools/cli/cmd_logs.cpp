// datalog and eventlog: the record stream as JSON lines, or a CSV file with -o.
#include "commands.hpp"
#include "exit_status.hpp"
#include "interrupt.hpp"
#include "log_output.hpp"
#include "meter_options.hpp"
#include "output.hpp"
#include "progress.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>

#include <memory>

namespace kcli {
namespace {

using StreamCall = int (*)(const char*, const char*, int, const char*, kolvane_record_cb, void*, char*, int);
using ExportCall = int (*)(const char*, const char*, int, const char*, const char*, kolvane_progress_cb,
                           void*, char*, int);

struct LogArgs {
    MeterOptions options;
    std::string host;
    int file_id = 0;
    std::string csv_path;
    bool progress = false;
};

// One record per line on standard output; Ctrl-C stops the transfer.
extern "C" int print_record(const char* record, void*) {
    write_stdout_line(record);
    return interrupted() ? 1 : 0;
}

int run_log(const LogArgs& args, StreamCall stream, ExportCall to_csv) {
    set_verbosity(args.options.verbosity);
    std::string storage;
    const char* options = args.options.options_arg(storage);
    const char* host = args.host.c_str();
    const char* meter = args.options.meter.c_str();
    char err[1024];
    CancellableScope scope;
    if (args.csv_path.empty())
        return exit_for(stream(host, meter, args.file_id, options, print_record, nullptr, err, sizeof err), err);
    ProgressBar bar(args.progress);
    const int status = to_csv(host, meter, args.file_id, args.csv_path.c_str(), options,
                              ProgressBar::callback, &bar, err, sizeof err);
    bar.finish();
    return exit_for(status, err);
}

CLI::App* add_log_command(CLI::App& app, int& status, const char* name, const char* about,
                          const std::shared_ptr<LogArgs>& args, StreamCall stream, ExportCall to_csv) {
    CLI::App* command = app.add_subcommand(name, about);
    command->add_option("HOST", args->host, "Address or name of the meter")->required();
    command->add_option("-o,--output", args->csv_path, "Write CSV to FILE instead of JSON lines")->type_name("FILE");
    command->add_flag("--progress", args->progress,
                      "Show the progress of a CSV export even when standard error is not a terminal");
    add_meter_options(*command, args->options);
    command->callback([args, stream, to_csv, &status] { status = run_log(*args, stream, to_csv); });
    return command;
}

}  // namespace

void add_log_commands(CLI::App& app, int& status) {
    auto datalog = std::make_shared<LogArgs>();
    add_log_command(app, status, "datalog",
                    "Read a data log: a header line, then one JSON line per record", datalog,
                    kolvane_read_datalog, kolvane_export_datalog_ex)
        ->add_option("FILE_ID", datalog->file_id, "Data log file, 1-16")->required()->check(CLI::Range(1, 16));

    auto eventlog = std::make_shared<LogArgs>();
    add_log_command(app, status, "eventlog",
                    "Read the event log: a header line, then one JSON line per event", eventlog,
                    kolvane_read_eventlog, kolvane_export_eventlog_ex)
        ->add_option("--file-id", eventlog->file_id, "Event log file")->capture_default_str()->check(CLI::Range(0, 16));
}

}  // namespace kcli
