# SPDX-License-Identifier: MIT
"""Data and event logs as generators of parsed records."""

import logging
import subprocess
import sys
import threading
import unittest

import kolvane
from simulator import SimTestCase


def drain(generator):
    """All items of a generator and the value it returns."""
    items = []
    while True:
        try:
            items.append(next(generator))
        except StopIteration as stop:
            return items, stop.value


class StreamsTest(SimTestCase):
    def test_datalog_yields_header_then_every_record(self):
        records, count = drain(self.meter.read_datalog(1))
        header, first = records[0], records[1]
        self.assertEqual(header["type"], "header")
        self.assertEqual(header["file_id"], 1)
        self.assertEqual(header["total"], 40)
        self.assertEqual(header["columns"][0], {"name": "V1", "unit": "V", "decimals": 1})
        self.assertEqual(count, 40)
        self.assertEqual(len(records), 41)
        self.assertEqual([r["no"] for r in records[1:]], list(range(1, 41)))
        self.assertEqual(set(first), {"type", "no", "seq", "timestamp", "trigger", "values"})
        self.assertEqual(len(first["values"]), len(header["columns"]))

    def test_eventlog_yields_decoded_events(self):
        records, count = drain(self.meter.read_eventlog())
        self.assertEqual(records[0]["type"], "header")
        self.assertEqual(records[0]["total"], count)
        self.assertEqual(len(records), count + 1)
        self.assertIn("cause", records[1])
        self.assertIn("value_triggered", records[1])

    def test_after_seq_yields_only_the_newer_records(self):
        seqs = [r["seq"] for r in drain(self.meter.read_datalog(1))[0][1:]]
        records, count = drain(self.meter.read_datalog(1, after_seq=seqs[-4]))
        self.assertEqual(records[0]["total"], len(seqs))
        self.assertEqual([r["seq"] for r in records[1:]], seqs[-3:])
        self.assertEqual([r["no"] for r in records[1:]], [1, 2, 3])
        self.assertEqual(count, 3)
        events = [r["seq"] for r in drain(self.meter.read_eventlog())[0][1:]]
        self.assertEqual(drain(self.meter.read_eventlog(after_seq=events[-1]))[1], 0)
        with self.assertRaisesRegex(kolvane.KolvaneError,
                                    "^options.after_seq must be 0-65535$"):
            list(self.meter.read_datalog(1, after_seq=65536))

    def test_after_timestamp_reads_a_log_that_started_again_whole(self):
        held = drain(self.meter.read_datalog(1))[0][1:]
        anchor = held[-4]
        for stamp, seqs in ((anchor["timestamp"], [r["seq"] for r in held[-3:]]),
                            ("2000-01-01T00:00:00.000Z", [r["seq"] for r in held])):
            with self.subTest(stamp=stamp):
                records = drain(self.meter.read_datalog(1, after_seq=anchor["seq"],
                                                        after_timestamp=stamp))[0]
                self.assertEqual([r["seq"] for r in records[1:]], seqs)
        with self.assertRaisesRegex(ValueError, "is not a stamp"):
            self.meter.read_datalog(1, after_seq=1, after_timestamp="yesterday")

    def test_failure_is_raised_by_the_generator(self):
        with self.assertRaisesRegex(kolvane.KolvaneError, "^options.port must be 1-65535$"):
            list(kolvane.Meter("127.0.0.1", "em133", port=0).read_datalog(1))


class EarlyCloseTest(SimTestCase):
    sim_args = ()  # 2880 records per data log: far more than the queue holds

    def test_closing_the_generator_cancels_the_transfer(self):
        before = threading.active_count()
        with self.assertLogs("kolvane", logging.DEBUG) as logs:
            stream = self.meter.read_datalog(1)
            self.assertEqual(next(stream)["type"], "header")
            self.assertEqual(next(stream)["no"], 1)
            stream.close()
            # The worker is gone and the meter serves the next transfer completely.
            self.assertEqual(threading.active_count(), before)
            self.assertEqual(drain(self.meter.read_datalog(2))[1], 2880)
        summaries = [r.getMessage() for r in logs.records if "records in" in r.getMessage()]
        # Only the complete transfer of file 2 reports its summary; file 1 was cancelled.
        self.assertEqual(len(summaries), 1)
        self.assertTrue(summaries[0].startswith("File 2: 2880 records in "), summaries)

    def test_breaking_out_of_a_loop_releases_the_transfer(self):
        before = threading.active_count()
        for record in self.meter.read_eventlog(0):
            if record["type"] == "record":
                break
        del record
        self.assertEqual(threading.active_count(), before)

    def test_exit_with_a_stream_left_open_ends_cleanly(self):
        code = ("import sys, kolvane\n"
                "meter = kolvane.Meter('127.0.0.1', 'em133', port=int(sys.argv[1]))\n"
                "stream = meter.read_datalog(1)\n"
                "print(next(stream)['type'])\n"
                "sys.exit(0)\n")
        run = subprocess.run([sys.executable, "-c", code, str(self.sim.port)],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual((run.returncode, run.stdout), (0, "header\n"), run.stderr)


if __name__ == "__main__":
    unittest.main()
