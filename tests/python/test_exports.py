# SPDX-License-Identifier: MIT
"""CSV exports with progress callables."""

import os
import shutil
import tempfile
import unittest

import kolvane
from simulator import SimTestCase

DATALOG_HEADER = ("No.,Date/Time,Trigger,V1 (V),V2 (V),V3 (V),I1 (A),I2 (A),I3 (A),"
                  "Total kW (kW),Total PF,kWh import (kWh)")
EVENTLOG_HEADER = ("No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,"
                   "Source ID,Effect ID,Value Triggered")


class ExportsTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.csv = os.path.join(self.dir, "out.csv")

    def lines(self):
        with open(self.csv, encoding="utf-8") as f:
            return f.read().splitlines()

    def test_datalog_export_reports_every_row(self):
        calls = []
        rows = self.meter.export_datalog(self.csv, 1, progress=lambda d, t: calls.append((d, t)))
        self.assertEqual(rows, 40)
        self.assertEqual(calls, [(n, 40) for n in range(1, 41)])
        lines = self.lines()
        self.assertEqual(lines[0], DATALOG_HEADER)
        self.assertEqual(len(lines), 41)
        self.assertTrue(lines[1].startswith("1,"))

    def test_eventlog_export_without_progress(self):
        rows = self.meter.export_eventlog(self.csv)
        lines = self.lines()
        self.assertEqual(lines[0], EVENTLOG_HEADER)
        self.assertEqual(len(lines), rows + 1)

    def test_progress_returning_true_cancels_and_keeps_the_rows_written(self):
        with self.assertRaises(kolvane.Cancelled) as caught:
            self.meter.export_datalog(self.csv, 1, progress=lambda done, total: done == 3)
        self.assertEqual(caught.exception.message, "Cancelled by caller")
        self.assertEqual(caught.exception.status, -2)
        self.assertIsInstance(caught.exception, kolvane.KolvaneError)
        self.assertEqual(len(self.lines()), 4)

    def test_exception_in_progress_is_raised_after_the_call(self):
        def progress(done, _total):
            raise ValueError(f"stop at {done}")

        with self.assertRaisesRegex(ValueError, "^stop at 1$"):
            self.meter.export_eventlog(self.csv, progress=progress)
        self.assertEqual(len(self.lines()), 2)

    def test_unwritable_path_raises(self):
        bad = os.path.join(self.dir, "missing", "out.csv")
        with self.assertRaisesRegex(kolvane.KolvaneError, "^Cannot open CSV: "):
            self.meter.export_datalog(bad, 1)


if __name__ == "__main__":
    unittest.main()
