// SPDX-License-Identifier: MIT
#include "backfill/meter_instances.hpp"

#include "common/host_port.hpp"

namespace kbackfill {

std::map<std::int64_t, MeterSeries> meter_series(kdb::Database& database) {
    struct Place {
        std::string address;  // HOST:PORT
        int unit = 1;
    };
    std::map<std::int64_t, std::string> models;
    std::map<std::int64_t, Place> places;
    for (const kdb::MeterIdentity& meter : database.meters({})) {
        models[meter.serial] = meter.model;
        places[meter.serial] = {kcli::join_host_port(meter.host, meter.port), 1};
    }
    // Passes come oldest first per meter: the newest at the meter's stored address wins.
    database.each_collection({}, [&](const kdb::CollectionRow& pass) {
        if (!pass.serial) return;
        const auto place = places.find(*pass.serial);
        if (place != places.end() &&
            place->second.address == kcli::join_host_port(pass.host, pass.port))
            place->second.unit = pass.unit;
    });
    std::map<std::string, int> meters_at;
    for (const auto& [serial, place] : places) ++meters_at[place.address];

    std::map<std::int64_t, MeterSeries> series;
    for (const auto& [serial, place] : places) {
        const bool unit_named = place.unit != 1 || meters_at[place.address] > 1;
        series[serial] = {models[serial],
                          place.address + (unit_named ? "/" + std::to_string(place.unit) : "")};
    }
    return series;
}

}  // namespace kbackfill
