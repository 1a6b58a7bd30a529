// SPDX-License-Identifier: MIT
// The lptport command line: every command and its argument checks, over the
// port layer. main() is only a call to runLptport.
#pragma once

/// Runs one lptport command line (argv[0] is the program). Returns the exit
/// status: 0 done, 1 port failure or a test that found a fault. Bad arguments
/// and port failures end the process (status 2 and 1).
int runLptport(int argc, char** argv);
