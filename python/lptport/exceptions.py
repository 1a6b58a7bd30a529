# SPDX-License-Identifier: MIT
"""The exceptions of the package: every failure of a port is a PortError."""


class PortError(Exception):
    """A port that cannot be opened or used, or a library that cannot be loaded.

    ``what`` failed, its ``cause``, the ``fix`` and the manual's ``page`` that
    explains it ("" when none does); ``status`` is the C library's status code
    (0 when the failure was found before the library was asked).
    """

    def __init__(self, what, cause="", fix="", page="", status=0):
        self.what, self.cause, self.fix, self.page, self.status = what, cause, fix, page, status
        message = what + (": " + cause if cause else "")
        if fix:
            message += ". Fix: " + fix
        if page:
            message += " (see " + page + ")"
        super().__init__(message)


class PortFormError(PortError, ValueError):
    """A port named in a form that names no port ("LPT1" on Linux, "sim:",
    "COM1"): a bad argument, so also a ValueError. Nothing was opened."""
