// SPDX-License-Identifier: MIT
// Reads a VCD (value change dump, IEEE 1364) into what `lptport play` writes:
// a list of timed register values for the outputs D0..D7 and C0..C3. The
// whole file is read and checked before anything is played, so a bad file
// never leaves the port half-way through a pattern.
//
// Which wires drive a pin: a 1-bit wire named D0..D7 or C0..C3, alone or
// followed by an underscore and anything ("D0_pin2", "C0_STROBE_pin1", as
// capture writes them). Its values are pin levels; the port's inversions of
// C0, C1 and C3 are undone on the way to the register. Every other wire (the
// status inputs, other names) is ignored and listed once. Values x and z on a
// driving wire are refused: a pin is 0 or 1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace lpt {

/// The outputs at one time stamp of the file at which a driving wire changed.
/// Bits the file has not set yet (a wire whose first value comes later, a
/// register bit no wire drives) are 0 here and clear in the *Set masks: those
/// keep the value the port had when playing started.
struct PlayChange {
    std::int64_t t;    // ns from the file's time 0
    std::uint8_t data; // register values
    std::uint8_t control;
    std::uint8_t dataSet; // the bits of each register the file sets
    std::uint8_t controlSet;
};
static_assert(sizeof(PlayChange) == 16, "a long file is kept compact: 16 bytes a change");

struct PlayPlan {
    std::vector<PlayChange> changes;  // in time order
    std::int64_t endNs = 0;           // the file's last time stamp: its length
    std::vector<std::string> driven;  // the pins the file drives: "D0", ..., "C3", in that order
    std::vector<std::string> ignored; // wires not driven, each named once, in file order
};

/// A file that cannot be played: where (line 0 when the file as a whole is
/// at fault) and why.
class VcdError : public std::runtime_error {
public:
    VcdError(long line, const std::string& what) : std::runtime_error(what), line_(line) {}
    long line() const { return line_; }

private:
    long line_;
};

/// Reads the whole of `in`; throws VcdError for anything it cannot play.
PlayPlan readVcd(std::FILE* in);

} // namespace lpt
