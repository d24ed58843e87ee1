# SPDX-License-Identifier: MIT
"""pandas frames: a meter's logs through the binding, and what `kolvane collect` stored in SQLite
and in a throwaway PostgreSQL server. Run with Debian's python3 and python3-pandas."""

import collections
import datetime
import json
import os
import pwd
import shutil
import sqlite3
import socket
import subprocess
import sys
import tempfile
import unittest

import pandas as pd

import kolvane
from simulator import Simulator, SimTestCase

PG_BIN = "/usr/lib/postgresql/15/bin"


def collect(target, hosts):
    """Runs `kolvane collect` on the simulated em133 meters of the hosts file `hosts` into `target`."""
    done = subprocess.run([os.environ["KOLVANE_TOOL"], "collect", "--hosts", hosts, "-m", "em133",
                           "--db", target], capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise AssertionError(f"kolvane collect failed: {done.stderr}")


def copy_database(source, path):
    """Copies the SQLite database `source` (with the rows its -wal file may hold) to `path`, and
    leaves it as a collector that closed it does: all in the file, no -wal or -shm beside it."""
    shutil.copyfile(source, path)
    if os.path.exists(source + "-wal"):
        shutil.copyfile(source + "-wal", path + "-wal")
    last = sqlite3.connect(path)  # the last connection to close takes the -wal file's rows in
    last.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    last.close()
    if os.path.exists(path + "-wal"):
        raise AssertionError(f"{path}-wal stays")


def reachable_binding(test):
    """The binding (the kolvane package and the library it loads) copied into a fresh directory
    that every user may read and search, for Python run as another user: the checkout may lie
    under a private directory (a home of mode 0700, mktemp -d). Returns the environment entries
    that make Python take the copies; the directory goes when `test` ends."""
    base = tempfile.mkdtemp(prefix="kolvane-reachable-")
    test.addCleanup(shutil.rmtree, base, True)
    os.chmod(base, 0o755)
    package = os.path.join(base, "kolvane")
    shutil.copytree(os.path.dirname(kolvane.__file__), package,
                    ignore=shutil.ignore_patterns("__pycache__"))
    library = os.path.join(base, os.path.basename(os.environ["KOLVANE_LIBRARY"]))
    shutil.copyfile(os.environ["KOLVANE_LIBRARY"], library)
    for folder, _subfolders, names in os.walk(base):
        os.chmod(folder, 0o755)
        for name in names:
            os.chmod(os.path.join(folder, name), 0o755)
    return [f"PYTHONPATH={base}", f"KOLVANE_LIBRARY={library}"]


class PostgresServer:
    """A fresh PostgreSQL cluster on a free loopback port, run as the postgres user; raises when
    it cannot start, so that the tests needing it fail."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="kolvane-pg-")
        user = pwd.getpwnam("postgres")
        os.chown(self.dir, user.pw_uid, user.pw_gid)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self._as_postgres(f"{PG_BIN}/initdb", "-D", f"{self.dir}/data", "-A", "trust", "-U", "postgres",
                          "--no-sync")
        self._as_postgres(f"{PG_BIN}/pg_ctl", "-D", f"{self.dir}/data", "-l", f"{self.dir}/server.log", "-w",
                          "-o", f"-c listen_addresses=127.0.0.1 -p {self.port} -k {self.dir} -c fsync=off",
                          "start")
        self.uri = f"postgresql://postgres@127.0.0.1:{self.port}/postgres"

    # The server's programs run without the sanitizer runtime this test may be preloaded with.
    ENV = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS")}

    def _as_postgres(self, *command):
        done = subprocess.run(["runuser", "-u", "postgres", "--", *command], cwd=self.dir,
                              capture_output=True, text=True, timeout=120, env=self.ENV)
        if done.returncode != 0:
            raise RuntimeError(f"PostgreSQL test server: {command[0]} failed: {done.stdout}{done.stderr}")

    def restore(self, name, dump):
        """A new database `name` restored from the pg_dump `dump`; returns its URI."""
        uri = f"{self.uri[:-len('/postgres')]}/{name}"
        for command in (["-c", f"CREATE DATABASE {name}", self.uri], ["-f", dump, uri]):
            done = subprocess.run([f"{PG_BIN}/psql", "-q", "-v", "ON_ERROR_STOP=1", *command],
                                  capture_output=True, text=True, timeout=120, env=self.ENV)
            if done.returncode != 0:
                raise RuntimeError(f"PostgreSQL test server: psql failed: {done.stderr}")
        return uri

    def stop(self):
        subprocess.run(["runuser", "-u", "postgres", "--", f"{PG_BIN}/pg_ctl", "-D", f"{self.dir}/data",
                        "-m", "fast", "-w", "stop"], capture_output=True, timeout=120, env=self.ENV)
        shutil.rmtree(self.dir, ignore_errors=True)


class MeterFrames(SimTestCase):
    def test_datalog_frame_holds_every_record_labelled_with_units(self):
        records = list(self.meter.read_datalog(1))
        header, rows = records[0], records[1:]
        frame = self.meter.datalog_frame(1)
        self.assertEqual(str(frame.index.dtype), "datetime64[ns, UTC]")
        self.assertEqual(len(frame), len(rows))
        labels = [f"{c['name']} [{c['unit']}]" if c["unit"] else c["name"] for c in header["columns"]]
        self.assertEqual(list(frame.columns), ["seq", "trigger", *labels])
        self.assertIn("Total PF", frame.columns)  # no unit, no brackets
        for (time, row), record in zip(frame.iterrows(), rows):
            self.assertEqual(time, pd.Timestamp(record["timestamp"]))
            self.assertEqual(row["seq"], record["seq"])
            self.assertEqual(row["trigger"], record["trigger"])
            self.assertEqual(list(row[labels]), record["values"])

    def test_eventlog_frame(self):
        rows = list(self.meter.read_eventlog())[1:]
        frame = self.meter.eventlog_frame()
        self.assertEqual(str(frame.index.dtype), "datetime64[ns, UTC]")
        self.assertEqual(len(frame), len(rows))
        self.assertEqual(list(frame["cause"]), [r["cause"] for r in rows])
        self.assertEqual(list(frame["value_triggered"]), [r["value_triggered"] for r in rows])
        self.assertEqual(frame.index[-1], pd.Timestamp(rows[-1]["timestamp"]))

    def test_missing_pandas_is_a_clear_error(self):
        saved = sys.modules.get("pandas")
        sys.modules["pandas"] = None  # as if it were not installed
        try:
            with self.assertRaisesRegex(ImportError, "python3-pandas"):
                self.meter.datalog_frame(1)
            with self.assertRaisesRegex(ImportError, "python3-pandas"):
                kolvane.read_collected("anything.db")
        finally:
            sys.modules["pandas"] = saved


# A second meter, on Berlin's clock, with an hour without power: gaps, several days, meter_time
# apart from recorded_at.
BERLIN = 4242
UTC_COLUMNS = {"recorded_at", "taken_at", "started_at", "finished_at", "newest_record", "gap_from", "gap_to",
               "found_at", "ended_at", "peak_start", "peak_end"}
WALL_COLUMNS = {"meter_time", "start_meter_time", "end_meter_time", "peak_start_meter_time",
                "peak_end_meter_time"}
# The time a view's rows are picked by; gaps by overlap, completeness and energy_days by day.
ROW_TIMES = {"datalog_values": "recorded_at", "events": "recorded_at", "energy_intervals": "recorded_at",
             "readings": "taken_at", "collections": "started_at"}


def plain_rows(target, view):
    """The columns of `view` and its rows (dicts), read by a plain query, as a frame's cells hold
    them: true times UTC Timestamps, meter_time naive, days dates, flags bool, JSON parsed."""
    postgres = target.startswith("postgresql://")
    if postgres:
        import psycopg2
        connection = psycopg2.connect(target)
    else:
        connection = sqlite3.connect(target)
    try:
        cursor = connection.cursor()
        cursor.execute(f"SELECT * FROM {view}")
        columns = [d[0] for d in cursor.description]
        raw = cursor.fetchall()
    finally:
        connection.close()

    def plain(column, value):
        if value is None:
            return None
        if column in UTC_COLUMNS:
            return pd.Timestamp(value).tz_convert("UTC")
        if column in WALL_COLUMNS:
            return pd.Timestamp(value)
        if column == "day":
            return value if postgres else datetime.date.fromisoformat(value)
        if column in ("glitch", "partial", "gap"):
            return bool(value)
        if column in ("logs", "warnings"):
            return value if postgres else json.loads(value)
        return value
    return columns, [{c: plain(c, v) for c, v in zip(columns, row)} for row in raw]


def picked(view, row, serial=None, start=None, end=None):
    """Whether `row` of `view` belongs to what read_collected's selection names."""
    if serial is not None and row["serial"] not in ([serial] if isinstance(serial, int) else serial):
        return False
    if view in ("energy_months", "demand_peaks"):  # months the span touches, as written
        month = pd.Timestamp(row["month"] + "-01")
        return (start is None or month + pd.DateOffset(months=1) >
                pd.Timestamp(start).replace(tzinfo=None).replace(day=1, hour=0, minute=0, second=0,
                                                                  microsecond=0, nanosecond=0)) and \
            (end is None or month < pd.Timestamp(end).replace(tzinfo=None))
    if view in ("completeness", "energy_days"):  # days the span touches, dates as written
        day = pd.Timestamp(row["day"])
        return (start is None or day + pd.Timedelta(days=1) > pd.Timestamp(start).replace(tzinfo=None)) and \
            (end is None or day < pd.Timestamp(end).replace(tzinfo=None))
    def utc(moment):  # naive meaning UTC
        stamp = pd.Timestamp(moment)
        return stamp.tz_localize("UTC") if stamp.tzinfo is None else stamp.tz_convert("UTC")
    first, last = ("gap_to", "gap_from") if view == "gaps" else (ROW_TIMES[view],) * 2
    return (start is None or row[first] >= utc(start)) and (end is None or row[last] < utc(end))


def cells(rows):
    """`rows` as a multiset of tuples, missing values as None."""
    def cell(value):
        if isinstance(value, (list, dict)):
            return json.dumps(value, sort_keys=True)
        return None if pd.isna(value) else value
    return collections.Counter(tuple(cell(v) for v in row) for row in rows)


class CollectedFrames(SimTestCase):
    """Two simulated em133 collected into SQLite and PostgreSQL, read back as frames."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        berlin = Simulator("--model", "em133", "--records", "200", "--serial", str(BERLIN),
                           "--clock-zone", "Europe/Berlin", "--outage").start()
        cls.addClassCleanup(berlin.stop)
        cls.dir = tempfile.mkdtemp(prefix="kolvane-frames-")
        cls.addClassCleanup(shutil.rmtree, cls.dir, True)
        hosts = os.path.join(cls.dir, "hosts.txt")
        with open(hosts, "w") as file:
            file.write(f"127.0.0.1:{cls.sim.port} tz=UTC\n127.0.0.1:{berlin.port} tz=Europe/Berlin\n")
        cls.sqlite = os.path.join(cls.dir, "site.db")
        collect(cls.sqlite, hosts)
        cls.postgres = PostgresServer()
        cls.addClassCleanup(cls.postgres.stop)
        collect(cls.postgres.uri, hosts)

    def check_views(self, target):
        frame = self.meter.datalog_frame(1)
        collected = kolvane.read_collected(target, serial=self.meter.device_info()["serial"])
        values = collected.datalog_values
        self.assertEqual(list(values.columns),
                         ["serial", "file_id", "recorded_at", "seq", "name", "unit", "value", "meter_time"])
        self.assertEqual(str(values["recorded_at"].dtype), "datetime64[ns, UTC]")
        v1 = values[(values.file_id == 1) & (values.name == "V1")].set_index("recorded_at")["value"]
        self.assertEqual(list(v1.index), list(frame.index))
        self.assertEqual(list(v1), list(frame["V1 [V]"]))
        self.assertEqual(len(collected.events), len(self.meter.eventlog_frame()))
        self.assertEqual(str(collected.events["recorded_at"].dtype), "datetime64[ns, UTC]")
        self.assertGreater(len(collected.readings), 10)
        berlin_views = kolvane.read_collected(target, serial=BERLIN)
        for view in ("datalog_values", "events", "energy_intervals"):  # the wall time of Berlin's clock
            with self.subTest(view=view):
                berlin = getattr(berlin_views, view)
                self.assertEqual(str(berlin["meter_time"].dtype), "datetime64[ns]")
                self.assertGreater(len(berlin), 100)
                wall = berlin["recorded_at"].dt.tz_convert("Europe/Berlin").dt.tz_localize(None)
                self.assertEqual(list(berlin["meter_time"]), list(wall))

    def test_sqlite(self):
        self.check_views(self.sqlite)
        self.check_views("sqlite:" + self.sqlite)

    def test_postgres(self):
        self.check_views(self.postgres.uri)

    def test_views_as_plain_queries_read_them(self):
        """Every view, whole and picked by meter and time, holds what a plain query of it gives,
        picked by the test's own terms."""
        times = self.meter.datalog_frame(1).index
        gap = plain_rows(self.sqlite, "gaps")[1][0]
        berlin_day = gap["gap_from"].tz_convert("Europe/Berlin").floor("D")  # 23:00 UTC the day before
        selections = ({}, {"serial": BERLIN}, {"serial": [1, 2]},
                      # the record at gap_from is 0.5 ms before start: left out; the gap overlaps
                      {"serial": [BERLIN, 1], "start": gap["gap_from"] + pd.Timedelta(microseconds=500),
                       "end": gap["gap_to"] + pd.Timedelta(hours=6)},
                      {"serial": self.meter.device_info()["serial"],
                       "start": times[10].tz_localize(None).isoformat(),
                       "end": times[20].tz_convert("Europe/Berlin").to_pydatetime()},
                      {"start": berlin_day})
        for target in (self.sqlite, self.postgres.uri):
            views = {view: plain_rows(target, view) for view in kolvane.Collected._fields}
            counts = collections.defaultdict(set)
            for selection in selections:
                collected = kolvane.read_collected(target, **selection)
                for view, (columns, rows) in views.items():
                    with self.subTest(target=target, selection=selection, view=view):
                        frame = getattr(collected, view)
                        self.assertEqual(list(frame.columns), columns)
                        for column in UTC_COLUMNS.intersection(columns):
                            self.assertEqual(str(frame[column].dtype), "datetime64[ns, UTC]")
                        if "meter_time" in columns:  # the meter's clock: no zone
                            self.assertEqual(str(frame["meter_time"].dtype), "datetime64[ns]")
                        wanted = [r for r in rows if picked(view, r, **selection)]
                        self.assertEqual(cells(frame.itertuples(index=False, name=None)),
                                         cells([r[c] for c in columns] for r in wanted))
                        counts[view].add(len(frame))
            for view, seen in counts.items():
                with self.subTest(target=target, view=view):
                    self.assertGreater(len(seen), 1, "a selection picks rows of every view")
                    self.assertGreater(max(seen), 0)

    def assert_alike(self, lite, post):
        """The frames that SQLite and PostgreSQL give of the same meters' logs are equal, and
        those of the collections themselves (made at other times) alike in their types."""
        for view, a, b in zip(kolvane.Collected._fields, lite, post):
            with self.subTest(view=view):
                self.assertEqual(dict(a.dtypes), dict(b.dtypes))
                if view not in ("readings", "collections"):
                    pd.testing.assert_frame_equal(a.drop(columns="found_at", errors="ignore"),
                                                  b.drop(columns="found_at", errors="ignore"))

    def test_sqlite_and_postgres_alike(self):
        self.assert_alike(kolvane.read_collected(self.sqlite), kolvane.read_collected(self.postgres.uri))

    def test_schema_versions(self):
        """A database of this release's schema or of release 1.2.1's reads, the latter's missing
        views as empty frames and meter_time missing, alike in SQLite and PostgreSQL; one of a
        newer schema, or a SQLite file of something else, is refused without a change."""
        data = os.path.join(os.path.dirname(__file__), "..", "collect", "data")
        old = os.path.join(self.dir, "v1.db")
        shutil.copyfile(os.path.join(data, "schema_v1.db"), old)
        columns = [list(frame.columns) for frame in kolvane.read_collected(self.sqlite)]
        read = [kolvane.read_collected(old),
                kolvane.read_collected(self.postgres.restore("v1", os.path.join(data, "schema_v1.sql")))]
        for collected in read:
            self.assertEqual(len(collected.events), 80)
            self.assertEqual([list(frame.columns) for frame in collected], columns)
            self.assertEqual([len(frame) == 0 for frame in collected],
                             [False] * 3 + [True] * (len(kolvane.Collected._fields) - 3))
            self.assertTrue(collected.datalog_values["meter_time"].isna().all())
            self.assertEqual(str(collected.events["meter_time"].dtype), "datetime64[ns]")
        self.assert_alike(*read)
        newer = os.path.join(self.dir, "newer.db")
        shutil.copyfile(self.sqlite, newer)
        with sqlite3.connect(newer) as db:
            db.execute("UPDATE schema_version SET version = version + 1")
        other = os.path.join(self.dir, "other.db")
        with sqlite3.connect(other) as db:
            db.execute("CREATE TABLE t(x)")
        for path, message in ((newer, r"is newer than this kolvane knows \(7\)"),
                              (other, "holds nothing collected by kolvane")):
            with self.subTest(path=path):
                with self.assertRaisesRegex(ValueError, message):
                    kolvane.read_collected(path)

    def test_reader_without_write_access(self):
        """The user nobody, who may read the database and its directory but write neither, reads
        what was collected: with no -wal and -shm files (the collector closed the database) and
        with them there and readable (a collector has it open, rows still in its -wal file). With
        them there but unreadable there is no safe read, and it fails."""
        binding = reachable_binding(self)
        base = tempfile.mkdtemp(prefix="kolvane-read-only-")
        self.addCleanup(shutil.rmtree, base, True)
        os.chmod(base, 0o755)
        expected = kolvane.read_collected(self.sqlite)
        counts = [len(expected.datalog_values), len(expected.events), len(expected.readings)]
        program = ("import sys, kolvane\n"
                   "c = kolvane.read_collected(sys.argv[1])\n"
                   "print(len(c.datalog_values), len(c.events), len(c.readings))")
        for case, companions in (("closed", None), ("open", 0o644), ("unreadable", 0o600)):
            with self.subTest(case=case):
                folder = os.path.join(base, case)
                os.mkdir(folder)
                path = os.path.join(folder, "site.db")
                copy_database(self.sqlite, path)
                holder = None
                if companions is not None:
                    holder = sqlite3.connect(path)  # keeps the -wal file as a collector does
                    holder.execute("SELECT count(*) FROM sqlite_master").fetchone()
                    with sqlite3.connect(path) as writer:  # one more row, into the -wal file only
                        writer.execute("INSERT INTO live_readings VALUES(1, '2030-01-01T00:00:00.000Z', 1, "
                                       "'V1', 'V', 230.0)")
                    writer.close()
                    self.assertGreater(os.path.getsize(path + "-wal"), 0)
                    os.chmod(path + "-wal", companions)
                    os.chmod(path + "-shm", companions)
                    self.addCleanup(holder.close)
                listed = sorted(os.listdir(folder))
                os.chmod(path, 0o444)
                os.chmod(folder, 0o555)
                try:
                    done = subprocess.run(["runuser", "-u", "nobody", "--", "env", *binding, sys.executable,
                                           "-c", program, path], capture_output=True, text=True, timeout=120)
                finally:
                    os.chmod(folder, 0o755)
                self.assertEqual(sorted(os.listdir(folder)), listed, "nothing written beside the database")
                if case == "unreadable":
                    self.assertNotEqual(done.returncode, 0)
                    self.assertIn("sqlite3.OperationalError", done.stderr)
                    continue
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual([int(n) for n in done.stdout.split()],
                                 counts[:2] + [counts[2] + (1 if holder else 0)])

    def test_missing_database(self):
        with self.assertRaises(FileNotFoundError):
            kolvane.read_collected(os.path.join(self.dir, "none.db"))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "none.db")))


if __name__ == "__main__":
    unittest.main()
