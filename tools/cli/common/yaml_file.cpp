// SPDX-License-Identifier: MIT
#include "common/yaml_file.hpp"

#include <stdexcept>

namespace kcli {

YamlFile::YamlFile(std::string kind, std::string path)
    : kind_(std::move(kind)), path_(std::move(path)) {
    try {
        root_ = YAML::LoadFile(path_);
    } catch (const YAML::BadFile&) {
        fail("cannot be read");
    } catch (const YAML::Exception& e) {
        fail(e.what());
    }
}

void YamlFile::fail(const std::string& what) const {
    throw std::runtime_error(kind_ + " " + path_ + ": " + what);
}

std::string YamlFile::key_path(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

void YamlFile::check_keys(const YAML::Node& map, const std::string& where,
                          const std::set<std::string>& known, const std::string& unknown) const {
    if (!map.IsMap()) fail((where.empty() ? "the file" : where) + " must be a mapping");
    for (const auto& entry : map) {
        const std::string key = entry.first.as<std::string>();
        if (!known.contains(key)) fail(key_path(where, key) + " " + unknown);
    }
}

std::string YamlFile::text(const YAML::Node& map, const char* key, const std::string& where) const {
    const YAML::Node value = map[key];
    if (!value) return {};
    if (!value.IsScalar()) fail(key_path(where, key) + " must be a text");
    return value.as<std::string>();
}

}  // namespace kcli
