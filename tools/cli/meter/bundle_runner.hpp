// SPDX-License-Identifier: MIT
// The em133 bundle export (`export-all`). The library's bundle call takes no callback, so it
// runs in a child process: the tool watches the files grow for the progress bar and, on
// Ctrl-C, stops the child and cuts each file of the bundle after its last complete line.
#pragma once

#include <string>

namespace kcli {

class ProgressBar;

struct BundleRequest {
    std::string host;
    std::string dir;
    bool set_clock = false;
    int guard = 0;  // below 1: the library's default guard value
};

struct BundleResult {
    int status = 0;     // the library's status, or KOLVANE_CANCELLED after Ctrl-C
    std::string error;  // the message for a negative status
};

BundleResult run_bundle(const BundleRequest& request, ProgressBar& progress);

}  // namespace kcli
