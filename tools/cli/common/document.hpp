// SPDX-License-Identifier: MIT
// Operations that return a JSON document: calling them with a buffer that grows as the library
// asks, and printing the document.
#pragma once

#include <functional>
#include <string>

namespace kcli {

// One library call: (out, out_len, err, err_len) -> status.
using DocumentCall = std::function<int(char*, int, char*, int)>;

struct DocumentResult {
    int status = 0;
    std::string text;   // the document on success
    std::string error;  // the library's message otherwise
};

// Calls `call`, retrying with the size named by "Output buffer too small: need N bytes".
DocumentResult fetch_document(const DocumentCall& call);

// Writes `document` and a line feed to standard output in one write, indented when `pretty`.
void print_document(const std::string& document, bool pretty);

// fetch_document, then print_document or the failure; returns the exit status.
int run_document(const DocumentCall& call, bool pretty);

}  // namespace kcli
