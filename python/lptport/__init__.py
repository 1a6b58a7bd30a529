# SPDX-License-Identifier: MIT
"""The PC parallel port for scripts, over liblptport (lptpanel's port layer).

    from lptport import ParallelPort
    port = ParallelPort(address=0x378)
    port.setData(5)

Port is the register view (0x378 data, 0x379 status, 0x37A control);
ParallelPort the script API of experiment toolkits; ports() lists the
system's ports. Every failure of a port is a PortError with what failed, its
cause and fix; a bad argument is a ValueError, raised before any port access.
PARPORT=sim runs a script on the simulated port. See docs/scripting.md.
"""

from .exceptions import PortError, PortFormError
from .listing import Listing, PortInfo, ports
from .parallel import ParallelPort
from .port import CONTROL, DATA, STATUS, Port

__version__ = "0.1.0"
__all__ = ["Port", "ParallelPort", "PortError", "PortFormError", "ports", "Listing", "PortInfo",
           "DATA", "STATUS", "CONTROL"]
