// SPDX-License-Identifier: MIT
#include "mqtt/bridge.hpp"

#include "common/output.hpp"
#include "mqtt/topic_names.hpp"

#include <set>

namespace kmqtt {
namespace {

using Clock = std::chrono::steady_clock;

std::string address_of(const kcli::HostEntry& entry, const kcli::MeterOptions& command_line) {
    const kcli::MeterOptions options = kcli::options_for(entry, command_line);
    return kcli::hosts_line_address(entry.host, options.port.value_or(kcli::MODBUS_TCP_PORT),
                                    entry.line) +
           " unit=" + std::to_string(options.unit.value_or(1));
}

std::vector<std::string> keys_of(const LiveValues& live) {
    std::vector<std::string> keys;
    for (const Quantity& q : live.quantities) keys.push_back(q.key);
    return keys;
}

}  // namespace

Bridge::Bridge(BridgeSettings settings, const std::vector<kcli::HostEntry>& entries,
               const kcli::MeterOptions& command_line, kdb::Database* database, SessionSetup setup)
    : settings_(std::move(settings)),
      database_(database),
      announced_(read_announced(settings_.state_file)) {
    for (const kcli::HostEntry& entry : entries) {
        Meter& meter = meters_.emplace_back(MeterReading(entry, command_line));
        meter.address = address_of(entry, command_line);
    }
    // Until a meter answers, the database tells its serial from the address it was collected
    // at, so that its records are published while it is silent.
    if (database_)
        for (const kdb::MeterPlace& place : database_->meter_places())
            for (Meter& meter : meters_) {
                const kcli::MeterOptions options =
                    kcli::options_for(meter.reading.entry(), command_line);
                if (place.host == meter.reading.entry().host &&
                    place.port == options.port.value_or(kcli::MODBUS_TCP_PORT) &&
                    place.unit == options.unit.value_or(1))
                    meter.serial = place.serial;
            }
    const std::string ha_status = settings_.discovery_prefix + "/status";
    setup.status_topic = settings_.prefix + "/status";
    setup.subscriptions = {ha_status};
    setup.on_connected = [this] { announce_again_ = true; };
    setup.on_message = [this, ha_status](const std::string& topic, const std::string& payload) {
        if (topic == ha_status && payload == "online") announce_again_ = true;
    };
    setup.on_acknowledged = [this](int mid) {
        if (feed_) feed_->acknowledged(mid);
    };
    session_ = std::make_unique<MqttSession>(std::move(setup));
    if (database_) feed_ = std::make_unique<RecordFeed>(*database_, *session_);
}

Bridge::~Bridge() { session_->stop(); }

std::optional<MeterTopics> Bridge::topics_of(const Meter& meter) const {
    const std::string& name = meter.reading.entry().name;
    if (!name.empty()) return MeterTopics{settings_.prefix, topic_safe(name)};
    if (meter.serial) return MeterTopics{settings_.prefix, std::to_string(meter.serial)};
    return std::nullopt;
}

void Bridge::announce(Meter& meter, const MeterTopics& topics) {
    std::set<std::string> now;
    for (const Announcement& a :
         discovery(settings_.discovery_prefix, topics, *meter.reading.identity(),
                   meter.reading.entry().name, *meter.last_live)) {
        session_->publish(a.topic, a.payload, 1, true);
        now.insert(a.topic);
    }
    std::set<std::string>& before = announced_[meter.address];
    if (before == now) return;
    // A quantity the meter no longer has, or the sensors of the meter this address had before.
    for (const std::string& topic : before)
        if (!now.contains(topic)) session_->publish(topic, "", 1, true);
    before = now;
    write_announced(settings_.state_file, announced_);
}

void Bridge::remove_departed() {
    std::set<std::string> listed;
    for (const Meter& meter : meters_) listed.insert(meter.address);
    bool removed = false;
    for (auto it = announced_.begin(); it != announced_.end();) {
        if (listed.contains(it->first)) {
            ++it;
            continue;
        }
        for (const std::string& topic : it->second) session_->publish(topic, "", 1, true);
        it = announced_.erase(it);
        removed = true;
    }
    if (removed) write_announced(settings_.state_file, announced_);
    departed_removed_ = true;
}

void Bridge::publish_meter(Meter& meter, bool announce_now) {
    const std::optional<MeterTopics> topics = topics_of(meter);
    if (!topics) return;  // a meter without name= that never answered has no topics yet
    const bool available = meter.reading.error().empty() && meter.last_live;
    if (announce_now || meter.available != available) {
        if (session_->publish(topics->availability(), available ? "online" : "offline", 1, true))
            meter.available = available;
        else
            meter.available.reset();
    }
    if (meter.last_live && announce_now) announce(meter, *topics);
}

void Bridge::read_meters() {
    const bool again = announce_again_.exchange(false);
    for (Meter& meter : meters_) {
        if (const std::optional<std::string> live = meter.reading.read()) {
            try {
                LiveValues values = live_values(*live);
                // Announced again when the meter's quantities changed (another meter answers).
                const std::int64_t serial = meter.reading.identity()->serial;
                const bool fresh = !meter.last_live || meter.serial != serial ||
                                   keys_of(*meter.last_live) != keys_of(values);
                meter.last_live = std::move(values);
                meter.serial = serial;
                const std::optional<MeterTopics> topics = topics_of(meter);
                session_->publish(
                    topics->live(),
                    live_payload(serial, *meter.last_live, meter.reading.entry().zone), 0, false);
                publish_meter(meter, again || fresh);
                continue;
            } catch (const std::exception& e) {
                kcli::print_diagnostic(e.what());
            }
        }
        publish_meter(meter, again);
    }
}

std::vector<FedMeter> Bridge::fed_meters() {
    std::vector<FedMeter> fed;
    for (const Meter& meter : meters_) {
        const std::optional<MeterTopics> topics = topics_of(meter);
        if (topics && meter.serial) fed.push_back({meter.serial, *topics});
    }
    return fed;
}

int Bridge::run(const kcli::StopSignalsBlocked& signals) {
    session_->start();
    Clock::time_point next_read = Clock::now();
    bool records_due = false, more = false;
    int signal = 0;
    while (!signal) {
        const Clock::time_point now = Clock::now();
        if (session_->connected() && !departed_removed_) remove_departed();
        // Read once connected: what is read before could not be published.
        if (now >= next_read && session_->connected()) {
            read_meters();
            next_read = std::max(next_read + settings_.interval, now);
            records_due = true;
        } else if (announce_again_.exchange(false)) {
            for (Meter& meter : meters_) publish_meter(meter, true);
        }
        if (feed_) {
            if (session_->connected() && (records_due || more)) {
                more = feed_->pump(fed_meters());
                records_due = false;
            } else {
                feed_->settle();
            }
        }
        // Half a second at most, so that acknowledgements are saved soon; the whole half while
        // the broker is away.
        const Clock::duration half = std::chrono::milliseconds(500);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            session_->connected() ? std::min(next_read - Clock::now(), half) : half);
        signal = signals.wait(more ? 10 : std::max<long>(1, wait.count()));
    }
    session_->stop();
    if (feed_) feed_->settle();
    return signal;
}

}  // namespace kmqtt
