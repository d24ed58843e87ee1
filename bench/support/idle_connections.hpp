// SPDX-License-Identifier: MIT
// Idle clients of a TCP server on 127.0.0.1: connections that say nothing or send the start of an
// HTTP request and stall, re-opened as soon as the server closes one, so that the same number
// stays held all along. They come from several loopback source addresses (127.0.0.2, .3, ...;
// all of 127.0.0.0/8 is the loopback), a few from each, as a server may bound the connections
// of one client address. Header-only: one small class for one benchmark.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kbench {

class IdleConnections {
public:
    // Opens `count` connections to 127.0.0.1:`port`, `per_source` from each source address,
    // one after another over `spread`: the server's time-outs, and so the re-opens, then come
    // spread out as those of a steady crowd of idle clients, not all at once.
    IdleConnections(int port, int count, int per_source, std::chrono::milliseconds spread)
        : port_(port),
          per_source_(per_source),
          fds_(static_cast<std::size_t>(count), -1),
          opened_(fds_.size()) {
        for (std::size_t i = 0; i < fds_.size(); ++i) {
            if (!open(i)) {
                close_all();
                throw std::runtime_error("cannot connect from " + source_name(i));
            }
            std::this_thread::sleep_for(spread / count);
        }
        holder_ = std::jthread([this](std::stop_token stop) { hold(stop); });
    }
    ~IdleConnections() {
        holder_ = {};  // stops and joins the holder before the descriptors go
        close_all();
    }
    IdleConnections(const IdleConnections&) = delete;
    IdleConnections& operator=(const IdleConnections&) = delete;

    // The source addresses used, e.g. "127.0.0.2-127.0.0.5".
    std::string sources() const { return source_name(0) + "-" + source_name(fds_.size() - 1); }
    // Connections the server closed and that were opened again.
    long reopened() const { return reopened_; }
    // Connections the server would not hold (it closed them at once, or connect failed):
    // meanwhile fewer were held than asked.
    long refused() const { return refused_; }

private:
    void close_all() {
        for (const int fd : fds_)
            if (fd >= 0) ::close(fd);
    }

    std::string source_name(std::size_t i) const {
        return "127.0.0." + std::to_string(2 + i / static_cast<std::size_t>(per_source_));
    }

    // Connects slot `i`; every other one sends the start of a request and nothing more.
    bool open(std::size_t i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in source{}, server{};
        source.sin_family = server.sin_family = AF_INET;
        inet_pton(AF_INET, source_name(i).c_str(), &source.sin_addr);
        inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        server.sin_port = htons(static_cast<std::uint16_t>(port_));
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
            ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
            if (fd >= 0) ::close(fd);
            fds_[i] = -1;
            return false;
        }
        static constexpr char PARTIAL[] = "GET /metrics HTTP/1.1\r\nHost: idle\r\n";
        if (i % 2) ::send(fd, PARTIAL, sizeof PARTIAL - 1, MSG_NOSIGNAL);
        fds_[i] = fd;
        opened_[i] = std::chrono::steady_clock::now();
        return true;
    }

    // Waits for the server to close connections and opens them again, until stopped.
    void hold(const std::stop_token& stop) {
        std::vector<pollfd> entries(fds_.size());
        while (!stop.stop_requested()) {
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                if (fds_[i] < 0 && !open(i)) ++refused_;
                entries[i] = {fds_[i], POLLIN, 0};
            }
            if (::poll(entries.data(), entries.size(), 50) <= 0) continue;
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                char discard[512];
                if (entries[i].revents == 0 || ::recv(fds_[i], discard, sizeof discard, 0) > 0)
                    continue;  // an answer before the close is read and dropped
                ::close(fds_[i]);
                // Idle clients get seconds before a time-out closes them; sooner is a refusal.
                if (std::chrono::steady_clock::now() - opened_[i] < std::chrono::seconds(1))
                    ++refused_;
                if (open(i)) ++reopened_;
            }
        }
    }

    const int port_;
    const int per_source_;
    std::vector<int> fds_;
    std::vector<std::chrono::steady_clock::time_point> opened_;
    std::atomic<long> reopened_{0}, refused_{0};
    std::jthread holder_;
};

}  // namespace kbench
