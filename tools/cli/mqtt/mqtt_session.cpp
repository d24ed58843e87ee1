// SPDX-License-Identifier: MIT
#include "mqtt/mqtt_session.hpp"

#include "common/output.hpp"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace kmqtt {
namespace {

constexpr int KEEPALIVE_S = 30;
constexpr int LONGEST_PAUSE_S = 60;

struct LibraryInit {
    LibraryInit() { mosquitto_lib_init(); }
    ~LibraryInit() { mosquitto_lib_cleanup(); }
};

MqttSession& session_of(void* user) { return *static_cast<MqttSession*>(user); }

}  // namespace

MqttSession::MqttSession(SessionSetup setup) : setup_(std::move(setup)) {
    static LibraryInit library;
    client_ = mosquitto_new(setup_.client_id.c_str(), true, this);
    if (!client_) throw std::runtime_error("Cannot make an MQTT client: out of memory");
    mosquitto_threaded_set(client_, true);
    mosquitto_connect_callback_set(client_, connected_cb);
    mosquitto_disconnect_callback_set(client_, disconnected_cb);
    mosquitto_publish_callback_set(client_, published_cb);
    mosquitto_message_callback_set(client_, message_cb);
    mosquitto_log_callback_set(client_, log_cb);
    const BrokerSettings& broker = setup_.broker;
    const auto check = [&](int rc, const std::string& what) {
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(client_);
            throw std::runtime_error(what + ": " + mosquitto_strerror(rc));
        }
    };
    if (!broker.user.empty())
        check(
            mosquitto_username_pw_set(client_, broker.user.c_str(),
                                      broker.password.empty() ? nullptr : broker.password.c_str()),
            "MQTT credentials");
    if (broker.tls) {
        const auto file = [](const std::string& f) { return f.empty() ? nullptr : f.c_str(); };
        // Without --ca-file the system's CAs vouch for the broker.
        check(mosquitto_tls_set(client_, file(broker.ca_file),
                                broker.ca_file.empty() ? "/etc/ssl/certs" : nullptr,
                                file(broker.cert_file), file(broker.key_file), nullptr),
              "TLS files (--ca-file, --cert-file, --key-file) for " + broker.url);
    }
    const std::string offline = "offline";
    check(mosquitto_will_set(client_, setup_.status_topic.c_str(), static_cast<int>(offline.size()),
                             offline.data(), 1, true),
          "MQTT last will at " + setup_.status_topic);
}

MqttSession::~MqttSession() {
    stop(0);
    mosquitto_destroy(client_);
}

void MqttSession::start() {
    network_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

std::optional<int> MqttSession::publish(const std::string& topic, const std::string& payload,
                                        int qos, bool retain) {
    if (!connected_) return std::nullopt;
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) return std::nullopt;
    return mid;
}

void MqttSession::stop(int wait_ms) {
    if (!network_.joinable()) return;
    if (wait_ms > 0 && connected_) {
        // Held while publishing, so that the acknowledgement finds the farewell awaited.
        std::unique_lock lock(wait_mutex_);
        farewell_ = publish(setup_.status_topic, "offline", 1, true);
        woken_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return !farewell_; });
    }
    network_.request_stop();
    woken_.notify_all();
    network_.join();
}

void MqttSession::run(std::stop_token stop) {
    const BrokerSettings& broker = setup_.broker;
    bool first = true;
    int pause_s = 1;
    while (!stop.stop_requested()) {
        refusal_.clear();
        last_error_.clear();
        errno = 0;
        int rc =
            first ? mosquitto_connect_async(client_, broker.host.c_str(), broker.port, KEEPALIVE_S)
                  : mosquitto_reconnect_async(client_);
        first = false;
        while (rc == MOSQ_ERR_SUCCESS && !stop.stop_requested())
            rc = mosquitto_loop(client_, 100, 1);
        if (stop.stop_requested()) break;
        connected_ = false;
        if (accepted_.exchange(false)) pause_s = 1;
        report_failure(failure_reason(rc), pause_s);
        std::unique_lock lock(wait_mutex_);
        woken_.wait_for(lock, stop, std::chrono::seconds(pause_s), [] { return false; });
        pause_s = std::min(pause_s * 2, LONGEST_PAUSE_S);
    }
    if (connected_) {
        mosquitto_disconnect(client_);
        for (int i = 0; i < 20 && mosquitto_loop(client_, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {}
    }
    connected_ = false;
}

std::string MqttSession::failure_reason(int rc) const {
    if (!refusal_.empty()) return refusal_;
    if (!last_error_.empty()) return last_error_;
    if (rc == MOSQ_ERR_ERRNO && errno != 0) return std::strerror(errno);
    return mosquitto_strerror(rc);
}

void MqttSession::report_failure(const std::string& reason, int pause_s) {
    // A reason is told once, not at every try; a connection accepted meanwhile tells it again.
    if (reason == reported_) return;
    reported_ = reason;
    kcli::write_stderr_line("kolvane: MQTT broker " + setup_.broker.url + ": " + reason +
                            " (trying again in " + std::to_string(pause_s) +
                            " s, then less often)");
}

void MqttSession::connected_cb(mosquitto* client, void* user, int rc) {
    MqttSession& session = session_of(user);
    if (rc != 0) {
        session.refusal_ = std::string("refused the connection: ") + mosquitto_connack_string(rc);
        return;
    }
    session.reported_.clear();
    session.accepted_ = true;
    const std::string online = "online";
    mosquitto_publish(client, nullptr, session.setup_.status_topic.c_str(),
                      static_cast<int>(online.size()), online.data(), 1, true);
    for (const std::string& topic : session.setup_.subscriptions)
        mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
    session.connected_ = true;
    if (session.setup_.on_connected) session.setup_.on_connected();
}

void MqttSession::disconnected_cb(mosquitto*, void* user, int) {
    session_of(user).connected_ = false;
}

void MqttSession::published_cb(mosquitto*, void* user, int mid) {
    MqttSession& session = session_of(user);
    std::lock_guard lock(session.wait_mutex_);
    if (session.farewell_ == mid) {
        session.farewell_.reset();
        session.woken_.notify_all();
    } else if (session.setup_.on_acknowledged) {
        session.setup_.on_acknowledged(mid);
    }
}

void MqttSession::message_cb(mosquitto*, void* user, const mosquitto_message* message) {
    MqttSession& session = session_of(user);
    if (!session.setup_.on_message) return;
    const char* payload = static_cast<const char*>(message->payload);
    session.setup_.on_message(
        message->topic,
        std::string(payload ? payload : "", static_cast<std::size_t>(message->payloadlen)));
}

void MqttSession::log_cb(mosquitto*, void* user, int level, const char* text) {
    if (level == MOSQ_LOG_ERR && text) session_of(user).last_error_ = text;
}

}  // namespace kmqtt
