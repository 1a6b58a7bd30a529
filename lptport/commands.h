// SPDX-License-Identifier: MIT
// lptport's command groups, one file each, every one declaring its commands
// on the program beside their work (see cli.h); program.cpp declares them in
// this order, which is the order of the help's list.
#pragma once

#include "lptport/cli.h"

namespace lpt::cli {

void declareRegisterCommands(Program& program); // out, in, show: registers_command.cpp
void declareWatch(Program& program);            // watch_command.cpp
void declareCapture(Program& program);          // capture_command.cpp
void declarePulseAndPlay(Program& program);     // pulse_play_command.cpp
void declareSelftest(Program& program);         // selftest_command.cpp
void declarePorts(Program& program);            // ports_command.cpp
void declareSim(Program& program);              // sim_command.cpp

} // namespace lpt::cli
