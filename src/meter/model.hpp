// SPDX-License-Identifier: MIT
// The two meter models and what every document about a meter opens with.
#pragma once

#include <string>
#include <string_view>

namespace kolvane {

enum class MeterModel { EM133 = 0, EM235 = 1 };

// "em133" or "em235": the canonical name printed in documents.
const char* model_name(MeterModel model) noexcept;

// The members "meter" and "host" that open every document about a meter (no braces).
std::string doc_prefix(std::string_view host, MeterModel model);

}  // namespace kolvane
