// SPDX-License-Identifier: MIT
// Meter description files (`kolvane-sim --meter FILE`): `key value...` lines applied onto a Meter.
// The format is described in README.md.
#include "simulator.hpp"

#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace ksim {

namespace {

// A number in decimal, or in hex after 0x. A leading zero does not make it octal: "010" is ten.
bool parse_number(const std::string& text, long long& out) {
    const std::size_t sign = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
    const bool hex = text.compare(sign, 2, "0x") == 0 || text.compare(sign, 2, "0X") == 0;
    try {
        std::size_t end = 0;
        out = std::stoll(text, &end, hex ? 16 : 10);
        return end == text.size();
    } catch (const std::logic_error&) {  // no number at all, or out of range
        return false;
    }
}

// True when `value` fits a field of `bits` bits without losing any, read as signed or as
// unsigned: -1 and 0xFFFF are both the word 0xFFFF, 0x10000 is no word.
bool fits_bits(long long value, int bits) {
    return value >= -(1LL << (bits - 1)) && value < (1LL << bits);
}

bool fits_int(long long value) {
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

// The words of a line, without its comment.
std::vector<std::string> words_of(std::string line) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

struct Line {
    int number = 0;
    std::vector<std::string> words;  // the key first
};

// Applies one line whose key is neither model, records nor events. Returns why the line is
// refused, empty when it was applied.
std::string apply_line(const std::vector<std::string>& w, Meter& meter) {
    const std::string& key = w[0];
    const bool none = w.size() == 2 && w[1] == "none";
    std::vector<long long> v;
    if (key != "model_name" && !none)
        for (std::size_t i = 1; i < w.size(); ++i) {
            long long x = 0;
            if (!parse_number(w[i], x)) return "not a number: " + w[i];
            v.push_back(x);
        }
    auto identity = [&meter]() -> Identity& {
        if (!meter.identity) meter.identity = Identity{};
        return *meter.identity;
    };
    // One number into an unsigned identity field, none of its bits lost.
    auto one = [&v](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        if (v.size() != 1 || !fits_bits(v[0], std::numeric_limits<Field>::digits)) return false;
        field = static_cast<Field>(v[0]);
        return true;
    };
    auto opt16 = [&](std::optional<std::uint16_t>& field) {
        if (none) {
            field.reset();
            return true;
        }
        if (v.size() != 1 || v[0] < 0 || v[0] > 65535) return false;
        field = static_cast<std::uint16_t>(v[0]);
        return true;
    };
    auto words16 = [&v](std::size_t from) {
        for (std::size_t i = from; i < v.size(); ++i)
            if (!fits_bits(v[i], 16)) return false;
        return true;
    };
    bool ok = true;
    if (key == "serial") {
        ok = one(identity().serial);
    } else if (key == "model_id") {
        ok = one(identity().model_id);
    } else if (key == "options") {
        ok = one(identity().options);
    } else if (key == "model_name") {
        std::string name;
        for (std::size_t i = 1; i < w.size(); ++i) name += (i > 1 ? " " : "") + w[i];
        identity().model_name = name;
    } else if (key == "firmware" || key == "bootloader") {
        Identity& id = identity();
        ok = v.size() == 2 && words16(0);
        if (ok) {
            (key == "firmware" ? id.firmware_version : id.bootloader_version) =
                static_cast<std::uint16_t>(v[0]);
            (key == "firmware" ? id.firmware_build : id.bootloader_build) =
                static_cast<std::uint16_t>(v[1]);
        }
    } else if (key == "pt_ratio") {
        ok = opt16(meter.pt_ratio);
    } else if (key == "high_resolution") {
        ok = opt16(meter.high_resolution);
    } else if (key == "energy_decimals") {
        ok = opt16(meter.energy_decimals);
    } else if (key == "energy_units") {
        ok = words16(0);
        meter.energy_units.clear();
        if (ok)
            for (auto x : v) meter.energy_units.push_back(static_cast<std::uint16_t>(x));
    } else if (key == "point") {
        ok = v.size() == 2 && v[0] >= 0 && v[0] <= 65535 &&
             point_register(meter.model, static_cast<std::uint16_t>(v[0])) && fits_bits(v[1], 32);
        if (ok) {
            meter.points[static_cast<std::uint16_t>(v[0])] = static_cast<std::int32_t>(v[1]);
            meter.point_overrides[static_cast<std::uint16_t>(v[0])] =
                static_cast<std::int32_t>(v[1]);
        }
    } else if (key == "register") {
        ok = v.size() == 2 && v[0] >= 0 && v[0] <= 65535 && words16(1);
        if (ok)
            meter.registers[static_cast<std::uint16_t>(v[0])] = static_cast<std::uint16_t>(v[1]);
    } else if (key == "block_size") {
        ok = v.size() == 1 && v[0] > 0 && fits_int(v[0]);
        if (ok)
            for (auto& [fid, f] : meter.logs) f.records_per_block = static_cast<int>(v[0]);
    } else if (key == "refuse_file_info") {
        ok = v.size() == 2 && fits_int(v[0]) && v[1] >= 1 && v[1] <= 255;
        if (!ok) return "bad value for " + key;
        const auto log = meter.logs.find(static_cast<int>(v[0]));
        if (log == meter.logs.end())
            return "refuse_file_info names log " + w[1] + ", but the meter has no log " + w[1];
        log->second.var0_refusal = {static_cast<std::uint8_t>(v[1]), false};
    } else if (key == "no_log") {
        ok = v.size() == 1 && fits_int(v[0]);
        if (ok) meter.logs.erase(static_cast<int>(v[0]));
    } else {
        return "unknown key " + key;
    }
    return ok ? std::string() : "bad value for " + key;
}

}  // namespace

bool load_meter_file(const std::string& path, Meter& meter, std::string& error, std::int64_t now,
                     const WallClock& wall) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open meter file " + path;
        return false;
    }
    auto bad = [&](int number, const std::string& why) {
        error = path + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    // model, records and events rebuild the default meter, so they are taken before the other
    // keys, wherever they stand.
    std::vector<Line> lines;
    std::optional<Model> model;
    std::optional<long long> records, events;
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        std::vector<std::string> words = words_of(text);
        if (words.empty()) continue;
        const std::string& key = words[0];
        if (key == "model") {
            if (words.size() != 2 || !(model = parse_model(words[1])))
                return bad(number, "model must be em133 or em235");
        } else if (key == "records" || key == "events") {
            long long v = 0;
            // The meter announces a log's record count in one 16-bit register.
            if (words.size() != 2 || !parse_number(words[1], v) || v < 0 || v > 65535)
                return bad(number, key + " needs a count of 0-65535");
            (key == "records" ? records : events) = v;
        } else {
            lines.push_back({number, std::move(words)});
        }
    }
    if (in.bad()) {  // e.g. a directory: it opens, but reading it fails
        error = "cannot read meter file " + path;
        return false;
    }
    if (model || records || events) {
        const Model mdl = model ? *model : meter.model;
        const int recs =
            records ? static_cast<int>(*records)
                    : (meter.logs.count(1) ? static_cast<int>(meter.logs[1].records.size()) : 2880);
        const int evs =
            events ? static_cast<int>(*events)
                   : (meter.logs.count(0) ? static_cast<int>(meter.logs[0].records.size()) : 300);
        meter = default_meter(mdl, recs, now, evs, wall);
    }
    for (const Line& line : lines) {
        const std::string why = apply_line(line.words, meter);
        if (!why.empty()) return bad(line.number, why);
    }
    return true;
}

}  // namespace ksim
