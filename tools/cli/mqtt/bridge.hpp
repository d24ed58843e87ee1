// SPDX-License-Identifier: MIT
// The loop of kolvane mqtt: every interval each meter read and its live values, availability and
// discovery published; between reads the collected records fed to the broker; until a stop
// signal.
#pragma once

#include "common/hosts_file.hpp"
#include "common/stop_signals.hpp"
#include "database/database.hpp"
#include "mqtt/announced_topics.hpp"
#include "mqtt/discovery.hpp"
#include "mqtt/meter_reading.hpp"
#include "mqtt/mqtt_session.hpp"
#include "mqtt/record_feed.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kmqtt {

struct BridgeSettings {
    std::string prefix;
    std::string discovery_prefix;
    std::chrono::seconds interval{10};
    std::string state_file;
};

class Bridge {
public:
    // `database` may be null (no --db). Throws std::runtime_error for a state file that cannot
    // be read, or a client that cannot be set up.
    Bridge(BridgeSettings settings, const std::vector<kcli::HostEntry>& entries,
           const kcli::MeterOptions& command_line, kdb::Database* database, SessionSetup setup);

    // Says "offline" at the status topic, also after a failure, and disconnects.
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Runs until SIGINT or SIGTERM; returns the signal.
    int run(const kcli::StopSignalsBlocked& signals);

private:
    struct Meter {
        explicit Meter(MeterReading r) : reading(std::move(r)) {}
        MeterReading reading;
        std::string address;                  // the key of its announced topics
        std::int64_t serial = 0;              // last read, or as collected; 0: unknown
        std::optional<LiveValues> last_live;  // for announcing again without a read
        std::optional<bool> available;        // last published
    };

    void read_meters();
    void publish_meter(Meter& meter, bool announce);
    void announce(Meter& meter, const MeterTopics& topics);
    void remove_departed();
    std::optional<MeterTopics> topics_of(const Meter& meter) const;
    std::vector<FedMeter> fed_meters();

    BridgeSettings settings_;
    kdb::Database* database_;
    std::vector<Meter> meters_;
    AnnouncedTopics announced_;
    std::atomic<bool> announce_again_{false};  // after a connection, or Home Assistant's start
    bool departed_removed_ = false;
    // The feed outlives the session, whose network thread hands it acknowledgements.
    std::unique_ptr<RecordFeed> feed_;
    std::unique_ptr<MqttSession> session_;
};

}  // namespace kmqtt
