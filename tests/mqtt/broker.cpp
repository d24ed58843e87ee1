// SPDX-License-Identifier: MIT
#include "mqtt/broker.hpp"

#include "support/loopback_ports.hpp"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace mqtt_test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_count{0};

void run_to_end(const std::vector<std::string>& argv) {
    cli_test::Process process(argv);
    const cli_test::Outcome outcome = process.finish();
    if (outcome.exit_status != 0) throw std::runtime_error(argv[0] + " failed: " + outcome.err);
}

// A self-signed certificate for 127.0.0.1 and its key, DIR/NAME.crt and DIR/NAME.key.
void make_certificate(const std::string& dir, const std::string& name) {
    if (std::string(OPENSSL).empty()) throw std::runtime_error("openssl is not installed");
    run_to_end({OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                dir + "/" + name + ".key", "-out", dir + "/" + name + ".crt"});
}

bool listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = ktest::loopback_address(static_cast<uint16_t>(port));
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

struct LibraryInit {
    LibraryInit() { mosquitto_lib_init(); }
};

}  // namespace

Broker::Broker(const BrokerOptions& options)
    : dir_(cli_test::fresh_dir("broker" + std::to_string(++g_count))),
      tls_(options.tls),
      port_(cli_test::closed_port()) {
    if (std::string(MOSQUITTO).empty()) throw std::runtime_error("mosquitto is not installed");
    conf_ = dir_ + "/mosquitto.conf";
    std::ofstream conf(conf_);
    // Root keeps its rights, so that the broker reads the test's files and writes its own.
    conf << "user root\nlog_dest none\nlistener " << port_ << " 127.0.0.1\n";
    if (options.user.empty()) {
        conf << "allow_anonymous true\n";
    } else {
        run_to_end(
            {MOSQUITTO_PASSWD, "-c", "-b", dir_ + "/passwd", options.user, options.password});
        conf << "allow_anonymous false\npassword_file " << dir_ << "/passwd\n";
    }
    if (options.tls) {
        make_certificate(dir_, "broker");
        ca_file_ = dir_ + "/broker.crt";
        conf << "certfile " << ca_file_ << "\nkeyfile " << dir_ << "/broker.key\n";
    }
    if (options.persistence) conf << "persistence true\npersistence_location " << dir_ << "/\n";
    conf.close();
    start();
}

Broker::~Broker() { stop(); }

std::string Broker::url() const {
    return (tls_ ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(port_);
}

void Broker::start() {
    process_ =
        std::make_unique<cli_test::Process>(std::vector<std::string>{MOSQUITTO, "-c", conf_});
    for (int i = 0; i < 200; ++i) {
        if (listening(port_)) return;
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("mosquitto did not listen on 127.0.0.1:" + std::to_string(port_));
}

void Broker::stop() {
    if (!process_) return;
    process_->signal(SIGTERM);
    process_->finish();
    process_.reset();
}

Subscriber::Subscriber(const Broker& broker, const std::vector<std::string>& topics,
                       bool persistent, const std::string& user, const std::string& password) {
    static LibraryInit library;
    const std::string id = "test-subscriber-" + std::to_string(++g_count);
    client_ = mosquitto_new(persistent ? id.c_str() : nullptr, !persistent, this);
    mosquitto_message_callback_set(client_, on_message);
    topics_ = topics;
    // The probe below tells when the subscriptions are in place.
    topics_.push_back("test/probe/" + id);
    // Subscribed again on every connection: a broker restarted without persistence forgets.
    mosquitto_connect_callback_set(client_, [](mosquitto* client, void* user, int rc) {
        if (rc != 0) return;
        for (const std::string& topic : static_cast<Subscriber*>(user)->topics_)
            mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
    });
    if (!user.empty()) mosquitto_username_pw_set(client_, user.c_str(), password.c_str());
    if (broker.url().starts_with("mqtts"))
        mosquitto_tls_set(client_, broker.ca_file().c_str(), nullptr, nullptr, nullptr, nullptr);
    if (mosquitto_connect(client_, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("the test's subscriber cannot connect to the broker");
    mosquitto_reconnect_delay_set(client_, 1, 2, false);
    mosquitto_loop_start(client_);
    // The subscription is in place once a message published after it comes back.
    if (!sync()) {
        mosquitto_loop_stop(client_, true);
        mosquitto_destroy(client_);
        throw std::runtime_error("the test's subscriber got no message back");
    }
}

bool Subscriber::sync() {
    const std::string probe = topics_.back();
    const std::size_t before = messages().size();
    for (int second = 0; second < 10; ++second) {
        // Sent again each second: the first may pass the subscription on its way.
        mosquitto_publish(client_, nullptr, probe.c_str(), 2, "ok", 1, false);
        if (wait_for(
                [&](const std::vector<Message>& m) {
                    return std::any_of(m.begin() + static_cast<long>(before), m.end(),
                                       [&](const Message& x) { return x.topic == probe; });
                },
                std::chrono::seconds(1)))
            return true;
    }
    return false;
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
}

void Subscriber::on_message(mosquitto*, void* user, const mosquitto_message* message) {
    auto& self = *static_cast<Subscriber*>(user);
    std::lock_guard lock(self.mutex_);
    self.messages_.push_back({message->topic,
                              std::string(static_cast<const char*>(message->payload),
                                          static_cast<std::size_t>(message->payloadlen)),
                              message->retain});
}

std::vector<Message> Subscriber::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

bool Subscriber::wait_for(const std::function<bool(const std::vector<Message>&)>& done,
                          std::chrono::seconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done(messages())) return true;
        std::this_thread::sleep_for(50ms);
    }
    return done(messages());
}

void Subscriber::publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, false);
}

std::optional<Message> Subscriber::last(const std::string& topic) const {
    const std::vector<Message> all = messages();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->topic == topic) return *it;
    return std::nullopt;
}

std::string fresh_state_file() {
    return cli_test::fresh_dir("state" + std::to_string(++g_count)) + "/state.json";
}

std::unique_ptr<cli_test::Process> start_bridge(const Broker& broker,
                                                const std::vector<std::string>& args,
                                                const std::string& state_file) {
    std::vector<std::string> argv{
        KOLVANE_TOOL, "mqtt", "--broker", broker.url(),
        "--interval", "1s",   "--state",  state_file.empty() ? fresh_state_file() : state_file};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<cli_test::Process>(argv);
}

std::vector<nlohmann::json> payloads_at(const std::vector<Message>& messages,
                                        const std::string& prefix) {
    std::vector<nlohmann::json> found;
    for (const Message& m : messages)
        if (m.topic.starts_with(prefix) && !m.payload.empty())
            found.push_back(nlohmann::json::parse(m.payload));
    return found;
}

}  // namespace mqtt_test
