#include "meter_options.hpp"

#include <CLI/CLI.hpp>

namespace kcli {

std::string MeterOptions::options_text() const {
    std::string text;
    auto member = [&text](const char* name, const std::optional<int>& value) {
        if (!value) return;
        text += text.empty() ? "{" : ",";
        text += std::string("\"") + name + "\":" + std::to_string(*value);
    };
    member("port", port);
    member("unit_id", unit);
    member("timeout_ms", timeout_ms);
    return text.empty() ? text : text + "}";
}

const char* MeterOptions::options_arg(std::string& storage) const {
    storage = options_text();
    return storage.empty() ? nullptr : storage.c_str();
}

void add_verbose_flag(CLI::App& command, MeterOptions& options) {
    command.add_flag("-v,--verbose", options.verbosity,
                     "Print the library's log on standard error; repeat for more "
                     "(-v warnings, -vv information, -vvv debug)");
}

void add_meter_options(CLI::App& command, MeterOptions& options, bool connection) {
    command.add_option("-m,--meter", options.meter, "Meter model: em133, em235 or pm335")
        ->type_name("MODEL")->capture_default_str();
    if (connection) {
        command.add_option("-p,--port", options.port, "TCP port of the meter (default 502)")->type_name("PORT");
        command.add_option("-u,--unit", options.unit, "Modbus unit id (default 1)")->type_name("ID");
        command.add_option("-t,--timeout", options.timeout_ms, "Time-out in milliseconds (default 30000)")
            ->type_name("MS");
    }
    add_verbose_flag(command, options);
}

}  // namespace kcli
