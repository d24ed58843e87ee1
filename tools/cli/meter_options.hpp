// The options every meter command shares and the library's options text made from them.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace kcli {

struct MeterOptions {
    std::string meter = "em133";
    std::optional<int> port;
    std::optional<int> unit;
    std::optional<int> timeout_ms;
    int verbosity = 0;

    // The flat JSON object the library takes, e.g. {"port":1502,"timeout_ms":5000}; empty when
    // no connection option was given, so that the library's defaults apply.
    std::string options_text() const;
    // options_text() as the library's argument: null when empty.
    const char* options_arg(std::string& storage) const;
};

// -m/--meter and -v on every command that names a model; -p, -u, -t as well when `connection`.
void add_meter_options(CLI::App& command, MeterOptions& options, bool connection = true);

// -v alone, for commands that take no meter options.
void add_verbose_flag(CLI::App& command, MeterOptions& options);

}  // namespace kcli
