# SPDX-License-Identifier: MIT
"""Failures raised as KolvaneError with the library's message."""

import unittest

import kolvane
from simulator import closed_port


class ErrorsTest(unittest.TestCase):
    def test_closed_port_fails_every_operation(self):
        port = closed_port()
        meter = kolvane.Meter("127.0.0.1", "em133", port=port, timeout_ms=2000)
        message = f"^Cannot connect to 127.0.0.1:{port}$"
        for operation in (meter.device_info, meter.list_logs, meter.read_live,
                          lambda: meter.read_points(["V1"]),
                          lambda: list(meter.read_datalog(1)),
                          lambda: list(meter.read_eventlog(0))):
            with self.assertRaisesRegex(kolvane.KolvaneError, message):
                operation()

    def test_options_are_checked_by_the_library(self):
        for meter, message in (
                (kolvane.Meter("127.0.0.1", "em133", port=70000), "options.port must be 1-65535"),
                (kolvane.Meter("127.0.0.1", "em133", unit_id=256), "options.unit_id must be 0-255"),
                (kolvane.Meter("127.0.0.1", "em133", timeout_ms=99),
                 "options.timeout_ms must be 100-3600000"),
                (kolvane.Meter("127.0.0.1", "em133", tries=0), "options.tries must be 1-10"),
                (kolvane.Meter("127.0.0.1", "em133", request_gap_ms=10001),
                 "options.request_gap_ms must be 0-10000")):
            with self.assertRaises(kolvane.KolvaneError) as caught:
                meter.device_info()
            self.assertEqual(caught.exception.message, message)

    def test_bundles_refuse_a_meter_they_cannot_reach(self):
        with self.assertRaises(ValueError):
            kolvane.Meter("127.0.0.1", "em133", port=1502).export_all("/tmp")
        with self.assertRaises(ValueError):
            kolvane.Meter("127.0.0.1", "em235").export_all("/tmp")


if __name__ == "__main__":
    unittest.main()
