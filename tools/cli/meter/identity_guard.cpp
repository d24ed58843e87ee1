// SPDX-License-Identifier: MIT
#include "meter/identity_guard.hpp"

#include "common/identity_check.hpp"

#include <kolvane.h>

#include <cstdio>
#include <memory>

namespace kcli {
namespace {

int fail(const std::string& message, char* err, int err_len) {
    if (err && err_len > 0)
        std::snprintf(err, static_cast<std::size_t>(err_len), "%s", message.c_str());
    return KOLVANE_ERROR;
}

}  // namespace

DocumentCall identity_guarded(DocumentCall call, const std::string& host, const std::string& model,
                              const std::string& options, bool is_info) {
    auto checked = std::make_shared<bool>(false);
    return [=](char* out, int out_len, char* err, int err_len) {
        if (!is_info && !*checked) {
            const DocumentResult info = fetch_document([&](char* o, int ol, char* e, int el) {
                return kolvane_read_device_info(host.c_str(), model.c_str(), options.c_str(), o, ol,
                                                e, el);
            });
            if (info.status < 0) return fail(info.error, err, err_len);
            if (const std::string problem = identity_mismatch(info.text, model); !problem.empty())
                return fail(problem, err, err_len);
            *checked = true;
        }
        const int status = call(out, out_len, err, err_len);
        if (is_info && status >= 0) {
            if (const std::string problem = identity_mismatch(out, model); !problem.empty())
                return fail(problem, err, err_len);
        }
        return status;
    };
}

}  // namespace kcli
