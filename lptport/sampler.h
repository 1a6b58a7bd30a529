// SPDX-License-Identifier: MIT
// How lptport samples the port, shared by `watch` and `capture` so the two
// never disagree about what the port showed or what counts as a change.
#pragma once

#include "port/driver.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace lpt {

/// What one sample reads. The status register is read on every sample; the
/// data and control registers only when the sampler was asked for them.
/// Eight bytes, so a sample is returned in a register on the fast path.
struct Sample {
    int status = 0;
    std::optional<std::uint8_t> data;
    std::optional<std::uint8_t> control;

    /// Two samples differ (a change) when any register they carry differs.
    friend bool operator==(const Sample&, const Sample&) = default;
};

/// Reads samples from one driver: the status register first, then data and
/// control when asked for, so every sample is taken in the same order.
class Sampler {
public:
    Sampler(Driver& driver, bool outputs) : driver_(driver), outputs_(outputs) {}
    /// One sample; a driver failure is thrown as PortError.
    Sample read() {
        Sample s;
        s.status = driver_.read(Register::Status);
        if (outputs_) {
            s.data = driver_.read(Register::Data);
            s.control = driver_.read(Register::Control);
        }
        return s;
    }
    bool outputs() const { return outputs_; }
    Driver& driver() { return driver_; }

private:
    Driver& driver_;
    bool outputs_;
};

/// Ctrl+C and SIGTERM set a flag that sampling loops poll instead of dying,
/// so a capture file is always finished and a watch says how it ended.
void catchStopSignals();
bool stopRequested();

/// The monotonic clock every sample time is read from, in nanoseconds.
inline std::int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace lpt
