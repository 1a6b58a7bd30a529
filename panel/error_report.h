// SPDX-License-Identifier: MIT
// The one error report of the panel: every failure that ends the program
// comes here, from the port layer (through its failure handler) and from the
// panel itself (a picture that cannot be loaded).
#pragma once

#include "port/driver.h"

namespace panel {

/// Prints "<program>: <what failed>: <cause>. Fix: <fix>" to stderr, shows the
/// same text in a message box when someone can answer it (not on the
/// "offscreen" or "minimal" platforms), and ends the process with status (1
/// for a failure, 2 for a bad command line). Nothing is thrown, so no
/// exception crosses Qt's event loop.
[[noreturn]] void reportFailure(const lpt::PortFailure& failure, int status = 1);

} // namespace panel
