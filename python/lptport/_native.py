# SPDX-License-Identifier: MIT
"""Finds and loads liblptport, the C library under the package, once, at the
first use of a port (so that a missing library is a PortError a script can
catch where it opens its port, not an import error)."""

import ctypes
import os
import struct
import sys
import threading

from .exceptions import PortError, PortFormError

PAGE = "docs/scripting.md"

OK, E_ARGUMENT, E_FORM, E_NO_PORT, E_PORT, E_RESOURCE = 0, -1, -2, -3, -4, -5
OPEN_REAL_ONLY = 1
PULSE_WAIT = 1
RESTORE_PREVIOUS = -1

if sys.platform == "win32":
    NAMES = ("liblptport.dll", "lptport.dll")
elif sys.platform == "darwin":
    NAMES = ("liblptport.0.dylib", "liblptport.dylib")
else:
    NAMES = ("liblptport.so.0", "liblptport.so")

_p, _u, _i, _s = ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_char_p
# Every function the package calls: (result, argument types). A library that
# lacks one is refused as a whole, naming it, before any port is opened.
PROTOTYPES = {
    "lptport_status_name": (_s, [_i]),
    "lptport_last_error": (_s, [_i]),
    "lptport_version": (_s, []),
    "lptport_ports_json": (_p, []),
    "lptport_free": (None, [_p]),
    "lptport_open": (_i, [_s, _u, ctypes.POINTER(_p)]),
    "lptport_close": (None, [_p]),
    "lptport_description": (_s, [_p]),
    "lptport_is_simulated": (_i, [_p]),
    "lptport_write": (_i, [_p, _u, _u]),
    "lptport_read": (_i, [_p, _u, ctypes.POINTER(_u)]),
    "lptport_pulse": (_i, [_p, _u, _u, ctypes.c_uint64, _i, _u]),
    "lptport_last_restore_lateness": (_i, [_p, ctypes.POINTER(ctypes.c_int64)]),
}

_lock = threading.Lock()
_library = None


def _load_file(path, how):
    try:
        return ctypes.CDLL(path)
    except OSError as e:
        cause = str(e)
        if struct.calcsize("P") == 4:
            cause += "; this Python is 32-bit and the library is built for 64-bit Pythons"
        raise PortError("cannot load liblptport " + how, cause,
                        "set LPTPORT_LIBRARY to liblptport's file, or unset it to use the "
                        "one beside the package or installed with lptpanel", PAGE) from None


def _find():
    """The library: LPTPORT_LIBRARY's file, else the one beside the package
    (the Windows zip keeps the package folder beside the DLL), else the
    system's by its versioned name."""
    explicit = os.environ.get("LPTPORT_LIBRARY")
    if explicit:
        return _load_file(explicit, "from LPTPORT_LIBRARY=" + explicit), explicit
    package = os.path.dirname(os.path.abspath(__file__))
    places = (package, os.path.dirname(package))
    for folder in places:
        for name in NAMES:
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                return _load_file(path, "beside the package (" + path + ")"), path
    try:
        return ctypes.CDLL(NAMES[0]), NAMES[0]
    except OSError:
        pass
    fix = ("keep the lptport folder beside lptport.dll, as the zip has it, or set LPTPORT_LIBRARY "
           "to the DLL's file" if sys.platform == "win32" else
           "install lptpanel's package (it holds the library), or set LPTPORT_LIBRARY to "
           "liblptport's file (build/lib/liblptport.so.0 in a build tree)")
    raise PortError("cannot load liblptport, the port library under this package",
                    "LPTPORT_LIBRARY is unset, no " + " or ".join(NAMES) + " lies in " +
                    " or ".join(places) + ", and the system has no " + NAMES[0], fix, PAGE)


def library():
    """The loaded library, its functions declared; PortError when it cannot be loaded."""
    global _library
    if _library is None:
        with _lock:
            if _library is None:
                lib, path = _find()
                for name, (result, arguments) in PROTOTYPES.items():
                    try:
                        function = getattr(lib, name)
                    except AttributeError:
                        raise PortError("cannot use liblptport at " + path,
                                        "it has no function " + name +
                                        ": it is older than this package",
                                        "install the library and the package of one lptpanel "
                                        "release", PAGE) from None
                    function.restype, function.argtypes = result, arguments
                _library = lib
    return _library


def _text(value):
    return value.decode("utf-8", "replace") if value else ""


def failure(status):
    """The exception for a failed call's status, from the failure the library
    kept for this thread: a ValueError for bad arguments and port texts of no
    known form (nothing reached a port), else a PortError."""
    lib = library()
    what, cause, fix, page = (_text(lib.lptport_last_error(part)) for part in (1, 2, 3, 4))
    if status == E_ARGUMENT:
        return ValueError(_text(lib.lptport_last_error(0)) or _text(lib.lptport_status_name(status)))
    if status == E_FORM:
        return PortFormError(what, cause, fix, page, status)
    return PortError(what or _text(lib.lptport_status_name(status)), cause, fix, page, status)
