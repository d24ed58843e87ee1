// SPDX-License-Identifier: MIT
// Any bytes a peer sends as a reply: the client returns the values asked for or raises a
// clean error, never reads past what it was sent. The reply is written into a loopback
// connection before the request goes out, then the peer's side is shut, so every input
// costs one connection and no waiting.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

#include "modbus/client.hpp"

namespace {

int make_listener(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 16);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint16_t port = 0;
    static const int listener = make_listener(port);
    if (size < 1) return 0;

    kolvane::ConnectionOptions options;
    options.port = port;
    options.timeout_ms = 1000;
    kolvane::ModbusTcpClient client("127.0.0.1", options);
    client.connect();
    const int peer = ::accept(listener, nullptr, nullptr);
    if (peer < 0) return 0;
    if (size > 1) (void)!::send(peer, data + 1, size - 1, MSG_NOSIGNAL);
    ::shutdown(peer, SHUT_WR);
    try {
        switch (data[0] % 3) {
            case 0: {
                const uint16_t quantity = uint16_t(1 + data[0] / 3 % 125);
                if (client.read_holding_registers(0, quantity).size() != quantity) __builtin_trap();
                break;
            }
            case 1:
                client.write_single_register(1, 2);
                break;
            default:
                client.write_multiple_registers(1, {1, 2, 3});
                break;
        }
    } catch (const std::runtime_error&) {}
    ::close(peer);
    return 0;
}
