// SPDX-License-Identifier: MIT
// A serial port opened for Modbus RTU: raw 8-bit characters at the line's speed and format, held
// by this program alone.
#pragma once

#include <string>

namespace kolvane {

// Opens `device` non-blocking, takes it for this program alone and sets the line: `baud`, parity
// 0 none, 1 odd, 2 even, 1 or 2 stop bits. Returns the descriptor; throws with a one-line message
// naming the device when it is missing, no serial port, in use or refuses the line's settings.
int open_serial_port(const std::string& device, int baud, int parity, int stop_bits);

// Gives the port up: lets other programs open it again, then closes it.
void close_serial_port(int fd) noexcept;

}  // namespace kolvane
