// SPDX-License-Identifier: MIT
#include "mqtt/record_feed.hpp"

#include "mqtt/record_payloads.hpp"

namespace kmqtt {

RecordFeed::RecordFeed(kdb::Database& database, MqttSession& session)
    : database_(database), session_(session) {}

void RecordFeed::acknowledged(int mid) {
    std::lock_guard lock(mutex_);
    if (awaited_.erase(mid)) acknowledged_.insert(mid);
}

void RecordFeed::settle() {
    std::set<int> acknowledged;
    {
        std::lock_guard lock(mutex_);
        acknowledged.swap(acknowledged_);
    }
    for (auto& [log, sent] : sent_) {
        // A log's position moves over the records acknowledged in a row from its oldest.
        std::optional<kdb::LogPosition> reached;
        while (!sent.empty() && acknowledged.contains(sent.front().mid)) {
            acknowledged.erase(sent.front().mid);
            reached = sent.front().position;
            sent.pop_front();
            --in_flight_;
        }
        if (reached) database_.save_published_position(log.first, log.second, *reached);
    }
    // Acknowledged ahead of an older record of its log: kept until that one is.
    std::lock_guard lock(mutex_);
    acknowledged_.merge(acknowledged);
}

bool RecordFeed::send(const Log& log, const std::string& topic, const std::string& payload,
                      const kdb::LogPosition& position) {
    // Held while publishing, so that the acknowledgement finds its id awaited.
    std::lock_guard lock(mutex_);
    const std::optional<int> mid = session_.publish(topic, payload, 1, false);
    if (!mid) return false;
    awaited_.insert(*mid);
    sent_[log].push_back({*mid, position});
    published_[log] = position;
    ++in_flight_;
    return true;
}

bool RecordFeed::publish_log(const FedMeter& meter, int file_id, bool& more) {
    const Log log{meter.serial, file_id};
    const int room = WINDOW - in_flight_;
    if (room <= 0) {
        more = true;
        return true;
    }
    auto after = published_.find(log);
    if (after == published_.end()) {
        const auto saved = database_.published_position(meter.serial, file_id);
        if (saved) after = published_.emplace(log, *saved).first;
    }
    const std::optional<kdb::LogPosition> position =
        after == published_.end() ? std::nullopt : std::optional(after->second);
    int count = 0;
    if (file_id == 0) {
        const auto events = database_.events_after(meter.serial, position, room);
        for (const kdb::EventRow& event : events) {
            if (!send(log, meter.topics.events(), event_payload(meter.serial, event),
                      {event.recorded_at, event.seq}))
                return false;
        }
        count = static_cast<int>(events.size());
    } else {
        const auto records = database_.datalog_records_after(meter.serial, file_id, position, room);
        for (const kdb::DatalogRecord& record : records) {
            if (!send(log, meter.topics.datalog(file_id),
                      datalog_payload(meter.serial, file_id, record),
                      {record.recorded_at, record.seq}))
                return false;
        }
        count = static_cast<int>(records.size());
    }
    if (count == room) more = true;
    return true;
}

bool RecordFeed::pump(const std::vector<FedMeter>& meters) {
    settle();
    bool more = false;
    for (const FedMeter& meter : meters) {
        if (!session_.connected()) return false;
        std::vector<int> files = database_.datalog_files(meter.serial);
        files.insert(files.begin(), 0);
        for (const int file_id : files)
            if (!publish_log(meter, file_id, more)) return false;
    }
    return more;
}

}  // namespace kmqtt
