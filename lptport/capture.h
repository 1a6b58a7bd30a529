// SPDX-License-Identifier: MIT
// `lptport capture`: the port as a logic analyzer. The sampler reads the port
// back to back, every change of a pin is stamped from the monotonic clock and
// handed through a bounded queue to a writer thread, which writes it as a VCD
// (value change dump, IEEE 1364) that PulseView, sigrok-cli and GTKWave open.
// The sampling loop never waits on the file: a change the queue cannot take is
// counted as dropped, and the summary says so.
#pragma once

#include "lptport/sampler.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace lpt {

struct CaptureOptions {
    std::optional<std::int64_t> durationNs; // --for: end after this long
    std::optional<std::uint64_t> samples;   // --samples: end after this many
    bool outputs = false;                   // --outputs: D0..D7 and C0..C3 too
};

/// How a capture went.
struct CaptureSummary {
    std::uint64_t samples = 0;
    std::int64_t durationNs = 0; // the first sample to the file's last time stamp
    /// The largest time between two readings of the clock in the sampling
    /// loop, preemption included. The clock is read after every
    /// `clockEvery` samples (and at every change), so with clockEvery 1 this
    /// is the largest interval between two samples.
    std::int64_t largestNs = 0;
    unsigned clockEvery = 1;
    std::uint64_t changes = 0;              // time stamps written with at least one pin change
    std::uint64_t dropped = 0;              // changes the queue to the writer could not take
    std::string writeError;                 // why the file is cut short; "" when it is complete
    std::optional<PortFailure> portFailure; // the port failed during the run

    /// The summary line for stderr, without the program name:
    /// "capture: 1000 samples in 0.000021 s, ..., 3 changes written".
    std::string text() const;
};

/// Samples until the options' end, a stop signal (see catchStopSignals), a
/// write error or a port failure, and writes the VCD to out, finished with
/// its last time stamp unless writing failed. `port` names the port in the
/// file's header. The caller closes out (and checks that closing worked).
CaptureSummary capture(Sampler& sampler, const CaptureOptions& options, std::FILE* out,
                       const std::string& port);

} // namespace lpt
