// SPDX-License-Identifier: MIT
#include "journal_line.hpp"

#include <cstdio>

namespace ksim {

namespace {
double seconds_between(std::chrono::steady_clock::time_point from,
                       std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}
}  // namespace

std::string journal_line(const Request& request, std::chrono::steady_clock::time_point start) {
    char head[128];
    std::snprintf(head, sizeof head, "+%.3fs conn %llu unit %u fc %u addr %u qty %u",
                  seconds_between(start, request.received),
                  static_cast<unsigned long long>(request.connection), unsigned{request.unit},
                  unsigned{request.function}, unsigned{request.address},
                  unsigned{request.quantity});
    if (request.bad_crc) return std::string(head) + " bad CRC, unanswered";
    if (request.answered == std::chrono::steady_clock::time_point{})
        return std::string(head) + " unanswered";
    char how[64];
    if (request.exception == 6)
        std::snprintf(how, sizeof how, "busy (exception 6)");
    else if (request.exception != 0)
        std::snprintf(how, sizeof how, "refused with exception %u", unsigned{request.exception});
    else
        std::snprintf(how, sizeof how, "replied");
    char took[32];
    std::snprintf(took, sizeof took, " in %.1f ms",
                  seconds_between(request.received, request.answered) * 1000);
    return std::string(head) + " " + how + took;
}

}  // namespace ksim
