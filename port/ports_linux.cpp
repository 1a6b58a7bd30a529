// SPDX-License-Identifier: MIT
// The parallel ports the Linux kernel knows, and the one PARPORT unset drives.
// Their names come from /proc/sys/dev/parport (and the parport bus in sysfs),
// each port's bases and modes from its folder there; its node is
// /dev/parportN, which ppdev makes. Whether this user may open the node is
// asked with access(2): nothing is opened, so no port is claimed and no
// register changes.
#include "port/numbers.h"
#include "port/ports.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace lpt {

namespace {

namespace fs = std::filesystem;

// The port numbers N of the entries named parportN in folder.
void addPortNumbers(const fs::path& folder, std::set<int>& numbers) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("parport") ||
            name.find_first_not_of("0123456789", 7) != std::string::npos)
            continue;
        if (const auto n = parseNumber(std::string_view(name).substr(7)); n && *n < 1000)
            numbers.insert(static_cast<int>(*n));
    }
}

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace

namespace detail {

std::vector<IoRange> baseAddrRanges(std::string_view text) {
    std::vector<IoRange> ranges;
    for (std::size_t field = 0; field < 2; ++field) {
        const auto start = text.find_first_not_of(" \t\n");
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        const auto end = std::min(text.find_first_of(" \t\n"), text.size());
        const auto base = parseNumber(text.substr(0, end));
        text.remove_prefix(end);
        // The extended base is 0 when the port has none.
        if (!base || *base < 1 || *base > 0xFFFF)
            break;
        ranges.push_back({static_cast<unsigned>(*base), static_cast<unsigned>(*base + 2)});
    }
    return ranges;
}

std::string accessProblem(const std::string& node, int err) {
    switch (err) {
    case 0:
        return "";
    case ENOENT:
        return "no node " + node + ": ppdev is not loaded (sudo modprobe ppdev)";
    case EACCES:
    case EPERM:
        return "this user may not open " + node +
               ": join group lp (sudo adduser $USER lp, then log in again)";
    default:
        return "cannot open " + node + ": " + describeErrno(err);
    }
}

PortListing listSystemPorts(const std::string& root) {
    const fs::path top(root);
    const fs::path proc = top / "proc/sys/dev/parport";
    std::set<int> numbers;
    addPortNumbers(proc, numbers);
    addPortNumbers(top / "sys/bus/parport/devices", numbers);
    addPortNumbers(top / "sys/class/parport", numbers);

    PortListing listing;
    for (int n : numbers) {
        SystemPort port;
        port.name = "parport" + std::to_string(n);
        port.node = "/dev/" + port.name;
        port.ranges = baseAddrRanges(readLine(proc / port.name / "base-addr"));
        if (!port.ranges.empty())
            port.sppBase = static_cast<int>(port.ranges.front().start);
        port.modes = readLine(proc / port.name / "modes");
        const std::string node = (top / ("dev/" + port.name)).string();
        const int err = ::access(node.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
        port.nodeMissing = err == ENOENT;
        port.access = accessProblem(port.node, err);
        listing.ports.push_back(std::move(port));
    }
    if (listing.ports.empty())
        listing.problem = "no parallel port: the kernel lists none. Load the PC port driver: sudo "
                          "modprobe parport_pc (a card with serial ports too: sudo modprobe "
                          "parport_serial); a card the kernel has no driver for, or a port turned "
                          "off in the firmware setup, is not listed";
    return listing;
}

} // namespace detail

PortListing listSystemPorts() {
    return detail::listSystemPorts("/");
}

PortSpec linuxUnsetSpec(const PortListing& listing, bool parport0Exists) {
    using enum UnsetChoice::Reason;
    constexpr int kPanelBase = kDataPort;
    std::vector<SystemPort> withNode;
    for (const SystemPort& p : listing.ports)
        if (!p.nodeMissing)
            withNode.push_back(p);
    const SystemPort* atPanelBase = nullptr;
    for (const SystemPort& p : listing.ports)
        if (p.sppBase == kPanelBase && !atPanelBase)
            atPanelBase = &p;

    PortSpec spec;
    UnsetChoice& choice = spec.unset.emplace();
    if (const SystemPort* p = defaultPort(withNode)) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = p->node;
        if (p->sppBase == kPanelBase) {
            choice.reason = PanelBase;
        } else if (atPanelBase) {
            choice.reason = PanelBaseNodeless;
            choice.port = atPanelBase->node;
        } else {
            choice.reason = FirstPort;
        }
    } else if (parport0Exists) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = "/dev/parport0";
        choice.reason = OnlyParport0;
    } else if (const SystemPort* first = defaultPort(listing.ports)) {
        choice.reason = MissingNode;
        choice.port = first->node;
    } else {
        choice.reason = NoPort;
    }
    return spec;
}

PortSpec unsetSpec() {
    // The kernel numbers the ports in the firmware's order, so with two the
    // one at 0x378 may well be parport1.
    struct stat st {};
    PortSpec spec = linuxUnsetSpec(listSystemPorts(), ::stat("/dev/parport0", &st) == 0);
    if (spec.kind == PortSpec::Kind::Simulated)
        spec.path = defaultSimPath();
    return spec;
}

} // namespace lpt
