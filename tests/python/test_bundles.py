"""The em133 bundle and the em235 diagnostics export, which always use port 502."""

import contextlib
import os
import re
import shutil
import tempfile
import unittest

import kolvane
from simulator import Simulator


@contextlib.contextmanager
def simulator_on_502(model):
    sim = Simulator("--model", model, "--records", "40", port=502)
    try:
        sim.start()
    except RuntimeError as exc:
        raise unittest.SkipTest(f"port 502 is not available: {exc}")
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

    def test_diagnostics_failure_creates_no_file(self):
        csv = os.path.join(self.dir, "diag.csv")
        with simulator_on_502("em235"):
            with self.assertRaisesRegex(kolvane.KolvaneError, "count"):
                kolvane.export_em235_diagnostics("127.0.0.1", csv, 46081, count=1)
        self.assertFalse(os.path.exists(csv))


if __name__ == "__main__":
    unittest.main()
