// SPDX-License-Identifier: MIT
// lptport ports: every parallel port of this machine and how to reach it.
#pragma once

#include "port/ports.h"

#include <string>

namespace lpt {

/// The JSON document of `lptport ports --json`: the listing (which did not
/// fail), the port PARPORT unset chooses, and (Windows) the state of the
/// port-I/O DLL that --port, PARPORT or else every real port goes through.
/// Shared with liblptport's lptport_ports_json.
std::string portsJson(const PortListing& listing, const PortSpec& unset);

} // namespace lpt
