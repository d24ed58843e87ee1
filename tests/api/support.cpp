#include "api/support.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kolvane_test {

int closed_loopback_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string closed_port_options(int port) {
    return "{\"port\":" + std::to_string(port) + ",\"timeout_ms\":2000}";
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::path(testing::TempDir()) / "kolvane_api_XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << std::strerror(errno);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

ScopedTz::ScopedTz(const char* tz) {
    const char* previous = std::getenv("TZ");
    had_previous_ = previous != nullptr;
    if (had_previous_) previous_ = previous;
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTz::~ScopedTz() {
    if (had_previous_) {
        ::setenv("TZ", previous_.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

ErrBuf::ErrBuf() {
    std::memset(data, '#', size - 1);
    data[size - 1] = '\0';
}

}  // namespace kolvane_test
