// SPDX-License-Identifier: MIT
#include "meter/model.hpp"

#include "ground/text.hpp"

namespace kolvane {

const char* model_name(MeterModel model) noexcept {
    return model == MeterModel::EM235 ? "em235" : "em133";
}

std::string doc_prefix(std::string_view host, MeterModel model) {
    std::string out = "\"meter\":\"";
    out += model_name(model);
    out += "\",\"host\":\"";
    append_json_escaped(out, host);
    out.push_back('"');
    return out;
}

}  // namespace kolvane
