// SPDX-License-Identifier: MIT
// Home Assistant discovery and availability as a broker's subscribers see them.
#include "mqtt/broker.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>

namespace mqtt_test {
namespace {

using nlohmann::json;

// Home Assistant's units per device class, as far as meters give them; energy in the units its
// energy dashboard takes.
const std::map<std::string, std::set<std::string>> UNITS_OF_CLASS{
    {"power", {"W", "kW"}},      {"voltage", {"V"}},          {"current", {"A"}},
    {"frequency", {"Hz"}},       {"power_factor", {"", "%"}}, {"energy", {"Wh", "kWh", "MWh"}},
    {"reactive_power", {"var"}}, {"apparent_power", {"VA"}}};
const std::set<std::string> STATE_CLASSES{"measurement", "total", "total_increasing"};

struct SiteMeterLine {
    ksim::Model model;
    std::uint32_t serial;
    std::string name;   // name= of its hosts line, may be empty
    std::string level;  // its topic level
};

const std::vector<SiteMeterLine> METERS{{ksim::Model::em133, 1201001, "Main Board", "main_board"},
                                        {ksim::Model::em235, 2350001, "", "2350001"}};

struct Site {
    std::vector<std::unique_ptr<collect_test::SiteMeter>> meters;
    std::string hosts_text(std::size_t count) const {
        std::string text;
        for (std::size_t i = 0; i < count; ++i)
            text += meters[i]->address() +
                    (METERS[i].model == ksim::Model::em133 ? " em133" : " em235") +
                    (METERS[i].name.empty() ? "" : " name=\"" + METERS[i].name + "\"") + "\n";
        return text;
    }
    Site() {
        for (const SiteMeterLine& m : METERS)
            meters.push_back(std::make_unique<collect_test::SiteMeter>(m.model, m.serial, 10, 5));
    }
};

std::string config_prefix(std::uint32_t serial) {
    return "homeassistant/sensor/kolvane_" + std::to_string(serial) + "/";
}

// The config messages of a meter still announced (the last at each topic not empty; the first,
// as a subscriber gets the retained ones before any other, when `first`).
std::map<std::string, Message> announced(const std::vector<Message>& all, std::uint32_t serial,
                                         bool first = false) {
    std::map<std::string, Message> configs;
    for (const Message& m : all)
        if (m.topic.starts_with(config_prefix(serial)) && (!first || !configs.contains(m.topic)))
            configs[m.topic] = m;
    std::erase_if(configs, [](const auto& c) { return c.second.payload.empty(); });
    return configs;
}

bool every_quantity_announced(const Subscriber& s, const SiteMeterLine& meter) {
    return s.wait_for([&](const std::vector<Message>& all) {
        std::size_t quantities = 0;
        for (const Message& m : all)
            if (m.topic == "kolvane/" + meter.level + "/live")
                quantities = json::parse(m.payload).at("quantities").size();
        return quantities > 0 && announced(all, meter.serial).size() == quantities;
    });
}

void check_config(const Message& config, const SiteMeterLine& meter, const json& live,
                  std::set<std::string>& unique_ids) {
    SCOPED_TRACE(config.topic + " " + config.payload);
    EXPECT_TRUE(config.retained);
    const json c = json::parse(config.payload);
    for (const char* key : {"name", "unique_id", "state_topic", "value_template", "state_class",
                            "device", "availability"})
        EXPECT_TRUE(c.contains(key)) << key;
    EXPECT_TRUE(unique_ids.insert(c.at("unique_id").get<std::string>()).second);
    EXPECT_EQ(c.at("state_topic"), "kolvane/" + meter.level + "/live");
    EXPECT_TRUE(STATE_CLASSES.contains(c.at("state_class").get<std::string>()));
    const std::string unit = c.value("unit_of_measurement", "");
    if (c.contains("device_class")) {
        const std::string device_class = c.at("device_class");
        ASSERT_TRUE(UNITS_OF_CLASS.contains(device_class)) << device_class;
        EXPECT_TRUE(UNITS_OF_CLASS.at(device_class).contains(unit)) << unit;
        EXPECT_EQ(c.at("state_class") == "measurement", device_class != "energy");
    }
    // Counters that only grow feed the energy dashboard.
    const std::string name = c.at("name");
    if (name.starts_with("kWh ") && name.find("net") == std::string::npos) {
        EXPECT_EQ(c.value("device_class", ""), "energy");
        EXPECT_EQ(c.at("state_class"), "total_increasing");
        EXPECT_EQ(unit, "kWh");
    }
    // The template names a quantity of the live message, whose unit is the sensor's.
    const std::string key =
        config.topic.substr(config_prefix(meter.serial).size(),
                            config.topic.size() - config_prefix(meter.serial).size() - 7);
    EXPECT_EQ(c.at("value_template"), "{{ value_json.quantities['" + key + "'].value }}");
    ASSERT_TRUE(live.at("quantities").contains(key));
    EXPECT_TRUE(live.at("quantities").at(key).at("value").is_number());
    EXPECT_EQ(live.at("quantities").at(key).value("unit", json()).is_null()
                  ? ""
                  : live.at("quantities").at(key).at("unit").get<std::string>(),
              unit);
    const json& device = c.at("device");
    EXPECT_EQ(device.at("identifiers"), json::array({"kolvane_" + std::to_string(meter.serial)}));
    EXPECT_EQ(device.at("serial_number"), std::to_string(meter.serial));
    EXPECT_EQ(device.at("model"), meter.model == ksim::Model::em133 ? "em133" : "em235");
    EXPECT_EQ(device.at("name"), meter.name.empty() ? device.at("model").get<std::string>() + " " +
                                                          std::to_string(meter.serial)
                                                    : meter.name);
    EXPECT_FALSE(device.at("sw_version").get<std::string>().empty());
    EXPECT_FALSE(device.contains("manufacturer"));
    std::set<std::string> availability;
    for (const json& a : c.at("availability")) availability.insert(a.at("topic"));
    EXPECT_EQ(availability, (std::set<std::string>{"kolvane/status",
                                                   "kolvane/" + meter.level + "/availability"}));
    EXPECT_EQ(c.at("availability_mode"), "all");
}

TEST(MqttDiscovery, AnnouncesEachQuantityAsHomeAssistantWantsAndRemovesADepartedMeter) {
    Site site;
    Broker broker;
    Subscriber watcher(broker, {"homeassistant/#", "kolvane/#"});
    const std::string state = fresh_state_file();
    auto bridge =
        start_bridge(broker, {"--hosts", collect_test::hosts_file(site.hosts_text(2))}, state);
    for (const SiteMeterLine& meter : METERS) ASSERT_TRUE(every_quantity_announced(watcher, meter));

    // What a Home Assistant starting now reads: the retained configs.
    Subscriber late(broker, {"homeassistant/#", "kolvane/#"});
    std::set<std::string> unique_ids;
    for (const SiteMeterLine& meter : METERS) {
        ASSERT_TRUE(every_quantity_announced(late, meter));
        const json live = json::parse(watcher.last("kolvane/" + meter.level + "/live")->payload);
        EXPECT_EQ(live.at("serial"), meter.serial);
        EXPECT_TRUE(live.at("time").get<std::string>().ends_with("Z"));
        for (const auto& [topic, config] : announced(late.messages(), meter.serial, true))
            check_config(config, meter, live, unique_ids);
        EXPECT_EQ(late.last("kolvane/" + meter.level + "/availability")->payload, "online");
    }
    EXPECT_EQ(late.last("kolvane/status")->payload, "online");

    // Home Assistant's restart: everything announced again.
    const std::size_t before = watcher.messages().size();
    watcher.publish("homeassistant/status", "online");
    ASSERT_TRUE(watcher.wait_for([&](const std::vector<Message>& all) {
        return announced({all.begin() + static_cast<long>(before), all.end()}, METERS[1].serial)
                   .size() == announced(all, METERS[1].serial).size();
    }));

    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->finish().exit_status, 0);
    EXPECT_EQ(watcher.last("kolvane/status")->payload, "offline");

    // The em235 left the hosts file: its sensors are removed, the em133's stay.
    const auto em235_configs = announced(watcher.messages(), METERS[1].serial);
    bridge = start_bridge(broker, {"--hosts", collect_test::hosts_file(site.hosts_text(1))}, state);
    ASSERT_TRUE(watcher.wait_for(
        [&](const std::vector<Message>& all) { return announced(all, METERS[1].serial).empty(); }));
    Subscriber after(broker, {"homeassistant/#"});
    ASSERT_TRUE(every_quantity_announced(watcher, METERS[0]));
    EXPECT_TRUE(announced(after.messages(), METERS[1].serial).empty());
    EXPECT_FALSE(em235_configs.empty());
    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->finish().exit_status, 0);
}

TEST(MqttAvailability, FollowsTheMeterAndTheProgramsLastWill) {
    Site site;
    Broker broker;
    Subscriber watcher(broker, {"kolvane/#"});
    auto bridge = start_bridge(broker, {"--hosts", collect_test::hosts_file(site.hosts_text(2))});
    const auto last_is = [&](const std::string& topic, const std::string& payload) {
        return watcher.wait_for([&](const std::vector<Message>&) {
            const auto m = watcher.last(topic);
            return m && m->payload == payload;
        });
    };
    ASSERT_TRUE(last_is("kolvane/main_board/availability", "online"));
    ASSERT_TRUE(last_is("kolvane/2350001/availability", "online"));
    ASSERT_TRUE(last_is("kolvane/status", "online"));

    // The em235 stops answering; the em133 goes on.
    site.meters[1]->sim().stop();
    EXPECT_TRUE(last_is("kolvane/2350001/availability", "offline"));
    const std::size_t before = watcher.messages().size();
    EXPECT_TRUE(watcher.wait_for([&](const std::vector<Message>& all) {
        return std::any_of(all.begin() + static_cast<long>(before), all.end(),
                           [](const Message& m) { return m.topic == "kolvane/main_board/live"; });
    }));
    EXPECT_EQ(watcher.last("kolvane/main_board/availability")->payload, "online");

    // Killed without a word: the broker publishes the last will.
    bridge->signal(SIGKILL);
    bridge->finish();
    EXPECT_TRUE(last_is("kolvane/status", "offline"));
}

}  // namespace
}  // namespace mqtt_test
