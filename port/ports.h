// SPDX-License-Identifier: MIT
// The parallel ports this machine's system lists, and how to reach each one.
// Listing them is one file per system (ports_linux.cpp, ports_windows.cpp);
// turning a listing into choices and text is plain code, tested on recorded
// listings.
#pragma once

#include "port/driver.h"

#include <string>
#include <string_view>
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
    bool nodeMissing = false;    // Linux: the kernel knows the port but /dev has no node for it
};

/// What the system lists: the ports, and when the listing itself failed or
/// found nothing, what is likely missing and how to add it.
struct PortListing {
    std::vector<SystemPort> ports;
    std::string problem;
    bool failed = false; // the system could not be asked (not: it knows no port)
};

/// The ports of this machine, read from the system (no port is claimed).
PortListing listSystemPorts();

/// The PARPORT value that reaches p: "/dev/parport1" on Linux, "LPT2" on Windows.
std::string parportValue(const SystemPort& p);

/// The port PARPORT unset drives: the one at 0x378 when the system lists it
/// (the address the panel is made for), else the first one listed; nullptr
/// when none is listed.
const SystemPort* defaultPort(const std::vector<SystemPort>& ports);

/// What PARPORT unset opens on this system, and why: each system's ports
/// file asks the system (the listing, the nodes, the DLL's place) and decides;
/// without a real port, the simulated port at its default path.
PortSpec unsetSpec();

#ifdef __linux__
/// What PARPORT unset means on Linux: the node of defaultPort() among the
/// ports that have one, else /dev/parport0 when it exists, else the simulated
/// port (returned with an empty path); spec.unset says which and why.
PortSpec linuxUnsetSpec(const PortListing& listing, bool parport0Exists);
#endif

/// The base of the data, status and control registers among a port's I/O
/// ranges, given in the system's order: the first range's start; -1 when
/// there is none, or it is too short to hold the three registers.
int sppBaseOf(const std::vector<IoRange>& ranges);
/// Whether value names a Windows port: LPT and a number, in any case.
bool isLptName(std::string_view value);
/// PARPORT=LPTn: the default port-I/O DLL at the SPP base of the port of that
/// name in listing. Throws PortError for a name that is not listed (naming
/// those that are) and for a port whose base is not known.
PortSpec lptSpec(std::string_view value, const PortListing& listing);
/// What PARPORT unset means on Windows once the default DLL is found (dll
/// says where): the DLL at the SPP base of defaultPort(), else at 0x378.
PortSpec windowsUnsetSpec(const PortListing& listing, const DefaultDll& dll);

/// The PARPORT value that names what spec opens: "/dev/parport1", "sim", ...
std::string parportValue(const PortSpec& spec);

/// "inpoutx64.dll beside lptport.exe", "inpoutx64.dll in the system folder",
/// "no inpoutx64.dll beside lptport.exe or in the system folder".
std::string describeDll(const DefaultDll& dll);
/// Why PARPORT unset chose what it did, in words: "the port at 0x378".
std::string describeUnset(const UnsetChoice& choice);
/// The same for a spec from parsePortSpec(nullptr); "" for any other spec.
std::string unsetReason(const PortSpec& unset);
/// The port line the programs print after "NAME: port: ": the driver's
/// description, after "PARPORT unset, WHY: using the " when PARPORT was unset.
std::string portLine(const PortSpec& spec, const std::string& description);

/// What lptport ports prints: a line per port, a line for each port this
/// user cannot open, the problem when no port is listed, and last the port
/// PARPORT unset chooses (unset, from parsePortSpec(nullptr)) and why.
std::vector<std::string> describePorts(const PortListing& listing, const PortSpec& unset);

#ifdef __linux__
namespace detail {
/// The Linux listing read from the tree under root ("/" for this machine's).
PortListing listSystemPorts(const std::string& root);
/// Why this user cannot open node, from access(2)'s errno, and the fix.
std::string accessProblem(const std::string& node, int err);
/// A port's I/O ranges from its base-addr file in /proc/sys/dev/parport: the
/// base in decimal, then the extended (ECP) base, 0 for none; each range the
/// three registers at its base. Empty when text holds no valid base.
std::vector<IoRange> baseAddrRanges(std::string_view text);
} // namespace detail
#endif

} // namespace lpt
