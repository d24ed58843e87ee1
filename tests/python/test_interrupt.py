# SPDX-License-Identifier: MIT
"""Ctrl-C during a long operation stops the library promptly and raises KeyboardInterrupt."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import kolvane
from simulator import Simulator

RECORDS = 65535  # the most a meter announces; one record per block takes far longer than BOUND
BOUND = 5.0  # seconds from Ctrl-C to the end of the process

# The child runs OPERATION against the meter, says "running" once the call has connected and
# prints how many records it saw when it ends.
CHILD = """
import logging, sys
import kolvane

class Ready(logging.Handler):
    def emit(self, record):
        if record.getMessage().startswith("Connected to "):
            print("running", flush=True)

logging.getLogger("kolvane").setLevel(logging.DEBUG)
logging.getLogger("kolvane").addHandler(Ready())
meter = kolvane.Meter("127.0.0.1", "em133", port=int(sys.argv[1]), timeout_ms=2000)
csv = sys.argv[2]
seen = 0
try:
    OPERATION
finally:
    print(seen, flush=True)
"""

# Each operation with the server it talks to: the slow simulator, or a port that accepts
# connections and never answers, where a call without callbacks waits for its reply.
OPERATIONS = (
    ("meter.export_datalog(csv, 1)", "sim"),
    ("meter.export_datalog(csv, 2, progress=lambda done, total: False)", "sim"),
    ("meter.export_eventlog(csv)", "sim"),
    ("for seen, _ in enumerate(meter.read_datalog(3)): pass", "sim"),
    ("for seen, _ in enumerate(meter.read_eventlog(0)): pass", "sim"),
    ("meter.device_info()", "silent"),
)


class InterruptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        cls.addClassCleanup(shutil.rmtree, cls.dir)
        meter = os.path.join(cls.dir, "slow.meter")
        with open(meter, "w", encoding="utf-8") as f:
            f.write(f"records {RECORDS}\nevents {RECORDS}\nblock_size 1\n")
        cls.sim = Simulator("--meter", meter).start()
        cls.addClassCleanup(cls.sim.stop)
        cls.silent = socket.socket()
        cls.addClassCleanup(cls.silent.close)
        cls.silent.bind(("127.0.0.1", 0))
        cls.silent.listen(8)
        cls.ports = {"sim": cls.sim.port, "silent": cls.silent.getsockname()[1]}

    def interrupt(self, operation, port):
        """Runs `operation` in a child interpreter, presses Ctrl-C once it is under way and
        returns the child's exit status, standard error, records seen, CSV rows and the
        seconds it took to end."""
        csv = os.path.join(self.dir, "out.csv")
        child = subprocess.Popen(
            [sys.executable, "-c", CHILD.replace("OPERATION", operation), str(port), csv],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            self.assertEqual(child.stdout.readline(), "running\n")
            child.send_signal(signal.SIGINT)
            pressed = time.monotonic()
            try:
                out, err = child.communicate(timeout=BOUND)
            except subprocess.TimeoutExpired:
                self.fail(f"still running {BOUND} s after Ctrl-C")
            took = time.monotonic() - pressed
        finally:
            if child.poll() is None:
                child.kill()
                child.communicate()
        rows = 0
        if os.path.exists(csv):
            with open(csv, encoding="utf-8") as f:
                rows = len(f.read().splitlines()) - 1
            os.remove(csv)
        return child.returncode, err, int(out.split()[-1]), rows, took

    def test_ctrl_c_stops_every_long_call(self):
        for operation, server in OPERATIONS:
            with self.subTest(operation):
                status, err, seen, rows, took = self.interrupt(operation, self.ports[server])
                self.assertEqual(status, -signal.SIGINT, err)
                self.assertEqual(err.splitlines()[-1], "KeyboardInterrupt", err)
                self.assertNotIn("Exception ignored", err)
                self.assertLess(took, BOUND)
                self.assertLess(max(seen, rows), RECORDS)

    def test_sigint_handler_is_restored_after_a_call(self):
        meter = kolvane.Meter("127.0.0.1", "em133", port=self.sim.port, timeout_ms=5000)
        self.assertEqual(meter.device_info()["meter"], "em133")
        self.assertIs(signal.getsignal(signal.SIGINT), signal.default_int_handler)


if __name__ == "__main__":
    unittest.main()
