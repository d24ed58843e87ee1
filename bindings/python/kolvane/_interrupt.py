# SPDX-License-Identifier: MIT
"""Ctrl-C during a library call.

A library call releases the GIL, and Python runs its SIGINT handler only when the main thread
runs bytecode again: inside one of the binding's callbacks, where a KeyboardInterrupt could
not cross the C frames and would be lost. So for the length of a call on the main thread,
SIGINT only marks the interrupt as pending; the binding's progress callback sees the mark and
stops the library, and leaving the call raises KeyboardInterrupt.
"""

import signal
import threading


class Interrupt:
    """Context manager around one library call; `pending` tells whether Ctrl-C was pressed.

    It takes over SIGINT only on the main thread and only from Python's own handler: a handler
    the program installed stays in charge. A call made from a callback of an outer call shares
    the outer call's mark."""

    _active = None  # the instance whose handler is installed

    def __init__(self):
        self._state = self
        self._pending = False
        self._previous = None

    @property
    def pending(self):
        return self._state._pending

    def _note(self, _signum, _frame):
        self._pending = True

    def __enter__(self):
        if threading.current_thread() is threading.main_thread():
            current = signal.getsignal(signal.SIGINT)
            if current is signal.default_int_handler:
                self._previous = signal.signal(signal.SIGINT, self._note)
                Interrupt._active = self
            elif Interrupt._active is not None and current == Interrupt._active._note:
                self._state = Interrupt._active
        return self

    def __exit__(self, *_exc):
        if self._previous is not None:
            signal.signal(signal.SIGINT, self._previous)
            Interrupt._active = None
        if self.pending:
            raise KeyboardInterrupt
        return False
