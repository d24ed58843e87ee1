// SPDX-License-Identifier: MIT
#include "mqtt/announced_topics.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace kmqtt {

AnnouncedTopics read_announced(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        if (errno == ENOENT) return {};
        throw std::runtime_error("Cannot read --state " + path + ": " + std::strerror(errno));
    }
    try {
        return nlohmann::json::parse(file).at("announced").get<AnnouncedTopics>();
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error("--state " + path + " is not kolvane mqtt's state: " + e.what());
    }
}

void write_announced(const std::string& path, const AnnouncedTopics& topics) {
    const std::string part = path + ".part";
    {
        std::ofstream file(part, std::ios::trunc);
        file << nlohmann::json{{"announced", topics}}.dump(1) << '\n';
        file.flush();
        if (!file)
            throw std::runtime_error("Cannot write --state " + part + ": " + std::strerror(errno));
    }
    if (std::rename(part.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Cannot replace --state " + path + ": " + std::strerror(errno));
}

}  // namespace kmqtt
