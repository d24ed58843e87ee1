// SPDX-License-Identifier: MIT
// Runs one exported operation with roomy output and error buffers and keeps what it returned.
#pragma once

#include <string>
#include <vector>

namespace ktest {

struct ApiResult {
    int status = 0;
    std::string out;
    std::string err;
};

// `operation(out, out_len, err, err_len)` calls the exported function under test.
template <class Operation>
ApiResult call_api(Operation&& operation, int out_len = 1 << 16) {
    std::vector<char> out(size_t(out_len) + 1, '\0');
    std::vector<char> err(512, '\0');
    ApiResult result;
    result.status = operation(out.data(), out_len, err.data(), int(err.size()));
    result.out = out.data();
    result.err = err.data();
    return result;
}

}  // namespace ktest
