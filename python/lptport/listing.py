# SPDX-License-Identifier: MIT
"""ports(): the parallel ports the system lists, as `lptport ports --json` gives them."""

import ctypes
import json
from dataclasses import dataclass
from typing import Optional, Tuple

from . import _native


@dataclass(frozen=True)
class PortInfo:
    """One port as the system lists it."""

    name: str  # "parport0" (Linux), "LPT1" (Windows)
    node: Optional[str]  # "/dev/parport0"; None on Windows
    description: Optional[str]  # Windows: the device's name
    ranges: Tuple[Tuple[int, int], ...]  # its I/O ranges, both ends included, as the system gives them
    spp_base: Optional[int]  # the base of its data, status and control registers
    modes: Optional[str]  # Linux: "PCSPP,TRISTATE,EPP"
    access: Optional[str]  # None when this user may open it, else why not and the fix
    parport: str  # the PARPORT value (and Port text) that reaches it


@dataclass(frozen=True)
class Listing:
    """The system's ports; problem says what is likely missing when it lists
    none; unset_parport and unset_why are the port PARPORT unset chooses and
    why; dll (Windows) the port-I/O DLL and whether its driver runs. Iterating
    a listing gives its ports."""

    ports: Tuple[PortInfo, ...]
    problem: Optional[str]
    unset_parport: str
    unset_why: str
    dll: Optional[str]

    def __iter__(self):
        return iter(self.ports)

    def __len__(self):
        return len(self.ports)


def _number(text):
    return None if text is None else int(text, 0)


def ports():
    """The ports this machine's system lists (nothing is opened or claimed)."""
    lib = _native.library()
    text = lib.lptport_ports_json()
    if not text:
        raise _native.failure(_native.E_PORT)
    try:
        doc = json.loads(ctypes.string_at(text).decode("utf-8"))
    finally:
        lib.lptport_free(text)
    return Listing(
        tuple(PortInfo(p["name"], p["node"], p["description"],
                       tuple((_number(r["start"]), _number(r["end"])) for r in p["ranges"]),
                       _number(p["spp_base"]), p["modes"], p["access"], p["parport"])
              for p in doc["ports"]),
        doc["problem"], doc["unset"]["parport"], doc["unset"]["why"], doc.get("dll"))
