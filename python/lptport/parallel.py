# SPDX-License-Identifier: MIT
"""ParallelPort: the script API experiment toolkits share (setData, readData,
setPin, readPin), pins numbered as on the 25-way connector."""

import os
import re
import sys
import threading

from .exceptions import PortError
from .listing import ports
from .port import DATA, STATUS, Port, byte

# Input pins: (status bit, whether the port reports the pin inverted).
STATUS_PINS = {10: (0x40, False), 11: (0x80, True), 12: (0x20, False), 13: (0x10, False),
               15: (0x08, False)}
# The port texts a script may give, as PARPORT's grammar has them; whether the
# system has such a port is the library's to say.
FORMS = re.compile(r"sim(:.+)?|/dev/.+|direct(:.+)?|dll([:@].+)?|[Ll][Pp][Tt][1-9][0-9]*",
                   re.DOTALL)

_announce_lock = threading.Lock()
_announced = False


def _pin(pin, allowed, what):
    if pin.__class__ is not int or pin not in allowed:
        raise ValueError("pin %r is not %s" % (pin, what))
    return pin


def spec_for(address, system=sys.platform, listing=None):
    """The port text an address names: None for None; a text of PARPORT's
    grammar as it is; a base (0x378, 53264, "0xD010") as the port at that
    base: on Linux the ppdev node of the port the system lists there, else
    direct I/O; on Windows the port-I/O DLL at that base. ValueError for an
    address of no known form."""
    if address is None:
        return None
    if isinstance(address, str):
        text = address.strip()
        if re.fullmatch(r"0[xX][0-9a-fA-F]+|[0-9]+", text):
            address = int(text, 0) if text[:2].lower() == "0x" else int(text)
        elif FORMS.fullmatch(text):
            return text
        else:
            raise ValueError("address %r is of no known form: give a base (0x378, 53264, "
                             "'0xD010'), or a port: 'sim', 'sim:FILE', '/dev/parportN', "
                             "'direct:0xBASE', 'LPTn', 'dll@0xBASE'" % (address,))
    elif isinstance(address, bool) or not isinstance(address, int):
        raise TypeError("address must be an int or a str, not %r" % (address,))
    if not 1 <= address <= 0xFFFC:
        raise ValueError("address %d is no port base: bases lie in 0x1..0xFFFC "
                         "(0x378, 53264 = 0xD010)" % address)
    if system == "win32":
        return "dll@0x%X" % address
    if system.startswith("linux"):
        for p in listing if listing is not None else ports():
            if p.spp_base == address:
                return p.node or "/dev/" + p.name
    return "direct:0x%X" % address


class ParallelPort:
    """A drop-in for the ParallelPort class of experiment scripts.

    address: None (the port the system lists at 0x378, else its first), a
    base as an int or a hex text (0x378, 53264, "0xD010"), or a port text
    ("/dev/parport0", "LPT2", "sim", "sim:FILE"). PARPORT, when set, overrides
    it and says so once on stderr: ``PARPORT=sim python3 experiment.py``
    dry-runs an unchanged experiment on the simulated port.
    """

    def __init__(self, address=None):
        override = os.environ.get("PARPORT") or None
        # The script's address is checked even when PARPORT overrides it, so a
        # dry run finds what the real run would refuse.
        spec = spec_for(address, listing=() if override else None)
        # A base the system lists no port at is tried by direct I/O, the last resort.
        last_resort = not override and spec is not None and spec.startswith("direct:") and \
            not str(address).strip().startswith("direct")
        try:
            self.port = Port(override or spec)
        except PortError as e:
            if not last_resort:
                raise
            raise PortError("no parallel port at %s" % spec[7:],
                            "the system lists none there, and direct I/O failed: " + e.cause,
                            "give the base lptport ports lists for your port, or " + e.fix +
                            "; to run the script on the simulated port on purpose, set "
                            "PARPORT=sim", e.page, e.status) from None
        if override:
            _announce(override, address, self.port)
        self._write, self._handle = self.port._write, self.port._handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Closes the port (after a pending pulse's restore)."""
        self.port.close()
        self._handle = None

    def setData(self, data):
        """Puts data (0..255) on pins 2-9, D0 on pin 2."""
        if data.__class__ is not int or not 0 <= data <= 255:
            data = byte(data, "data")
        status = self._write(self._handle, DATA, data)
        if status:
            self.port._fail(status)

    def readData(self):
        """The data register, D0..D7 (pins 2-9)."""
        return self.port.read(DATA)

    def setPin(self, pin, state):
        """Sets data pin 2..9 high (state true) or low, keeping the others."""
        bit = 1 << (_pin(pin, range(2, 10), "a data pin: 2..9") - 2)
        data = self.port.read(DATA)
        self.setData(data | bit if state else data & ~bit)

    def readPin(self, pin):
        """The level of pin 2..9 (data), 10 (ACK), 11 (BUSY), 12 (PE), 13
        (SELECT) or 15 (ERROR): True high, False low. BUSY is reported by the
        port inverted; this is the level on the pin."""
        if pin.__class__ is int and 2 <= pin <= 9:
            return bool(self.port.read(DATA) >> (pin - 2) & 1)
        mask, inverted = STATUS_PINS[_pin(pin, STATUS_PINS, "an input: 2..9, 10, 11, 12, 13, 15")]
        return bool(self.port.read(STATUS) & mask) != inverted

    def pulse(self, data, width, restore=None, wait=False):
        """Puts data on pins 2-9 for width seconds, then restore (None: what
        they held); returns at once unless wait. See Port.pulse."""
        self.port.pulse(data, width, restore, DATA, wait)

    @property
    def description(self):
        return self.port.description

    @property
    def simulated(self):
        return self.port.simulated


def _announce(override, address, port):
    global _announced
    with _announce_lock:
        if _announced:
            return
        _announced = True
    if address is None:
        told = "chooses the port"
    else:
        told = "overrides the script's address " + \
            ("0x%X" % address if isinstance(address, int) else repr(address))
    sys.stderr.write("lptport: PARPORT=%s %s: %s\n" % (override, told, port.description))
