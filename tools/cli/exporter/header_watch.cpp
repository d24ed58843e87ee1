// SPDX-License-Identifier: MIT
#include "exporter/header_watch.hpp"

#include <microhttpd.h>
#include <sys/socket.h>

namespace kexp {

HeaderWatch::HeaderWatch(Clock::duration limit, std::size_t per_address)
    : limit_(limit), per_address_(per_address), thread_([this] { watch(); }) {}

HeaderWatch::~HeaderWatch() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void HeaderWatch::accepted(MHD_Connection* connection, const std::string& address) {
    const std::lock_guard lock(mutex_);
    auto oldest = waiting_.end();
    std::size_t from_address = 0;
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (it->second.address != address) continue;
        ++from_address;
        if (oldest == waiting_.end() || it->second.since < oldest->second.since) oldest = it;
    }
    if (from_address >= per_address_) {
        cut(oldest->first);
        waiting_.erase(oldest);
    }
    waiting_[connection] = {Clock::now(), address};
}

void HeaderWatch::done(MHD_Connection* connection) {
    const std::lock_guard lock(mutex_);
    waiting_.erase(connection);
}

void HeaderWatch::cut(MHD_Connection* connection) {
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        ::shutdown(info->connect_fd, SHUT_RDWR);
}

void HeaderWatch::watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto now = Clock::now();
        auto next = now + limit_;
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (now - it->second.since >= limit_) {
                cut(it->first);
                it = waiting_.erase(it);
            } else {
                next = std::min(next, it->second.since + limit_);
                ++it;
            }
        }
        wake_.wait_until(lock, next);
    }
}

}  // namespace kexp
