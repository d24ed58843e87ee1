# SPDX-License-Identifier: MIT
"""Documents read from a simulated meter, returned as parsed Python objects."""

import unittest

import kolvane
from simulator import SimTestCase


class Em133DocumentsTest(SimTestCase):
    def test_device_info(self):
        info = self.meter.device_info()
        self.assertEqual(info["meter"], "em133")
        self.assertEqual(info["host"], "127.0.0.1")
        self.assertEqual(info["model_name"], "EM133")
        self.assertIsInstance(info["serial"], int)
        self.assertEqual(set(info["setup"]), {"pt_ratio", "energy_decimals", "high_resolution"})

    def test_list_logs_names_event_log_and_data_logs(self):
        logs = self.meter.list_logs()["logs"]
        self.assertEqual(logs[0]["file_id"], 0)
        self.assertEqual(logs[0]["type"], "eventlog")
        datalogs = [log for log in logs if log["type"] == "datalog"]
        self.assertEqual([log["file_id"] for log in datalogs][:3], [1, 2, 3])
        self.assertEqual(datalogs[0]["records"], 40)
        self.assertEqual(datalogs[0]["columns"][0], {"name": "V1", "unit": "V", "decimals": 1})

    def test_read_live_gives_the_whole_live_set(self):
        live = self.meter.read_live()
        self.assertEqual(len(live["readings"]), 55)
        self.assertEqual(live["readings"][0]["name"], "V1")
        self.assertIsInstance(live["readings"][0]["value"], float)

    def test_read_points_from_a_list_or_a_text(self):
        by_list = self.meter.read_points([4352, "v2", 0x1102])
        self.assertEqual([r["name"] for r in by_list["readings"]], ["V1", "V2", "V3"])
        by_text = self.meter.read_points('4353, "V1"')
        self.assertEqual([r["pid"] for r in by_text["readings"]], [4353, 4352])
        self.assertEqual([r["pid"] for r in self.meter.read_points(4354)["readings"]], [4354])

    def test_read_points_rejects_unknown_names(self):
        with self.assertRaisesRegex(kolvane.KolvaneError, "^Unknown point 'nope'$"):
            self.meter.read_points(["nope"])
        with self.assertRaisesRegex(kolvane.KolvaneError,
                                    "^points: at least one point is required$"):
            self.meter.read_points([])

    def test_small_buffer_grows_and_repeats_the_call(self):
        small = kolvane.Meter("127.0.0.1", "em133", port=self.sim.port, buffer_size=8)
        self.assertEqual(small.device_info(), self.meter.device_info())
        self.assertEqual(len(small.read_live()["readings"]), 55)
        self.assertEqual(small.list_logs(), self.meter.list_logs())


class Em235DocumentsTest(SimTestCase):
    model = "em235"

    def test_live_set_and_identity_of_an_em235(self):
        self.assertEqual(self.meter.device_info()["meter"], "em235")
        self.assertEqual(len(self.meter.read_live()["readings"]), 61)


if __name__ == "__main__":
    unittest.main()
