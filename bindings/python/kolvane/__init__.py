# SPDX-License-Identifier: MIT
"""Read em133 and em235 electricity meters over Modbus TCP through libkolvane.

    import kolvane
    meter = kolvane.Meter("10.0.0.5", "em133")
    print(meter.device_info()["serial"])
    for record in meter.read_datalog(1):     # the header record first, then the data records
        ...
    meter.export_eventlog("events.csv", progress=lambda done, total: False)
    volts = meter.datalog_frame(1)["V1 [V]"]   # pandas, when installed
    collected = kolvane.read_collected("site.db")  # what `kolvane collect` stored, as DataFrames

The library is loaded on first use from $KOLVANE_LIBRARY, else from a copy inside this
package's directory, else through the system's loader. Its diagnostic messages go to the logger
"kolvane". `__version__` is the library's version, asked for on first use.
"""

from ._call import DEFAULT_BUFFER_SIZE
from ._logbridge import forward_logs
from .errors import Cancelled, KolvaneError
from .frames import Collected, read_collected
from .meter import Meter, export_em133_all, export_em235_diagnostics, list_points, version

__all__ = ["Cancelled", "Collected", "DEFAULT_BUFFER_SIZE", "KolvaneError", "Meter",
           "export_em133_all", "export_em235_diagnostics", "forward_logs", "list_points",
           "read_collected", "version"]


def __getattr__(name):
    # The version lives in the library alone; asking for it lazily keeps the import free of it.
    if name == "__version__":
        return version()
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
