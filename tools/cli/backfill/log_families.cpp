// SPDX-License-Identifier: MIT
#include "backfill/log_families.hpp"

#include "common/document.hpp"

#include <kolvane.h>

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace kbackfill {
namespace {

std::map<std::string, bool> catalogue_counters(const std::string& model) {
    const kcli::DocumentResult listed =
        kcli::fetch_document([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_list_points(model.c_str(), out, out_len, err, err_len);
        });
    if (listed.status < 0)
        throw std::runtime_error("Cannot list the points of a " + model + ": " + listed.error);
    std::map<std::string, bool> counters;
    const nlohmann::json catalogue = nlohmann::json::parse(listed.text);
    for (const nlohmann::json& point : catalogue.at("points")) {
        const bool counter = kexp::is_energy_counter(point.at("pid").get<std::uint16_t>());
        // A name the catalogue holds twice (a fast and a one-second copy) is one kind of value.
        counters.emplace(point.at("name").get<std::string>(), counter);
    }
    return counters;
}

}  // namespace

const kexp::PointFamily* LogFamilies::family_of(const std::string& model, const std::string& name,
                                                const std::string& unit) {
    const auto key = std::tuple{model, name, unit};
    if (const auto it = known_.find(key); it != known_.end()) return it->second;
    auto catalogue = counters_.find(model);
    if (catalogue == counters_.end())
        catalogue = counters_.emplace(model, catalogue_counters(model)).first;
    const auto point = catalogue->second.find(name);
    const kexp::PointFamily* family =
        point == catalogue->second.end() ? nullptr : &kexp::point_family(unit, name, point->second);
    return known_.emplace(key, family).first->second;
}

}  // namespace kbackfill
