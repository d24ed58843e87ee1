// SPDX-License-Identifier: MIT
// The collected records published from the database: each once and in order, across a broker
// restart and a kill -9 of kolvane mqtt.
#include "mqtt/broker.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>

namespace mqtt_test {
namespace {

using nlohmann::json;

constexpr std::uint32_t SERIAL = 1201002;

class MqttRecords : public collect_test::EachEngine {
protected:
    // Each log's topic and the sequence numbers stored of it, oldest first.
    std::map<std::string, std::vector<int>> stored() const {
        std::map<std::string, std::vector<int>> logs;
        const std::string serial = std::to_string(SERIAL);
        for (const auto& row :
             db()->rows("SELECT file_id, seq FROM datalog_records WHERE serial = " + serial +
                        " ORDER BY file_id, recorded_at, seq"))
            logs["kolvane/site/datalog/" + row.at(0)].push_back(std::stoi(row.at(1)));
        for (const auto& row : db()->rows("SELECT seq FROM event_records WHERE serial = " + serial +
                                          " ORDER BY recorded_at, seq"))
            logs["kolvane/site/events"].push_back(std::stoi(row.at(0)));
        return logs;
    }

    void collect() {
        const cli_test::Outcome outcome =
            collect_test::collect({meter_.address(), "--db", target_});
        ASSERT_EQ(outcome.exit_status, 0) << outcome.err;
    }

    void add_records(int count) {
        meter_.sim().update_log(1,
                                [&](ksim::LogFile& log) { ksim::append_next_records(log, count); });
        collect();
    }

    collect_test::SiteMeter meter_{ksim::Model::em133, SERIAL, 30, 20};
};

// The sequence numbers received per topic.
std::map<std::string, std::vector<int>> received(const std::vector<Message>& messages) {
    std::map<std::string, std::vector<int>> logs;
    for (const Message& m : messages)
        if (m.topic.starts_with("kolvane/site/datalog/") || m.topic == "kolvane/site/events") {
            const json record = json::parse(m.payload);
            EXPECT_EQ(record.at("serial"), SERIAL);
            EXPECT_TRUE(record.at("time").get<std::string>().ends_with("Z"));
            EXPECT_TRUE(record.at("meter_time").is_string());
            logs[m.topic].push_back(record.at("seq").get<int>());
        }
    return logs;
}

// Every stored record arrived, in order; a record comes again only when `replays` allows, and
// then as a run starting at or before the newest one sent, never past it (no gap).
void expect_each_in_order(const std::map<std::string, std::vector<int>>& got,
                          const std::map<std::string, std::vector<int>>& stored, bool replays) {
    EXPECT_EQ(got.size(), stored.size());
    for (const auto& [topic, seqs] : stored) {
        SCOPED_TRACE(topic);
        std::map<int, std::size_t> index;
        for (std::size_t i = 0; i < seqs.size(); ++i) index[seqs[i]] = i;
        long newest = -1;
        for (const int seq : got.count(topic) ? got.at(topic) : std::vector<int>{}) {
            ASSERT_TRUE(index.contains(seq)) << seq;
            const long at = static_cast<long>(index.at(seq));
            if (at == newest + 1) {
                newest = at;
            } else {
                ASSERT_TRUE(replays) << "seq " << seq << " out of order or again";
                ASSERT_LE(at, newest) << "a gap before seq " << seq;
            }
        }
        EXPECT_EQ(newest + 1, static_cast<long>(seqs.size()));
        if (!replays) {
            EXPECT_EQ(got.count(topic) ? got.at(topic) : std::vector<int>{}, seqs);
        }
    }
}

bool all_arrived(const Subscriber& s, const std::map<std::string, std::vector<int>>& stored) {
    return s.wait_for([&](const std::vector<Message>& all) {
        const auto got = received(all);
        for (const auto& [topic, seqs] : stored) {
            if (!got.count(topic)) return false;
            std::set<int> unique(got.at(topic).begin(), got.at(topic).end());
            if (unique.size() < seqs.size()) return false;
        }
        return true;
    });
}

TEST_P(MqttRecords, EachOnceInOrderAcrossABrokerRestart) {
    collect();
    Broker broker({.user = "", .password = "", .tls = false, .persistence = true});
    Subscriber watcher(broker, {"kolvane/site/#"}, true);
    const std::string hosts = collect_test::hosts_file(meter_.address() + " em133 name=site\n");
    auto bridge = start_bridge(broker, {"--hosts", hosts, "--db", target_});
    ASSERT_TRUE(all_arrived(watcher, stored()));
    expect_each_in_order(received(watcher.messages()), stored(), false);

    // Collected while the broker is down: published once it is back.
    ASSERT_TRUE(watcher.sync());
    broker.stop();
    add_records(12);
    broker.start();
    ASSERT_TRUE(all_arrived(watcher, stored()));
    expect_each_in_order(received(watcher.messages()), stored(), false);
    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->finish().exit_status, 0);

    // A new run goes on after what the broker acknowledged: nothing again.
    add_records(3);
    bridge = start_bridge(broker, {"--hosts", hosts, "--db", target_});
    ASSERT_TRUE(all_arrived(watcher, stored()));
    bridge->signal(SIGINT);
    EXPECT_EQ(bridge->finish().exit_status, 130);
    expect_each_in_order(received(watcher.messages()), stored(), false);
}

TEST_P(MqttRecords, NoGapAfterAKillMidPublish) {
    meter_.sim().update_log(1, [&](ksim::LogFile& log) { ksim::append_next_records(log, 1500); });
    collect();
    Broker broker;
    Subscriber watcher(broker, {"kolvane/site/#"});
    const std::string hosts = collect_test::hosts_file(meter_.address() + " em133 name=site\n");
    auto bridge = start_bridge(broker, {"--hosts", hosts, "--db", target_});
    ASSERT_TRUE(watcher.wait_for([](const std::vector<Message>& all) {
        return received(all)["kolvane/site/datalog/1"].size() >= 100;
    }));
    bridge->signal(SIGKILL);
    bridge->finish();
    bridge = start_bridge(broker, {"--hosts", hosts, "--db", target_});
    ASSERT_TRUE(all_arrived(watcher, stored()));
    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->finish().exit_status, 0);
    expect_each_in_order(received(watcher.messages()), stored(), true);
}

INSTANTIATE_TEST_SUITE_P(Engines, MqttRecords, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace mqtt_test
