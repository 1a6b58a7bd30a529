// SPDX-License-Identifier: MIT
// The factories of the drivers this system has not got: PARPORT may still name
// them, and the answer says which system they are for.
#include "port/driver.h"
#include "port/manual.h"

namespace lpt {

#ifndef __linux__
std::unique_ptr<Driver> openPpdev(const std::string& node) {
    throw PortError({"cannot open " + node, "ppdev is the Linux parallel port driver",
                     "unset PARPORT to use the port-I/O DLL", kPageWindows});
}

std::unique_ptr<Driver> openDirect(int) {
    throw PortError({"cannot use direct port I/O", "it is the Linux driver",
                     "unset PARPORT to use the port-I/O DLL", kPageWindows});
}
#endif

#ifndef _WIN32
std::unique_ptr<Driver> openDll(const std::string&, int) {
    throw PortError({"cannot load a port-I/O DLL", "the DLL driver is for Windows",
                     "on Linux use PARPORT=/dev/parportN (ppdev) or direct", kPageLinux});
}

std::string portIoDllState(const PortSpec&) {
    return "";
}
#endif

} // namespace lpt
