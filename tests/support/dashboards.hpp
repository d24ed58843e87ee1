// SPDX-License-Identifier: MIT
// The Grafana dashboards shipped in packaging/grafana, read as JSON for the tests that run their
// queries against real servers.
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>
#include <string>

namespace ktest {

inline nlohmann::json read_dashboard(const std::string& name) {
    const std::string path = std::string(KOLVANE_GRAFANA_DIR) + "/" + name;
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    return nlohmann::json::parse(file);
}

}  // namespace ktest
