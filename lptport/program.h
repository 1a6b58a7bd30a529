// SPDX-License-Identifier: MIT
// The lptport program: its global options and the command groups (commands.h)
// declared on one CLI11 App, the parse, and the usage errors. main() is only a
// call to runLptport.
#pragma once

#include "lptport/completion.h"

#include <vector>

/// Runs one lptport command line (argv[0] is the program). Returns the exit
/// status: 0 done, 1 port failure or a test that found a fault. Bad arguments
/// and port failures end the process (status 2 and 1).
int runLptport(int argc, char** argv);

/// Every command of lptport and the words it takes, as declared.
std::vector<lpt::CommandWords> lptportCommandWords();
