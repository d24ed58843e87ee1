// SPDX-License-Identifier: MIT
// One meter of the hosts file as kolvane mqtt reads it: its identity (read once, again after a
// failure) and its live values, through the C interface.
#pragma once

#include "common/hosts_file.hpp"
#include "common/meter_options.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace kmqtt {

struct MeterIdentity {
    std::int64_t serial = 0;
    std::string model;       // em133 or em235
    std::string model_name;  // as the meter names itself
    std::string firmware;    // "version.build"
};

class MeterReading {
public:
    MeterReading(kcli::HostEntry entry, const kcli::MeterOptions& command_line);

    // Reads the live values (and the identity when it has none); returns the readings document,
    // nothing after a failure, whose reason error() tells.
    std::optional<std::string> read();
    // The identity last read; nothing before the first.
    const std::optional<MeterIdentity>& identity() const { return identity_; }
    const std::string& error() const { return error_; }
    const kcli::HostEntry& entry() const { return entry_; }

private:
    kcli::HostEntry entry_;
    std::string options_;  // the library's options text for this meter
    std::optional<MeterIdentity> identity_;
    bool check_identity_ = false;
    std::string error_;
};

}  // namespace kmqtt
