// SPDX-License-Identifier: MIT
// `lptport pulse` and `lptport play`: the port as a pattern generator. Both
// write at planned moments on the monotonic clock (see timing.h), stamp every
// write when it has returned, and report how late the writes were.
#pragma once

#include "lptport/timing.h"
#include "lptport/vcd_reader.h"
#include "port/driver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lpt {

struct PulseOptions {
    int address = kDataPort;              // 0x378 or 0x37A: the registers that drive pins
    std::uint8_t value = 0;               // written at the start of each pulse
    std::int64_t widthNs = 0;             // how long it is held
    std::optional<std::int64_t> periodNs; // --every: from one pulse's start to the next
    std::optional<std::uint64_t> count;   // --count: how many pulses
    bool realtime = false;
};

/// A pulse train's shape: one pulse when neither --every nor --count is given;
/// --count alone pulses every 2 x WIDTH; --every alone goes on until stopped.
/// The problem with the options as a usage error's text, or "" when they are good.
std::string pulseProblem(const PulseOptions& options);

struct PulseResult {
    std::uint64_t pulses = 0;  // pulses held for their whole width
    std::uint64_t started = 0; // pulses begun: those and one cut short by a stop
    bool stopped = false;      // a stop signal ended the train (cutting a pulse short)
    int restored = 0;          // the value written back after each pulse
    std::int64_t widthSum = 0, widthDeviation = 0;   // deviation: the largest from WIDTH, signed
    std::int64_t periodSum = 0, periodDeviation = 0; // over pulses - 1 periods
    Lateness lateness;                               // of every write
    std::optional<PortFailure> portFailure;

    /// The lines for stderr, without the program name (see pulse_play_command.cpp).
    std::vector<std::string> text(const PulseOptions& options) const;
};

/// Pulses the register, restoring the value read from it before the first
/// write after each pulse, on stop signals too. Each pulse starts at its time
/// on the train's clock (start + k x PERIOD) and ends WIDTH after its start
/// was written, so a late start never shortens the pulse.
PulseResult runPulse(Driver& port, const PulseOptions& options, Timer& timer);

struct PlayOptions {
    std::string path;        // the VCD; "-" reads standard input
    std::uint64_t loops = 1; // --loop
    double speed = 1.0;      // --speed: 2 plays twice as fast
    bool realtime = false;
};

/// --speed's FACTOR: a decimal number from 0.001 to 1000 ("2", "0.5").
std::optional<double> parseSpeed(std::string_view text);

struct PlayResult {
    std::int64_t startNs = 0;   // time 0 of the file on the monotonic clock
    std::uint64_t changes = 0;  // changes written
    std::uint64_t planned = 0;  // changes in the file times loops
    std::int64_t elapsedNs = 0; // from the start to the last write, or to the file's end
    std::int64_t reachedNs = 0; // the file time of the last change written
    std::uint64_t loop = 0;     // the loop playing when it ended (0-based)
    bool stopped = false;
    int data = -1, control = -1; // the values written last, -1 for a register never written
    Lateness lateness;           // of every change, stamped after its last write
    std::optional<PortFailure> portFailure;

    std::vector<std::string> text(const PlayPlan& plan, const PlayOptions& options) const;
};

/// Plays the plan: change i of loop k is due at start + (k x the file's
/// length + its time) / speed. Data is written before control when a change
/// moves both. Bits the file does not set keep the values read from the port
/// at the start; a register the file does not drive is never written. After the
/// last change, it waits until the file's last time stamp. A stop signal
/// ends it between two changes.
PlayResult runPlay(Driver& port, const PlayPlan& plan, const PlayOptions& options, Timer& timer);

} // namespace lpt
