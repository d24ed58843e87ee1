// SPDX-License-Identifier: MIT
// The sixteen exported functions: each checks its arguments in its documented order,
// builds a client and runs one *_impl inside the call frame.
#include "capi/args.hpp"
#include "capi/frame.hpp"
#include "datalog/datalog.hpp"
#include "eventlog/eventlog.hpp"
#include "export/bundle.hpp"
#include "kolvane.h"
#include "logs/file_info.hpp"
#include "meter/device_info.hpp"
#include "modbus/client.hpp"
#include "points/points.hpp"

using namespace kolvane;

namespace {

static_assert(DEFAULT_CLOCK_GUARD == KOLVANE_DEFAULT_CLOCK_GUARD);

void require_all(std::initializer_list<std::pair<const void*, const char*>> arguments) {
    for (const auto& [pointer, name] : arguments) require_non_null(pointer, name);
}

// A listing document into the caller's buffer; the call returns the entries it lists.
int write_listing(const Document& document, char* out, int out_len) {
    write_out(document.text, out, out_len);
    return document.entries;
}

}  // namespace

extern "C" {

KOLVANE_API const char* kolvane_version(void) { return KOLVANE_VERSION; }

KOLVANE_API void kolvane_set_log_callback(kolvane_log_cb cb, void* user) {
    set_log_callback(cb, user);
}

KOLVANE_API int kolvane_read_device_info(const char* host, const char* meter, const char* options,
                                         char* out, int out_len, char* err, int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {out, "out"}});
            ModbusTcpClient client(host, parse_options(options));
            return write_out(read_device_info_impl(client, parse_meter(meter)), out, out_len);
        },
        err, err_len);
}

KOLVANE_API int kolvane_list_logs(const char* host, const char* meter, const char* options,
                                  char* out, int out_len, char* err, int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {out, "out"}});
            ModbusTcpClient client(host, parse_options(options));
            return write_listing(list_logs_impl(client, parse_meter(meter), parse_files(options)),
                                 out, out_len);
        },
        err, err_len);
}

KOLVANE_API int kolvane_read_live_ex(const char* host, const char* meter, const char* options,
                                     char* out, int out_len, char* err, int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {out, "out"}});
            ModbusTcpClient client(host, parse_options(options));
            const MeterModel model = parse_meter(meter);
            return write_listing(read_points_impl(client, model, live_points(model)), out, out_len);
        },
        err, err_len);
}

KOLVANE_API int kolvane_read_live(const char* host, const char* meter, char* out, int out_len,
                                  char* err, int err_len) {
    return kolvane_read_live_ex(host, meter, nullptr, out, out_len, err, err_len);
}

KOLVANE_API int kolvane_read_points(const char* host, const char* meter, const char* options,
                                    const char* points, char* out, int out_len, char* err,
                                    int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {out, "out"}});
            const MeterModel model = parse_meter(meter);
            require_non_null(points, "points");
            const std::vector<uint16_t> ids = parse_points(points);
            ModbusTcpClient client(host, parse_options(options));
            return write_listing(read_points_impl(client, model, ids), out, out_len);
        },
        err, err_len);
}

KOLVANE_API int kolvane_list_points(const char* meter, char* out, int out_len, char* err,
                                    int err_len) {
    return run_safe(
        [&] {
            require_all({{meter, "meter"}, {out, "out"}});
            return write_listing(list_points_impl(parse_meter(meter)), out, out_len);
        },
        err, err_len);
}

KOLVANE_API int kolvane_read_datalog(const char* host, const char* meter, int file_id,
                                     const char* options, kolvane_record_cb cb, void* user,
                                     char* err, int err_len) {
    return run_safe(
        [&] {
            require_all(
                {{host, "host"}, {meter, "meter"}, {reinterpret_cast<const void*>(cb), "cb"}});
            ModbusTcpClient client(host, parse_options(options));
            const std::optional<uint16_t> after_seq = parse_after_seq(options);
            return read_datalog_impl(client, parse_meter(meter), file_id, record_sink(cb, user),
                                     after_seq, parse_after_time(options));
        },
        err, err_len);
}

KOLVANE_API int kolvane_read_eventlog(const char* host, const char* meter, int file_id,
                                      const char* options, kolvane_record_cb cb, void* user,
                                      char* err, int err_len) {
    return run_safe(
        [&] {
            require_all(
                {{host, "host"}, {meter, "meter"}, {reinterpret_cast<const void*>(cb), "cb"}});
            ModbusTcpClient client(host, parse_options(options));
            const std::optional<uint16_t> after_seq = parse_after_seq(options);
            return read_eventlog_impl(client, parse_meter(meter), file_id, record_sink(cb, user),
                                      after_seq, parse_after_time(options));
        },
        err, err_len);
}

KOLVANE_API int kolvane_export_datalog_ex(const char* host, const char* meter, int file_id,
                                          const char* csv_path, const char* options,
                                          kolvane_progress_cb progress, void* user, char* err,
                                          int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {csv_path, "csv_path"}});
            ModbusTcpClient client(host, parse_options(options));
            return export_datalog_impl(client, parse_meter(meter), file_id, csv_path,
                                       progress_sink(progress, user));
        },
        err, err_len);
}

KOLVANE_API int kolvane_export_datalog(const char* host, const char* meter, int file_id,
                                       const char* csv_path, char* err, int err_len) {
    return kolvane_export_datalog_ex(host, meter, file_id, csv_path, nullptr, nullptr, nullptr, err,
                                     err_len);
}

KOLVANE_API int kolvane_export_eventlog_ex(const char* host, const char* meter, int file_id,
                                           const char* csv_path, const char* options,
                                           kolvane_progress_cb progress, void* user, char* err,
                                           int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {meter, "meter"}, {csv_path, "csv_path"}});
            parse_meter(meter);  // validated although the event log reads the same on both models
            ModbusTcpClient client(host, parse_options(options));
            return export_eventlog_impl(client, file_id, csv_path, progress_sink(progress, user));
        },
        err, err_len);
}

KOLVANE_API int kolvane_export_eventlog(const char* host, const char* meter, int file_id,
                                        const char* csv_path, char* err, int err_len) {
    return kolvane_export_eventlog_ex(host, meter, file_id, csv_path, nullptr, nullptr, nullptr,
                                      err, err_len);
}

KOLVANE_API int kolvane_export_em133_all(const char* host, int set_clock, int clock_guard_value,
                                         const char* out_dir, char* err, int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {out_dir, "out_dir"}});
            return export_em133_all_impl(host, set_clock != 0, clock_guard_value, out_dir);
        },
        err, err_len);
}

KOLVANE_API int kolvane_export_em235_diagnostics(const char* host, int unit_id, int first_register,
                                                 int count, const char* word_order,
                                                 const char* csv_path, char* err, int err_len) {
    return run_safe(
        [&] {
            require_all({{host, "host"}, {word_order, "word_order"}, {csv_path, "csv_path"}});
            export_em235_diagnostics_impl(host, unit_id, first_register, count, word_order,
                                          csv_path);
            return 26;
        },
        err, err_len);
}

}  // extern "C"
