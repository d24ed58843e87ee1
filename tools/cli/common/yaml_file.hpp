// SPDX-License-Identifier: MIT
// A YAML file of settings (the exporter's web configuration, a tariff), read whole, whose faults
// are named with the file and the key: "tariff tou.yml: windows[0].from must be HH:MM".
#pragma once

#include <yaml-cpp/yaml.h>

#include <set>
#include <string>

namespace kcli {

class YamlFile {
public:
    // `kind` names such files in messages ("web config", "tariff"). Throws std::runtime_error
    // when the file cannot be read or parsed.
    YamlFile(std::string kind, std::string path);

    const YAML::Node& root() const { return root_; }
    const std::string& path() const { return path_; }

    [[noreturn]] void fail(const std::string& what) const;
    // "windows[0].from": a key of the mapping at `where` ("" the file's top).
    static std::string key_path(const std::string& where, const std::string& key);
    // Fails unless `map` is a mapping whose keys are all among `known`; an unknown key's message
    // ends in `unknown` ("is not supported by kolvane's exporter").
    void check_keys(const YAML::Node& map, const std::string& where,
                    const std::set<std::string>& known, const std::string& unknown) const;
    // The text at `key` of the mapping at `where`; empty when there is none, a failure when it
    // is no text.
    std::string text(const YAML::Node& map, const char* key, const std::string& where) const;

private:
    std::string kind_, path_;
    YAML::Node root_;
};

}  // namespace kcli
