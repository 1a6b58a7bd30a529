// Change detection for `lptport watch`: what one poll reads and the lines that
// tell what changed since the previous poll. The polling itself (sleep,
// signals, printing) is the tool's; these functions only compare samples.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace lpt {

/// What one poll reads. The status register is read on every port; the data
/// and control registers only where reading them back shows what the port
/// holds (the simulated port), and only then are register changes reported.
struct WatchSample {
    int status = 0;
    std::optional<int> data;
    std::optional<int> control;
};

/// The change lines between two polls, without time stamps, in a fixed order:
/// the registers (when both samples carry them) "data 0->5", "control 11->4",
/// "status 127->63", then the status pins S0..S7 as pin levels, "S6 1->0"
/// (S7 is BUSY, whose register bit is the complement of the pin).
std::vector<std::string> watchChanges(const WatchSample& before, const WatchSample& after);

/// The first line's text, the state the watch starts from:
/// "start data 0 control 11 status 127 S0=1 S1=1 ... S7=1" (data and control
/// only when sampled).
std::string watchStart(const WatchSample& sample);

/// Local time to the millisecond: "2026-12-06T22:10:01.123".
std::string watchTimestamp(std::chrono::system_clock::time_point when);

} // namespace lpt
