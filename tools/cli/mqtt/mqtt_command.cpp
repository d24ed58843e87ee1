// SPDX-License-Identifier: MIT
#include "mqtt/mqtt_command.hpp"

#include "common/duration.hpp"
#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/hosts_file.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"
#include "common/stop_signals.hpp"
#include "database/database.hpp"
#include "mqtt/bridge.hpp"
#include "mqtt/broker_settings.hpp"
#include "mqtt/topic_names.hpp"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <map>
#include <memory>

namespace kmqtt {
namespace {

struct MqttArgs {
    std::string hosts_file;
    std::string broker = "mqtt://127.0.0.1:1883";
    std::string ca_file, cert_file, key_file;
    std::string credentials_file;
    std::string prefix = "kolvane";
    std::string discovery_prefix = "homeassistant";
    std::string interval = "10s";
    std::string db;
    std::string state = "kolvane-mqtt.json";
    kcli::MeterOptions options;
};

BrokerSettings broker_settings(const MqttArgs& args) {
    try {
        BrokerSettings broker = parse_broker_url(args.broker);
        if (!broker.tls && !(args.ca_file + args.cert_file + args.key_file).empty())
            throw BrokerUsageError("--ca-file, --cert-file and --key-file need an mqtts:// broker");
        if (args.cert_file.empty() != args.key_file.empty())
            throw BrokerUsageError("--cert-file and --key-file go together");
        broker.ca_file = args.ca_file;
        broker.cert_file = args.cert_file;
        broker.key_file = args.key_file;
        take_credentials(broker, args.credentials_file);
        return broker;
    } catch (const BrokerUsageError& e) {
        throw CLI::ValidationError(e.what());
    }
}

// Each meter's topic level from its name=; a name that makes none, or the same as another's, is
// a usage error.
void check_names(const std::vector<kcli::HostEntry>& entries) {
    std::map<std::string, std::string> levels;
    for (const kcli::HostEntry& entry : entries) {
        if (entry.name.empty()) continue;
        if (const std::string problem = meter_name_problem(entry.name); !problem.empty())
            throw CLI::ValidationError("name=" + entry.name + " " + problem);
        const auto [other, fresh] = levels.emplace(topic_safe(entry.name), entry.name);
        if (!fresh)
            throw CLI::ValidationError("name=" + entry.name + " and name=" + other->second +
                                       " make the same topic level '" + other->first + "'");
    }
}

int run(const MqttArgs& args) {
    for (const auto& [option, prefix] : {std::pair{"--prefix", args.prefix},
                                         std::pair{"--discovery-prefix", args.discovery_prefix}})
        if (const std::string problem = topic_prefix_problem(prefix); !problem.empty())
            throw CLI::ValidationError(std::string(option) + " '" + prefix + "' " + problem);
    BrokerSettings broker;
    try {
        broker = broker_settings(args);
    } catch (const CLI::ParseError&) {
        throw;  // a usage error
    } catch (const std::runtime_error& e) {
        kcli::print_diagnostic(e.what());
        return kcli::FAILURE;
    }
    kcli::set_verbosity(args.options.verbosity);
    BridgeSettings settings;
    settings.prefix = args.prefix;
    settings.discovery_prefix = args.discovery_prefix;
    settings.interval = *kcli::parse_duration(args.interval);
    settings.state_file = args.state;
    try {
        const std::vector<kcli::HostEntry> entries =
            kcli::read_hosts_file(args.hosts_file, args.options.meter);
        check_names(entries);
        std::unique_ptr<kdb::Database> database;
        if (!args.db.empty())
            database = kdb::open_database(*kdb::parse_target(args.db), kdb::Access::COLLECT);
        // Before libmosquitto's thread starts, so that it takes no stop signal.
        const kcli::StopSignalsBlocked blocked;
        SessionSetup setup;
        setup.broker = broker;
        setup.client_id = "kolvane-" + topic_safe(args.prefix) + "-" + std::to_string(getpid());
        // Meters are read one after the other: one that does not answer costs one interval at
        // most, unless --deadline says otherwise.
        kcli::MeterOptions options = args.options;
        if (!options.deadline_s)
            options.deadline_s = static_cast<double>(settings.interval.count());
        Bridge bridge(settings, entries, options, database.get(), setup);
        return kcli::exit_status_after(bridge.run(blocked));
    } catch (const kcli::HostsFileError& e) {
        return kcli::report_hosts_error(e);
    } catch (const CLI::ParseError&) {
        throw;
    } catch (const std::runtime_error& e) {
        kcli::print_diagnostic(e.what());
        return kcli::FAILURE;
    }
}

}  // namespace

void add_mqtt_command(CLI::App& app, int& status) {
    auto args = std::make_shared<MqttArgs>();
    CLI::App* command = app.add_subcommand(
        "mqtt",
        "Publish the meters' live values and availability to an MQTT broker with Home "
        "Assistant discovery, and with --db each record the collector stores, until stopped");
    command
        ->add_option("--hosts", args->hosts_file,
                     "The meters: one 'HOST[:PORT] [MODEL] [unit=N] [name=LABEL] [gap=MS] "
                     "[tz=ZONE]' per line; name= makes the meter's topic level, else its serial")
        ->type_name("FILE")
        ->required();
    command->add_option("--broker", args->broker, "The broker: mqtt://HOST[:PORT] or mqtts://...")
        ->type_name("URL")
        ->capture_default_str();
    command
        ->add_option("--ca-file", args->ca_file,
                     "CA certificates that vouch for an mqtts:// broker (default: the system's)")
        ->type_name("FILE");
    command->add_option("--cert-file", args->cert_file, "Client certificate for mqtts://")
        ->type_name("FILE");
    command->add_option("--key-file", args->key_file, "The client certificate's key")
        ->type_name("FILE");
    command
        ->add_option("--credentials", args->credentials_file,
                     "File holding 'user:password' on one line (else KOLVANE_MQTT_USER and "
                     "KOLVANE_MQTT_PASSWORD; never on the command line)")
        ->type_name("FILE");
    command->add_option("--prefix", args->prefix, "First levels of every topic")
        ->type_name("TOPIC")
        ->capture_default_str();
    command
        ->add_option("--discovery-prefix", args->discovery_prefix,
                     "Home Assistant's discovery prefix")
        ->type_name("TOPIC")
        ->capture_default_str();
    command->add_option("--interval", args->interval, "Read the live values every DURATION")
        ->type_name("DURATION")
        ->capture_default_str()
        ->check([](const std::string& text) {
            return kcli::parse_duration(text) ? std::string()
                                              : "DURATION must be a positive number with s, m or h";
        });
    command
        ->add_option("--db", args->db,
                     "The collector's database: publish each record and event it stores")
        ->type_name("TARGET")
        ->check([](const std::string& text) { return kdb::target_problem(text); });
    command
        ->add_option("--state", args->state,
                     "File remembering the discovery topics announced, to remove those of meters "
                     "that left --hosts")
        ->type_name("FILE")
        ->capture_default_str();
    kcli::add_meter_options(*command, args->options)
        ->required(false)
        ->description(
            "Meter model of the hosts file's lines that name none: em133, em235 or pm335");
    command->callback([args, &status] { status = run(*args); });
    kcli::add_examples(*command, {"kolvane-sim --port 1502 &",
                                  "echo '127.0.0.1:1502 em133 name=main' | kolvane mqtt --hosts -",
                                  "mosquitto_sub -v -t 'kolvane/#' -t 'homeassistant/#'"});
}

}  // namespace kmqtt
