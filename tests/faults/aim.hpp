// SPDX-License-Identifier: MIT
// Where a reply fault strikes in each operation: at a request whose failure the operation
// cannot absorb, and for the logs after one block was delivered and acknowledged.
#pragma once

#include "operations.hpp"
#include "simulator.hpp"

namespace kfault {

enum class Aim { read, write_single, write_multiple };

inline bool concerns(Aim aim, Op op) {
    switch (aim) {
        case Aim::read:
            return true;
        case Aim::write_single:
            return is_log(op);  // only the transfer acknowledges
        case Aim::write_multiple:
            return op == Op::list_logs || is_log(op);
    }
    return false;
}

inline ksim::Fault aimed(ksim::Fault fault, Aim aim, Op op) {
    switch (aim) {
        case Aim::read:
            if (op == Op::device_info) return fault.reads(46080, 46105);  // the identity block
            if (op == Op::live) return fault.reads(13952, 14799);         // every live family
            if (op == Op::list_logs) return fault.reads(64960).nth(2);    // File Info of file 1
            return fault.reads(63160).nth(2);                             // the second block's data
        case Aim::write_single:
            return fault.function(6).range(63120).nth(1);  // the first block's acknowledge
        case Aim::write_multiple:
            if (op == Op::list_logs)
                return fault.function(16).range(64944).nth(2);  // File Info of file 1
            return fault.function(16).range(63120).nth(3);      // the request for the second block
    }
    return fault;
}

}  // namespace kfault
