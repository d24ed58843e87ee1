// SPDX-License-Identifier: MIT
// export-all and diagnostics: the two exports that always talk to port 502.
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "common/progress.hpp"
#include "meter/bundle_runner.hpp"
#include "meter/commands.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace kcli {
namespace {

struct BundleArgs {
    BundleRequest request;
    MeterOptions options;  // only -v applies
    bool progress = false;
};

struct DiagnosticsArgs {
    std::string host;
    int first_register = 0;
    int count = 2;
    int unit = 1;
    std::string word_order = "LO_FIRST";
    std::string csv_path;
    MeterOptions options;  // only -v applies
};

// Why the bundle cannot be written into `dir`, or nothing.
std::string unwritable_directory(const std::string& dir) {
    std::error_code ec;
    if (!std::filesystem::exists(dir, ec)) return "No such directory: " + dir;
    if (!std::filesystem::is_directory(dir, ec)) return "Not a directory: " + dir;
    if (access(dir.c_str(), W_OK | X_OK) != 0)
        return "Cannot write into " + dir + ": " + std::strerror(errno);
    return {};
}

void add_bundle_command(CLI::App& app, int& status) {
    auto args = std::make_shared<BundleArgs>();
    CLI::App* command = app.add_subcommand(
        "export-all",
        "Export a whole em133 into DIR: data logs 1-3 and the event log, one CSV file each. "
        "Always connects to port 502 with unit 1 and a 30 s time-out per wait: -m, -p, -u, -t and "
        "--deadline do not apply (the library takes no options for the bundle, so no deadline "
        "bounds it).");
    command->add_option("HOST", args->request.host, "Address or name of the meter")->required();
    command->add_option("DIR", args->request.dir, "Existing directory for the CSV files")
        ->type_name("DIR")
        ->required();
    auto* set_clock =
        command->add_flag("--set-clock", args->request.set_clock,
                          "First set the meter's clock to this computer's local time");
    command
        ->add_option("--guard", args->request.guard,
                     "Guard value written to register 2575 while the clock is set (default 1)")
        ->needs(set_clock);
    command->add_flag("--progress", args->progress,
                      "Show the progress even when standard error is not a terminal");
    add_verbose_flag(*command, args->options);
    command->callback([args, &status] {
        set_verbosity(args->options.verbosity);
        // Before any traffic: the clock must not be set for an export that cannot be written.
        if (const std::string problem = unwritable_directory(args->request.dir); !problem.empty()) {
            print_diagnostic(problem.c_str());
            status = FAILURE;
            return;
        }
        ProgressBar bar(args->progress);
        const BundleResult result = run_bundle(args->request, bar);
        bar.finish();
        status = exit_for(result.status, result.error.c_str());
    });
    add_examples(*command, {"kolvane-sim --port 502 &    # port 502 needs root",
                            "mkdir -p bundle && kolvane export-all 127.0.0.1 bundle --set-clock"});
}

void add_diagnostics_command(CLI::App& app, int& status) {
    auto args = std::make_shared<DiagnosticsArgs>();
    CLI::App* command = app.add_subcommand("diagnostics",
                                           "Write the self-diagnostics word of an em235 as CSV, "
                                           "one row per bit. Always connects to port 502 "
                                           "with a 30 s time-out per wait: -t and --deadline do "
                                           "not apply (the library takes no options here).");
    command->add_option("HOST", args->host, "Address or name of the meter")->required();
    command
        ->add_option("--register", args->first_register,
                     "First register of the word, counted from 1")
        ->required();
    command
        ->add_option("--count", args->count,
                     "Registers to read in one request, 2-65535 (a meter refuses more than 125)")
        ->capture_default_str()
        ->check(CLI::Range(2, 65535).description(""));
    command->add_option("-u,--unit", args->unit, "Modbus unit id, 0-255")
        ->capture_default_str()
        ->check(CLI::Range(0, 255).description(""));
    command
        ->add_option("--word-order", args->word_order,
                     "LO_FIRST: the first register read (word 0) is the upper half of the value; "
                     "HI_FIRST: the second register (word 1) is the upper half")
        ->capture_default_str()
        ->check(CLI::IsMember({"HI_FIRST", "LO_FIRST"}));
    command->add_option("-o,--output", args->csv_path, "CSV file to write")
        ->type_name("FILE")
        ->required();
    add_verbose_flag(*command, args->options);
    command->callback([args, &status] {
        set_verbosity(args->options.verbosity);
        char err[1024];
        status = exit_for(kolvane_export_em235_diagnostics(
                              args->host.c_str(), args->unit, args->first_register, args->count,
                              args->word_order.c_str(), args->csv_path.c_str(), err, sizeof err),
                          err);
    });
    command->footer(
        "--register is where the meter keeps the word, as its documentation says. kolvane-sim "
        "has no such word: the example reads V1 (registers 13313-13314) in its place.");
    add_examples(*command, {"kolvane-sim --model em235 --port 502 &    # port 502 needs root",
                            "kolvane diagnostics 127.0.0.1 --register 13313 -o diag.csv"});
}

}  // namespace

void add_export_commands(CLI::App& app, int& status) {
    add_bundle_command(app, status);
    add_diagnostics_command(app, status);
}

}  // namespace kcli
