"""Read em133 and em235 electricity meters over Modbus TCP through libkolvane.

    import kolvane
    meter = kolvane.Meter("10.0.0.5", "em133")
    print(meter.device_info()["serial"])
    for record in meter.read_datalog(1):     # the header record first, then the data records
        ...
    meter.export_eventlog("events.csv", progress=lambda done, total: False)

The library is loaded on first use from $KOLVANE_LIBRARY, else from next to this package, else
through the system's loader. Its diagnostic messages go to the logger "kolvane".
"""

from ._call import DEFAULT_BUFFER_SIZE
from ._logbridge import forward_logs
from .errors import Cancelled, KolvaneError
from .meter import Meter, export_em133_all, export_em235_diagnostics, list_points, version

__version__ = "1.2.1"
__all__ = ["Cancelled", "DEFAULT_BUFFER_SIZE", "KolvaneError", "Meter", "export_em133_all",
           "export_em235_diagnostics", "forward_logs", "list_points", "version"]
