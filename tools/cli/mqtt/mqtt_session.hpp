// SPDX-License-Identifier: MIT
// One connection to the broker through libmosquitto, kept up by a network thread of its own:
// connecting, again with a growing pause after a failure (each new reason for it one line on
// standard error), the program's birth and last will, publishing and the broker's
// acknowledgements.
#pragma once

#include "mqtt/broker_settings.hpp"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kmqtt {

struct SessionSetup {
    BrokerSettings broker;
    std::string client_id;
    std::string status_topic;  // "online" retained once connected, "offline" the last will
    std::vector<std::string> subscriptions;
    // Called on the network thread: after each accepted connection, for each acknowledged QoS 1
    // message (by its id), for each message received on a subscription.
    std::function<void()> on_connected;
    std::function<void(int)> on_acknowledged;
    std::function<void(const std::string& topic, const std::string& payload)> on_message;
};

class MqttSession {
public:
    // Throws std::runtime_error when the client cannot be set up (a TLS file that cannot be
    // read, for one).
    explicit MqttSession(SessionSetup setup);
    ~MqttSession();  // ends as stop() does
    MqttSession(const MqttSession&) = delete;
    MqttSession& operator=(const MqttSession&) = delete;

    // Starts the network thread, which connects.
    void start();
    bool connected() const { return connected_; }
    // Publishes `payload` at `topic`; returns the message's id, nothing when it was not taken (no
    // connection). A QoS 1 message taken stays with the client until the broker acknowledges it,
    // sent again after a reconnection.
    std::optional<int> publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain);
    // Publishes "offline" at the status topic and waits up to `wait_ms` for the broker to take it,
    // then disconnects (no last will then) and ends the network thread.
    void stop(int wait_ms = 2000);

private:
    void run(std::stop_token stop);
    std::string failure_reason(int rc) const;
    void report_failure(const std::string& reason, int delay_s);

    static void connected_cb(mosquitto*, void*, int);
    static void disconnected_cb(mosquitto*, void*, int);
    static void published_cb(mosquitto*, void*, int);
    static void message_cb(mosquitto*, void*, const mosquitto_message*);
    static void log_cb(mosquitto*, void*, int, const char*);

    SessionSetup setup_;
    mosquitto* client_ = nullptr;
    std::atomic<bool> connected_{false};
    std::atomic<bool> accepted_{false};  // a connection was accepted since the last failure
    std::string refusal_;                // the broker's answer refusing the connection
    std::string last_error_;             // the client's last error log line (TLS)
    std::string reported_;               // the last reason printed
    std::mutex wait_mutex_;              // guards the pause between tries and the two below
    std::condition_variable_any woken_;
    std::optional<int> farewell_;  // the id of "offline" at stop(), until acknowledged
    std::jthread network_;
};

}  // namespace kmqtt
