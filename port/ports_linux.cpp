// SPDX-License-Identifier: MIT
// The parallel ports the Linux kernel knows. Their names come from
// /proc/sys/dev/parport (and the parport bus in sysfs), each port's bases and
// modes from its folder there; its node is /dev/parportN, which ppdev makes.
// Whether this user may open the node is asked with access(2): nothing is
// opened, so no port is claimed and no register changes.
#include "port/ports.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace lpt {

namespace {

namespace fs = std::filesystem;

// The port numbers N of the entries named parportN in folder.
void addPortNumbers(const fs::path& folder, std::set<int>& numbers) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= 7 || !name.starts_with("parport") ||
            name.find_first_not_of("0123456789", 7) != std::string::npos || name.size() > 10)
            continue;
        numbers.insert(std::atoi(name.c_str() + 7));
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

// base-addr holds the base in decimal, then the extended (ECP) base, 0 for
// none. Each range is the three registers at its base, as the driver
// reserves them.
void readBases(const fs::path& file, SystemPort& port) {
    const std::string text = readLine(file);
    char* end = nullptr;
    const long base = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || base <= 0 || base > 0xFFFF)
        return;
    port.sppBase = static_cast<int>(base);
    port.ranges.push_back({static_cast<unsigned>(base), static_cast<unsigned>(base + 2)});
    const char* rest = end;
    const long extended = std::strtol(rest, &end, 10);
    if (end != rest && extended > 0 && extended <= 0xFFFF)
        port.ranges.push_back(
            {static_cast<unsigned>(extended), static_cast<unsigned>(extended + 2)});
}

} // namespace

namespace detail {

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
        readBases(proc / port.name / "base-addr", port);
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

} // namespace lpt
