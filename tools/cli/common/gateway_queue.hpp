// SPDX-License-Identifier: MIT
// Hands out the meters of a run so that at most N meters of one gateway are read at once, while
// the meters of other gateways go on in parallel: a gateway passes one request at a time to its
// bus, and more connections than it takes are refused or starve each other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kcli {

class GatewayQueue {
public:
    // `gateway_of_item[i]` names item i's gateway (its HOST:PORT); items are handed out in order
    // as far as the bound allows.
    GatewayQueue(std::vector<std::string> gateway_of_item, int per_gateway);

    struct Item {
        std::size_t index;
        // Set when the item's gateway could not be reached earlier in the run: the item is
        // handed out at once, without a slot, to be reported failed with this message.
        std::optional<std::string> gateway_failure;
    };
    // The next item whose gateway has a free slot, waiting for one; nothing when every item has
    // been handed out or `stop` returns true (it is asked now and then while waiting).
    std::optional<Item> next(const std::function<bool()>& stop);
    // Item `index` is finished: its gateway's slot is free again.
    void done(std::size_t index);
    // The gateway of `index` cannot be reached: its items not yet handed out fail with
    // "gateway HOST:PORT unreachable: " + `reason`, which is returned.
    std::string fail_gateway(std::size_t index, const std::string& reason);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::string> gateway_of_;
    std::vector<bool> handed_out_;
    std::map<std::string, int> running_;
    std::map<std::string, std::string> failed_;
    int per_gateway_;
};

// True for a message of the library saying that no connection could be made: the address
// refused it, did not answer the connect, or could not be resolved.
bool is_connect_failure(const std::string& message);

}  // namespace kcli
