/* SPDX-License-Identifier: MIT */
/*
 * kolvane: read em133 and em235 electricity meters over Modbus TCP, or Modbus RTU on an RS-485
 * line (a serial port, or a serial device server reached over TCP).
 *
 * Every operation opens its own TCP connection to the meter (or its serial port), works
 * synchronously on the calling thread, closes the connection and returns an int status:
 *
 *   >= 0                 success; the meaning of the value is given per function
 *   KOLVANE_ERROR (-1)   failure; the error buffer holds a one-line message
 *   KOLVANE_CANCELLED (-2)  a callback asked to stop; the error buffer holds
 *                        "Cancelled by caller"
 *
 * Buffers. Every operation takes an error buffer `err` of capacity `err_len` bytes as its
 * last two arguments. It is cleared (first byte NUL) at the start of every call and filled
 * only on failure or cancellation, always NUL-terminated; longer messages are cut to
 * err_len - 1 bytes. `err` may be NULL or err_len <= 0: nothing is written then.
 * Operations that return a JSON document copy it, NUL-terminated, into `out` of capacity
 * `out_len` bytes. A document of L bytes needs out_len >= L + 1; otherwise the call fails
 * with "Output buffer too small: need N bytes" (N = L + 1), leaves `out` untouched, and the
 * caller may retry with a buffer of N bytes. The document is built only after all meter
 * traffic, so such a retry repeats that traffic.
 *
 * Text arguments are NUL-terminated. `host` is a dotted IPv4 address, an IPv6 literal such as
 * "::1" (without brackets) or a host name that resolves to IPv4; a path that begins with "/", such
 * as "/dev/ttyUSB0", names a serial port that speaks Modbus RTU. `meter` is the model name
 * "em133" or "em235" (alias "pm335"), in any letter case. `options` may be NULL or a flat JSON
 * object such as {"port":1502,"unit_id":3,"timeout_ms":5000}: port 1-65535 (default 502),
 * unit_id 0-255 (default 1), timeout_ms 100-3600000 (default 30000), deadline_ms 1-86400000
 * (default none), request_gap_ms 0-10000 (default 0), tries 1-10 (default 3), machine_turns
 * 0 or 1 (default 0), rtu 0 or 1 (default 0), baud 1200, 2400, 4800, 9600, 19200, 38400, 57600,
 * 115200 or 230400 (default 9600), parity 0 none, 1 odd or 2 even (default 2), stop_bits 1 or 2
 * (default 1), echo 0 or 1 (default 0).
 * kolvane_read_datalog and kolvane_read_eventlog also take after_seq 0-65535 (see
 * kolvane_read_datalog); any other value or type of after_seq fails with
 * "options.after_seq must be 0-65535". Other keys are ignored (after_seq too by the CSV
 * exports, which always write the whole log). timeout_ms bounds each wait: the connect, the
 * sending of a request and the arrival of its whole reply; a signal that interrupts a wait
 * does not extend it. deadline_ms bounds the whole call: every wait is limited to the smaller
 * of timeout_ms and the time left, and when the deadline passes the call fails with "Deadline
 * of N ms exceeded", even where a refused read would otherwise fall back to defaults. Records
 * delivered and CSV rows written before then stay. request_gap_ms is the least time between the
 * end of one reply, or the connect, and the next request on the connection, as Modbus gateways
 * and RS-485 buses want; never extends the call past deadline_ms (a request whose gap would
 * end after the deadline is not sent, and the call fails with the deadline message).
 * tries 1-10 (default 3) is how often one request is sent when it is answered busy
 * (exception 6, or 5 to a read), after a pause that doubles from request_gap_ms (50 ms at
 * least) within deadline_ms; a read answered with exception 11 (no meter at that unit behind a
 * gateway) is sent once more. Each retry is logged at KOLVANE_LOG_INFO with a message beginning
 * "Retry ". Answers that stay busy fail with "gateway HOST:PORT busy after N tries: set
 * gap=MS", exception 11 with "no meter answered at unit N behind HOST:PORT", a reply that does
 * not come within timeout_ms with "no reply from HOST:PORT (unit N) within T ms".
 * machine_turns 0 or 1 (default 0): with 1, every request to the address connected to takes
 * its turn with the other kolvane programs of this machine that ask so, and request_gap_ms
 * holds between any two of their requests: a gateway in front of a bus is never sent two
 * requests at once. The turns live in /run/lock/kolvane-gateways (in /tmp when /run/lock
 * cannot be written), created readable and writable by its owner and group only; a user who
 * may not open it fails with a message naming it.
 * Modbus RTU: a serial port host, or "rtu":1 for RTU frames over TCP to host:port (a serial
 * device server's transparent mode). baud is the line's speed, on a serial port and behind such
 * a server alike; it paces the requests (3.5 characters of silence before each) and lengthens
 * each time limit by the time the reply's characters take on the line, counted from the end of
 * the request's. On plain Modbus TCP it fails with "options.baud needs RTU: a serial device or
 * \"rtu\":1"; parity and stop_bits set the serial port and fail on a TCP host with
 * "options.parity needs a serial device" (stop_bits alike). echo 1 says the adapter passes each
 * request back before the reply, which is dropped; without it a reply that begins with a copy of
 * a read or multiple-write request is taken for such an echo too (a single write's reply equals
 * its request: an echoing line needs the key for writes). Each request waits for the line to be
 * silent and drops whatever came after an earlier time-out. A reply whose CRC does not match
 * fails with "reply from DEVICE (unit N) failed its CRC check", as one that never came; unit 0 is
 * a broadcast, written to without a reply, never read. The port is opened for this call alone: a
 * port another program holds fails with "serial port DEVICE is in use by another program", a
 * path that is no tty with "DEVICE is not a serial port", a port that goes away with "serial port
 * DEVICE failed: REASON". Messages name the device where a TCP host has HOST:PORT, and
 * machine_turns takes turns per serial port.
 *
 * Facts and weather. Settings that govern how values are printed (PT ratio, resolution,
 * energy decimals and units) and the File Info of a log are read from the meter in every call
 * that needs them. Only an answer that the meter has no such register or function (exception
 * 1, 2 or 3) leaves a default or takes a log for absent; any other failure (busy after the
 * tries, a gateway's exception, a time limit, a lost connection) fails the call with a message
 * naming the register or log, so that no value is printed with a guessed scale and no log is
 * taken for missing.
 *
 * Callbacks. Record and progress callbacks run on the calling thread, synchronously, without
 * any library lock held; a non-zero return cancels the operation (status -2). Texts handed to
 * a callback are valid only during the call. Callbacks must not throw or longjmp across the
 * library.
 *
 * Threads. Operations may run on many threads at once; each has its own connection and
 * shares nothing but the log callback and constant tables. The library starts no threads.
 * A meter keeps one read position per log file, so two transfers of the same log from the
 * same meter at once disturb each other at the meter: run those one after the other.
 */
#ifndef KOLVANE_H
#define KOLVANE_H

#include "kolvane_version.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KOLVANE_API __attribute__((visibility("default")))
#else
#define KOLVANE_API
#endif

/* Status codes. Success is any value >= 0. */
#define KOLVANE_ERROR (-1)
#define KOLVANE_CANCELLED (-2)

/* Log levels passed to the log callback. */
#define KOLVANE_LOG_ERROR 0   /* the failure message of every failed operation */
#define KOLVANE_LOG_WARNING 1 /* degraded but continuing work */
#define KOLVANE_LOG_INFO 2    /* progress facts, e.g. a log file's record count */
#define KOLVANE_LOG_DEBUG 3   /* connection and transfer details */

/* Receives one JSON text of a log stream. Return 0 to continue, non-zero to cancel. */
typedef int (*kolvane_record_cb)(const char* record, void* user);

/* Receives the rows written so far and the expected total (-1 when the meter cannot tell).
 * Return 0 to continue, non-zero to cancel. */
typedef int (*kolvane_progress_cb)(int done, int total, void* user);

/* Receives one diagnostic message with its KOLVANE_LOG_* level. */
typedef void (*kolvane_log_cb)(int level, const char* message, void* user);

/* The loaded library's version as "MAJOR.MINOR.PATCH": the KOLVANE_VERSION it was built with,
 * which a program may compare with its own. A static text; never free it. */
KOLVANE_API const char* kolvane_version(void);

/*
 * Registers the process-wide log callback and its user pointer; NULL switches logging off.
 * The previous callback is not notified. Once this function returns, the previous callback
 * receives no further message.
 *
 * Log callbacks are serialised across threads: a lock is held while the callback runs.
 * From inside the callback, on its own thread, it is safe to call kolvane_set_log_callback
 * (the change applies from the next message) and to run any operation; messages that such
 * nested work emits on that thread are dropped instead of re-entering the callback. A log
 * callback must not wait for another thread that is itself logging or setting the callback.
 */
KOLVANE_API void kolvane_set_log_callback(kolvane_log_cb cb, void* user);

/*
 * Identifies the meter: model name and number, serial number, options value, firmware and
 * bootloader versions, PT ratio, energy decimals and high-resolution mode, as one JSON
 * document in `out`, e.g.
 * {"meter":"em235","host":"10.0.0.5","model_name":"ABC","model_id":1,"serial":1201784,
 *  "options":0,"firmware":{"version":2,"build":3},"bootloader":{"version":4,"build":5},
 *  "setup":{"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}}
 * Returns the document's length in bytes (without the NUL).
 * Errors: "host must not be null", "meter must not be null", "out must not be null", option
 * and model messages, connection and Modbus messages, "Output buffer too small: ...".
 */
KOLVANE_API int kolvane_read_device_info(const char* host, const char* meter, const char* options,
                                         char* out, int out_len, char* err, int err_len);

/*
 * Lists the meter's log files (file 0 the event log, 1-16 data logs) with record counts and,
 * for data logs, named and scaled columns:
 * {"meter":..,"host":..,"logs":[{"file_id":0,"type":"eventlog","records":12},
 *  {"file_id":1,"type":"datalog","records":96,"columns":[{"name":"V1","unit":"V","decimals":1}]}]}
 * Files the meter says it does not have (exception 1, 2 or 3 to File Info) are left out; any
 * other failure of a file's File Info fails the call, naming the file, rather than leaving the
 * log out. Returns the number of entries in "logs". The options may hold files 1-131071, a
 * mask of the file ids to ask about (bit n for file n; default all 17), so that a caller who
 * knows a meter's logs asks only about those.
 */
KOLVANE_API int kolvane_list_logs(const char* host, const char* meter, const char* options,
                                  char* out, int out_len, char* err, int err_len);

/*
 * Reads the live point set (55 points on an em133, 61 on an em235: phase values, totals,
 * auxiliary values, energies) as a readings document:
 * {"meter":..,"host":..,"timestamp":"2026-12-06T16:09:04.007Z",
 *  "readings":[{"pid":4352,"name":"V1","value":230.1,"unit":"V"},...]}
 * Points the meter refuses are left out. Returns the number of readings; fails with
 * "No values could be read: " and the last failure when none could be read.
 */
KOLVANE_API int kolvane_read_live_ex(const char* host, const char* meter, const char* options,
                                     char* out, int out_len, char* err, int err_len);

/* kolvane_read_live_ex with options NULL. */
KOLVANE_API int kolvane_read_live(const char* host, const char* meter, char* out, int out_len,
                                  char* err, int err_len);

/*
 * Reads the points named in `points`: numbers (decimal or 0x hexadecimal) and quoted names,
 * separated by commas or blanks, optionally in brackets, e.g. [4352, "V2", 0x1102].
 * Names are matched without regard to case. The document has the shape of
 * kolvane_read_live_ex, readings in request order. Returns the number of readings.
 * Errors: "points must not be null", "points: at least one point is required",
 * "points: empty item", "points: X is not a 16-bit point ID",
 * "Point 0xNNNN is not in a readable register block", "points: unexpected item X",
 * "Unknown point 'X'", and those of kolvane_read_live_ex.
 */
KOLVANE_API int kolvane_read_points(const char* host, const char* meter, const char* options,
                                    const char* points, char* out, int out_len, char* err,
                                    int err_len);

/*
 * Lists the point catalogue for a model without contacting a meter:
 * {"meter":"em133","points":[{"pid":3072,"name":"V1","unit":"V","group":"1-cycle phase
 * values"},...]} Returns the number of points (199 for an em133, 205 for an em235).
 */
KOLVANE_API int kolvane_list_points(const char* meter, char* out, int out_len, char* err,
                                    int err_len);

/*
 * Streams data log `file_id` (1-16) through `cb`: first a header record
 * {"type":"header","meter":..,"host":..,"file_id":1,"total":96,"columns":[...]}
 * then one record per log record
 * {"type":"record","no":1,"seq":77,"timestamp":"2024-03-01T12:00:00.000Z","trigger":"SP","values":[230.1]}
 * "total" is -1 when the meter cannot tell. Returns the number of data records delivered
 * (the header not counted). Records delivered before a failure stay delivered.
 *
 * With options member "after_seq" (0-65535, the "seq" of the last record the caller holds)
 * only the records newer than it are delivered, "no" counting from 1; "total" stays the
 * meter's record count. Sequence numbers count modulo 65536. The first block gives the
 * oldest sequence number s0; when after_seq lies in s0 - 1 .. s0 + total - 1 the older records
 * are not transferred: the read seeks to record after_seq + 1 and checks that it landed
 * there (if not, it reads from the start and passes over the older records, with an Info
 * message). When after_seq lies outside that range, the log was cleared or restarted or the
 * records after it were overwritten: every record is delivered, with a Warning naming the
 * range. When the meter cannot tell its record count, records not newer than after_seq are
 * passed over as they come. With "after_time_ms" too (0 or more: the "timestamp" of the
 * caller's record at after_seq, as milliseconds since 1970), the record the meter holds under
 * after_seq must carry that stamp: the read seeks to it rather than past it, and a log that
 * started again under the same numbers (cleared and refilled past them, a replaced meter) is
 * delivered whole, with a Warning "File N: record S is not the one held (...): the log started
 * again; reading it all". after_time_ms without after_seq fails with "options.after_time_ms
 * needs after_seq".
 *
 * A transfer stops with a failure when a record's sequence number lies before the transfer's
 * first: the meter keeps one transfer window for all its logs, and such a record is another
 * log's, served because another program moved the window. Records delivered before stay
 * delivered.
 */
KOLVANE_API int kolvane_read_datalog(const char* host, const char* meter, int file_id,
                                     const char* options, kolvane_record_cb cb, void* user,
                                     char* err, int err_len);

/*
 * Streams event log `file_id` (0 for the meter's event log) through `cb`: a header record
 * {"type":"header","meter":..,"host":..,"file_id":0,"total":3}, then one record per event
 * with "no", "seq", "timestamp", "event_no", "cause", "point", "state", "effect", "target",
 * "source_id", "effect_id" and "value_triggered". Returns the number of event records.
 * Options member "after_seq" delivers only the newer events, as for kolvane_read_datalog.
 */
KOLVANE_API int kolvane_read_eventlog(const char* host, const char* meter, int file_id,
                                      const char* options, kolvane_record_cb cb, void* user,
                                      char* err, int err_len);

/*
 * Writes data log `file_id` as CSV to `csv_path` (created or truncated): the header
 * "No.,Date/Time,Trigger,<column labels>" and one row per record. `progress` (may be NULL)
 * is called after each row with the rows written and the total (-1 when unknown).
 * Returns the number of rows written (the header not counted). On failure or cancellation
 * the file keeps the complete rows written so far.
 */
KOLVANE_API int kolvane_export_datalog_ex(const char* host, const char* meter, int file_id,
                                          const char* csv_path, const char* options,
                                          kolvane_progress_cb progress, void* user, char* err,
                                          int err_len);

/* kolvane_export_datalog_ex with options, progress and user NULL. */
KOLVANE_API int kolvane_export_datalog(const char* host, const char* meter, int file_id,
                                       const char* csv_path, char* err, int err_len);

/*
 * Writes event log `file_id` as CSV to `csv_path`: the header
 * "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,Value
 * Triggered" and one row per event. The header line is written before the record count is asked, so
 * a failure after opening leaves at least that line. Progress and return as for
 * kolvane_export_datalog_ex.
 */
KOLVANE_API int kolvane_export_eventlog_ex(const char* host, const char* meter, int file_id,
                                           const char* csv_path, const char* options,
                                           kolvane_progress_cb progress, void* user, char* err,
                                           int err_len);

/* kolvane_export_eventlog_ex with options, progress and user NULL. */
KOLVANE_API int kolvane_export_eventlog(const char* host, const char* meter, int file_id,
                                        const char* csv_path, char* err, int err_len);

/* Guard value written to register 2575 while the clock is set, when the caller passes a
 * clock_guard_value below 1. */
#define KOLVANE_DEFAULT_CLOCK_GUARD 1

/*
 * Exports a whole em133 into `out_dir` (which must exist): data logs 1, 2 and 3 as
 * out_dir/EM133_DL<n>_<stamp>.csv and the event log as out_dir/EM133_EVENTLOG_<stamp>.csv,
 * <stamp> being the local time as YYYYMMDD_HHMMSS_mmm. With set_clock non-zero the meter's
 * clock is first set to the host's local time: register 2575 := guard value
 * (clock_guard_value, or KOLVANE_DEFAULT_CLOCK_GUARD when below 1; above 65535 fails with
 * "clock_guard_value must be at most 65535" before any traffic), the 7-word clock block at
 * 4352, then register 2575 := 0 (also, best effort, when the clock block is refused). Uses port
 * 502, unit 1, 30 s time-out, one connection at a time. Returns the total rows of the four files.
 * Any failure returns -1; files already completed stay, the file in progress keeps its rows, later
 * logs are not exported.
 */
KOLVANE_API int kolvane_export_em133_all(const char* host, int set_clock, int clock_guard_value,
                                         const char* out_dir, char* err, int err_len);

/*
 * Reads `count` registers (at least 2) of unit `unit_id` & 0xFF in one request at register
 * number `first_register` (counted from 1; 0 means 65536) on port 502 with a 30 s time-out,
 * and writes the em235 diagnostics word as CSV to `csv_path`: the two words, the 32-bit value
 * (word 1 is the upper half when `word_order` is exactly "HI_FIRST", word 0 otherwise), then
 * one row per bit 0-25 with its label and state. A count above 65535 does not fit the request
 * and fails with "count must be at most 65535 for one read request" before any traffic; a
 * count the meter refuses (a meter answers reads above 125 registers with exception 3) fails
 * with the meter's "Modbus exception N". Other errors: "count must be >= 2 for 32-bit
 * diagnostics", connection and Modbus messages, "Cannot open CSV: <path>". No file is created
 * when the read fails. Returns 26.
 */
KOLVANE_API int kolvane_export_em235_diagnostics(const char* host, int unit_id, int first_register,
                                                 int count, const char* word_order,
                                                 const char* csv_path, char* err, int err_len);

#ifdef __cplusplus
}
#endif

#endif /* KOLVANE_H */
