// SPDX-License-Identifier: MIT
#include "lptport/capture.h"

#include "lptport/duration.h"
#include "lptport/platform.h"
#include "lptport/vcd_writer.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>
#include <vector>

namespace lpt {

namespace {

/// The bounded queue between the sampling loop (the one producer) and the
/// writer thread (the one consumer). A push never waits: when the queue is
/// full it fails, and the sampler counts the change as dropped. The next
/// change pushed carries all registers, so the file stays consistent and only
/// the dropped edges are missing.
class ChangeQueue {
public:
    static constexpr std::size_t kSize = 1 << 16; // 1 MiB, touched once at the start

    bool push(const Change& c) {
        const std::uint64_t h = head_.load(std::memory_order_relaxed);
        if (h - tailSeen_ == kSize) {
            tailSeen_ = tail_.load(std::memory_order_acquire);
            if (h - tailSeen_ == kSize)
                return false;
        }
        slots_[h % kSize] = c;
        head_.store(h + 1, std::memory_order_release);
        return true;
    }

    /// Hands every queued change to f, oldest first, freeing each slot as
    /// soon as f is done with it; returns how many there were.
    template <class F> std::size_t drain(F&& f) {
        const std::uint64_t from = tail_.load(std::memory_order_relaxed);
        const std::uint64_t h = head_.load(std::memory_order_acquire);
        for (std::uint64_t t = from; t != h; ++t) {
            f(slots_[t % kSize]);
            tail_.store(t + 1, std::memory_order_release);
        }
        return static_cast<std::size_t>(h - from);
    }

private:
    std::vector<Change> slots_ = std::vector<Change>(kSize);
    alignas(64) std::atomic<std::uint64_t> head_{0};
    std::uint64_t tailSeen_ = 0; // the producer's last look at tail_
    alignas(64) std::atomic<std::uint64_t> tail_{0};
};

Change changeOf(std::int64_t t, const Sample& s) {
    return {t, static_cast<std::uint8_t>(s.status), static_cast<std::uint8_t>(s.data.value_or(0)),
            static_cast<std::uint8_t>(s.control.value_or(0))};
}

/// How many samples to take between two readings of the clock, so that
/// reading it costs at most about 3% of the sampling rate: 1 on the real
/// ports, whose reads take a microsecond, more on the simulated port, whose
/// reads are faster than the clock.
unsigned clockEveryFor(Sampler& sampler) {
    constexpr int kReads = 4096, kClocks = 1024;
    for (int i = 0; i < kReads / 4; ++i) // the first reads fault pages in and fill caches
        sampler.read();
    const std::int64_t a = monotonicNs();
    for (int i = 0; i < kReads; ++i)
        sampler.read();
    const std::int64_t b = monotonicNs();
    for (int i = 0; i < kClocks; ++i)
        monotonicNs(); // a library call: never left out
    const std::int64_t c = monotonicNs();
    // Clock reads take (c - b) / kClocks each, samples (b - a) / kReads.
    unsigned every = 1;
    while (every < 4096 && (c - b) * kReads * 32 > (b - a) * kClocks * std::int64_t{every})
        every *= 2;
    return every;
}

/// A mean or largest interval between samples: "52.3 ns", "1.2 us", "1.250 ms".
std::string interval(double ns) {
    if (ns < 1e4)
        return formatIn(ns, kNanosecond, 1);
    if (ns < 1e6)
        return formatIn(ns, kMicrosecond, 1);
    return formatIn(ns, kMillisecond, 3);
}

} // namespace

std::string CaptureSummary::text() const {
    std::string t = "capture: " + std::to_string(samples) + " samples in " +
                    formatIn(static_cast<double>(durationNs), kSecond, 6);
    const double mean = samples > 1 ? static_cast<double>(durationNs) / (samples - 1) : 0;
    t += ", mean interval " + interval(mean) + ", largest " + interval(largestNs);
    if (clockEvery > 1)
        t += " (clock read every " + std::to_string(clockEvery) + " samples)";
    t += ", " + std::to_string(changes) + " changes written";
    if (dropped > 0)
        t += ", " + std::to_string(dropped) +
             " changes DROPPED because the file took too long to write (write to a faster disk "
             "or a pipe that keeps up)";
    return t;
}

CaptureSummary capture(Sampler& sampler, const CaptureOptions& options, std::FILE* out,
                       const std::string& port) {
    CaptureSummary summary;
    VcdWriter vcd(out, sampler.outputs(), port);
    ChangeQueue queue;
    std::atomic<bool> done{false}, writerFailed{false};

    std::thread writer([&] {
        blockStopSignals();
        for (;;) {
            const bool last = done.load(std::memory_order_acquire);
            const std::size_t got = queue.drain([&](const Change& c) { vcd.change(c); });
            if (!vcd.error().empty()) {
                writerFailed.store(true);
                return;
            }
            if (last && got == 0)
                return;
            if (got == 0) {
                // Nothing queued: hand what is written to the file, so a full
                // disk shows at once, and look again in a millisecond.
                if (!vcd.flush()) {
                    writerFailed.store(true);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });

    std::uint64_t n = 0;
    std::int64_t t0 = 0, now = 0;
    try {
        summary.clockEvery = clockEveryFor(sampler);
        Sample last = sampler.read();
        t0 = now = monotonicNs();
        n = 1;
        queue.push(changeOf(t0, last)); // the starting state, its time the origin
        const std::uint64_t limit = options.samples.value_or(UINT64_MAX);
        const std::int64_t end = options.durationNs ? t0 + *options.durationNs : INT64_MAX;
        while (n < limit) {
            const std::uint64_t blockEnd =
                n + std::min<std::uint64_t>(summary.clockEvery, limit - n);
            for (; n < blockEnd; ++n) {
                const Sample s = sampler.read();
                if (!(s == last)) {
                    last = s;
                    if (!queue.push(changeOf(monotonicNs() - t0, s)))
                        ++summary.dropped;
                }
            }
            const std::int64_t t = monotonicNs();
            summary.largestNs = std::max(summary.largestNs, t - now);
            now = t;
            if (now >= end || stopRequested() || writerFailed.load(std::memory_order_relaxed))
                break;
        }
    } catch (const PortError& e) {
        summary.portFailure = e.failure();
        now = monotonicNs();
    }
    done.store(true, std::memory_order_release);
    writer.join();
    if (n > 0)
        vcd.finish(now - t0);

    summary.samples = n;
    summary.durationNs = n > 0 ? now - t0 : 0;
    summary.changes = vcd.changes();
    summary.writeError = vcd.error();
    // Once writing failed the queue filled because nobody emptied it: those
    // changes are not dropped but lost with the rest of the cut-short file.
    if (!summary.writeError.empty())
        summary.dropped = 0;
    return summary;
}

} // namespace lpt
