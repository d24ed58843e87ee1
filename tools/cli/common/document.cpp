// SPDX-License-Identifier: MIT
#include "common/document.hpp"

#include "common/exit_status.hpp"
#include "common/output.hpp"
#include "common/pretty_json.hpp"

#include <kolvane.h>

#include <cstdlib>
#include <vector>

namespace kcli {
namespace {

constexpr int FIRST_BUFFER_SIZE = 64 * 1024;
constexpr const char* TOO_SMALL = "Output buffer too small: need ";

// The size the library asks for, or 0 when `error` is another failure.
long needed_size(const std::string& error) {
    if (error.rfind(TOO_SMALL, 0) != 0) return 0;
    return std::strtol(error.c_str() + std::char_traits<char>::length(TOO_SMALL), nullptr, 10);
}

}  // namespace

DocumentResult fetch_document(const DocumentCall& call) {
    std::vector<char> out(FIRST_BUFFER_SIZE);
    char err[1024];
    for (;;) {
        const int status = call(out.data(), static_cast<int>(out.size()), err, sizeof err);
        if (status >= 0) return {status, out.data(), {}};
        const long need = needed_size(err);
        if (status != KOLVANE_ERROR || need <= static_cast<long>(out.size()))
            return {status, {}, err};
        out.resize(static_cast<std::size_t>(need));
    }
}

void print_document(const std::string& document, bool pretty) {
    write_stdout_line(pretty ? indent_json(document) : document);
}

int run_document(const DocumentCall& call, bool pretty) {
    const DocumentResult result = fetch_document(call);
    if (result.status < 0) return exit_for(result.status, result.error.c_str());
    print_document(result.text, pretty);
    return SUCCESS;
}

}  // namespace kcli
