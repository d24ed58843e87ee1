// SPDX-License-Identifier: MIT
// Connections whose request line and headers are not in yet. libmicrohttpd closes a connection
// only after a silence, so a client that trickles one byte a second would hold it for ever, and
// enough of them would hold every connection an address may open: here each connection gets a
// bounded time from its accept to the end of its headers, and one address keeps at most a bound
// of such connections, its oldest cut for a new one. A scrape sends its headers at once, so it
// is never the oldest waiting.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct MHD_Connection;

namespace kexp {

class HeaderWatch {
public:
    using Clock = std::chrono::steady_clock;

    HeaderWatch(Clock::duration limit, std::size_t per_address);
    ~HeaderWatch();
    HeaderWatch(const HeaderWatch&) = delete;
    HeaderWatch& operator=(const HeaderWatch&) = delete;

    // A connection accepted from `address`; its headers are awaited from now.
    void accepted(MHD_Connection* connection, const std::string& address);
    // Its headers are in, or it closed: no longer watched.
    void done(MHD_Connection* connection);

private:
    struct Waiting {
        Clock::time_point since;
        std::string address;
    };
    void watch();
    // Ends the connection: libmicrohttpd finds it closed and lets it go. Called with mutex_ held,
    // before its closing is reported, so the descriptor is still its own.
    static void cut(MHD_Connection* connection);

    const Clock::duration limit_;
    const std::size_t per_address_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<MHD_Connection*, Waiting> waiting_;
    std::thread thread_;
};

}  // namespace kexp
