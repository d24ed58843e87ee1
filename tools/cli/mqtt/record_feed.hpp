// SPDX-License-Identifier: MIT
// The collected records of each meter published in order with QoS 1, and what the broker
// acknowledged remembered in the database (published_positions), so that the next run goes on
// after it: once, without a gap (a record whose acknowledgement was lost with the program is
// published again). At most WINDOW messages await their acknowledgement; the database is the
// buffer.
#pragma once

#include "database/database.hpp"
#include "mqtt/discovery.hpp"
#include "mqtt/mqtt_session.hpp"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace kmqtt {

struct FedMeter {
    std::int64_t serial = 0;
    MeterTopics topics;
};

class RecordFeed {
public:
    static constexpr int WINDOW = 64;

    RecordFeed(kdb::Database& database, MqttSession& session);

    // The broker acknowledged message `mid`; called on the network thread.
    void acknowledged(int mid);
    // Saves the positions the broker acknowledged, then publishes what follows them while the
    // window has room. Returns true when a log may hold more right now.
    bool pump(const std::vector<FedMeter>& meters);
    // Saves the positions the broker acknowledged.
    void settle();

private:
    using Log = std::pair<std::int64_t, int>;  // serial and file id (0: the event log)
    struct Sent {
        int mid = 0;
        kdb::LogPosition position;
    };

    // Publishes the records of one log after its last published; false when a publish failed.
    bool publish_log(const FedMeter& meter, int file_id, bool& more);
    bool send(const Log& log, const std::string& topic, const std::string& payload,
              const kdb::LogPosition& position);

    kdb::Database& database_;
    MqttSession& session_;
    std::map<Log, std::deque<Sent>> sent_;       // in order, awaiting acknowledgement
    std::map<Log, kdb::LogPosition> published_;  // the last sent of each log
    std::mutex mutex_;                           // guards the two below
    std::set<int> awaited_, acknowledged_;       // message ids
    int in_flight_ = 0;
};

}  // namespace kmqtt
