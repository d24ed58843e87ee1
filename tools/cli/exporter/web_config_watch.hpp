// SPDX-License-Identifier: MIT
// The web configuration file as it stands: read again when it, or a certificate, key or CA file
// it names, changes, so that users and TLS settings change without a restart, as with
// Prometheus's own exporters. A version that does not read keeps the one before, its problem
// said once.
#pragma once

#include "exporter/web_config.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kexp {

class WebConfigWatch {
public:
    // Reads the file; throws std::runtime_error when it does not read.
    explicit WebConfigWatch(std::string path);

    // The configuration, read again first when a file of it changed.
    std::shared_ptr<const WebConfig> current();

private:
    std::string path_;
    std::mutex mutex_;
    std::shared_ptr<const WebConfig> config_;
    std::vector<std::string> stamps_;  // each file's identity, size and times, as last read
    std::string last_problem_;
};

}  // namespace kexp
