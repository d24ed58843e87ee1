# SPDX-License-Identifier: MIT
"""The operations: a Meter object for one meter, and functions for those that need none."""

import datetime
import json

from . import _lib, frames
from ._call import DEFAULT_BUFFER_SIZE, call, call_with_progress, document, path, text
from ._stream import records


def version():
    """The library's version text, major.minor.patch."""
    return _lib.load().kolvane_version().decode("ascii")


def list_points(model, *, buffer_size=DEFAULT_BUFFER_SIZE):
    """The point catalogue of a model ("em133", "em235" or "pm335") as a dict; needs no meter."""
    return document("kolvane_list_points", (text(model),), buffer_size)


def export_em133_all(host, out_dir, set_clock=False, clock_guard_value=0):
    """Exports data logs 1-3 and the event log of the em133 at `host` (port 502, unit 1,
    30 s time-out) as CSV files into the existing directory `out_dir`, optionally setting its
    clock to this host's local time first. Returns the total number of rows."""
    return call("kolvane_export_em133_all",
                (text(host), int(bool(set_clock)), int(clock_guard_value), path(out_dir)))


def export_em235_diagnostics(host, csv_path, first_register, count=2, unit_id=1,
                             word_order="LO_FIRST"):
    """Reads the em235 diagnostics word at `first_register` (counted from 1) on port 502 and
    writes it as CSV with one row per bit. With `word_order` exactly "HI_FIRST" the second
    register (word 1) is the upper half of the 32-bit value; with any other text, such as the
    default "LO_FIRST", the first register (word 0) is the upper half. Returns the number of
    bit rows (26)."""
    return call("kolvane_export_em235_diagnostics",
                (text(host), int(unit_id), int(first_register), int(count), text(word_order),
                 path(csv_path)))


def _points_text(points):
    """A points argument as the library's text: a string is passed as it is; an int or an
    iterable of ints (point ids) and strings (point names) becomes a list such as [4352,"V2"]."""
    if isinstance(points, str):
        return points
    if isinstance(points, int):
        points = [points]
    return "[" + ",".join(str(p) if isinstance(p, int) else json.dumps(str(p))
                          for p in points) + "]"


def _stamp_ms(stamp):
    """A record's "timestamp" ("2026-12-01T10:15:00.000Z", the meter's clock) in milliseconds
    since 1970 on that clock, as the library's after_time_ms takes it; None stays None."""
    if stamp is None:
        return None
    text_stamp = str(stamp)
    try:
        moment = datetime.datetime.strptime(text_stamp.removesuffix("Z"), "%Y-%m-%dT%H:%M:%S.%f")
    except ValueError:
        raise ValueError(f"after_timestamp: '{text_stamp}' is not a stamp "
                         "YYYY-MM-DDTHH:MM:SS.mmm[Z]") from None
    moment = moment.replace(tzinfo=datetime.timezone.utc)
    return int(moment.timestamp()) * 1000 + moment.microsecond // 1000


class Meter:
    """One meter on the network. Every method opens its own connection, does one operation and
    closes it again; a Meter holds no connection and may be shared between threads.

    Failures raise KolvaneError with the library's message; a progress callable that returns a
    true value raises Cancelled. Documents are returned as dicts, log records as generators of
    dicts, and exports return the number of rows written."""

    def __init__(self, host, model, port=502, unit_id=1, timeout_ms=30000, *,
                 buffer_size=DEFAULT_BUFFER_SIZE, request_gap_ms=0, tries=3,
                 machine_turns=False):
        self.host = host
        self.model = model
        self.port = port
        self.unit_id = unit_id
        self.timeout_ms = timeout_ms
        self.buffer_size = buffer_size  # first output buffer size; grown when too small
        # Behind a gateway: the pause it wants between requests, how often a request it answers
        # busy is sent, and whether to take turns with the kolvane programs of this machine.
        self.request_gap_ms = request_gap_ms
        self.tries = tries
        self.machine_turns = machine_turns

    def __repr__(self):
        return (f"Meter({self.host!r}, {self.model!r}, port={self.port}, "
                f"unit_id={self.unit_id}, timeout_ms={self.timeout_ms})")

    def _args(self, **extra):
        members = {"port": self.port, "unit_id": self.unit_id, "timeout_ms": self.timeout_ms,
                   "request_gap_ms": self.request_gap_ms, "tries": self.tries,
                   "machine_turns": int(bool(self.machine_turns))}
        members.update({key: value for key, value in extra.items() if value is not None})
        options = json.dumps(members, separators=(",", ":"))
        return text(self.host), text(self.model), text(options)

    def device_info(self):
        """Model, serial number, firmware and setup values."""
        return document("kolvane_read_device_info", self._args(), self.buffer_size)

    def list_logs(self):
        """The log files held by the meter with their record counts and data log columns."""
        return document("kolvane_list_logs", self._args(), self.buffer_size)

    def read_live(self):
        """The live point set as a readings document."""
        return document("kolvane_read_live_ex", self._args(), self.buffer_size)

    def read_points(self, points):
        """The named points, e.g. [4352, "V2", 0x1102] or the text '4352, "V2"', in the order
        asked."""
        return document("kolvane_read_points", self._args() + (text(_points_text(points)),),
                        self.buffer_size)

    def read_datalog(self, file_id=1, after_seq=None, after_timestamp=None):
        """A generator over data log `file_id`: the header record, then one dict per record.
        Closing it early stops the transfer. With `after_seq` (0-65535, the "seq" of the last
        record already held) only the newer records follow the header; the whole log when the
        meter no longer holds that sequence number. With `after_timestamp`, that record's
        "timestamp" as it was read ("2026-12-01T10:15:00.000Z"), the meter's record at
        `after_seq` must carry it: a log that started again under the same numbers is read
        whole."""
        host, model, options = self._args(after_seq=after_seq,
                                          after_time_ms=_stamp_ms(after_timestamp))
        return records("kolvane_read_datalog", (host, model, int(file_id), options))

    def read_eventlog(self, file_id=0, after_seq=None, after_timestamp=None):
        """A generator over the event log: the header record, then one dict per event;
        `after_seq` and `after_timestamp` as for read_datalog."""
        host, model, options = self._args(after_seq=after_seq,
                                          after_time_ms=_stamp_ms(after_timestamp))
        return records("kolvane_read_eventlog", (host, model, int(file_id), options))

    def datalog_frame(self, file_id=1):
        """Data log `file_id` as a pandas DataFrame: a UTC DatetimeIndex, "seq", "trigger" and
        one column per log column labelled with its unit, "V1 [V]". Needs pandas."""
        return frames.datalog_frame(self, file_id)

    def eventlog_frame(self, file_id=0):
        """The event log as a pandas DataFrame with a UTC DatetimeIndex. Needs pandas."""
        return frames.eventlog_frame(self, file_id)

    def export_datalog(self, csv_path, file_id=1, progress=None):
        """Writes data log `file_id` to `csv_path`. `progress(done, total)` is called after each
        row (total None when unknown); a true result cancels. Returns the rows written."""
        return self._export("kolvane_export_datalog_ex", file_id, csv_path, progress)

    def export_eventlog(self, csv_path, file_id=0, progress=None):
        """Writes the event log to `csv_path`; progress and result as for export_datalog."""
        return self._export("kolvane_export_eventlog_ex", file_id, csv_path, progress)

    def _export(self, name, file_id, csv_path, progress):
        host, model, options = self._args()
        return call_with_progress(name, (host, model, int(file_id), path(csv_path), options),
                                  progress)

    def export_all(self, out_dir, set_clock=False, clock_guard_value=0):
        """export_em133_all for this meter, which must be an em133 on port 502, unit 1."""
        if str(self.model).lower() != "em133" or self.port != 502 or self.unit_id != 1:
            raise ValueError("export_all needs an em133 on port 502, unit 1")
        return export_em133_all(self.host, out_dir, set_clock, clock_guard_value)

    def export_diagnostics(self, csv_path, first_register, count=2, word_order="LO_FIRST"):
        """export_em235_diagnostics for this meter's unit, which must be on port 502."""
        if self.port != 502:
            raise ValueError("export_diagnostics needs a meter on port 502")
        return export_em235_diagnostics(self.host, csv_path, first_register, count,
                                        self.unit_id, word_order)
