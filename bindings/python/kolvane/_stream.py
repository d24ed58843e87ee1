# SPDX-License-Identifier: MIT
"""Log record streams as generators.

The library hands records to a callback synchronously inside one call. The call therefore runs
on a worker thread that passes parsed records through a bounded queue, so a log of any length
needs little memory. Closing the generator makes the callback return non-zero, which stops the
transfer; the generator then waits for the call to end, so its connection is closed too.
Ctrl-C reaches the consuming thread as KeyboardInterrupt, also while it waits for a record,
and closes the generator the same way. Generators still open when the interpreter exits are
closed first: a worker stopped by the shutdown in the middle of the library aborts the process.
"""

import atexit
import json
import queue
import threading
import weakref

from . import _lib
from ._call import ERR_LEN, check, new_err
from ._interrupt import Interrupt

QUEUE_SIZE = 256
_END = object()
_open = weakref.WeakSet()


def records(name, args):
    """Yields the parsed records of `name`(*args, cb, NULL, err, err_len), the header record
    first, and returns the library's record count (the value of StopIteration)."""
    stream = _records(name, args)
    _open.add(stream)
    return stream


@atexit.register
def _close_open_streams():
    for stream in list(_open):
        try:
            stream.close()
        except ValueError:  # being advanced on a daemon thread of the program: left alone
            pass


def _records(name, args):
    fn = getattr(_lib.load(), name)
    items = queue.Queue(QUEUE_SIZE)
    stop = threading.Event()
    err = new_err()
    outcome = {}

    def on_record(record, _user):
        # Runs inside the library: nothing may escape into C.
        try:
            if stop.is_set():
                return 1
            items.put(json.loads(record))
            return 0
        except BaseException as exc:  # noqa: BLE001 - re-raised by the generator
            outcome.setdefault("error", exc)
            return 1

    callback = _lib.RECORD_CB(on_record)

    def work():
        try:
            outcome["status"] = fn(*args, callback, None, err, ERR_LEN)
        except BaseException as exc:  # noqa: BLE001 - re-raised by the generator
            outcome.setdefault("error", exc)
        finally:
            items.put(_END)

    worker = threading.Thread(target=work, name="kolvane-records", daemon=True)
    try:
        with Interrupt():  # Ctrl-C while the worker starts is raised once it has started
            worker.start()
        while (item := items.get()) is not _END:
            yield item
    finally:
        stop.set()
        # Frees a put in flight. Once `stop` is set the worker adds at most that record and
        # _END, so it cannot block again.
        try:
            while True:
                items.get_nowait()
        except queue.Empty:
            pass
        if worker.ident is not None:  # None when interrupted before it was started
            worker.join()
    if "error" in outcome:
        raise outcome["error"]
    return check(outcome["status"], err)
