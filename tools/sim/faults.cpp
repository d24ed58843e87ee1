// SPDX-License-Identifier: MIT
// Fault rules: constructors, matchers and the filter test.
#include "internal.hpp"

namespace ksim {

namespace {
Fault make(Fault::Kind k) {
    Fault f;
    f.kind = k;
    return f;
}
std::uint32_t last_of(std::uint16_t first, int last) {
    return last < 0 ? first : static_cast<std::uint32_t>(last);
}
}  // namespace

Fault Fault::exception(std::uint8_t code) {
    Fault f = make(Kind::exception);
    f.code = code;
    return f;
}
Fault Fault::delay(std::chrono::milliseconds d) {
    Fault f = make(Kind::delay);
    f.duration = d;
    return f;
}
Fault Fault::no_reply() { return make(Kind::no_reply); }
Fault Fault::close() { return make(Kind::close); }
Fault Fault::close_after_bytes(std::size_t n) {
    Fault f = make(Kind::close_after_bytes);
    f.byte_count = n;
    return f;
}
Fault Fault::reply_then_close() { return close_after_bytes(static_cast<std::size_t>(-1)); }
Fault Fault::close_after_replies(int n) { return reply_then_close().nth(n); }
Fault Fault::raw(std::vector<std::uint8_t> b) {
    Fault f = make(Kind::raw);
    f.bytes = std::move(b);
    return f;
}
Fault Fault::pdu(std::vector<std::uint8_t> p, int length_override) {
    Fault f = make(Kind::pdu);
    f.bytes = std::move(p);
    f.length_override = length_override;
    return f;
}
Fault Fault::late_reply(int tid_delta, std::optional<std::uint16_t> fill) {
    Fault f = make(Kind::late_reply);
    f.tid_delta = tid_delta;
    f.fill = fill;
    return f;
}
Fault Fault::trickle(std::chrono::milliseconds pause) {
    Fault f = make(Kind::trickle);
    f.duration = pause;
    return f;
}

Fault Fault::bad_crc() { return make(Kind::bad_crc); }

Fault& Fault::function(int fc) {
    functions = {fc};
    return *this;
}
Fault& Fault::reads(std::uint16_t f, int l) {
    functions = {3};
    first = f;
    last = last_of(f, l);
    return *this;
}
Fault& Fault::writes(std::uint16_t f, int l) {
    functions = {6, 16};
    first = f;
    last = last_of(f, l);
    return *this;
}
Fault& Fault::range(std::uint16_t f, int l) {
    first = f;
    last = last_of(f, l);
    return *this;
}
Fault& Fault::unit(int u) {
    unit_id = u;
    return *this;
}
Fault& Fault::nth(int n) {
    skip_count = n > 0 ? n - 1 : 0;
    times_count = 1;
    return *this;
}
Fault& Fault::skip(int n) {
    skip_count = n;
    return *this;
}
Fault& Fault::times(int k) {
    times_count = k;
    return *this;
}

bool fault_filter(const Fault& f, const Request& r) {
    if (!f.functions.empty()) {
        bool any = false;
        for (int fc : f.functions) any = any || fc == r.function;
        if (!any) return false;
    }
    if (f.unit_id >= 0 && f.unit_id != r.unit) return false;
    std::uint32_t a = r.address;
    std::uint32_t n = r.quantity == 0 ? 1 : r.quantity;
    std::uint32_t e = a + n - 1;
    return a <= f.last && e >= f.first;
}

}  // namespace ksim
