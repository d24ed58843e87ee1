// SPDX-License-Identifier: MIT
// The em133 whole-meter export and the em235 diagnostics export.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace kolvane {

// The guard value written while the clock is set when the caller gives none.
constexpr int DEFAULT_CLOCK_GUARD = 1;

// The meter's 7-word clock block from a broken-down local time: seconds, minutes, hour,
// day, month (1-12), year - 2000, day of the week (1 = Sunday ... 7 = Saturday).
std::array<uint16_t, 7> clock_block(const struct tm& local);

int export_em133_all_impl(const std::string& host, bool set_clock, int clock_guard_value,
                          const std::string& out_dir);

void export_em235_diagnostics_impl(const std::string& host, int unit_id, int first_register,
                                   int count, const std::string& word_order,
                                   const std::string& csv_path);

}  // namespace kolvane
