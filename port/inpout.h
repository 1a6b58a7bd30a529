// SPDX-License-Identifier: MIT
// The two driver operations through which every register access goes.
//
// The driver is chosen from the environment variable PARPORT and opened at the
// first call of either function, not before; one line on stderr names the port
// opened. A driver that cannot be opened or used is reported through the
// failure handler (see port/driver.h), which by default prints the message and
// exits with status 1.
#pragma once

/// Writes the low byte of value to the register at port (0x378, 0x379, 0x37A).
void Out32(short port, short value);
/// Reads the register at port; the result lies in 0..255.
short Inp32(short port);
