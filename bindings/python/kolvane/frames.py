# SPDX-License-Identifier: MIT
"""pandas DataFrames of a meter's logs and of what `kolvane collect` stored.

pandas (and psycopg2 for PostgreSQL) are imported only when these are used, so the rest of the
binding needs nothing beyond the standard library.
"""

import collections
import importlib
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


Collected = collections.namedtuple("Collected", "datalog_values events readings")
Collected.__doc__ = "The collector's views as DataFrames, times as UTC datetimes."

_VIEWS = (("datalog_values", "recorded_at", "serial, file_id, recorded_at, seq, name, unit, value",
           "serial, file_id, recorded_at, seq"),
          ("events", "recorded_at",
           "serial, recorded_at, seq, event_no, cause, point, state, effect, target, value_triggered",
           "serial, recorded_at, seq"),
          ("readings", "taken_at", "serial, taken_at, name, unit, value", "serial, taken_at"))


# The newest schema of the collector's database that these frames read. Every older version has
# the views these frames read, so reads alike; a newer one may not, and is refused.
_SCHEMA_VERSION = 5


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


def read_collected(target="kolvane.db", *, serial=None, start=None, end=None):
    """The views that `kolvane collect` keeps in `target` (a SQLite file path or sqlite:PATH, or
    a postgresql:// URI read through psycopg2) as a Collected tuple of DataFrames:
    datalog_values, events and readings, in the views' columns, with their times as UTC
    datetimes. `serial` (one or several) picks meters; `start` (inclusive) and `end` (exclusive),
    datetimes or ISO texts, naive meaning UTC, pick the times. Any schema version up to the newest
    this release writes is read; a database of a newer one, or of none, raises ValueError. A
    SQLite file is only read, also by a user who may not write to it or its directory."""
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
        _check_schema(cursor, postgres, target)
        cursor.close()
        frames = []
        for view, time_column, columns, order in _VIEWS:
            terms, parameters = [], []
            if serials:
                terms.append(f"serial IN ({', '.join([mark] * len(serials))})")
                parameters += serials
            for moment, operator in ((start, ">="), (end, "<")):
                if moment is not None:
                    terms.append(f"{time_column} {operator} {mark}")
                    stamp = _utc(pd, moment)
                    parameters.append(stamp.to_pydatetime() if postgres else _sqlite_text(stamp))
            where = f" WHERE {' AND '.join(terms)}" if terms else ""
            cursor = connection.cursor()
            cursor.execute(f"SELECT {columns} FROM {view}{where} ORDER BY {order}", parameters)
            frame = pd.DataFrame(cursor.fetchall(), columns=[c.strip() for c in columns.split(",")])
            cursor.close()
            frame[time_column] = pd.to_datetime(frame[time_column], utc=True)
            frames.append(frame)
        return Collected(*frames)
    finally:
        connection.close()
