// SPDX-License-Identifier: MIT
// lptport ports: every parallel port of this machine and how to reach it.
#pragma once

namespace lpt {

/// Prints the system's ports, one line each, and the port PARPORT unset
/// chooses (see describePorts in port/ports.h), or all that as one JSON
/// document. Opens no port. Returns 0 when the system could be asked, whether
/// or not it knows a port; 1 when not.
int portsCommand(bool json);

} // namespace lpt
