// SPDX-License-Identifier: MIT
// The parallel ports this machine's system lists, and how to reach each one.
// Listing them is one file per system (ports_linux.cpp, ports_windows.cpp);
// turning a listing into choices and text is plain code, tested on recorded
// listings.
#pragma once

#include <string>
#include <vector>

namespace lpt {

/// One I/O range of a port, both ends included.
struct IoRange {
    unsigned start = 0;
    unsigned end = 0;
};

/// One port as the system lists it.
struct SystemPort {
    std::string name;            // "parport0" (Linux), "LPT1" (Windows)
    std::string node;            // Linux: "/dev/parport0"; empty on Windows
    std::string description;     // Windows: the device's friendly name; empty on Linux
    std::vector<IoRange> ranges; // every I/O range, in the order the system gives them
    int sppBase = -1;            // base of the data, status and control registers; -1 unknown
    std::string modes;           // Linux: the kernel's modes ("PCSPP,TRISTATE,EPP"); may be empty
    std::string access;          // empty when this user can open the port, else why not and the fix
};

/// What the system lists: the ports, and when the listing itself failed or
/// found nothing, what is likely missing and how to add it.
struct PortListing {
    std::vector<SystemPort> ports;
    std::string problem;
};

/// The ports of this machine, read from the system (no port is claimed).
PortListing listSystemPorts();

/// The PARPORT value that reaches p: "/dev/parport1" on Linux, "LPT2" on Windows.
std::string parportValue(const SystemPort& p);

/// The port PARPORT unset drives: the one at 0x378 when the system lists it
/// (the address the panel is made for), else the first one listed; nullptr
/// when none is listed.
const SystemPort* defaultPort(const std::vector<SystemPort>& ports);

} // namespace lpt
