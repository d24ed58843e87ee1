// SPDX-License-Identifier: MIT
#include "mqtt/meter_reading.hpp"

#include "common/document.hpp"
#include "common/identity_check.hpp"

#include <kolvane.h>

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace kmqtt {
namespace {

using MeterCall = int (*)(const char*, const char*, const char*, char*, int, char*, int);

std::string read_document(MeterCall call, const kcli::HostEntry& entry,
                          const std::string& options) {
    const kcli::DocumentResult result =
        kcli::fetch_document([&](char* out, int out_len, char* err, int err_len) {
            return call(entry.host.c_str(), entry.meter.c_str(), options.c_str(), out, out_len, err,
                        err_len);
        });
    if (result.status < 0) throw std::runtime_error(result.error);
    return result.text;
}

MeterIdentity identity_of(const std::string& info) {
    const nlohmann::json doc = nlohmann::json::parse(info);
    const nlohmann::json& firmware = doc.at("firmware");
    return {doc.at("serial").get<std::int64_t>(), doc.at("meter").get<std::string>(),
            doc.value("model_name", ""),
            std::to_string(firmware.at("version").get<int>()) + "." +
                std::to_string(firmware.at("build").get<int>())};
}

}  // namespace

MeterReading::MeterReading(kcli::HostEntry entry, const kcli::MeterOptions& command_line)
    : entry_(std::move(entry)), options_(kcli::options_for(entry_, command_line).options_text()) {}

std::optional<std::string> MeterReading::read() {
    try {
        if (!identity_ || check_identity_) {
            const std::string info = read_document(kolvane_read_device_info, entry_, options_);
            // A meter of the other model would be published with wrongly scaled values.
            if (const std::string problem = kcli::identity_mismatch(info, entry_.meter);
                !problem.empty())
                throw std::runtime_error(problem);
            identity_ = identity_of(info);
            check_identity_ = false;
        }
        std::string live = read_document(kolvane_read_live_ex, entry_, options_);
        error_.clear();
        return live;
    } catch (const std::exception& e) {
        // Read again after a failure: the meter at this address may have been replaced. The
        // last one read still names the meter's topics meanwhile.
        check_identity_ = true;
        error_ = e.what();
        return std::nullopt;
    }
}

}  // namespace kmqtt
