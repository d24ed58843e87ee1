// SPDX-License-Identifier: MIT
#include "modbus/serial_port.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kolvane {
namespace {

speed_t speed_of(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

// Unix98 pseudo-terminal slaves have the major numbers 136 to 143.
bool pseudo_terminal(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

[[noreturn]] void in_use(const std::string& device) {
    throw std::runtime_error("serial port " + device + " is in use by another program");
}

void set_line(int fd, const std::string& device, int baud, int parity, int stop_bits) {
    termios line{};
    if (::tcgetattr(fd, &line) != 0) {
        throw std::runtime_error("Cannot set up serial port " + device + ": " +
                                 std::strerror(errno));
    }
    ::cfmakeraw(&line);
    const speed_t speed = speed_of(baud);
    if (speed == B0 || ::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0) {
        throw std::runtime_error("serial port " + device + " refuses " + std::to_string(baud) +
                                 " baud");
    }
    // HUPCL off: closing the port leaves the adapter's control lines as they are, so that a port
    // opened for each turn at the line does not reset or re-key the adapter each time.
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    if (parity != 0) line.c_cflag |= PARENB;
    if (parity == 1) line.c_cflag |= PARODD;
    if (stop_bits == 2) line.c_cflag |= CSTOPB;
    // Reads return what has come at once; poll does the waiting.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    // A pseudo-terminal carries bytes, not bits: it keeps no parity, which glibc reports as
    // EINVAL once the speed is set.
    if (::tcsetattr(fd, TCSANOW, &line) != 0 && !(errno == EINVAL && pseudo_terminal(fd))) {
        throw std::runtime_error("Cannot set up serial port " + device + ": " +
                                 std::strerror(errno));
    }
    // tcsetattr succeeds when any one setting took; a driver that kept another speed refuses it.
    termios taken{};
    if (::tcgetattr(fd, &taken) != 0 || ::cfgetospeed(&taken) != speed ||
        ::cfgetispeed(&taken) != speed) {
        throw std::runtime_error("serial port " + device + " refuses " + std::to_string(baud) +
                                 " baud");
    }
}

}  // namespace

int open_serial_port(const std::string& device, int baud, int parity, int stop_bits) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY) in_use(device);  // held with TIOCEXCL by another program
        throw std::runtime_error("Cannot open serial port " + device + ": " + std::strerror(errno));
    }
    try {
        if (::isatty(fd) == 0) throw std::runtime_error(device + " is not a serial port");
        // The lock holds for every program, root's too, which TIOCEXCL lets through.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) in_use(device);
        ::ioctl(fd, TIOCEXCL);
        set_line(fd, device, baud, parity, stop_bits);
    } catch (...) {
        close_serial_port(fd);
        throw;
    }
    return fd;
}

void close_serial_port(int fd) noexcept {
    if (fd < 0) return;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace kolvane
