// SPDX-License-Identifier: MIT
// The system's port listing as choices and text: which port PARPORT unset
// drives, the PARPORT value for each port, and the lines of lptport ports.
#include "port/ports.h"
#include "port/numbers.h"

namespace lpt {

namespace {

constexpr unsigned kPanelBase = kDataPort;

} // namespace

std::string parportValue(const SystemPort& p) {
    return p.node.empty() ? p.name : p.node;
}

const SystemPort* defaultPort(const std::vector<SystemPort>& ports) {
    for (const SystemPort& p : ports)
        if (p.sppBase == static_cast<int>(kPanelBase))
            return &p;
    return ports.empty() ? nullptr : &ports.front();
}

std::string parportValue(const PortSpec& spec) {
    switch (spec.kind) {
    case PortSpec::Kind::Simulated:
        return spec.path.empty() || spec.path == defaultSimPath() ? "sim" : "sim:" + spec.path;
    case PortSpec::Kind::Ppdev:
        return spec.path;
    case PortSpec::Kind::Direct:
        return spec.base == static_cast<int>(kPanelBase)
                   ? "direct"
                   : "direct:" + hexAddress(static_cast<unsigned>(spec.base));
    case PortSpec::Kind::Dll: {
        std::string value = spec.path.empty() ? "dll" : "dll:" + spec.path;
        if (spec.base != static_cast<int>(kPanelBase))
            value.append("@").append(hexAddress(static_cast<unsigned>(spec.base)));
        return value;
    }
    }
    return "";
}

std::string describeDll(const DefaultDll& dll) {
    switch (dll.place) {
    case DefaultDll::Place::BesideProgram:
        return dll.name + " beside " + dll.program;
    case DefaultDll::Place::BesideLibrary:
        return dll.name + " beside " + dll.library;
    case DefaultDll::Place::SystemFolder:
        return dll.name + " in the system folder";
    case DefaultDll::Place::Missing:
        break;
    }
    return "no " + dll.name + " beside " + dll.program +
           (dll.library.empty() ? "" : ", beside " + dll.library) + " or in the system folder";
}

std::string describeUnset(const UnsetChoice& choice) {
    using enum UnsetChoice::Reason;
    const std::string panelBase = hexAddress(kPanelBase);
    switch (choice.reason) {
    case PanelBase:
        return "the port at " + panelBase;
    case PanelBaseNodeless:
        return "the port at " + panelBase + " has no node " + choice.port +
               ", the first port with one";
    case FirstPort:
        return "no port at " + panelBase + ", the first port";
    case OnlyParport0:
        return "no port listed, but /dev/parport0 present";
    case MissingNode:
        return "no node " + choice.port + ", which sudo modprobe ppdev makes";
    case NoPort:
        return "no parallel port";
    case ListedPort:
        return describeDll(choice.dll) + ", " + choice.port + " at " +
               hexAddress(static_cast<unsigned>(choice.base)) + " (device list)";
    case ListedPortNoBase:
        return describeDll(choice.dll) + ", " + choice.port +
               " has no known base (device list): " + panelBase;
    case NoListedPort:
        return describeDll(choice.dll) + ", no LPT port in the device list: " + panelBase;
    case NoDll:
        return describeDll(choice.dll);
    case NoDriver:
        break;
    }
    return "no real port driver on this system";
}

std::string unsetReason(const PortSpec& unset) {
    return unset.unset ? describeUnset(*unset.unset) : "";
}

std::string portLine(const PortSpec& spec, const std::string& description) {
    return spec.unset
               ? "PARPORT unset, " + describeUnset(*spec.unset) + ": using the " + description
               : description;
}

// One port a line, its fields two blanks apart in a fixed order and those it
// lacks left out:
//   NAME  [NODE]  ["DESCRIPTION"]  base 0xSPP  I/O 0xA-0xB[, ...]  [modes M]  PARPORT=V
// then "  NAME: why this user cannot open it, and the fix" where that applies;
// with no port, the listing's problem; last "PARPORT unset: V (why)".
std::vector<std::string> describePorts(const PortListing& listing, const PortSpec& unset) {
    std::vector<std::string> lines;
    for (const SystemPort& p : listing.ports) {
        std::string line = p.name;
        if (!p.node.empty())
            line += "  " + p.node;
        if (!p.description.empty())
            line += "  \"" + p.description + "\"";
        line +=
            "  base " + (p.sppBase < 0 ? "unknown" : hexAddress(static_cast<unsigned>(p.sppBase)));
        line += "  I/O ";
        if (p.ranges.empty())
            line += "none listed";
        for (std::size_t i = 0; i < p.ranges.size(); ++i)
            line +=
                (i ? ", " : "") + hexAddress(p.ranges[i].start) + "-" + hexAddress(p.ranges[i].end);
        if (!p.modes.empty())
            line += "  modes " + p.modes;
        line += "  PARPORT=" + parportValue(p);
        lines.push_back(line);
        if (!p.access.empty())
            lines.push_back("  " + p.name + ": " + p.access);
    }
    if (!listing.problem.empty())
        lines.push_back(listing.problem);
    const std::string why = unsetReason(unset);
    lines.push_back("PARPORT unset: " + parportValue(unset) +
                    (why.empty() ? "" : " (" + why + ")"));
    return lines;
}

#if !defined(__linux__) && !defined(_WIN32)
PortListing listSystemPorts() {
    return {{}, "this system has no parallel port listing (only Linux and Windows have one)", true};
}

PortSpec unsetSpec() {
    PortSpec spec;
    spec.path = defaultSimPath();
    spec.unset = UnsetChoice{};
    return spec;
}
#endif

} // namespace lpt
