#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The cost of one trigger (a data write) on the simulated port, side by side
in one run: from Python through ParallelPort.setData, from C through
liblptport, through the port layer's Out32, and as one `lptport out` process
per trigger; beside them the Python floor, a ctypes call of an empty C
function plus the library's own write. Then how late a non-blocking pulse's
restore comes, beside `lptport pulse`'s lateness.

    python3 bench/bench_trigger.py BUILD [WRITES]

BUILD is a build folder with the targets bench_trigger and lptport built;
WRITES triggers a way (200,000 by default; processes: 1 in 500 of that).
"""

import ctypes
import functools
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

ROUNDS = 5  # the Python ways alternate, round by round, so load hits both alike
PULSES = 400  # 1 ms wide, 2.5 ms apart, as `lptport pulse 0x378 1 1ms --every 2.5ms`


def percentiles(ns):
    ns = sorted(ns)
    return ns[len(ns) // 2], ns[len(ns) * 99 // 100]


def timed(trigger, count, into):
    clock = time.perf_counter_ns
    for i in range(count):
        value = i & 255
        start = clock()
        trigger(value)
        into.append(clock() - start)


def lateness_ns(text):
    """lptport pulse's lateness line: its median and 99th percentile in ns."""
    units = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    found = re.search(r"lateness of \d+ writes: median ([\d.]+) (\w+), 99th percentile ([\d.]+) (\w+)",
                      text)
    if not found:
        sys.exit("bench_trigger: no lateness in lptport pulse's report:\n" + text)
    return float(found[1]) * units[found[2]], float(found[3]) * units[found[4]]


def show(ns):
    return "%10.2f us" % (ns / 1e3) if ns < 1e6 else "%10.3f ms" % (ns / 1e6)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    writes = int(sys.argv[2]) if len(sys.argv) == 3 else 200000
    program, floor = (os.path.join(build, "bin", name) for name in ("lptport", "bench_ffi_floor.so"))
    library = glob.glob(os.path.join(build, "lib", "liblptport.so.0"))
    if not library or not os.path.exists(floor):
        sys.exit("bench_trigger: build the targets first: cmake --build %s --target bench_trigger"
                 % build)
    os.environ["LPTPORT_LIBRARY"] = library[0]
    os.environ.pop("PARPORT", None)
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import lptport

    folder = tempfile.mkdtemp(prefix="bench-trigger-")
    spec = "sim:" + os.path.join(folder, "port")
    rows = {}

    port = lptport.ParallelPort(spec)
    nothing = ctypes.CDLL(floor).bench_nothing
    nothing.restype, nothing.argtypes = ctypes.c_int, [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint]
    ffi = functools.partial(nothing, port.port._handle, 0x378)
    python, empty = [], []
    for _ in range(ROUNDS):
        timed(port.setData, writes // ROUNDS, python)
        timed(ffi, writes // ROUNDS, empty)
    rows["Python, ParallelPort.setData"] = percentiles(python)
    rows["floor: ctypes call of an empty C function"] = percentiles(empty)

    c = subprocess.run([os.path.join(build, "bin", "bench_trigger"), str(writes),
                        str(max(100, writes // 500)), program], env=dict(os.environ, PARPORT=spec),
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True)
    names = {"c_library": "C, lptport_write", "out32": "port layer, Out32",
             "process": "one `lptport out` process per trigger"}
    for line in c.stdout.splitlines():
        name, p50, p99 = line.split()
        rows[names[name]] = (int(p50), int(p99))
    rows["floor: ctypes + lptport_write"] = tuple(
        a + b for a, b in zip(rows["floor: ctypes call of an empty C function"], rows["C, lptport_write"]))

    late = []
    port.setData(0)
    for _ in range(PULSES):
        port.pulse(1, 0.001)
        time.sleep(0.0025)  # paces the train; the restore is the port's thread's
        while port.readData():  # a restore held back past the next pulse would be cancelled
            pass
        late.append(port.port.last_restore_lateness * 1e9)
    port.close()
    rows["restore lateness, ParallelPort.pulse"] = percentiles(late)
    pulse = subprocess.run([program, "pulse", "0x378", "1", "1ms", "--every", "2.5ms", "--count",
                            str(PULSES)], env=dict(os.environ, PARPORT=spec),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=True)
    rows["write lateness, lptport pulse"] = lateness_ns(pulse.stderr)

    print("one trigger on the simulated port: %d writes a way (processes: %d)"
          % (writes, max(100, writes // 500)))
    print("%-44s %13s %13s" % ("", "median", "99th pct"))
    for name, (p50, p99) in rows.items():
        print("%-44s %s %s" % (name, show(p50), show(p99)))
    py, fl = rows["Python, ParallelPort.setData"], rows["floor: ctypes + lptport_write"]
    proc = rows["one `lptport out` process per trigger"]
    restore, ref = rows["restore lateness, ParallelPort.pulse"], rows["write lateness, lptport pulse"]
    print("Python write / floor, median: %.2f (goal <= 3)" % (py[0] / fl[0]))
    print("process per trigger / Python write, median: %.0f (goal >= 300)" % (proc[0] / py[0]))
    print("restore lateness / lptport pulse's, 99th percentile: %.2f (goal <= 2)"
          % (restore[1] / ref[1]))


if __name__ == "__main__":
    main()
