// SPDX-License-Identifier: MIT
// The point catalogue: point id -> name, unit, scaling kind and energy register.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kolvane {

// How a point's raw value is scaled and printed. The digit of the frequency kinds is the
// number of decimals: Frequency2 prints 50.00 Hz, Frequency3 50.000, Frequency4 50.0000.
enum class Kind {
    Voltage,
    Current,
    Power,
    Energy,
    PowerFactor,
    Percent,
    KFactor,
    Angle,
    Frequency2,
    Frequency3,
    Frequency4,
    Unbalance,
};

struct ParamDef {
    std::string name;
    std::string unit;
    Kind kind;
    int energy_register = 0;  // 1-16 for points of a configurable energy register, else 0
};

// Built once on first use (thread-safe), read-only afterwards.
const std::map<uint16_t, ParamDef>& param_table();

struct FamilyBlock {
    uint16_t base_pid;
    uint16_t em133_register;
    uint16_t em235_register;
    const char* name;
};

// The twelve readable register families, in reading order.
extern const FamilyBlock FAMILY_BLOCKS[12];

// The family holding a point id, or null when the id is in no readable family.
const FamilyBlock* family_of(uint16_t pid) noexcept;

}  // namespace kolvane
