// SPDX-License-Identifier: MIT
// The loopback self-test. A loopback plug joins pins 2->15, 3->13, 4->12,
// 5->10 and 6->11: the data outputs D0..D4 drive the status inputs S3..S7
// (S7 is BUSY, whose register bit is the complement of its pin). The test
// walks a one and a zero across D0..D4, reads the status register after each
// pattern and judges every wire by the line its input followed.
#pragma once

#include "port/driver.h"
#include "port/registers.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lpt {

enum class WireState {
    Good,      // the input follows its own data line
    StuckLow,  // the input stays low whatever is written
    StuckHigh, // the input stays high whatever is written
    Crossed,   // the input follows another data line (`follows`)
    Faulty,    // the input follows no single data line (bridged, inverted, noisy)
};

struct WireResult {
    WireState state = WireState::Faulty;
    int follows = -1; // data bit the input follows, for Crossed

    bool operator==(const WireResult&) const = default;
};
using LoopbackResults = std::array<WireResult, 5>;

/// The data register values the walk writes, in order: all low, all high,
/// then a one and a zero walked across D0..D4. D5..D7 stay low.
std::vector<int> loopbackPatterns();

/// Judges the wires from the status value read after each pattern
/// (statuses[i] after patterns[i]).
LoopbackResults judgeWires(std::span<const int> patterns, std::span<const int> statuses);

/// Walks the patterns through a port: statusAfter(pattern) writes the pattern
/// to the data register and returns the status register read after it.
LoopbackResults walkLoopback(const std::function<int(int pattern)>& statusAfter);

struct SelftestOutcome {
    LoopbackResults wires;
    std::optional<int> data;     // read before the walk and restored after it;
    std::optional<int> control;  // nothing when the port cannot read it back
    bool controlChanged = false; // the data lines were switched to output for the walk

    bool allGood() const;
};

/// The whole test on an open port: reads the data and control registers back
/// where the port can, clears the direction bit (control bit 5) if it makes
/// the data lines inputs, walks, and writes back what it changed (data first).
/// A data register that cannot be read back is left at 0, a control register
/// that cannot be read back is not touched. Port failures propagate as PortError.
SelftestOutcome runSelftest(Driver& port);

/// One line per wire, a summary line, and a line saying what the port was left with.
std::vector<std::string> selftestReport(const SelftestOutcome& outcome);

} // namespace lpt
