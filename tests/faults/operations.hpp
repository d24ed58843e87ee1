// SPDX-License-Identifier: MIT
// The operations of the fault matrix, each run through the C interface against a loopback
// port, with what it handed back: the document, the streamed texts or the CSV lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/files.hpp"
#include "support/temp_dir.hpp"

namespace kfault {

enum class Op {
    device_info,
    live,
    list_logs,
    datalog_stream,
    datalog_csv,
    eventlog_stream,
    eventlog_csv
};

inline constexpr Op ALL_OPS[] = {Op::device_info,    Op::live,        Op::list_logs,
                                 Op::datalog_stream, Op::datalog_csv, Op::eventlog_stream,
                                 Op::eventlog_csv};
inline constexpr Op LOG_OPS[] = {Op::datalog_stream, Op::datalog_csv, Op::eventlog_stream,
                                 Op::eventlog_csv};

inline const char* op_name(Op op) {
    switch (op) {
        case Op::device_info:
            return "device info";
        case Op::live:
            return "live";
        case Op::list_logs:
            return "list logs";
        case Op::datalog_stream:
            return "data log stream";
        case Op::datalog_csv:
            return "data log CSV";
        case Op::eventlog_stream:
            return "event log stream";
        case Op::eventlog_csv:
            return "event log CSV";
    }
    return "?";
}

inline bool is_log(Op op) { return op >= Op::datalog_stream; }
inline int log_file_of(Op op) { return op == Op::datalog_stream || op == Op::datalog_csv ? 1 : 0; }

struct Call {
    uint16_t port = 0;
    int timeout_ms = 250;
    int cancel_after = 0;  // > 0: the record or progress callback stops at this data record
    int deadline_ms = 0;   // > 0: the whole call's deadline
};

struct Outcome {
    int status = 0;
    std::string err;
    std::vector<std::string>
        texts;  // the document, each streamed text, or each CSV line with its '\n'
    std::chrono::milliseconds elapsed{0};
};

// The files the operations write: a private directory for this process, removed at exit,
// with a fresh name for each file or directory.
inline ktest::TempDir& scratch() {
    static ktest::TempDir dir;
    return dir;
}
inline std::string fresh_path() {
    static int count = 0;
    return scratch().file(std::to_string(++count));
}
inline std::string fresh_dir() {
    const std::string dir = fresh_path();
    std::filesystem::create_directory(dir);
    return dir;
}

// The reading time of a live document changes from call to call.
inline std::string without_timestamp(const std::string& doc) {
    static const std::regex stamp("\"timestamp\":\"[^\"]*\"");
    return std::regex_replace(doc, stamp, "\"timestamp\":\"*\"");
}

namespace detail {

struct Sink {
    std::vector<std::string> texts;
    int records = 0;
    int cancel_after = 0;
};

inline int on_record(const char* text, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->texts.emplace_back(text);
    if (std::string(text).rfind("{\"type\":\"record\"", 0) == 0) ++sink->records;
    return sink->cancel_after > 0 && sink->records >= sink->cancel_after ? 1 : 0;
}

inline int on_progress(int done, int, void* user) {
    const auto* sink = static_cast<const Sink*>(user);
    return sink->cancel_after > 0 && done >= sink->cancel_after ? 1 : 0;
}

}  // namespace detail

inline Outcome run(Op op, const Call& call) {
    const std::string host = "127.0.0.1";
    std::string options = "{\"port\":" + std::to_string(call.port) +
                          ",\"timeout_ms\":" + std::to_string(call.timeout_ms);
    if (call.deadline_ms > 0) options += ",\"deadline_ms\":" + std::to_string(call.deadline_ms);
    options += "}";
    std::vector<char> out(1 << 16, '\0');
    std::vector<char> err(512, '\0');
    detail::Sink sink;
    sink.cancel_after = call.cancel_after;
    const std::string csv = fresh_path() + ".csv";

    Outcome result;
    const auto start = std::chrono::steady_clock::now();
    switch (op) {
        case Op::device_info:
            result.status =
                kolvane_read_device_info(host.c_str(), "em133", options.c_str(), out.data(),
                                         int(out.size()), err.data(), int(err.size()));
            break;
        case Op::live:
            result.status = kolvane_read_live_ex(host.c_str(), "em133", options.c_str(), out.data(),
                                                 int(out.size()), err.data(), int(err.size()));
            break;
        case Op::list_logs:
            result.status = kolvane_list_logs(host.c_str(), "em133", options.c_str(), out.data(),
                                              int(out.size()), err.data(), int(err.size()));
            break;
        case Op::datalog_stream:
            result.status =
                kolvane_read_datalog(host.c_str(), "em133", 1, options.c_str(), detail::on_record,
                                     &sink, err.data(), int(err.size()));
            break;
        case Op::eventlog_stream:
            result.status =
                kolvane_read_eventlog(host.c_str(), "em133", 0, options.c_str(), detail::on_record,
                                      &sink, err.data(), int(err.size()));
            break;
        case Op::datalog_csv:
            result.status =
                kolvane_export_datalog_ex(host.c_str(), "em133", 1, csv.c_str(), options.c_str(),
                                          detail::on_progress, &sink, err.data(), int(err.size()));
            break;
        case Op::eventlog_csv:
            result.status =
                kolvane_export_eventlog_ex(host.c_str(), "em133", 0, csv.c_str(), options.c_str(),
                                           detail::on_progress, &sink, err.data(), int(err.size()));
            break;
    }
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    result.err = err.data();
    if (op == Op::datalog_csv || op == Op::eventlog_csv) {
        result.texts = ktest::file_lines(csv);
    } else if (!is_log(op)) {
        if (out[0] != '\0') result.texts.push_back(without_timestamp(out.data()));
    } else {
        result.texts = std::move(sink.texts);
    }
    return result;
}

}  // namespace kfault
