// SPDX-License-Identifier: MIT
#include "common/pretty_json.hpp"

namespace kcli {

std::string indent_json(const std::string& compact) {
    std::string out;
    int depth = 0;
    bool in_string = false;
    auto new_line = [&out, &depth] {
        out += '\n' + std::string(2 * static_cast<std::size_t>(depth), ' ');
    };
    for (std::size_t i = 0; i < compact.size(); ++i) {
        const char c = compact[i];
        if (in_string) {
            out += c;
            if (c == '\\' && i + 1 < compact.size())
                out += compact[++i];
            else if (c == '"')
                in_string = false;
            continue;
        }
        switch (c) {
            case '"':
                in_string = true;
                out += c;
                break;
            case '{':
            case '[':
                out += c;
                if (i + 1 < compact.size() && (compact[i + 1] == '}' || compact[i + 1] == ']')) {
                    out += compact[++i];
                } else {
                    ++depth;
                    new_line();
                }
                break;
            case '}':
            case ']':
                --depth;
                new_line();
                out += c;
                break;
            case ',':
                out += c;
                new_line();
                break;
            case ':':
                out += ": ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace kcli
