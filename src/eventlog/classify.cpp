// SPDX-License-Identifier: MIT
#include <map>
#include <optional>
#include <utility>

#include "eventlog/decode.hpp"

namespace kolvane {
namespace {

std::string numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

const std::map<std::pair<int, int>, EventTexts>& overrides() {
    static const std::map<std::pair<int, int>, EventTexts> table = {
        {{0x031D, 0xE100}, {"SP EVENT", "EVENT FLAG 30", "ON", "SP operated", "#1"}},
        {{0x5A00, 0x2000}, {"SP ACTION", "SP1", "", "Set event flag", "#1"}},
        {{0x5A00, 0x2001}, {"SP ACTION", "SP1", "", "Set event flag", "#2"}},
        {{0x0080, 0xE103}, {"SP EVENT", "SP1", "OFF", "SP operated", "#4"}},
        {{0x0302, 0xE103}, {"SP EVENT", "EVENT FLAG 3", "ON", "SP operated", "#4"}},
        {{0x0302, 0xE102}, {"SP EVENT", "EVENT FLAG 3", "ON", "SP operated", "#3"}},
        {{0x0500, 0xE102}, {"SP EVENT", "TIMER 1", "ON", "SP operated", "#3"}},
        {{0x0303, 0xE105}, {"SP EVENT", "EVENT FLAG 4", "ON", "SP operated", "#6"}},
        {{0x5A05, 0x2103}, {"SP ACTION", "SP6", "", "Clear event flag", "#4"}},
    };
    return table;
}

const std::map<int, std::string>& ext_points() {
    static const std::map<int, std::string> table = {
        {0x6300, "Power down"},           {0x6308, "Power up"},
        {0x6309, "External reset"},       {0x6318, "IRIG-B signal lost"},
        {0x6319, "IRIG-B time unlocked"}, {0x631A, "IRIG-B time locked"},
        {0x6320, "SNTP server failed"},   {0x6321, "SNTP server reconnected"},
    };
    return table;
}

const std::map<int, std::string>& comm_points() {
    static const std::map<int, std::string> table = {
        {0x5B0F, "Display setup"}, {0x5B12, "Assign. registers"}, {0x5B14, "Data Log setup"},
        {0x5B15, "Memory setup"},  {0x5B1C, "User options"},      {0x5B25, "Net setup"},
        {0x5B35, "RSTP setup"},
    };
    return table;
}

struct SetpointAction {
    const char* text;
    std::optional<int> target;  // none: the action targets the setpoint itself
};

SetpointAction setpoint_action(int effect) {
    struct Row {
        int first, last;
        const char* text;
        int mask;
        int plus;
    };
    // mask 0 means the row carries no target number.
    static constexpr Row ROWS[] = {
        {0x2000, 0x203F, "Set user event flag", 0x3F, 1},
        {0x2100, 0x213F, "Clear user event flag", 0x3F, 1},
        {0x3000, 0x303F, "Operate relay RO", 0x3F, 1},
        {0x3100, 0x313F, "Release latched relay RO", 0x3F, 1},
        {0x3700, 0x373F, "Unblock relay RO", 0x3F, 1},
        {0x3800, 0x3807, "Unblock direct control port", 0x0F, 0},
        {0x3900, 0x3901, "Close breaker XCBR", 0x1F, 1},
        {0x3902, 0x390F, "Close switch XSWI", 0x0F, 0},
        {0x3A00, 0x3A01, "Open breaker XCBR", 0x1F, 1},
        {0x3A02, 0x3A0F, "Open switch XSWI", 0x0F, 0},
        {0x4000, 0x401F, "Increment counter", 0x1F, 1},
        {0x4100, 0x411F, "Decrement counter", 0x1F, 1},
        {0x4200, 0x421F, "Clear counter", 0x1F, 1},
        {0x5100, 0x5100, "Send event notification", 0, 0},
        {0x5300, 0x5300, "Remote control", 0, 0},
        {0x6000, 0x6000, "Reset total energy registers", 0, 0},
        {0x6100, 0x6100, "Reset total maximum demand registers", 0, 0},
        {0x6200, 0x6200, "Reset billing summary and TOU energy", 0, 0},
        {0x6300, 0x6300, "Reset billing summary and TOU maximum demands", 0, 0},
        {0x6400, 0x6400, "Clear all counters", 0, 0},
        {0x6500, 0x6500, "Clear Min/Max log registers", 0, 0},
        {0x7000, 0x7000, "Event log on setpoint operated", 0, 0},
        {0x7001, 0x7001, "Event log on setpoint released", 0, 0},
        {0x7002, 0x7002, "Event log on any setpoint transition", 0, 0},
        {0x7100, 0x710F, "Data log", 0x0F, 1},
        {0x7200, 0x7207, "Waveform log", 0x07, 1},
        {0x8000, 0x800F, "External trigger", 0x0F, 1},
    };
    for (const Row& row : ROWS) {
        if (effect < row.first || effect > row.last) continue;
        if (row.mask == 0) return {row.text, std::nullopt};
        return {row.text, (effect & row.mask) + row.plus};
    }
    return {"", std::nullopt};
}

}  // namespace

EventTexts classify_event(int source_id, int effect_id) {
    const auto& overridden = overrides();
    if (const auto found = overridden.find({source_id, effect_id}); found != overridden.end()) {
        return found->second;
    }
    if (source_id >= 0x5A00 && source_id <= 0x5A3F) {
        const int setpoint = (source_id & 0x3F) + 1;
        const SetpointAction action = setpoint_action(effect_id);
        return {"SP ACTION", numbered("SP", setpoint), "",
                *action.text != '\0' ? action.text : "SP action",
                numbered("#", action.target.value_or(setpoint))};
    }
    if (effect_id >= 0xE100 && effect_id <= 0xE13F) {
        return {"SP EVENT", "", "", "SP operated", numbered("#", (effect_id & 0x3F) + 1)};
    }
    if (effect_id >= 0xE200 && effect_id <= 0xE23F) {
        return {"SP EVENT", "", "", "SP released", numbered("#", (effect_id & 0x3F) + 1)};
    }
    const auto& external = ext_points();
    if (const auto found = external.find(source_id); found != external.end()) {
        return {"EXTERNAL", found->second, "", "", ""};
    }
    if (const auto found = external.find(effect_id); found != external.end()) {
        return {"EXTERNAL", found->second, "", "", ""};
    }
    const auto& comm = comm_points();
    if (const auto found = comm.find(source_id); found != comm.end()) {
        std::string effect = decode_f20_effect(effect_id);
        if (effect.empty()) effect = "Setup change";
        return {"COMM", found->second, "", std::move(effect), ""};
    }
    if (source_id == 0x5B10) {
        return {"COMM", "Setpoints setup", "", "Setpoint set",
                numbered("#", (effect_id & 0x3FF) + 1)};
    }
    std::string effect = decode_f20_effect(effect_id);
    if (effect.empty()) return {};
    return {"COMM", "", "", std::move(effect), ""};
}

}  // namespace kolvane
