// SPDX-License-Identifier: MIT
#include "meter/device_info.hpp"

#include "ground/log.hpp"
#include "ground/text.hpp"
#include "ground/words.hpp"
#include "meter/scales.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t IDENTITY_BLOCK = 46080;
constexpr uint16_t IDENTITY_WORDS = 26;

uint32_t dword(const std::vector<uint16_t>& words, size_t low) {
    return low_first(words[low], words[low + 1]);
}

constexpr bool is_printable(unsigned char byte) { return byte >= 0x20 && byte <= 0x7E; }

}  // namespace

std::string decode_model_name(const std::vector<uint16_t>& identity) {
    std::string name;
    for (size_t word = 4; word <= 11 && word < identity.size(); ++word) {
        for (const unsigned char byte :
             {uint8_t(identity[word] >> 8), uint8_t(identity[word] & 0xFF)}) {
            if (byte == 0) return name;  // a NUL ends the name and keeps blanks before it
            if (is_printable(byte)) name.push_back(char(byte));
        }
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::string read_device_info_impl(ModbusTcpClient& client, MeterModel model) {
    client.connect();
    const std::vector<uint16_t> id = read_words(client, IDENTITY_BLOCK, IDENTITY_WORDS);

    std::string doc = "{";  // appended piece by piece: see list_logs_impl
    doc += doc_prefix(client.host(), model);
    doc += ",\"model_name\":\"";
    doc += json_escape(decode_model_name(id));
    doc += '"';
    doc += ",\"model_id\":" + std::to_string(dword(id, 2));
    doc += ",\"serial\":" + std::to_string(dword(id, 0));
    doc += ",\"options\":" + std::to_string(dword(id, 12));
    doc += ",\"firmware\":{\"version\":" + std::to_string(id[20]) +
           ",\"build\":" + std::to_string(id[21]) + "}";
    doc += ",\"bootloader\":{\"version\":" + std::to_string(id[24]) +
           ",\"build\":" + std::to_string(id[25]) + "}";

    const DataScales scales = read_data_scales(client, model);
    // a meter without a PT ratio register reports the neutral ratio
    const double pt_ratio = scales.pt_ratio ? *scales.pt_ratio * 0.1 : 1.0;
    doc += ",\"setup\":{\"pt_ratio\":" + format_fixed(pt_ratio, 1);
    doc += ",\"energy_decimals\":" + std::to_string(scales.energy_decimals);
    doc += ",\"high_resolution\":";
    doc += scales.current_decimals > 0 ? "true" : "false";
    doc += "}}";
    return doc;
}

}  // namespace kolvane
