// SPDX-License-Identifier: MIT
#include "common/identity_check.hpp"

#include "common/meter_options.hpp"

#include <nlohmann/json.hpp>

#include <cctype>
#include <set>

namespace kcli {
namespace {

// The supported models that a model name names: "EM133", "em-235", "PM335 " and the like.
std::string model_of_name(const std::string& name) {
    std::string letters;
    for (const char c : lower(name))
        if (std::isalnum(static_cast<unsigned char>(c))) letters += c;
    return known_model(letters) ? canonical_model(letters) : std::string();
}

std::string model_of_number(std::int64_t number) {
    if (number == 133) return "em133";
    if (number == 235 || number == 335) return "em235";
    return {};
}

// The supported models the identity names by model name and number.
std::set<std::string> models_named(const nlohmann::json& document) {
    std::set<std::string> named{model_of_name(document.at("model_name").get<std::string>()),
                                model_of_number(document.at("model_id").get<std::int64_t>())};
    named.erase("");
    return named;
}

}  // namespace

std::string named_model(const std::string& info) {
    const std::set<std::string> named = models_named(nlohmann::json::parse(info));
    return named.size() == 1 ? *named.begin() : std::string();
}

std::string identity_mismatch(const std::string& info, const std::string& model) {
    const nlohmann::json document = nlohmann::json::parse(info);
    const std::string name = document.at("model_name").get<std::string>();
    const std::int64_t number = document.at("model_id").get<std::int64_t>();
    const std::set<std::string> named = models_named(document);
    const std::string wanted = canonical_model(model);
    if (named.empty() || named.contains(wanted)) return {};
    return "the meter at " + document.at("host").get<std::string>() + " is an " + *named.begin() +
           " (model name \"" + name + "\", model number " + std::to_string(number) + "), not an " +
           wanted;
}

}  // namespace kcli
