// SPDX-License-Identifier: MIT
// Bytes received from the meter and not yet taken. One recv takes whatever the socket holds, so
// it may bring part of a frame or more than one; what follows a frame stays for the next read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kolvane {

class ReceiveBuffer {
public:
    // Room for many whole frames (267 bytes at most each), so that replies queued in the socket
    // are taken by one recv.
    static constexpr size_t CAPACITY = 4096;

    ReceiveBuffer() : bytes_(CAPACITY) {}

    const uint8_t* data() const noexcept { return bytes_.data() + begin_; }
    size_t size() const noexcept { return end_ - begin_; }

    // Where the next recv may write, with room for at least `frame_size` bytes counted from the
    // first byte held (frame_size <= CAPACITY): held bytes move to the front when they must.
    uint8_t* space(size_t frame_size) noexcept {
        if (begin_ + frame_size > CAPACITY) {
            std::memmove(bytes_.data(), bytes_.data() + begin_, size());
            end_ -= begin_;
            begin_ = 0;
        }
        return bytes_.data() + end_;
    }
    size_t space_size() const noexcept { return CAPACITY - end_; }
    // `count` bytes were written at space().
    void added(size_t count) noexcept { end_ += count; }

    void consume(size_t count) noexcept {
        begin_ += count;
        if (begin_ == end_) clear();
    }
    void clear() noexcept { begin_ = end_ = 0; }

private:
    std::vector<uint8_t> bytes_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace kolvane
