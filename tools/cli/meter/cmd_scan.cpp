// SPDX-License-Identifier: MIT
// scan: which unit ids behind one address answer as a supported meter, printed as the lines of
// a hosts file.
#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/gateway_queue.hpp"
#include "common/help_format.hpp"
#include "common/host_port.hpp"
#include "common/hosts_file.hpp"
#include "common/identity_check.hpp"
#include "common/interrupt.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "meter/commands.hpp"

#include <kolvane.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// What one unit id answered.
struct UnitAnswer {
    enum Kind {
        meter,    // a supported meter: `text` is its model
        none,     // no supported meter: the gateway says none is there, or another device
        silent,   // no reply within the time-out: none there, unless a gateway is in front
        weather,  // busy after every try, a gateway's exception, a lost connection: unknown
    } kind = none;
    std::string text;                    // the model, or the library's message of a failure
    bool from_gateway = false;           // a gateway answered for the unit: one is in front
    std::optional<std::int64_t> serial;  // a meter's serial number
};

// A failed identity read, told by the library's message of its first request: the unit's own
// answer when it gave one, else the gateway's or the time limit's.
UnitAnswer failed_answer(const std::string& message) {
    if (message.starts_with("no meter answered at unit "))
        return {UnitAnswer::none, message, true, {}};
    if (message.starts_with("no reply from ")) return {UnitAnswer::silent, message, false, {}};
    // A device without the identity block is no supported meter; exception 10 (no path to the
    // unit) comes from a gateway.
    for (const char* code : {"1", "2", "3"})
        if (message == std::string("Modbus exception ") + code)
            return {UnitAnswer::none, message, false, {}};
    return {UnitAnswer::weather, message, message == "Modbus exception 10", {}};
}

// How the unit of `options` answers. Throws when the address cannot be connected to: no other
// unit would answer either.
UnitAnswer ask_unit(const std::string& host, const MeterOptions& options) {
    const std::string text = options.options_text();
    const DocumentResult result =
        fetch_document([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info(host.c_str(), "em133", text.c_str(), out, out_len, err,
                                            err_len);
        });
    if (result.status < 0 && is_connect_failure(result.error))
        throw std::runtime_error(result.error);
    if (result.status < 0) return failed_answer(result.error);
    try {
        const std::string model = named_model(result.text);
        if (model.empty()) return {};
        const nlohmann::json info = nlohmann::json::parse(result.text);
        const auto serial = info.find("serial");
        return {UnitAnswer::meter, model, false,
                serial != info.end() && serial->is_number_integer()
                    ? std::optional(serial->get<std::int64_t>())
                    : std::nullopt};
    } catch (const std::exception&) {
        return {};  // an identity of no supported meter
    }
}

std::string counted(int count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Unit ids in increasing order as "2-4,7".
std::string id_ranges(const std::vector<int>& ids) {
    std::string text;
    for (std::size_t i = 0; i < ids.size();) {
        std::size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(ids[i]);
        if (j > i) text += "-" + std::to_string(ids[j]);
        i = j + 1;
    }
    return text;
}

// A unit id without a sure answer, and the library's message of why.
struct Unsure {
    int unit = 0;
    std::string why;
};

// The request gap to suggest: the largest the library named ("gateway HOST:PORT busy after 3
// tries: set gap=50"), else twice the gap used, 50 ms at least, as the library reckons it.
int suggested_gap(const std::vector<Unsure>& unsure, const MeterOptions& options) {
    std::optional<int> named;
    for (const Unsure& u : unsure) {
        const std::size_t at = u.why.rfind("set gap=");
        if (at == std::string::npos) continue;
        int value = 0;
        const char* end = u.why.data() + u.why.size();
        const auto [stop, error] = std::from_chars(u.why.data() + at + 8, end, value);
        if (error == std::errc() && stop == end) named = std::max(named.value_or(0), value);
    }
    return named.value_or(std::min(MAX_GAP_MS, std::max(50, 2 * options.gap_ms.value_or(0))));
}

int run_scan(const ScanArgs& args, const HostEntry& target, int port, const UnitRange& units) {
    set_verbosity(args.options.verbosity);
    const std::string address = hosts_line_address(target.host, port, args.options.line);
    CancellableScope scope;
    int found = 0;
    int scanned = 0;
    bool gateway = false;  // a gateway answered for some unit: it is in front
    std::vector<Unsure> silent, unsure;
    // A device that answers every unit id as one meter (one that ignores the unit id, or a
    // gateway that passes every request to one meter) is listed once, at the first unit that
    // answered with its serial: collected at every unit id, each one after the first would be
    // refused as a meter already stored at another address.
    std::map<std::int64_t, int> unit_of_serial;
    std::map<int, std::vector<int>> repeats;  // a listed unit: the unit ids that answered as it
    std::map<int, std::int64_t> serial_at;    // a listed unit's serial
    for (int unit = units.first; unit <= units.last && !interrupted(); ++unit) {
        MeterOptions options = args.options;
        options.port = port;
        options.unit = unit;
        UnitAnswer answer;
        try {
            answer = ask_unit(target.host, options);
        } catch (const std::runtime_error& e) {
            print_diagnostic(("gateway " + address + " unreachable: " + e.what()).c_str());
            return FAILURE;
        }
        if (interrupted()) break;  // the unit was not asked to the end
        ++scanned;
        gateway = gateway || answer.from_gateway;
        if (answer.kind == UnitAnswer::meter && answer.serial) {
            const auto [first, fresh] = unit_of_serial.try_emplace(*answer.serial, unit);
            if (!fresh) {
                repeats[first->second].push_back(unit);
                continue;
            }
            serial_at[unit] = *answer.serial;
        }
        if (answer.kind == UnitAnswer::meter) {
            ++found;
            write_stdout_line(address + " " + answer.text + " unit=" + std::to_string(unit) +
                              line_fields(args.options.line));
        } else if (answer.kind == UnitAnswer::silent) {
            silent.push_back({unit, answer.text});
        } else if (answer.kind == UnitAnswer::weather) {
            unsure.push_back({unit, answer.text});
        }
    }
    // Several meters at one address are behind a gateway, as is one that answered exception 10
    // or 11 for a unit: then a silent unit missed its request. Without one, a silent unit id is
    // an empty one, as on a meter that answers its own unit id only.
    if (gateway || found > 1) {
        unsure.insert(unsure.end(), silent.begin(), silent.end());
        std::ranges::sort(unsure, {}, &Unsure::unit);
    }
    if (args.options.verbosity > 0)
        for (const Unsure& u : unsure)
            write_stderr_line("kolvane: warning: unit " + std::to_string(u.unit) + ": " + u.why);
    std::vector<int> repeated;
    for (const auto& [unit, ids] : repeats) {
        write_stderr_line("kolvane: warning: the meter at unit " + std::to_string(unit) +
                          " (serial " + std::to_string(serial_at[unit]) +
                          ") also answered at unit " + (ids.size() == 1 ? "id " : "ids ") +
                          id_ranges(ids) + ": listed once");
        repeated.insert(repeated.end(), ids.begin(), ids.end());
    }
    std::ranges::sort(repeated);
    // Comments, so that the output is a hosts file as it stands.
    std::string summary = "# " + address + ": " + counted(found, "meter") + " among " +
                          counted(scanned, "unit id") + " " + std::to_string(units.first) + "-" +
                          std::to_string(units.last);
    if (!repeated.empty())
        summary += ", " + counted(static_cast<int>(repeated.size()), "unit id") + " " +
                   id_ranges(repeated) + " answering as a meter listed above";
    if (interrupted()) summary += " (interrupted)";
    write_stdout_line(summary);
    if (!unsure.empty()) {
        std::vector<int> ids;
        for (const Unsure& u : unsure) ids.push_back(u.unit);
        write_stdout_line("# " + address + ": no sure answer from " +
                          counted(static_cast<int>(ids.size()), "unit id") + " " + id_ranges(ids) +
                          " (busy, silent or refused by the gateway): set --gap " +
                          std::to_string(suggested_gap(unsure, args.options)) +
                          " and scan them again");
    }
    if (interrupted()) return INTERRUPTED;
    return found > 0 && unsure.empty() ? SUCCESS : FAILURE;
}

}  // namespace

void add_scan_command(CLI::App& app, int& status) {
    auto args = std::make_shared<ScanArgs>();
    args->options.timeout_ms = SCAN_TIMEOUT_MS;
    CLI::App* command = app.add_subcommand(
        "scan",
        "Ask every unit id behind one address (a Modbus gateway) for its identity and print a "
        "hosts file line 'HOST:PORT MODEL unit=N' for each supported meter that answers (a meter "
        "answering at several unit ids once, at the first), then a '#' summary line, and one more "
        "naming the unit ids without a sure answer. Only that "
        "address is contacted.");
    command
        ->add_option("HOST", args->address,
                     "Address or name of the gateway, HOST[:PORT]; rtu:DEVICE for a serial "
                     "line, rtu+tcp://HOST[:PORT] for a transparent serial server")
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
    command
        ->add_option("--tries", args->options.tries,
                     "How often a request is sent while the gateway answers busy, 1-10, the "
                     "pause doubling from the gap (default 3)")
        ->type_name("N")
        ->check(CLI::Range(1, MAX_TRIES).description(""));
    add_verbose_flag(*command, args->options);
    command->footer(
        "A unit id the gateway still answers busy after the tries, answers with exception 10, "
        "or leaves without a reply while a gateway is in front (one that answers exception 11 "
        "for empty unit ids, or several meters answer) may hold a meter: such unit ids are "
        "named in a second '#' line with the --gap to set, and each one's failure on standard "
        "error.\n"
        "A meter whose serial an earlier unit id answered with is not listed again: a warning "
        "names the unit ids it answered at, and the summary line counts them.\n"
        "Exit status: 0 at least one meter found and every unit id answered for sure, 1 no "
        "meter found, unit ids without a sure answer, or the address cannot be reached, 2 "
        "usage error, 130 interrupted.");
    add_line_options(*command, args->options.line);
    command->callback([args, &status] {
        HostEntry target;
        if (const auto problem = take_address(args->address, target))
            throw CLI::ValidationError(
                "HOST", problem->empty() ? "bad address '" + args->address + "'" : *problem);
        args->options.line.rtu_over_tcp =
            args->options.line.rtu_over_tcp || target.line.rtu_over_tcp;
        status = run_scan(*args, target, target.port.value_or(MODBUS_TCP_PORT),
                          *parse_units(args->units));
    });
    add_examples(*command, {"kolvane-sim --port 1502 --units 1,2,5 &",
                            "kolvane scan 127.0.0.1:1502 --units 1-10 > site.txt"});
}

}  // namespace kcli
