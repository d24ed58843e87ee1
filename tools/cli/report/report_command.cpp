// SPDX-License-Identifier: MIT
#include "report/report_command.hpp"

#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/output.hpp"
#include "common/part_file.hpp"
#include "database/database.hpp"
#include "report/html_page.hpp"
#include "report/output_file.hpp"
#include "report/report_model.hpp"
#include "report/utc_time.hpp"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ctime>
#include <fstream>
#include <memory>

namespace kcli {
namespace {

struct ReportArgs {
    std::string db = kdb::DEFAULT_TARGET;
    std::string output = "report.html";
    std::string since, from, to;
    std::vector<std::int64_t> serials;
};

std::string user_time(const std::string& text, const char* option) {
    const auto time = kreport::parse_user_time(text);
    if (!time)
        throw CLI::ValidationError(
            option, "'" + text + "' is no UTC time like 2026-03-01 or 2026-03-01T12:15");
    return *time;
}

kdb::Selection selection_of(const ReportArgs& args) {
    kdb::Selection selection;
    selection.serials = args.serials;
    if (!args.since.empty()) {
        const auto span = kreport::parse_span(args.since);
        selection.from = kreport::utc_text(static_cast<double>(std::time(nullptr) - span->count()));
    }
    if (!args.from.empty()) selection.from = user_time(args.from, "--from");
    if (!args.to.empty()) selection.to = user_time(args.to, "--to");
    if (selection.from && selection.to && *selection.from >= *selection.to)
        throw CLI::ValidationError("--from", "must be earlier than --to");
    return selection;
}

int run(const ReportArgs& args, const kdb::Selection& selection) {
    const PartFile file(args.output);
    nlohmann::json report;
    try {
        const auto reader = kdb::open_database(*kdb::parse_target(args.db), kdb::Access::READ);
        report = kreport::build_report(*reader, selection);
        std::ofstream out(file.write_path(), std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("Cannot write " + file.write_path());
        kreport::write_page(out, report);
        out.close();
        if (!out) throw std::runtime_error("Cannot write " + file.write_path());
    } catch (const std::exception& e) {
        file.remove();
        print_diagnostic(e.what());
        return FAILURE;
    }
    std::string error;
    if (!file.commit(error)) {
        print_diagnostic(error.c_str());
        return FAILURE;
    }
    const nlohmann::json& summary = report["summary"];
    write_stdout_line(nlohmann::json{
        {"report", args.output},
        {"meters", summary["meters"]},
        {"datalog_records", summary["datalog_records"]},
        {"events", summary["events"]},
        {"gaps",
         summary["gaps"]}}.dump());
    return SUCCESS;
}

}  // namespace

void add_report_command(CLI::App& app, int& status) {
    auto args = std::make_shared<ReportArgs>();
    CLI::App* command = app.add_subcommand("report",
                                           "Write one self-contained HTML file of what 'kolvane "
                                           "collect' stored: per meter its identity, charts of "
                                           "its data logs, energy per day and its event log, with "
                                           "a summary of records and gaps. --from and --to "
                                           "are UTC; the page shows each meter's times in its "
                                           "clock's zone.");
    command->add_option("--db", args->db, kdb::TARGET_HELP)
        ->type_name("TARGET")
        ->capture_default_str()
        ->check(kdb::target_problem);
    command
        ->add_option("-o,--output", args->output,
                     "The HTML file to write: a new one or a report written before")
        ->type_name("FILE")
        ->capture_default_str();
    auto* since = command
                      ->add_option("--since", args->since,
                                   "Only records of the last DURATION (90s, 15m, 6h, 7d)")
                      ->type_name("DURATION")
                      ->check([](const std::string& text) {
                          return kreport::parse_span(text)
                                     ? std::string()
                                     : "DURATION must be a positive number with s, m, h or d";
                      });
    auto* from = command
                     ->add_option("--from", args->from,
                                  "Only records at or after T (UTC, 2026-03-01[T12:15[:00]])")
                     ->type_name("T");
    auto* to = command->add_option("--to", args->to, "Only records before T (UTC)")->type_name("T");
    since->excludes(from)->excludes(to);
    command
        ->add_option("--serial", args->serials,
                     "Only the meter with this serial number; may be repeated")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    command->callback([args, &status] {
        const kdb::Selection selection = selection_of(*args);
        // Before anything is opened or written: -o naming the database would replace it.
        const std::string problem =
            kreport::output_problem(args->output, *kdb::parse_target(args->db));
        if (!problem.empty()) throw CLI::ValidationError("--output", problem);
        status = run(*args, selection);
    });
    add_examples(*command, {"kolvane report --db site.db -o site.html",
                            "kolvane report --db site.db --since 7d --serial 1201784"});
}

}  // namespace kcli
