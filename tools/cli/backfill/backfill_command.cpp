// SPDX-License-Identifier: MIT
#include "backfill/backfill_command.hpp"

#include "backfill/log_families.hpp"
#include "backfill/meter_instances.hpp"
#include "backfill/series_spool.hpp"
#include "backfill/utc_text.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/interrupt.hpp"
#include "common/output.hpp"
#include "common/part_file.hpp"
#include "database/database.hpp"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace kbackfill {
namespace {

struct BackfillArgs {
    std::string db = kdb::DEFAULT_TARGET;
    std::string output;  // empty: standard output
    std::string from, to;
    std::vector<std::int64_t> serials;
};

struct Interrupted {};

std::string utc_option(const std::string& text, const char* option) {
    const auto time = user_utc_text(text);
    if (!time)
        throw CLI::ValidationError(
            option, "'" + text + "' is no UTC time like 2026-03-01 or 2026-03-01T12:15:00Z");
    return *time;
}

kdb::Selection selection_of(const BackfillArgs& args) {
    kdb::Selection selection;
    selection.serials = args.serials;
    if (!args.from.empty()) selection.from = utc_option(args.from, "--from");
    if (!args.to.empty()) selection.to = utc_option(args.to, "--to");
    if (selection.from && selection.to && *selection.from >= *selection.to)
        throw CLI::ValidationError("--from", "must be earlier than --to");
    return selection;
}

// -o naming the SQLite database itself would replace it with the samples.
void check_output(const BackfillArgs& args) {
    const kdb::Target target = *kdb::parse_target(args.db);
    if (args.output.empty() || target.engine != kdb::Target::Engine::SQLITE) return;
    std::error_code error;
    if (std::filesystem::equivalent(args.output, target.where, error) ||
        std::filesystem::absolute(args.output, error) ==
            std::filesystem::absolute(target.where, error))
        throw CLI::ValidationError("--output", "names the database itself");
}

// Every value of the selection whose column has a family, into the spool.
void spool_values(kdb::Database& database, const kdb::Selection& selection, SeriesSpool& spool) {
    const std::map<std::int64_t, MeterSeries> meters = meter_series(database);
    LogFamilies families;
    std::int64_t run_serial = -1;
    int run_file = -1;
    std::int64_t rows = 0;
    database.each_value(selection, [&](const kdb::ValueRow& row) {
        if ((++rows & 0xFFFF) == 0 && kcli::interrupted()) throw Interrupted{};
        if (row.serial != run_serial || row.file_id != run_file) {
            spool.end_run();
            run_serial = row.serial;
            run_file = row.file_id;
        }
        const auto meter = meters.find(row.serial);
        if (meter == meters.end()) return;  // values of a meter the meters view does not hold
        const kexp::PointFamily* family =
            families.family_of(meter->second.model, row.name, row.unit);
        if (!family) return;
        const auto milliseconds = epoch_milliseconds(row.recorded_at);
        if (!milliseconds)
            throw std::runtime_error("A record of meter " + std::to_string(row.serial) +
                                     " has a time of unknown form: " + row.recorded_at);
        spool.add({family, meter->second.instance, row.name, family->generic ? row.unit : ""},
                  row.file_id, *milliseconds, kexp::base_unit_value(*family, row.value));
    });
    spool.end_run();
}

int run(const BackfillArgs& args, const kdb::Selection& selection) {
    std::unique_ptr<kcli::PartFile> file;
    if (!args.output.empty()) file = std::make_unique<kcli::PartFile>(args.output);
    SpoolTotals totals;
    try {
        const auto reader = kdb::open_database(*kdb::parse_target(args.db), kdb::Access::READ);
        SeriesSpool spool;
        spool_values(*reader, selection, spool);
        if (kcli::interrupted()) throw Interrupted{};
        if (file) {
            std::FILE* out = std::fopen(file->write_path().c_str(), "wb");
            if (!out) throw std::runtime_error("Cannot write " + file->write_path());
            try {
                totals = spool.write(out);
            } catch (...) {
                std::fclose(out);
                throw;
            }
            if (std::fclose(out) != 0)
                throw std::runtime_error("Cannot write " + file->write_path());
        } else {
            totals = spool.write(stdout);
        }
    } catch (const Interrupted&) {
        if (file) file->remove();
        return kcli::INTERRUPTED;
    } catch (const std::exception& e) {
        if (file) file->remove();
        kcli::print_diagnostic(e.what());
        return kcli::FAILURE;
    }
    if (file) {
        std::string error;
        if (!file->commit(error)) {
            kcli::print_diagnostic(error.c_str());
            return kcli::FAILURE;
        }
    }
    // The summary goes where the samples do not.
    const std::string summary = nlohmann::json{
        {"backfill", args.output.empty() ? "-" : args.output},
        {"series", totals.series},
        {"samples", totals.samples},
        {"repeated_times_left_out",
         totals.repeated}}.dump();
    if (file)
        kcli::write_stdout_line(summary);
    else
        kcli::write_stderr_line(summary);
    return kcli::SUCCESS;
}

}  // namespace

void add_backfill_command(CLI::App& app, int& status) {
    auto args = std::make_shared<BackfillArgs>();
    CLI::App* command = app.add_subcommand(
        "backfill",
        "Write the data log history that 'kolvane collect' stored as an OpenMetrics file for "
        "'promtool tsdb create-blocks-from openmetrics': each logged point under the exporter's "
        "metric family and in its base unit, labelled as its live series (instance, job "
        "\"kolvane\", point), at the records' true UTC times. Columns that name no point of the "
        "meter's catalogue are left out. --from and --to are UTC.");
    command->add_option("--db", args->db, kdb::TARGET_HELP)
        ->type_name("TARGET")
        ->capture_default_str()
        ->check(kdb::target_problem);
    command
        ->add_option("-o,--output", args->output, "The file to write; standard output without it")
        ->type_name("FILE");
    command
        ->add_option("--from", args->from,
                     "Only records at or after T (UTC, 2026-03-01[T12:15[:00][Z]])")
        ->type_name("T");
    command->add_option("--to", args->to, "Only records before T (UTC)")->type_name("T");
    command
        ->add_option("--serial", args->serials,
                     "Only the meter with this serial number; may be repeated")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    command->callback([args, &status] {
        const kdb::Selection selection = selection_of(*args);
        check_output(*args);
        status = run(*args, selection);
    });
    kcli::add_examples(*command,
                       {"kolvane backfill --db site.db -o history.om",
                        "promtool tsdb create-blocks-from openmetrics history.om blocks",
                        "kolvane backfill --db site.db --from 2026-03-01 --serial 1201784"});
}

}  // namespace kbackfill
