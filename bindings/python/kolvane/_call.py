# SPDX-License-Identifier: MIT
"""Calling the library: arguments, the error buffer, status codes, growing output buffers and
progress callables."""

import ctypes
import json
import os
import re

from . import _lib, _logbridge
from ._interrupt import Interrupt
from .errors import Cancelled, KolvaneError

ERR_LEN = 1024
DEFAULT_BUFFER_SIZE = 64 * 1024
_TOO_SMALL = re.compile(r"Output buffer too small: need (\d+) bytes")


def text(value):
    """A text argument as NUL-terminated UTF-8 (None stays a null pointer)."""
    return None if value is None else str(value).encode("utf-8")


def path(value):
    return os.fsencode(os.fspath(value))


def new_err():
    return ctypes.create_string_buffer(ERR_LEN)


def check(status, err):
    """Returns a success status; raises the library's failure or cancellation."""
    if status >= 0:
        return status
    message = err.value.decode("utf-8", "replace")
    if status == -2:
        raise Cancelled(message)
    raise KolvaneError(message, status)


def document(name, args, buffer_size=DEFAULT_BUFFER_SIZE):
    """Calls `name`(*args, out, out_len, err, err_len) and returns the parsed JSON document,
    retrying with a larger buffer while the library says it needs one (each retry repeats the
    meter traffic, and documents of live values may grow between tries)."""
    fn = getattr(_lib.load(), name)
    size = max(1, int(buffer_size))
    while True:
        out, err = ctypes.create_string_buffer(size), new_err()
        with Interrupt(), _logbridge.growing_buffer():
            status = fn(*args, out, size, err, ERR_LEN)
        if status >= 0:
            return json.loads(out.value.decode("utf-8"))
        needed = _TOO_SMALL.fullmatch(err.value.decode("utf-8", "replace"))
        if status != -1 or needed is None or int(needed.group(1)) <= size:
            check(status, err)
        size = int(needed.group(1)) + int(needed.group(1)) // 8


class Progress:
    """Adapts a Python progress callable `progress(done, total)` (total None when unknown; a
    true result cancels; None for no callable) to the C callback, which also stops the
    operation once Ctrl-C is pending. An exception the callable raises stops the operation and
    is re-raised by `call_with_progress` instead of crossing the C frames."""

    def __init__(self, progress, interrupt):
        self.progress = progress
        self.interrupt = interrupt
        self.error = None
        self.c_callback = _lib.PROGRESS_CB(self._call)

    def _call(self, done, total, _user):
        try:
            if self.interrupt.pending:
                return 1
            if self.progress is None:
                return 0
            return 1 if self.progress(done, None if total < 0 else total) else 0
        except BaseException as exc:  # noqa: BLE001 - re-raised after the call
            self.error = exc
            return 1


def call(name, args):
    """Calls `name`(*args, err, err_len) and returns its status."""
    fn = getattr(_lib.load(), name)
    err = new_err()
    with Interrupt():
        status = fn(*args, err, ERR_LEN)
    return check(status, err)


def call_with_progress(name, args, progress):
    """Calls `name`(*args, progress callback, NULL, err, err_len) and returns its status.
    The callback is passed even when `progress` is None, so that Ctrl-C stops the call."""
    fn = getattr(_lib.load(), name)
    err = new_err()
    with Interrupt() as interrupt:
        adapter = Progress(progress, interrupt)
        status = fn(*args, adapter.c_callback, None, err, ERR_LEN)
    if adapter.error is not None:
        raise adapter.error
    return check(status, err)
