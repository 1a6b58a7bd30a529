# SPDX-License-Identifier: MIT
# The Python package on the simulated port, checked through the port file with
# the built lptport (LPTPORT_PROGRAM): what reached the port, in order.
import json
import os
import subprocess
import sys
import time

import pytest

import lptport
from lptport import ParallelPort, Port, PortError

INPUTS = {15: "S3", 13: "S4", 12: "S5", 10: "S6", 11: "S7"}  # pin: the status bit's name


def run(port_file, *args):
    env = dict(os.environ, PARPORT="sim:%s" % port_file)
    return subprocess.run([os.environ["LPTPORT_PROGRAM"], *args], env=env, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True).stdout


def writes(port_file):
    return run(port_file, "sim", "writes").splitlines()


def python(code, **env):
    return subprocess.run([sys.executable, "-c", code], env=dict(os.environ, **env), text=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


@pytest.fixture
def sim(tmp_path, monkeypatch):
    monkeypatch.setenv("PARPORT", "sim:%s" % (tmp_path / "port"))
    return tmp_path / "port"


@pytest.mark.parametrize("level", [0, 1])
@pytest.mark.parametrize("pin", [2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15])
def test_every_pin_at_both_levels(sim, pin, level):
    # The pin at level, every other pin of its kind at the other: a pin read
    # from the wrong bit, or BUSY's inversion left in, reads wrong.
    group = range(2, 10) if pin < 10 else sorted(INPUTS)
    with ParallelPort(0x378) as p:
        if pin < 10:
            p.setData(0 if level else 255)
            p.setPin(pin, level)
            assert writes(sim)[-1] == "data %d" % (p.readData())
            assert p.readData() == sum(1 << (q - 2) for q in group if (q == pin) == bool(level))
        else:
            run(sim, "sim", "pins", *("%s=%d" % (INPUTS[q], level if q == pin else 1 - level)
                                      for q in group))
        assert {q: p.readPin(q) for q in group} == {q: (q == pin) == bool(level) for q in group}


@pytest.mark.parametrize("call", [
    "p.setData(256)", "p.setData(1.0)", "p.setPin(10, 1)", "p.readPin(14)", "p.port.write(0x37B, 0)",
    "p.port.pulse(256, 0.001)", "p.port.pulse(1, 0)", "p.port.pulse(1, float('nan'))",
    "p.port.pulse(1, 0.001, restore=300)", "p.port.pulse(1, 0.001, addr=0x379)",
    "ParallelPort(address=0x10000)", "ParallelPort(address='foo')", "ParallelPort(address=True)",
    "Port('nonsense')", "Port('')"])
def test_bad_arguments_are_refused_before_any_access(sim, call):
    with ParallelPort() as p:
        p.setData(7)
        count = run(sim, "sim", "writes", "--count")
        with pytest.raises((ValueError, TypeError)):
            exec(call, {"p": p, "ParallelPort": ParallelPort, "Port": Port})
        assert run(sim, "sim", "writes", "--count") == count and p.readData() == 7


def test_failures_are_port_errors_with_cause_and_fix():
    with pytest.raises(PortError) as e:
        Port("/dev/parport9")
    assert "parport9" in e.value.what + e.value.cause and e.value.fix
    missing = python("import lptport; lptport.Port('sim')", LPTPORT_LIBRARY="/nowhere/liblptport.so.0")
    assert "lptport.exceptions.PortError: cannot load liblptport from LPTPORT_LIBRARY=/nowhere" \
        in missing.stderr and "Fix: set LPTPORT_LIBRARY" in missing.stderr


def test_no_real_port_is_an_error_not_the_simulated_port(monkeypatch):
    monkeypatch.delenv("PARPORT", raising=False)
    if len(lptport.ports()):
        pytest.skip("this machine has a parallel port, so a script without PARPORT opens it")
    try:
        Port("direct:0x378").close()
        bases = ()  # direct I/O works here: a base not listed is a port to it
    except PortError:
        bases = (0x378,)
    for address in (None, *bases):
        for open_it in (ParallelPort, Port) if address is None else (ParallelPort,):
            with pytest.raises(PortError) as e:
                open_it(address)
            assert "PARPORT=sim" in e.value.fix and e.value.status in (-3, -4)


WIDTH = 0.2
PULSES = {  # steps after data 3, and the data writes they make, in order
    "restored to what it was": (["pulse(5)"], [3, 5, 3]),
    "a later write is kept": (["pulse(5)", "write(0x378, 7)"], [3, 5, 7]),
    "a train returns to its base": (["pulse(5)", "pulse(6)"], [3, 5, 6, 3]),
    "a later pulse's own restore": (["pulse(5)", "pulse(6, restore=9)"], [3, 5, 6, 9]),
}


@pytest.mark.parametrize("steps,expected", PULSES.values(), ids=PULSES.keys())
def test_pulses_return_at_once_and_restore_on_time(sim, steps, expected):
    with Port() as port:
        port.write(0x378, 3)
        start = time.monotonic()
        for step in steps:
            eval("port." + step.replace("pulse(", "pulse(width=%r, value=" % WIDTH), {"port": port})
        value, elapsed = port.read(0x378), time.monotonic() - start
        assert value == expected[len(steps)] or elapsed >= WIDTH  # returned before its restore
        if len(expected) == len(steps) + 2:  # the last write is a restore: not before its time
            deadline = time.monotonic() + 10
            while port.read(0x378) != expected[-1] and time.monotonic() < deadline:
                pass
            assert time.monotonic() - start >= WIDTH
        port.pulse(1, WIDTH, addr=0x37A, wait=True)  # ends after every data restore was due
        assert writes(sim) == ["data %d" % v for v in expected] + ["control 1", "control 0"]
        assert port.last_restore_lateness >= 0


def test_parport_overrides_the_scripts_address_once(tmp_path):
    script = "from lptport import ParallelPort\nfor a in (0x378, 53264):\n  ParallelPort(a).setData(5)"
    out = python(script, PARPORT="sim:%s" % (tmp_path / "port"))
    line = "lptport: PARPORT=sim:%s overrides the script's address 0x378: " % (tmp_path / "port")
    assert out.returncode == 0 and out.stderr.startswith(line) and out.stderr.count("\n") == 1
    assert str(tmp_path / "port") in out.stderr[len(line):]
    assert writes(tmp_path / "port") == ["data 5", "data 5"]


def test_ports_are_the_listing_lptport_ports_gives(tmp_path):
    doc = json.loads(run(tmp_path / "port", "ports", "--json"))
    listing = lptport.ports()
    assert [(p.parport, p.spp_base) for p in listing] == \
        [(p["parport"], p["spp_base"] and int(p["spp_base"], 16)) for p in doc["ports"]]
    assert (listing.problem, listing.unset_parport) == (doc["problem"], doc["unset"]["parport"])


def test_addresses_name_the_port_at_their_base():
    listing = [lptport.PortInfo("parport0", "/dev/parport0", None, ((0x278, 0x27A),), 0x278, "", None,
                                "/dev/parport0"),
               lptport.PortInfo("parport1", None, None, ((0xD010, 0xD012),), 0xD010, "", None,
                                "parport1")]
    spec = lptport.parallel.spec_for
    assert [spec(a, "linux", listing) for a in (0x278, "0x278", 53264, "0XD010", 0x378, " sim:x ")] \
        == ["/dev/parport0"] * 2 + ["/dev/parport1"] * 2 + ["direct:0x378", "sim:x"]
    assert [spec(a, "win32", []) for a in (53264, "LPT2", "dll@0xD010")] == \
        ["dll@0xD010", "LPT2", "dll@0xD010"]
