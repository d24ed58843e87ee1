// SPDX-License-Identifier: MIT
// The real parts of the MQTT tests: a Mosquitto broker of the test's own on a loopback port, a
// subscriber that keeps every message it gets, and `kolvane mqtt` running against them.
#pragma once

#include "support/process.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace mqtt_test {

struct BrokerOptions {
    std::string user, password;  // a password file with this one user; none: anonymous
    bool tls = false;            // a certificate for 127.0.0.1 made with openssl
    bool persistence = false;    // sessions and retained messages kept across restart()
};

class Broker {
public:
    // Starts `mosquitto -c CONF` on a free port; throws when it does not listen within 10 s.
    explicit Broker(const BrokerOptions& options = {});
    ~Broker();
    int port() const { return port_; }
    std::string url() const;  // mqtt://127.0.0.1:PORT or mqtts://
    const std::string& ca_file() const { return ca_file_; }
    // Stops the broker (SIGTERM, as a service manager does) and starts it again on its port.
    void stop();
    void start();

private:
    std::string dir_;
    std::string conf_;
    std::string ca_file_;
    bool tls_ = false;
    int port_ = 0;
    std::unique_ptr<cli_test::Process> process_;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// A libmosquitto client subscribed to `topics` with QoS 1. A persistent session (a client id of
// its own, clean session off) gets what was published while the broker was restarting.
class Subscriber {
public:
    Subscriber(const Broker& broker, const std::vector<std::string>& topics,
               bool persistent = false, const std::string& user = "",
               const std::string& password = "");
    ~Subscriber();
    // Returns once the broker has taken the acknowledgements of every message received so far
    // (a message of its own came back after them), so that a restarted broker does not deliver
    // them again; false when none came back within 10 s.
    bool sync();
    // Every message so far.
    std::vector<Message> messages() const;
    // Waits up to `limit` until `done` holds for the messages; returns whether it did.
    bool wait_for(const std::function<bool(const std::vector<Message>&)>& done,
                  std::chrono::seconds limit = std::chrono::seconds(60)) const;
    // Publishes `payload` at `topic` (QoS 1, not retained).
    void publish(const std::string& topic, const std::string& payload);
    // The newest message at `topic`, if any.
    std::optional<Message> last(const std::string& topic) const;

private:
    static void on_message(mosquitto*, void*, const mosquitto_message*);
    mosquitto* client_ = nullptr;
    std::vector<std::string> topics_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

// A path for --state in a fresh directory.
std::string fresh_state_file();
// `kolvane mqtt --broker URL --interval 1s --state FILE` with `args`; a fresh state file unless
// `state_file` names one.
std::unique_ptr<cli_test::Process> start_bridge(const Broker& broker,
                                                const std::vector<std::string>& args,
                                                const std::string& state_file = "");

// Messages at topics starting with `prefix`, parsed.
std::vector<nlohmann::json> payloads_at(const std::vector<Message>& messages,
                                        const std::string& prefix);

}  // namespace mqtt_test
