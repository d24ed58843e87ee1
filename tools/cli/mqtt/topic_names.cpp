// SPDX-License-Identifier: MIT
#include "mqtt/topic_names.hpp"

#include <algorithm>

namespace kmqtt {

std::string topic_prefix_problem(const std::string& prefix) {
    if (prefix.empty()) return "is empty";
    if (prefix.find_first_of(std::string("+#\0", 3)) != std::string::npos)
        return "holds '+', '#' or NUL, which only subscriptions may use";
    if (prefix.front() == '$') return "starts with '$', which brokers keep for themselves";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "has an empty level";
    return {};
}

std::string topic_safe(const std::string& name) {
    std::string safe;
    for (const char c : name) {
        const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const bool kept = (l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '_' || l == '-';
        safe += kept ? l : '_';
    }
    return safe;
}

std::string meter_name_problem(const std::string& name) {
    const std::string safe = topic_safe(name);
    const bool told = std::any_of(safe.begin(), safe.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
    return told ? std::string() : "has no letter or digit for a topic name";
}

}  // namespace kmqtt
