// SPDX-License-Identifier: MIT
#include <map>
#include <stdexcept>

#include "export/bundle.hpp"
#include "ground/text.hpp"
#include "ground/words.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

// The read request carries its quantity in 16 bits; the meter answers any count that fits.
constexpr int MAX_REQUEST_QUANTITY = 65535;

const std::map<int, std::string>& bit_labels() {
    static const std::map<int, std::string> labels = {
        {0, "Critical error"},
        {1, "Permanent fault (critical error)"},
        {2, "RAM/Data error"},
        {3, "CPU watchdog reset"},
        {4, "DSP/Sampling fault"},
        {5, "CPU exception"},
        {7, "Software watchdog reset"},
        {8, "Power down"},
        {9, "Device reset"},
        {10, "Configuration reset"},
        {11, "RTC fault (critical error)"},
        {12, "Configuration fault (critical error)"},
        {13, "Low battery"},
        {14, "Expanded memory fault"},
        {15, "CPU EEPROM fault"},
        {16, "AC board EEPROM fault"},
        {17, "I/O board EEPROM fault"},
        {20, "C Library error"},
        {21, "RTOS Kernel error"},
        {22, "Task error"},
        {24, "IRIG-B signal lost"},
        {25, "IRIG-B time unlocked"},
    };
    return labels;
}

// Upper-case hexadecimal without leading zeros (unlike hex4's four digits).
std::string hex_digits(uint32_t value) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), DIGITS[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

}  // namespace

void export_em235_diagnostics_impl(const std::string& host, int unit_id, int first_register,
                                   int count, const std::string& word_order,
                                   const std::string& csv_path) {
    if (count < 2) throw std::runtime_error("count must be >= 2 for 32-bit diagnostics");
    // A larger count would be cut to 16 bits and read some other number of registers.
    if (count > MAX_REQUEST_QUANTITY) {
        throw std::runtime_error("count must be at most 65535 for one read request");
    }
    ConnectionOptions options;  // always port 502, 30 s
    ModbusTcpClient client(host, options);
    client.connect();
    const std::vector<uint16_t> words = client.read_holding_registers(
        uint16_t(uint16_t(first_register) - 1), uint16_t(count), unit_id & 0xFF);
    if (words.size() < 2) throw std::runtime_error("diagnostics read failed");
    const uint32_t value =
        word_order == "HI_FIRST" ? low_first(words[0], words[1]) : low_first(words[1], words[0]);
    const auto& labels = bit_labels();

    std::string text = "word0_hex,word1_hex,value_hex,word_order\n" + hex_digits(words[0]) + "," +
                       hex_digits(words[1]) + "," + hex_digits(value) + "," + word_order +
                       "\n\nbit,label,state\n";
    for (int bit = 0; bit <= 25; ++bit) {
        const auto found = labels.find(bit);
        text += std::to_string(bit) + "," + (found != labels.end() ? found->second : "") + "," +
                std::to_string((value >> bit) & 1u) + "\n";
    }
    CsvFile file = open_csv(csv_path);
    file.stream() << text;
    file.close();
}

}  // namespace kolvane
