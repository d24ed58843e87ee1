// SPDX-License-Identifier: MIT
#include "mqtt/broker_settings.hpp"

#include "common/host_port.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace kmqtt {

BrokerSettings parse_broker_url(const std::string& url) {
    BrokerSettings settings;
    settings.url = url;
    std::string rest;
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        rest = url.substr(8);
        settings.tls = true;
        settings.port = 8883;
    } else {
        throw BrokerUsageError(
            "--broker: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT], got '" + url + "'");
    }
    if (rest.find('@') != std::string::npos)
        throw BrokerUsageError(
            "--broker: no user or password in the URL; use --credentials FILE or "
            "KOLVANE_MQTT_USER and KOLVANE_MQTT_PASSWORD");
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    const auto split = kcli::split_host_port(rest);
    std::optional<int> port;
    if (split && !split->port.empty()) port = kcli::port_number(split->port);
    if (!split || split->host.empty() || rest.find('/') != std::string::npos ||
        (!split->port.empty() && !port))
        throw BrokerUsageError(
            "--broker: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT], got '" + url + "'");
    settings.host = split->host;
    if (port) settings.port = *port;
    return settings;
}

void take_credentials(BrokerSettings& settings, const std::string& credentials_file) {
    if (credentials_file.empty()) {
        const char* user = std::getenv("KOLVANE_MQTT_USER");
        const char* password = std::getenv("KOLVANE_MQTT_PASSWORD");
        if (user && *user) settings.user = user;
        if (password && *password) {
            if (settings.user.empty())
                throw BrokerUsageError("KOLVANE_MQTT_PASSWORD is set but KOLVANE_MQTT_USER is not");
            settings.password = password;
        }
        return;
    }
    std::ifstream file(credentials_file);
    if (!file)
        throw std::runtime_error("Cannot read --credentials " + credentials_file + ": " +
                                 std::strerror(errno));
    std::string line;
    std::getline(file, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon == std::string::npos || colon == 0)
        throw BrokerUsageError("--credentials " + credentials_file +
                               ": expected 'user:password' on the first line");
    settings.user = line.substr(0, colon);
    settings.password = line.substr(colon + 1);
}

}  // namespace kmqtt
