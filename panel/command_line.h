// SPDX-License-Identifier: MIT
// The panel's command line: --port PORT (-p PORT), PARPORT's grammar, which
// it overrides, so a shortcut or a desktop entry can name the port.
#pragma once

#include <QStringList>

namespace panel {

/// Reads the panel's arguments (arguments[0] is the program). --port makes
/// PORT the port the first access opens (lpt::choosePort); --help prints the
/// usage and ends the process. An unknown option, a stray argument or a PORT
/// of no known form goes to the error report, which ends the process with
/// status 2 before any port access.
void takeCommandLine(const QStringList& arguments);

} // namespace panel
