// SPDX-License-Identifier: MIT
// The lines of `lptport watch`: what changed between two samples, as text.
// The polling itself (sleep, signals, printing) is the tool's, and the samples
// come from the sampler that `capture` uses too.
#pragma once

#include "lptport/sampler.h"

#include <chrono>
#include <string>
#include <vector>

namespace lpt {

/// The change lines between two samples (none when they are equal), without time stamps, in a fixed
/// order: the registers (when both samples carry them) "data 0->5", "control 11->4", "status
/// 127->63", then the status pins S0..S7 as pin levels, "S6 1->0" (S7 is BUSY, whose register bit
/// is the complement of the pin).
std::vector<std::string> watchChanges(const Sample& before, const Sample& after);

/// The first line's text, the state the watch starts from:
/// "start data 0 control 11 status 127 S0=1 S1=1 ... S7=1" (data and control
/// only when sampled).
std::string watchStart(const Sample& sample);

/// Local time to the millisecond: "2026-12-06T22:10:01.123".
std::string watchTimestamp(std::chrono::system_clock::time_point when);

} // namespace lpt
