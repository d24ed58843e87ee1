// SPDX-License-Identifier: MIT
// Where the broker is and who we are to it: --broker, the TLS files and the credentials.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace kmqtt {

struct BrokerSettings {
    std::string url;  // as given, for messages
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string ca_file, cert_file, key_file;  // empty: none (the system's CAs for mqtts://)
    std::string user, password;                // no user: anonymous
};

// A broker setting the user got wrong: a usage error.
class BrokerUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "mqtt://HOST[:PORT]" (port 1883) or "mqtts://HOST[:PORT]" (8883), [ADDRESS] for IPv6. Throws
// BrokerUsageError for anything else, a user or password in it included: a password on the
// command line is seen by every user of the machine.
BrokerSettings parse_broker_url(const std::string& url);

// The user and password from `credentials_file` ("user:password" on its first line) when given,
// else from KOLVANE_MQTT_USER and KOLVANE_MQTT_PASSWORD; none when neither says. Throws
// BrokerUsageError for a malformed file, std::runtime_error for one that cannot be read.
void take_credentials(BrokerSettings& settings, const std::string& credentials_file);

}  // namespace kmqtt
