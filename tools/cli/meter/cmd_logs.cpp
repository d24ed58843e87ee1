// SPDX-License-Identifier: MIT
// datalog and eventlog: the record stream as JSON lines, or a CSV file with -o; with --tz, each
// record's time in true UTC and the meter's wall time beside it.
#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/host_port.hpp"
#include "common/interrupt.hpp"
#include "common/log_output.hpp"
#include "common/meter_clock.hpp"
#include "common/meter_lock.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "common/part_file.hpp"
#include "common/progress.hpp"
#include "common/record_restamp.hpp"
#include "common/restamped_csv.hpp"
#include "meter/commands.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <optional>

namespace kcli {
namespace {

using StreamCall = int (*)(const char*, const char*, int, const char*, kolvane_record_cb, void*,
                           char*, int);
using ExportCall = int (*)(const char*, const char*, int, const char*, const char*,
                           kolvane_progress_cb, void*, char*, int);

struct LogArgs {
    MeterOptions options;
    std::string host;
    int file_id = 0;
    std::string csv_path;
    std::string after_time;  // the stamp of the record at --after, as the record showed it
    std::string zone;        // --tz: the zone of the meter's clock; empty: stamps as they are
    bool progress = false;
};

// The JSON lines of one transfer, restamped when the meter's zone is given.
struct JsonLines {
    const LogArgs& args;
    std::optional<RecordRestamper> restamper;
    std::string failure;  // a record that could not be restamped

    std::string restamp(const std::string& line) {
        if (!restamper) {
            if (line.starts_with(R"({"type":"header")")) return line;
            restamper.emplace(args.zone, record_before(line));
        }
        return restamper->json_line(line);
    }

    // The UTC time of the record before `first`: the one at --after, when the meter still holds
    // it and --after-time gave its time. It places a first record in the hour an autumn change
    // repeats on the right side of the change; a log read whole starts without it.
    std::optional<std::string> record_before(const std::string& first) const {
        if (!args.options.after_seq || args.after_time.empty()) return std::nullopt;
        const nlohmann::json record = nlohmann::json::parse(first, nullptr, false);
        if (!record.is_object() || record.value("seq", -1) != (*args.options.after_seq + 1) % 65536)
            return std::nullopt;
        return args.after_time;
    }
};

// One record per line on standard output; Ctrl-C, a failed write or a record that cannot be
// restamped stops the transfer.
extern "C" int print_record(const char* record, void* user) {
    auto& lines = *static_cast<JsonLines*>(user);
    std::string line = record;
    if (!lines.args.zone.empty()) {
        try {
            line = lines.restamp(line);
        } catch (const std::exception& e) {
            lines.failure = e.what();
            return 1;
        }
    }
    const bool written = write_stdout_line(line);
    return interrupted() || !written ? 1 : 0;
}

// A CSV export in progress: the bar and the rows written so far.
struct ExportProgress {
    explicit ExportProgress(bool forced) : bar(forced) {}
    ProgressBar bar;
    int rows = 0;
};

extern "C" int on_export_progress(int done, int total, void* user) {
    auto* progress = static_cast<ExportProgress*>(user);
    progress->rows = done;
    return ProgressBar::callback(done, total, &progress->bar);
}

// Whether the meter lists the log. An empty export of a log the meter does not hold looks like
// the export of an empty log; the directory tells them apart. When the directory cannot be read
// either, the export's result stands.
bool meter_has_log(const LogArgs& args, const char* options) {
    const DocumentResult logs = fetch_document([&](char* out, int out_len, char* err, int err_len) {
        return kolvane_list_logs(args.host.c_str(), args.options.meter.c_str(), options, out,
                                 out_len, err, err_len);
    });
    if (logs.status < 0) return true;
    const nlohmann::json directory = nlohmann::json::parse(logs.text, nullptr, false);
    if (!directory.contains("logs")) return true;
    for (const auto& log : directory["logs"])
        if (log.value("file_id", -1) == args.file_id) return true;
    return false;
}

int export_csv(const LogArgs& args, const char* options, ExportCall to_csv) {
    const PartFile file(args.csv_path);
    // With the meter's zone, the library's rows pass through a temporary file to be restamped.
    std::optional<RestampedCsv> restamped;
    if (!args.zone.empty()) {
        try {
            restamped.emplace(file.write_path());
        } catch (const std::exception& e) {
            print_diagnostic(e.what());
            return FAILURE;
        }
    }
    const std::string& csv_path = restamped ? restamped->library_path() : file.write_path();
    char err[1024];
    ExportProgress progress(args.progress);
    const int status =
        to_csv(args.host.c_str(), args.options.meter.c_str(), args.file_id, csv_path.c_str(),
               options, on_export_progress, &progress, err, sizeof err);
    progress.bar.finish();
    int rows = progress.rows;
    std::string restamp_failure;
    if (restamped) {
        RecordRestamper restamper(args.zone);
        rows = restamped->finish(restamper, restamp_failure);
    }
    if (status < 0 || !restamp_failure.empty()) {
        const int exit_status = status < 0 ? exit_for(status, err) : FAILURE;
        if (!restamp_failure.empty()) print_diagnostic(restamp_failure.c_str());
        if (rows == 0) {
            file.remove();
        } else if (file.write_path() != file.path()) {
            print_diagnostic(("The " + std::to_string(rows) + " rows read are kept in " +
                              file.write_path() + "; " + file.path() + " is unchanged")
                                 .c_str());
        }
        return exit_status;
    }
    if (status == 0 && !meter_has_log(args, options)) {
        file.remove();
        print_diagnostic(
            ("The meter has no log file " + std::to_string(args.file_id) + ": no file written")
                .c_str());
        return FAILURE;
    }
    std::string error;
    if (!file.commit(error)) {
        print_diagnostic(error.c_str());
        return FAILURE;
    }
    return SUCCESS;
}

int run_log(const LogArgs& args, StreamCall stream, ExportCall to_csv) {
    set_verbosity(args.options.verbosity);
    std::string storage;
    const char* options = args.options.options_arg(storage);
    CancellableScope scope;
    // Another kolvane transferring from this meter is waited for, within the deadline.
    const int deadline_ms = args.options.deadline_ms();
    const MeterLock lock(
        args.host, args.options.port.value_or(MODBUS_TCP_PORT), args.options.unit.value_or(1),
        deadline_ms > 0 ? std::chrono::milliseconds(deadline_ms) : std::chrono::hours(24 * 365));
    if (!lock.error().empty()) {
        print_diagnostic(lock.error().c_str());
        return FAILURE;
    }
    if (!lock.held()) {
        if (interrupted()) return INTERRUPTED;
        print_diagnostic(lock.busy_message().c_str());
        return FAILURE;
    }
    if (!args.csv_path.empty()) return export_csv(args, options, to_csv);
    char err[1024];
    JsonLines lines{args, std::nullopt, {}};
    const int status = stream(args.host.c_str(), args.options.meter.c_str(), args.file_id, options,
                              print_record, &lines, err, sizeof err);
    if (!lines.failure.empty()) {
        print_diagnostic(lines.failure.c_str());
        return FAILURE;
    }
    if (stdout_failed()) return FAILURE;  // reported once the command ends
    return exit_for(status, err);
}

CLI::App* add_log_command(CLI::App& app, int& status, const char* name, const char* about,
                          const std::shared_ptr<LogArgs>& args, StreamCall stream,
                          ExportCall to_csv) {
    CLI::App* command = app.add_subcommand(name, about);
    command->add_option("HOST", args->host, "Address or name of the meter")->required();
    CLI::Option* output =
        command
            ->add_option("-o,--output", args->csv_path,
                         "Write CSV to FILE instead of JSON lines. The rows go to FILE.part, "
                         "which becomes FILE once the log is complete; after a failure or Ctrl-C "
                         "FILE.part keeps the rows read and FILE is left as it was")
            ->type_name("FILE");
    // The CSV export always writes the whole log, so --after goes with the JSON lines only.
    CLI::Option* after =
        command
            ->add_option("--after", args->options.after_seq,
                         "Only the records newer than sequence number SEQ (0-65535), the \"seq\" "
                         "of the last record already held; the whole log when SEQ is not in it")
            ->type_name("SEQ")
            ->check(CLI::Range(0, 65535).description(""))
            ->excludes(output);
    command
        ->add_option("--after-time", args->after_time,
                     "The \"timestamp\" that record showed (e.g. 2026-12-01T10:15:00.000Z; with "
                     "--tz the UTC one): the meter's record at SEQ must carry it, else the log "
                     "started again under the same numbers and is read whole")
        ->type_name("STAMP")
        ->needs(after)
        ->check([](const std::string& stamp) {
            try {
                utc_ms(stamp);
                return std::string();
            } catch (const std::exception&) {
                return "'" + stamp + "' is not a stamp YYYY-MM-DDTHH:MM:SS.mmm[Z]";
            }
        });
    command
        ->add_option("--tz", args->zone,
                     "Zone of the meter's clock, an IANA name such as Europe/Berlin, or UTC: "
                     "\"timestamp\" becomes true UTC and \"meter_time\" beside it keeps the "
                     "meter's wall time (in CSV: Date/Time in UTC, then a meter_time column). "
                     "Without it the meter's wall time is printed as UTC")
        ->type_name("ZONE")
        ->check(zone_problem);
    command->add_flag(
        "--progress", args->progress,
        "Show the progress of a CSV export even when standard error is not a terminal");
    add_meter_options(*command, args->options);
    command->footer("A long log may need a --deadline above the default of 10 x the time-out.");
    command->callback([args, stream, to_csv, &status] {
        // The meter compares the stamp with its own: with --tz, its wall time at that UTC time.
        if (!args->after_time.empty())
            args->options.after_time_ms = utc_ms(
                args->zone.empty() ? args->after_time : wall_time_at(args->after_time, args->zone));
        status = run_log(*args, stream, to_csv);
    });
    return command;
}

}  // namespace

void add_log_commands(CLI::App& app, int& status) {
    auto datalog = std::make_shared<LogArgs>();
    CLI::App* datalog_command = add_log_command(
        app, status, "datalog", "Read a data log: a header line, then one JSON line per record",
        datalog, kolvane_read_datalog, kolvane_export_datalog_ex);
    datalog_command->add_option("FILE_ID", datalog->file_id, "Data log file, 1-16")
        ->required()
        ->check(CLI::Range(1, 16));
    add_examples(
        *datalog_command,
        {"kolvane-sim --port 1502 &", "kolvane datalog 127.0.0.1 1 -p 1502 -m em133 -o dl1.csv",
         "kolvane datalog 127.0.0.1 1 -p 1502 -m em133 --tz Europe/Berlin"});

    auto eventlog = std::make_shared<LogArgs>();
    CLI::App* eventlog_command = add_log_command(
        app, status, "eventlog", "Read the event log: a header line, then one JSON line per event",
        eventlog, kolvane_read_eventlog, kolvane_export_eventlog_ex);
    eventlog_command->add_option("--file-id", eventlog->file_id, "Event log file")
        ->capture_default_str()
        ->check(CLI::Range(0, 16));
    add_examples(*eventlog_command, {"kolvane-sim --port 1502 &",
                                     "kolvane eventlog 127.0.0.1 -p 1502 -m em133 -o events.csv",
                                     "kolvane eventlog 127.0.0.1 -p 1502 -m em133 --after 290"});
}

}  // namespace kcli
