"""Calling the library: arguments, the error buffer, status codes, growing output buffers and
progress callables."""

import ctypes
import json
import os
import re

from . import _lib, _logbridge
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
        with _logbridge.growing_buffer():
            status = fn(*args, out, size, err, ERR_LEN)
        if status >= 0:
            return json.loads(out.value.decode("utf-8"))
        needed = _TOO_SMALL.fullmatch(err.value.decode("utf-8", "replace"))
        if status != -1 or needed is None or int(needed.group(1)) <= size:
            check(status, err)
        size = int(needed.group(1)) + int(needed.group(1)) // 8


class Progress:
    """Adapts a Python progress callable `progress(done, total)` (total None when unknown; a
    true result cancels) to the C callback. An exception it raises stops the operation and is
    re-raised by `call` instead of crossing the C frames."""

    def __init__(self, progress):
        self.progress = progress
        self.error = None
        self.c_callback = (_lib.PROGRESS_CB(self._call) if progress is not None
                           else _lib.PROGRESS_CB())  # a null pointer

    def _call(self, done, total, _user):
        try:
            return 1 if self.progress(done, None if total < 0 else total) else 0
        except BaseException as exc:  # noqa: BLE001 - re-raised after the call
            self.error = exc
            return 1


def call(name, args, progress=None):
    """Calls `name`(*args[, progress callback, NULL], err, err_len) and returns its status."""
    fn = getattr(_lib.load(), name)
    err = new_err()
    extra = () if progress is None else (progress.c_callback, None)
    status = fn(*args, *extra, err, ERR_LEN)
    if progress is not None and progress.error is not None:
        raise progress.error
    return check(status, err)
