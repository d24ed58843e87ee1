# SPDX-License-Identifier: MIT
"""Finds and loads libkolvane and declares the prototypes of its sixteen functions."""

import ctypes
import ctypes.util
import os
import threading

ENV_VAR = "KOLVANE_LIBRARY"
_NAMES = ("libkolvane.so.1", "libkolvane.so")

RECORD_CB = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
PROGRESS_CB = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_void_p)
LOG_CB = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)

_s, _i, _buf, _v = ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p
_ERR = (_buf, _i)
_PROTOTYPES = {
    "kolvane_version": (_s, ()),
    "kolvane_set_log_callback": (None, (LOG_CB, _v)),
    "kolvane_read_device_info": (_i, (_s, _s, _s, _buf, _i) + _ERR),
    "kolvane_list_logs": (_i, (_s, _s, _s, _buf, _i) + _ERR),
    "kolvane_read_live_ex": (_i, (_s, _s, _s, _buf, _i) + _ERR),
    "kolvane_read_live": (_i, (_s, _s, _buf, _i) + _ERR),
    "kolvane_read_points": (_i, (_s, _s, _s, _s, _buf, _i) + _ERR),
    "kolvane_list_points": (_i, (_s, _buf, _i) + _ERR),
    "kolvane_read_datalog": (_i, (_s, _s, _i, _s, RECORD_CB, _v) + _ERR),
    "kolvane_read_eventlog": (_i, (_s, _s, _i, _s, RECORD_CB, _v) + _ERR),
    "kolvane_export_datalog_ex": (_i, (_s, _s, _i, _s, _s, PROGRESS_CB, _v) + _ERR),
    "kolvane_export_datalog": (_i, (_s, _s, _i, _s) + _ERR),
    "kolvane_export_eventlog_ex": (_i, (_s, _s, _i, _s, _s, PROGRESS_CB, _v) + _ERR),
    "kolvane_export_eventlog": (_i, (_s, _s, _i, _s) + _ERR),
    "kolvane_export_em133_all": (_i, (_s, _i, _i, _s) + _ERR),
    "kolvane_export_em235_diagnostics": (_i, (_s, _i, _i, _i, _s, _s) + _ERR),
}

_lock = threading.Lock()
_loaded = None


def _candidates():
    """Where to look, in order: $KOLVANE_LIBRARY alone when set, else next to this package,
    else the system's loader."""
    explicit = os.environ.get(ENV_VAR)
    if explicit:
        return [explicit]
    here = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(here, n) for n in _NAMES if os.path.exists(os.path.join(here, n))]
    system = ctypes.util.find_library("kolvane")
    return found + [_NAMES[0]] + ([system] if system else [])


def _declare(cdll):
    for name, (restype, argtypes) in _PROTOTYPES.items():
        fn = getattr(cdll, name)
        fn.restype = restype
        fn.argtypes = argtypes
    return cdll


def load():
    """The loaded library, loading it on first use. Raises OSError when it cannot be found."""
    global _loaded
    with _lock:
        if _loaded is None:
            failures = []
            for path in _candidates():
                try:
                    _loaded = _declare(ctypes.CDLL(path))
                    break
                except (OSError, AttributeError) as exc:
                    failures.append(f"{path}: {exc}")
            else:
                raise OSError("libkolvane not found (set %s to its path); tried %s"
                              % (ENV_VAR, "; ".join(failures)))
            from . import _logbridge  # the bridge needs the library; the library needs no bridge
            _logbridge.install(_loaded)
        return _loaded
