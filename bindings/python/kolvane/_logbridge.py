# SPDX-License-Identifier: MIT
"""Routes the library's diagnostic messages into the `kolvane` logger of `logging`."""

import atexit
import contextlib
import logging
import threading

from . import _lib

logger = logging.getLogger("kolvane")
logger.addHandler(logging.NullHandler())

# Library level (0 error .. 3 debug) to logging level.
LEVELS = (logging.ERROR, logging.WARNING, logging.INFO, logging.DEBUG)

_TOO_SMALL = b"Output buffer too small: "
_retrying = threading.local()


@contextlib.contextmanager
def growing_buffer():
    """On this thread, drops the failure message of a call whose too small output buffer the
    binding is about to grow: it is handled, not an error for the user to see."""
    _retrying.active = True
    try:
        yield
    finally:
        _retrying.active = False


def _on_message(level, message, _user):
    # Runs inside the library, on the calling thread: nothing may escape into C.
    try:
        if level == 0 and message.startswith(_TOO_SMALL) and getattr(_retrying, "active", False):
            return
        pylevel = LEVELS[level] if 0 <= level < len(LEVELS) else logging.ERROR
        if logger.isEnabledFor(pylevel):
            logger.log(pylevel, "%s", message.decode("utf-8", "replace"))
    except BaseException:  # noqa: BLE001 - a log message must never break an operation
        pass


_callback = _lib.LOG_CB(_on_message)  # kept alive for the life of the process


def install(cdll):
    cdll.kolvane_set_log_callback(_callback, None)
    # Interpreter shutdown must not leave the library calling into a dead interpreter.
    atexit.register(cdll.kolvane_set_log_callback, _lib.LOG_CB(), None)


def forward_logs(enabled=True):
    """Switch the routing of library messages into `logging` on (the default) or off."""
    cdll = _lib.load()
    cdll.kolvane_set_log_callback(_callback if enabled else _lib.LOG_CB(), None)
