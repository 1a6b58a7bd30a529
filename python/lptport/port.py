# SPDX-License-Identifier: MIT
"""Port: one open parallel port, its data, status and control registers at
0x378, 0x379 and 0x37A whatever its real base, with raw register semantics."""

import ctypes
import math
import os
import sys
import weakref

from . import _native
from .exceptions import PortError

DATA, STATUS, CONTROL = 0x378, 0x379, 0x37A


def byte(value, name):
    """value as a register byte; ValueError (TypeError for a non-integer) otherwise."""
    if value.__class__ is not int:
        if isinstance(value, bool) or not hasattr(value, "__index__"):
            raise TypeError("%s must be an integer 0..255, not %r" % (name, value))
        value = value.__index__()
    if not 0 <= value <= 255:
        raise ValueError("%s %d is not a byte: give 0..255 (0x00..0xFF)" % (name, value))
    return value


def _address(addr, allowed):
    if addr.__class__ is not int or addr not in allowed:
        raise ValueError("address %r is not one of %s" %
                         (addr, ", ".join("0x%X" % a for a in allowed)))
    return addr


def _encode(spec):
    # The library reads port texts as the programs read PARPORT: the ANSI
    # code page on Windows, the file system's bytes elsewhere.
    return spec.encode("mbcs") if sys.platform == "win32" else os.fsencode(spec)


class Port:
    """One open parallel port, opened from a text in PARPORT's grammar ("sim",
    "sim:FILE", "/dev/parport0", "direct:0x278", "LPT2", "dll@0xD010").

    spec None takes PARPORT's value, and with PARPORT unset the port the
    system lists at 0x378 (else its first one); where the system lists no
    port, a PortError says so: a script is never put on the simulated port
    unless it names it. A context manager: ``with Port("sim") as port:``.
    """

    def __init__(self, spec=None):
        if spec is None:
            spec = os.environ.get("PARPORT") or None
        elif not isinstance(spec, str):
            raise TypeError("a port is named by a text such as 'sim' or '/dev/parport0', not %r"
                            % (spec,))
        elif not spec.strip():
            raise ValueError("an empty text names no port: give one such as 'sim' or "
                             "'/dev/parport0', or None for PARPORT's port")
        lib = _native.library()
        handle = ctypes.c_void_p()
        status = lib.lptport_open(None if spec is None else _encode(spec),
                                  _native.OPEN_REAL_ONLY if spec is None else 0,
                                  ctypes.byref(handle))
        if status:
            error = _native.failure(status)
            if status == _native.E_NO_PORT:
                error = PortError(
                    error.what, error.cause,
                    "connect a port or name yours (lptport ports lists what the system has); "
                    "to run the script on the simulated port on purpose, set PARPORT=sim "
                    "(PARPORT=sim python3 experiment.py) or open the port 'sim'",
                    _native.PAGE, status)
            raise error
        self._handle = handle
        self._write, self._read, self._pulse = lib.lptport_write, lib.lptport_read, lib.lptport_pulse
        self._lib = lib
        self._close = weakref.finalize(self, lib.lptport_close, handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Waits for a pending pulse's restore, then closes the port. Closing twice is harmless."""
        self._close()
        self._handle = None

    def _fail(self, status):
        if self._handle is None:
            raise PortError("cannot use the port", "it is closed", "open it again", _native.PAGE)
        raise _native.failure(status)

    @property
    def description(self):
        """The port's line as the programs print it: "/dev/parport0 (base 0x378)"."""
        if self._handle is None:
            self._fail(_native.E_ARGUMENT)
        return self._lib.lptport_description(self._handle).decode("utf-8", "replace")

    @property
    def simulated(self):
        """True on the simulated port, False on a real one."""
        if self._handle is None:
            self._fail(_native.E_ARGUMENT)
        return bool(self._lib.lptport_is_simulated(self._handle))

    def write(self, addr, value):
        """Puts value (0..255) into the register at addr (0x378, 0x379 or 0x37A).
        A pending pulse's restore on that register is cancelled."""
        if value.__class__ is not int or not 0 <= value <= 255:
            value = byte(value, "value")
        if addr.__class__ is not int or not DATA <= addr <= CONTROL:
            _address(addr, (DATA, STATUS, CONTROL))
        status = self._write(self._handle, addr, value)
        if status:
            self._fail(status)

    def read(self, addr):
        """The byte in the register at addr (0x378, 0x379 or 0x37A)."""
        _address(addr, (DATA, STATUS, CONTROL))
        value = ctypes.c_uint()
        status = self._read(self._handle, addr, ctypes.byref(value))
        if status:
            self._fail(status)
        return value.value

    def pulse(self, value, width, restore=None, addr=DATA, wait=False):
        """Writes value to the data (0x378) or control (0x37A) register now, and
        restore (None: what the register held before) width seconds (1 ns to
        an hour) later, on the monotonic clock. Returns at once, and the port's own thread writes
        the restore at its time; wait=True returns only once it is written.

        A later write or pulse on the same register cancels a pending restore,
        so a later code is never overwritten by an earlier pulse; a later pulse
        with restore None returns to what the cancelled one would have (the
        value before the first pulse), so a train of codes ends at its base.
        A restore the port refuses on its thread is raised by the port's next
        call (by this one with wait=True).
        """
        value = byte(value, "value")
        restore = _native.RESTORE_PREVIOUS if restore is None else byte(restore, "restore")
        _address(addr, (DATA, CONTROL))
        if isinstance(width, bool) or not isinstance(width, (int, float)) or \
                not math.isfinite(width) or not 1 <= round(width * 1e9) <= 3600 * 10**9:
            raise ValueError("pulse width %r: give seconds, from 1e-9 to 3600 (0.005 is 5 ms)"
                             % (width,))
        status = self._pulse(self._handle, addr, value, round(width * 1e9), restore,
                             _native.PULSE_WAIT if wait else 0)
        if status:
            self._fail(status)

    @property
    def last_restore_lateness(self):
        """How late, in seconds, the last pulse's restore was written after its
        planned time; None when no restore has been written yet."""
        lateness = ctypes.c_int64()
        if self._lib.lptport_last_restore_lateness(self._handle, ctypes.byref(lateness)):
            if self._handle is None:
                self._fail(_native.E_ARGUMENT)
            return None
        return lateness.value / 1e9
