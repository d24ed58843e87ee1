// SPDX-License-Identifier: MIT
// The libmodbus comparison client (Debian's libmodbus-dev; used only by the benchmarks).
#include <modbus.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "traffic.hpp"

namespace kbench {

std::uint64_t replay_libmodbus(std::uint16_t port, const std::vector<Transaction>& traffic) {
    const std::unique_ptr<modbus_t, decltype(&modbus_free)> ctx(modbus_new_tcp("127.0.0.1", port),
                                                                &modbus_free);
    if (!ctx) throw std::runtime_error("modbus_new_tcp failed");
    modbus_set_slave(ctx.get(), 1);
    modbus_set_response_timeout(ctx.get(), 5, 0);
    if (modbus_connect(ctx.get()) != 0) throw std::runtime_error("modbus_connect failed");
    std::uint16_t words[125];
    std::uint64_t received = 0;
    for (const Transaction& t : traffic) {
        int rc = -1;
        if (t.function == 3) {
            rc = modbus_read_registers(ctx.get(), t.address, t.quantity, words);
            received += std::uint64_t(rc > 0 ? rc : 0);
        } else if (t.function == 6) {
            rc = modbus_write_register(ctx.get(), t.address, t.values.at(0));
        } else if (t.function == 16) {
            rc =
                modbus_write_registers(ctx.get(), t.address, int(t.values.size()), t.values.data());
        }
        if (rc < 0) {
            modbus_close(ctx.get());
            throw std::runtime_error(std::string("libmodbus: ") + modbus_strerror(errno));
        }
    }
    modbus_close(ctx.get());
    return received;
}

}  // namespace kbench
