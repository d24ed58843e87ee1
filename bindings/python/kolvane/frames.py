# SPDX-License-Identifier: MIT
"""pandas DataFrames of a meter's logs and of what `kolvane collect` stored.

pandas (and psycopg2 for PostgreSQL) are imported only when these are used, so the rest of the
binding needs nothing beyond the standard library.
"""

import collections
import datetime
import importlib
import json
import os
import sqlite3
import urllib.parse


def _optional(module, purpose):
    try:
        return importlib.import_module(module)
    except ImportError as missing:
        raise ImportError(f"{purpose} needs the Python package {module} (Debian: python3-{module}, "
                          f"or pip install {module})") from missing


def _pandas():
    return _optional("pandas", "kolvane's DataFrames")


def _utc_index(pd, times):
    return pd.DatetimeIndex(pd.to_datetime(list(times), utc=True), name="time")


def column_label(name, unit):
    """A data log column's frame label: its name with the unit, "V1 [V]"; the name alone when it
    has no unit."""
    return f"{name} [{unit}]" if unit else name


def datalog_frame(meter, file_id=1):
    """Data log `file_id` of `meter` as a DataFrame: a UTC DatetimeIndex, the columns "seq" and
    "trigger", then one float column per log column labelled with its unit ("V1 [V]")."""
    pd = _pandas()
    stream = meter.read_datalog(file_id)
    header = next(stream)
    labels = [column_label(c["name"], c["unit"]) for c in header.get("columns", [])]
    times, seqs, triggers, values = [], [], [], []
    for record in stream:
        times.append(record["timestamp"])
        seqs.append(record["seq"])
        triggers.append(record["trigger"])
        values.append(record["values"])
    frame = pd.DataFrame(values, columns=labels, index=_utc_index(pd, times), dtype="float64")
    frame.insert(0, "trigger", pd.Series(triggers, index=frame.index, dtype="object"))
    frame.insert(0, "seq", pd.Series(seqs, index=frame.index, dtype="int64"))
    return frame


_EVENT_COLUMNS = ("seq", "event_no", "cause", "point", "state", "effect", "target", "source_id",
                  "effect_id", "value_triggered")


def eventlog_frame(meter, file_id=0):
    """The event log of `meter` as a DataFrame: a UTC DatetimeIndex and the columns seq,
    event_no, cause, point, state, effect, target, source_id, effect_id and value_triggered."""
    pd = _pandas()
    stream = meter.read_eventlog(file_id)
    next(stream)  # the header
    rows = list(stream)
    return pd.DataFrame([[r[c] for c in _EVENT_COLUMNS] for r in rows], columns=list(_EVENT_COLUMNS),
                        index=_utc_index(pd, (r["timestamp"] for r in rows)))


Collected = collections.namedtuple("Collected", "datalog_values events readings collections gaps "
                                                "completeness energy_intervals energy_days "
                                                "energy_months demand_peaks")
Collected.__doc__ = """The collector's views as DataFrames: true times as UTC datetimes, meter_time
as the meter's naive wall time, days as dates."""

# Every view: the schema version it came with; its columns, a column added later as
# "column@version"; the columns `start` and `end` are compared with (start <= first, second < end);
# the columns its rows are sorted by. The sort is pandas', not the database's, whose collations
# order names differently.
_VIEWS = (("datalog_values", 1, "serial file_id recorded_at seq name unit value meter_time@4",
           ("recorded_at", "recorded_at"), "serial file_id recorded_at seq name unit"),
          ("events", 1, "serial recorded_at seq event_no cause point state effect target value_triggered "
                        "meter_time@4", ("recorded_at", "recorded_at"), "serial recorded_at seq"),
          ("readings", 1, "serial taken_at name unit value", ("taken_at", "taken_at"),
           "serial taken_at name unit"),
          ("collections", 5, "serial host port unit name started_at finished_at outcome error logs "
                             "newest_record newest_age_s warnings transport@6", ("started_at", "started_at"),
           "started_at host port unit"),
          ("gaps", 5, "serial file_id gap_from gap_to missing cause found_at", ("gap_to", "gap_from"),
           "serial file_id gap_from"),
          ("completeness", 5, "serial file_id day interval_s expected present missing", ("day", "day"),
           "serial file_id day"),
          ("energy_intervals", 5, "serial file_id name unit recorded_at meter_time energy glitch "
                                  "started_at@6 start_meter_time@6 power@6 gap@6",
           ("recorded_at", "recorded_at"), "serial file_id name unit recorded_at"),
          ("energy_days", 5, "serial file_id name unit day energy glitches partial hole_energy@6 "
                             "peak_power@6 peak_start@6 peak_end@6 peak_start_meter_time@6 "
                             "peak_end_meter_time@6", ("day", "day"), "serial file_id name unit day"),
          ("energy_months", 6, "serial file_id name unit month energy glitches partial hole_energy days "
                               "days_in peak_power peak_start peak_end peak_start_meter_time "
                               "peak_end_meter_time", ("month", "month"), "serial file_id name unit month"),
          ("demand_peaks", 6, "serial file_id name unit month power started_at ended_at start_meter_time "
                              "end_meter_time peak_12_months", ("month", "month"),
           "serial file_id name unit month"))

# What the columns hold, where the two databases differ: SQLite keeps times, days and JSON as
# text and flags as 0 or 1, PostgreSQL as timestamptz, timestamp, date, jsonb and boolean.
_UTC_TIMES = {"recorded_at", "taken_at", "started_at", "finished_at", "newest_record", "gap_from", "gap_to",
              "found_at", "ended_at", "peak_start", "peak_end"}
_WALL_TIMES = {"meter_time", "start_meter_time", "end_meter_time", "peak_start_meter_time",
               "peak_end_meter_time"}
_DAYS = {"day"}
_MONTHS = {"month"}
_FLAGS = {"glitch", "partial", "gap"}
_JSON = {"logs", "warnings"}


# The newest schema of the collector's database that these frames read. An older one lacks views
# and columns, which read as empty frames and missing values; a newer one may differ, and is
# refused.
_SCHEMA_VERSION = 7


def _check_schema(cursor, postgres, target):
    if postgres:
        cursor.execute("SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' "
                       "AND schemaname = current_schema()")
    else:
        cursor.execute("SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'")
    if cursor.fetchone()[0] == 0:
        raise ValueError(f"{target} holds nothing collected by kolvane")
    cursor.execute("SELECT max(version) FROM schema_version")
    version = cursor.fetchone()[0]
    if version > _SCHEMA_VERSION:
        raise ValueError(f"{target}: schema version {version} is newer than this kolvane knows "
                         f"({_SCHEMA_VERSION})")
    return version


_SQLITE_READONLY, _SQLITE_CANTOPEN = 8, 14


def _exists(path):
    """Whether `path` exists; a file that cannot be looked at counts as there."""
    try:
        os.stat(path)
        return True
    except FileNotFoundError:
        return False
    except OSError:
        return True


def _open_sqlite(path):
    """A read-only connection to the collector's SQLite file `path`, also for a reader who may
    write nothing beside it.

    A plain read-only connection comes first: it takes SQLite's locks and reads what a collector
    committed to the -wal file but not yet copied into the database file, so it is right whether
    or not a collector is writing. It fails only where it would have to create the -wal and -shm
    files, that is when they do not exist and the directory is not writable. Then no collector
    has the database open (its connection keeps the -wal file while it lives), and SQLite's
    immutable=1, which reads the file alone without locks, reads what is there. The other order
    would read a busy database without its -wal: old rows, or pages torn by a checkpoint. With a
    -wal or -journal file that cannot be read there is no safe read, and the first error stands."""
    absolute = os.path.join(os.getcwd(), path)  # after "file://" a path, never a host
    uri = "file://" + urllib.parse.quote(os.fsencode(absolute)) + "?mode=ro"
    connection = sqlite3.connect(uri, uri=True)
    try:
        connection.execute("SELECT count(*) FROM sqlite_master").fetchone()
        return connection
    except sqlite3.OperationalError as failure:
        connection.close()
        code = getattr(failure, "sqlite_errorcode", None)
        real = os.path.realpath(path)  # SQLite keeps its files beside a symbolic link's target
        if (code is not None and code & 0xff not in (_SQLITE_READONLY, _SQLITE_CANTOPEN)) or \
                any(_exists(real + suffix) for suffix in ("-wal", "-journal")):
            raise
    return sqlite3.connect(uri + "&immutable=1", uri=True)


def _utc(pd, moment):
    """A time as a UTC Timestamp; a naive one is taken as UTC already."""
    stamp = pd.Timestamp(moment)
    return stamp.tz_localize("UTC") if stamp.tzinfo is None else stamp.tz_convert("UTC")


def _sqlite_text(stamp):
    """A UTC Timestamp as the collector's SQLite text, 2026-03-01T12:15:00.000Z."""
    return stamp.strftime("%Y-%m-%dT%H:%M:%S.") + f"{stamp.microsecond // 1000:03d}Z"


def _bound(pd, moment, column, postgres, upper):
    """`moment`, the lower or `upper` limit of the span (start <= time < end), as the parameter
    compared with `column`. Stored times have milliseconds in SQLite and microseconds in
    PostgreSQL, so the limit is rounded up to that: a stored time before it is then before the
    limit too. A day of the meter's clock is compared by date, not converted: the limit's own
    date (an aware time's in its zone), for the upper limit the date after it unless it is
    midnight, so that the days kept are those the span touches; a month ("YYYY-MM") likewise."""
    if column in _MONTHS:
        wall = pd.Timestamp(moment)
        wall = wall.tz_localize(None) if wall.tzinfo is not None else wall
        if upper:  # the month after the one of the span's last day
            wall = (wall.ceil("D") - pd.Timedelta(days=1)).replace(day=1) + pd.DateOffset(months=1)
        return f"{wall.year:04d}-{wall.month:02d}"
    if column in _DAYS:
        wall = pd.Timestamp(moment)
        wall = wall.tz_localize(None) if wall.tzinfo is not None else wall
        day = (wall.ceil("D") if upper else wall).date()
        return day if postgres else day.isoformat()
    stamp = _utc(pd, moment).ceil("us" if postgres else "ms")
    return stamp.to_pydatetime() if postgres else _sqlite_text(stamp)


def _typed(pd, frame, postgres):
    """The columns of `frame` as read into the types the views mean, alike for both databases."""
    for column in frame.columns:
        if column in _UTC_TIMES:
            frame[column] = pd.to_datetime(frame[column], utc=True)
        elif column in _WALL_TIMES:
            frame[column] = pd.to_datetime(frame[column])  # naive: the meter's clock, no zone
        elif column in _DAYS and not postgres:
            frame[column] = frame[column].map(lambda day: day and datetime.date.fromisoformat(day))
        elif column in _FLAGS:
            frame[column] = frame[column].astype("boolean")
        elif column in _JSON and not postgres:
            frame[column] = frame[column].map(lambda text: text and json.loads(text))
    return frame


def read_collected(target="kolvane.db", *, serial=None, start=None, end=None):
    """The views that `kolvane collect` keeps in `target` (a SQLite file path or sqlite:PATH, or
    a postgresql:// URI read through psycopg2) as a Collected tuple of DataFrames, one per view in
    its columns: datalog_values, events, readings, collections, gaps, completeness,
    energy_intervals, energy_days, energy_months and demand_peaks.

    True times (recorded_at, taken_at, started_at, gap_from, ...) are UTC datetimes; meter_time
    and the other *meter_time columns, the meter's own wall time, are naive datetimes, never
    labelled UTC; days (of the meter's clock) are datetime.date, months texts "YYYY-MM"; glitch,
    gap and partial pandas booleans; the logs and warnings of
    collections the lists their JSON holds. Rows come sorted by their keys, alike from
    both databases.

    `serial` (one or several) picks meters. `start` (inclusive) and `end` (exclusive), datetimes
    or ISO texts, naive meaning UTC, pick by each view's time: recorded_at (datalog_values,
    events, energy_intervals), taken_at (readings), started_at (collections); gaps are kept that
    overlap the span (gap_from < end and gap_to >= start). completeness and energy_days count
    days of the meter's clock, which no UTC time names exactly, so they are picked by date: the
    days from the date of start to that of end, the day of an end at midnight left out; the dates
    as written, an aware time's in its own zone. energy_months and demand_peaks are picked by
    month alike.

    Any schema version up to the newest this release writes is read. In an older one a view not
    there yet is an empty frame with its columns, and meter_time, which came with version 4, is
    NaT throughout; alike for SQLite and PostgreSQL. A database of a newer version, or of none,
    raises ValueError. A SQLite file is only read, also by a user who may not write to it or its
    directory."""
    pd = _pandas()
    serials = [] if serial is None else [int(s) for s in ([serial] if isinstance(serial, int) else serial)]
    postgres = target.startswith(("postgresql://", "postgres://"))
    if postgres:
        connection = _optional("psycopg2", "reading PostgreSQL").connect(target)
        mark = "%s"
    else:
        path = target[len("sqlite:"):] if target.startswith("sqlite:") else target
        if not os.path.isfile(path):
            raise FileNotFoundError(f"No collector database at {path}")
        connection = _open_sqlite(path)
        mark = "?"
    try:
        cursor = connection.cursor()
        version = _check_schema(cursor, postgres, target)
        cursor.close()
        frames = []
        for view, since, columns, (first, second), order in _VIEWS:
            parts = [c.partition("@")[::2] for c in columns.split()]  # (name, version added or "")
            names = [name for name, _added in parts]
            if since > version:
                frames.append(_typed(pd, pd.DataFrame(columns=names), postgres))
                continue
            selected = [f"NULL AS {name}" if int(added or 1) > version else name for name, added in parts]
            terms, parameters = [], []
            if serials:
                terms.append(f"serial IN ({', '.join([mark] * len(serials))})")
                parameters += serials
            for moment, column, operator in ((start, first, ">="), (end, second, "<")):
                if moment is not None:
                    terms.append(f"{column} {operator} {mark}")
                    parameters.append(_bound(pd, moment, column, postgres, operator == "<"))
            where = f" WHERE {' AND '.join(terms)}" if terms else ""
            cursor = connection.cursor()
            cursor.execute(f"SELECT {', '.join(selected)} FROM {view}{where}", parameters)
            frame = _typed(pd, pd.DataFrame(cursor.fetchall(), columns=names), postgres)
            cursor.close()
            frames.append(frame.sort_values(order.split(), kind="stable", ignore_index=True))
        return Collected(*frames)
    finally:
        connection.close()
