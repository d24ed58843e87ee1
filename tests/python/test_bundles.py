# SPDX-License-Identifier: MIT
"""The em133 bundle and the em235 diagnostics export, which always use port 502."""

import contextlib
import os
import re
import shutil
import tempfile
import time
import unittest

import kolvane
from simulator import Simulator


@contextlib.contextmanager
def simulator_on_502(model, *args):
    """kolvane-sim serving `model` on port 502. Test programs of other build trees may hold the
    port for a while, so a busy port is retried; one that stays busy fails the test."""
    deadline = time.monotonic() + 60
    while True:
        sim = Simulator("--model", model, "--records", "40", *args, port=502)
        try:
            sim.start()
            break
        except RuntimeError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.5)
    try:
        yield sim
    finally:
        sim.stop()


class BundlesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)

    def test_em133_bundle_writes_four_files(self):
        with simulator_on_502("em133"):
            rows = kolvane.Meter("127.0.0.1", "em133").export_all(self.dir, set_clock=True)
        names = sorted(os.listdir(self.dir))
        self.assertEqual([re.sub(r"_\d{8}_\d{6}_\d{3}\.csv$", "", n) for n in names],
                         ["EM133_DL1", "EM133_DL2", "EM133_DL3", "EM133_EVENTLOG"])
        lines = 0
        for name in names:
            with open(os.path.join(self.dir, name), encoding="utf-8") as f:
                lines += len(f.read().splitlines()) - 1
        self.assertEqual(rows, lines)
        self.assertGreaterEqual(rows, 3 * 40)

    def test_em235_diagnostics_writes_one_row_per_bit(self):
        csv = os.path.join(self.dir, "diag.csv")
        with simulator_on_502("em235"):
            self.assertEqual(kolvane.export_em235_diagnostics("127.0.0.1", csv, 46081), 26)
        with open(csv, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertRegex(lines[-1], "^25,IRIG-B time unlocked,[01]$")
        self.assertRegex(lines[-26], "^0,")

    def test_diagnostics_word_order(self):
        words = os.path.join(self.dir, "words.meter")
        with open(words, "w", encoding="utf-8") as f:
            f.write("register 999 0x0001\nregister 1000 0x0002\n")
        csv = os.path.join(self.dir, "diag.csv")
        meter = kolvane.Meter("127.0.0.1", "em235")
        with simulator_on_502("em235", "--meter", words):
            for word_order, value_line, bits_set in (
                    (None, "0x1,0x2,0x10002,LO_FIRST", [1, 16]),
                    ("LO_FIRST", "0x1,0x2,0x10002,LO_FIRST", [1, 16]),
                    ("HI_FIRST", "0x1,0x2,0x20001,HI_FIRST", [0, 17]),
                    ("hi_first", "0x1,0x2,0x10002,hi_first", [1, 16])):
                with self.subTest(word_order):
                    if word_order is None:
                        meter.export_diagnostics(csv, 1000)
                    else:
                        meter.export_diagnostics(csv, 1000, word_order=word_order)
                    with open(csv, encoding="utf-8") as f:
                        lines = f.read().splitlines()
                    self.assertEqual(lines[1], value_line)
                    self.assertEqual([int(row.split(",")[0]) for row in lines[4:]
                                      if row.endswith(",1")], bits_set)

    def test_diagnostics_failure_creates_no_file(self):
        csv = os.path.join(self.dir, "diag.csv")
        with simulator_on_502("em235"):
            with self.assertRaisesRegex(kolvane.KolvaneError, "count"):
                kolvane.export_em235_diagnostics("127.0.0.1", csv, 46081, count=1)
        self.assertFalse(os.path.exists(csv))


if __name__ == "__main__":
    unittest.main()
