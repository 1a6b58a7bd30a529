// SPDX-License-Identifier: MIT
// lptport ports: the system's listing and the unset choice, as text.
#include "lptport/ports_command.h"

#include "port/driver.h"
#include "port/ports.h"

#include <cstdio>

namespace lpt {

int portsCommand() {
    const PortListing listing = listSystemPorts();
    if (listing.failed) {
        std::fprintf(stderr, "lptport: ports: %s\n", listing.problem.c_str());
        return 1;
    }
    PortSpec unset;
    try {
        unset = parsePortSpec(nullptr);
    } catch (const PortError& e) {
        fail(e.failure());
    }
    for (const std::string& line : describePorts(listing, unset))
        std::printf("%s\n", line.c_str());
    // Windows: the DLL every real port goes through, and whether its driver runs.
    if (const std::string dll = portIoDllState(unset); !dll.empty())
        std::printf("%s\n", dll.c_str());
    return 0;
}

} // namespace lpt
