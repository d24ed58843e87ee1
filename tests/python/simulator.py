# SPDX-License-Identifier: MIT
"""Runs kolvane-sim ($KOLVANE_SIM) on a loopback port for the tests."""

import ctypes
import os
import re
import signal
import socket
import subprocess
import unittest

import kolvane

_LISTENING = re.compile(r"kolvane-sim: (\w+) listening on 127\.0\.0\.1:(\d+)$")


def _stop_with_parent():
    """Runs in the child: the simulator gets SIGTERM when the test process dies."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Simulator:
    """A kolvane-sim process; `port` is the port it bound."""

    def __init__(self, *args, port=0):
        self.args = ["--port", str(port), *args]
        self.port = None
        self.process = None

    def start(self):
        self.process = subprocess.Popen([os.environ["KOLVANE_SIM"], *self.args],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, preexec_fn=_stop_with_parent)
        first = self.process.stdout.readline().strip()
        found = _LISTENING.fullmatch(first)
        if not found:
            self.stop()
            raise RuntimeError(f"kolvane-sim did not start: {first!r}")
        self.port = int(found.group(2))
        return self

    def stop(self):
        self.process.terminate()
        self.process.communicate(timeout=30)

    def __enter__(self):
        return self.start()

    def __exit__(self, *_exc):
        self.stop()


class SimTestCase(unittest.TestCase):
    """Tests against one simulator per class: `self.meter` is a Meter for it."""

    sim_args = ("--records", "40")
    model = "em133"

    @classmethod
    def setUpClass(cls):
        cls.sim = Simulator("--model", cls.model, *cls.sim_args).start()
        cls.addClassCleanup(cls.sim.stop)

    def setUp(self):
        self.meter = kolvane.Meter("127.0.0.1", self.model, port=self.sim.port, timeout_ms=5000)


def closed_port():
    """A loopback port on which nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
