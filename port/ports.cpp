// SPDX-License-Identifier: MIT
// The system's port listing as choices and text: which port PARPORT unset
// drives, the PARPORT value for each port, and the lines of lptport ports.
#include "port/numbers.h"
#include "port/ports.h"

#include <cstdio>

namespace lpt {

namespace {

constexpr unsigned kPanelBase = kDataPort;
constexpr const char* kUnset = "PARPORT unset, ";

std::string hex(unsigned value) {
    return hexAddress(value);
}

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

PortSpec linuxUnsetSpec(const PortListing& listing, bool parport0Exists) {
    std::vector<SystemPort> withNode;
    for (const SystemPort& p : listing.ports)
        if (!p.nodeMissing)
            withNode.push_back(p);
    const SystemPort* atPanelBase = nullptr;
    for (const SystemPort& p : listing.ports)
        if (p.sppBase == static_cast<int>(kPanelBase) && !atPanelBase)
            atPanelBase = &p;

    PortSpec spec;
    if (const SystemPort* p = defaultPort(withNode)) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = p->node;
        if (p->sppBase == static_cast<int>(kPanelBase))
            spec.why = std::string(kUnset) + "the port at " + hex(kPanelBase);
        else if (atPanelBase)
            spec.why = std::string(kUnset) + "the port at " + hex(kPanelBase) + " has no node " +
                       atPanelBase->node + ", the first port with one";
        else
            spec.why = std::string(kUnset) + "no port at " + hex(kPanelBase) + ", the first port";
    } else if (parport0Exists) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = "/dev/parport0";
        spec.why = std::string(kUnset) + "no port listed, but /dev/parport0 present";
    } else if (const SystemPort* p = defaultPort(listing.ports)) {
        spec.why = std::string(kUnset) + "no node " + p->node + ", which sudo modprobe ppdev makes";
    } else {
        spec.why = std::string(kUnset) + "no parallel port";
    }
    return spec;
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
                   : "direct:" + hex(static_cast<unsigned>(spec.base));
    case PortSpec::Kind::Dll:
        return (spec.path.empty() ? "dll" : "dll:" + spec.path) +
               (spec.base == static_cast<int>(kPanelBase)
                    ? ""
                    : "@" + hex(static_cast<unsigned>(spec.base)));
    }
    return "";
}

std::string unsetReason(const PortSpec& unset) {
    const std::string_view prefix(kUnset);
    return unset.why.starts_with(prefix) ? unset.why.substr(prefix.size()) : unset.why;
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
        line += "  base " + (p.sppBase < 0 ? "unknown" : hex(static_cast<unsigned>(p.sppBase)));
        line += "  I/O ";
        if (p.ranges.empty())
            line += "none listed";
        for (std::size_t i = 0; i < p.ranges.size(); ++i)
            line += (i ? ", " : "") + hex(p.ranges[i].start) + "-" + hex(p.ranges[i].end);
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
#endif

} // namespace lpt
