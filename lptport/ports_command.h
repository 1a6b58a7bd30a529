// SPDX-License-Identifier: MIT
// lptport ports: every parallel port of this machine and how to reach it.
#pragma once

#include "port/ports.h"

#include <string>

namespace lpt {

/// Prints the system's ports, one line each, and the port PARPORT unset
/// chooses (see describePorts in port/ports.h), or all that as one JSON
/// document. Opens no port. Returns 0 when the system could be asked, whether
/// or not it knows a port; 1 when not.
int portsCommand(bool json);

/// The JSON document of `lptport ports --json`: the listing (which did not
/// fail), the port PARPORT unset chooses, and (Windows) the port-I/O DLL's
/// state, "" for none. Shared with liblptport's lptport_ports_json.
std::string portsJson(const PortListing& listing, const PortSpec& unset, const std::string& dll);

} // namespace lpt
