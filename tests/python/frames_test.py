# SPDX-License-Identifier: MIT
"""pandas frames: a meter's logs through the binding, and what `kolvane collect` stored in SQLite
and in a throwaway PostgreSQL server. Run with Debian's python3 and python3-pandas."""

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
from simulator import SimTestCase

PG_BIN = "/usr/lib/postgresql/15/bin"


def collect(target, port):
    """Runs `kolvane collect` on the simulated em133 at `port` into `target`."""
    done = subprocess.run([os.environ["KOLVANE_TOOL"], "collect", f"127.0.0.1:{port}", "-m", "em133",
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


class CollectedFrames(SimTestCase):
    """One simulated em133 collected into SQLite and PostgreSQL, read back as frames."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.dir = tempfile.mkdtemp(prefix="kolvane-frames-")
        cls.addClassCleanup(shutil.rmtree, cls.dir, True)
        cls.sqlite = os.path.join(cls.dir, "site.db")
        collect(cls.sqlite, cls.sim.port)
        cls.postgres = PostgresServer()
        cls.addClassCleanup(cls.postgres.stop)
        collect(cls.postgres.uri, cls.sim.port)

    def check_views(self, collected):
        frame = self.meter.datalog_frame(1)
        values = collected.datalog_values
        self.assertEqual(list(values.columns), ["serial", "file_id", "recorded_at", "seq", "name", "unit", "value"])
        self.assertEqual(str(values["recorded_at"].dtype), "datetime64[ns, UTC]")
        v1 = values[(values.file_id == 1) & (values.name == "V1")].set_index("recorded_at")["value"]
        self.assertEqual(list(v1.index), list(frame.index))
        self.assertEqual(list(v1), list(frame["V1 [V]"]))
        self.assertEqual(len(collected.events), len(self.meter.eventlog_frame()))
        self.assertEqual(str(collected.events["recorded_at"].dtype), "datetime64[ns, UTC]")
        self.assertGreater(len(collected.readings), 10)
        self.assertEqual(set(collected.readings["serial"]), {self.meter.device_info()["serial"]})

    def test_sqlite(self):
        self.check_views(kolvane.read_collected(self.sqlite))
        self.check_views(kolvane.read_collected("sqlite:" + self.sqlite))

    def test_postgres(self):
        self.check_views(kolvane.read_collected(self.postgres.uri))

    def test_selection(self):
        frame = self.meter.datalog_frame(1)
        start, end = frame.index[10], frame.index[20]
        for target in (self.sqlite, self.postgres.uri):
            with self.subTest(target=target):
                picked = kolvane.read_collected(target, start=start, end=end).datalog_values
                times = picked[picked.file_id == 1]["recorded_at"].unique()
                self.assertEqual(list(times), list(frame.index[10:20]))
                naive = kolvane.read_collected(target, start=start.tz_localize(None).isoformat())
                self.assertEqual(naive.datalog_values["recorded_at"].min(), start)
                self.assertTrue(kolvane.read_collected(target, serial=[1, 2]).datalog_values.empty)

    def test_schema_versions(self):
        """A database of this release's schema or of release 1.2.1's reads; one of a newer
        schema, or a SQLite file of something else, is refused without a change."""
        fixture = os.path.join(os.path.dirname(__file__), "..", "collect", "data", "schema_v1.db")
        old = os.path.join(self.dir, "v1.db")
        shutil.copyfile(fixture, old)
        self.assertEqual(len(kolvane.read_collected(old).events), 80)
        newer = os.path.join(self.dir, "newer.db")
        shutil.copyfile(self.sqlite, newer)
        with sqlite3.connect(newer) as db:
            db.execute("UPDATE schema_version SET version = version + 1")
        other = os.path.join(self.dir, "other.db")
        with sqlite3.connect(other) as db:
            db.execute("CREATE TABLE t(x)")
        for path, message in ((newer, r"is newer than this kolvane knows \(5\)"),
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
