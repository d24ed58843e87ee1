# SPDX-License-Identifier: MIT
"""The library's log messages in Python's logging module."""

import logging
import unittest

import kolvane
from simulator import SimTestCase, closed_port


class LoggingTest(SimTestCase):
    def test_levels_match(self):
        with self.assertLogs("kolvane", logging.DEBUG) as logs:
            list(self.meter.read_datalog(1))
        self.assertIn(("DEBUG", f"Connected to 127.0.0.1:{self.sim.port}"),
                      [(r.levelname, r.getMessage()) for r in logs.records])
        self.assertIn(("INFO", "File 1: 40 records"),
                      [(r.levelname, r.getMessage()) for r in logs.records])

    def test_failure_is_logged_as_error(self):
        port = closed_port()
        with self.assertLogs("kolvane", logging.ERROR) as logs:
            with self.assertRaises(kolvane.KolvaneError):
                kolvane.Meter("127.0.0.1", "em133", port=port).device_info()
        self.assertEqual(logs.output, [f"ERROR:kolvane:Cannot connect to 127.0.0.1:{port}"])

    def test_buffer_growth_is_not_logged_as_an_error(self):
        with self.assertLogs("kolvane", logging.DEBUG) as logs:
            kolvane.Meter("127.0.0.1", "em133", port=self.sim.port, buffer_size=8).device_info()
        self.assertEqual([r for r in logs.records if r.levelno >= logging.ERROR], [])

    def test_forwarding_can_be_switched_off(self):
        self.addCleanup(kolvane.forward_logs, True)
        kolvane.forward_logs(False)
        with self.assertNoLogs("kolvane", logging.DEBUG):
            self.meter.device_info()
        kolvane.forward_logs(True)
        with self.assertLogs("kolvane", logging.DEBUG):
            self.meter.device_info()


if __name__ == "__main__":
    unittest.main()
