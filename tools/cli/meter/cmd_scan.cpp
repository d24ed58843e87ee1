// SPDX-License-Identifier: MIT
// scan: which unit ids behind one address answer as a supported meter, printed as the lines of
// a hosts file.
#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/gateway_queue.hpp"
#include "common/help_format.hpp"
#include "common/host_port.hpp"
#include "common/identity_check.hpp"
#include "common/interrupt.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "meter/commands.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>

#include <charconv>
#include <memory>

namespace kcli {
namespace {

// A unit that does not answer costs one wait: short, as most unit ids of a bus are empty.
constexpr int SCAN_TIMEOUT_MS = 500;

struct ScanArgs {
    std::string address;
    std::string units = "1-247";  // the unit ids a Modbus bus may address
    MeterOptions options;
};

struct UnitRange {
    int first = 1;
    int last = 247;
};

// "A-B" or "N", unit ids 0-255; nothing when malformed.
std::optional<UnitRange> parse_units(const std::string& text) {
    auto number = [](std::string_view digits) -> std::optional<int> {
        int value = -1;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || end != digits.data() + digits.size() || value < 0 ||
            value > 255)
            return std::nullopt;
        return value;
    };
    const std::size_t dash = text.find('-');
    const auto first = number(std::string_view(text).substr(0, dash));
    const auto last =
        dash == std::string::npos ? first : number(std::string_view(text).substr(dash + 1));
    if (!first || !last || *first > *last) return std::nullopt;
    return UnitRange{*first, *last};
}

// The supported model that answers at the options' unit, or empty. Throws when the address
// cannot be connected to: no other unit would answer either.
std::string model_at(const std::string& host, const MeterOptions& options) {
    const std::string text = options.options_text();
    const DocumentResult result =
        fetch_document([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info(host.c_str(), "em133", text.c_str(), out, out_len, err,
                                            err_len);
        });
    if (result.status < 0 && is_connect_failure(result.error))
        throw std::runtime_error(result.error);
    if (result.status < 0) return {};
    try {
        return named_model(result.text);
    } catch (const std::exception&) {
        return {};  // an identity of no supported meter
    }
}

std::string counted(int count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

int run_scan(const ScanArgs& args, const HostPort& target, int port, const UnitRange& units) {
    set_verbosity(args.options.verbosity);
    const std::string address = join_host_port(target.host, port);
    CancellableScope scope;
    int found = 0;
    int scanned = 0;
    for (int unit = units.first; unit <= units.last && !interrupted(); ++unit, ++scanned) {
        MeterOptions options = args.options;
        options.port = port;
        options.unit = unit;
        std::string model;
        try {
            model = model_at(target.host, options);
        } catch (const std::runtime_error& e) {
            print_diagnostic(("gateway " + address + " unreachable: " + e.what()).c_str());
            return FAILURE;
        }
        if (model.empty()) continue;
        ++found;
        write_stdout_line(address + " " + model + " unit=" + std::to_string(unit));
    }
    // A comment, so that the output is a hosts file as it stands.
    write_stdout_line("# " + address + ": " + counted(found, "meter") + " among " +
                      counted(scanned, "unit id") + " " + std::to_string(units.first) + "-" +
                      std::to_string(units.last) + (interrupted() ? " (interrupted)" : ""));
    if (interrupted()) return INTERRUPTED;
    return found > 0 ? SUCCESS : FAILURE;
}

}  // namespace

void add_scan_command(CLI::App& app, int& status) {
    auto args = std::make_shared<ScanArgs>();
    args->options.timeout_ms = SCAN_TIMEOUT_MS;
    CLI::App* command = app.add_subcommand(
        "scan",
        "Ask every unit id behind one address (a Modbus gateway) for its identity and print a "
        "hosts file line 'HOST:PORT MODEL unit=N' for each supported meter that answers, then "
        "one '#' summary line. Only that address is contacted.");
    command->add_option("HOST", args->address, "Address or name of the gateway, HOST[:PORT]")
        ->required();
    command->add_option("--units", args->units, "Unit ids to ask, A-B or N within 0-255")
        ->type_name("A-B")
        ->capture_default_str()
        ->check([](const std::string& text) {
            return parse_units(text) ? std::string()
                                     : "--units must be A-B or N within 0-255, A <= B";
        });
    command
        ->add_option("-t,--timeout", args->options.timeout_ms,
                     "Time-out of each wait, 100-3600000 milliseconds")
        ->type_name("MS")
        ->capture_default_str()
        ->check(CLI::Range(100, 3600000).description(""));
    command
        ->add_option("--gap", args->options.gap_ms,
                     "Least pause between two requests, 0-10000 milliseconds")
        ->type_name("MS")
        ->check(CLI::Range(0, MAX_GAP_MS).description(""));
    add_verbose_flag(*command, args->options);
    command->callback([args, &status] {
        const std::optional<HostPort> target = split_host_port(args->address);
        const std::optional<int> port =
            target && !target->port.empty() ? port_number(target->port) : MODBUS_TCP_PORT;
        if (!target || target->host.empty() || !port)
            throw CLI::ValidationError("HOST", "bad address '" + args->address + "'");
        status = run_scan(*args, *target, *port, *parse_units(args->units));
    });
    add_examples(*command, {"kolvane-sim --port 1502 --units 1,2,5 &",
                            "kolvane scan 127.0.0.1:1502 --units 1-10 > site.txt"});
}

}  // namespace kcli
