// SPDX-License-Identifier: MIT
// kolvane: the command-line tool. Builds the command table, parses the arguments and maps the
// outcome to the exit status.
#include "backfill/backfill_command.hpp"
#include "collect/collect_command.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/interrupt.hpp"
#include "common/output.hpp"
#include "energy/energy_command.hpp"
#include "exporter/exporter_command.hpp"
#include "meter/commands.hpp"
#include "mqtt/mqtt_command.hpp"
#include "report/report_command.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>

#include <sstream>
#include <string>

int main(int argc, char** argv) {
    kcli::install_interrupt_handler();
    CLI::App app(
        "kolvane: read em133 and em235 electricity meters over Modbus TCP.\n"
        "Results go to standard output, diagnostics to standard error. Exit status: 0 success, "
        "1 failure, 2 usage error, 130 interrupted.",
        "kolvane");
    kcli::use_filled_help(app);  // before the subcommands, which take it over
    app.set_version_flag("--version", "kolvane " KOLVANE_CLI_VERSION);
    app.require_subcommand(1);

    int status = kcli::SUCCESS;
    kcli::add_document_commands(app, status);
    kcli::add_log_commands(app, status);
    kcli::add_export_commands(app, status);
    kcli::add_scan_command(app, status);
    kcli::add_collect_command(app, status);
    kexp::add_exporter_command(app, status);
    kmqtt::add_mqtt_command(app, status);
    kcli::add_report_command(app, status);
    kbackfill::add_backfill_command(app, status);
    kenergy::add_energy_command(app, status);
    CLI::App* version = app.add_subcommand("version", "Print the library's version");
    version->callback([] { kcli::write_stdout_line(kolvane_version()); });
    kcli::add_examples(*version, {"kolvane version"});
    // After the subcommands: a subcommand made later would take this footer over as its own.
    kcli::add_examples(
        app, {"kolvane-sim --port 1502 &", "kolvane info 127.0.0.1 -p 1502 -m em133 --pretty",
              "kolvane live 127.0.0.1 -p 1502 -m em133",
              "kolvane collect 127.0.0.1:1502 -m em133 --db site.db",
              "kolvane report --db site.db -o site.html"});

    try {
        // CLI11 reports an unknown command only as a missing one.
        if (argc > 1 && argv[1][0] != '-' &&
            app.get_subcommands([&](CLI::App* c) { return c->get_name() == argv[1]; }).empty())
            throw CLI::ExtrasError({argv[1]});
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        // --help, --version: the text written in one piece, so that a failed write keeps its
        // errno (std::cout would lose it to its own state).
        std::ostringstream text;
        const int exit_status = app.exit(e, text, text);
        std::string out = text.str();
        if (!out.empty() && out.back() == '\n') out.pop_back();
        if (!out.empty()) kcli::write_stdout_line(out);
        return kcli::finish_stdout(exit_status);
    } catch (const CLI::ParseError& e) {
        kcli::print_diagnostic(e.what());
        kcli::write_stderr_line("Run 'kolvane --help' or 'kolvane COMMAND --help' for usage.");
        return kcli::USAGE;
    }
    return kcli::finish_stdout(status);
}
