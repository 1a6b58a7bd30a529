// SPDX-License-Identifier: MIT
// What lptport needs from the system, one file per system chosen by CMake
// (platform_posix.cpp, platform_windows.cpp); the timer's and --realtime's own
// parts live there too (see timing.h).
#pragma once

#include <cstdint>
#include <ctime>

namespace lpt {

/// The PARPORT forms of this system, for lptport's help.
extern const char* const kPortForms;

/// Sleeps until deadline (ns on the monotonic clock, see monotonicNs); a stop
/// signal cuts the sleep short.
void sleepUntil(std::int64_t deadline);

/// The local time of a moment.
std::tm localTime(std::time_t when);

/// Keeps the stop signals (Ctrl+C, SIGTERM) away from the calling thread, so
/// they reach the one that polls for them.
void blockStopSignals();

} // namespace lpt
