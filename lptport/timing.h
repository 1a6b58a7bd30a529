// SPDX-License-Identifier: MIT
// Timed writes for `lptport pulse` and `lptport play`: waiting for a moment on
// the monotonic clock (sleep until close, then spin), the lateness of every
// write, kept in a fixed amount of memory however long the run, and the
// real-time scheduling that --realtime asks for.
#pragma once

#include "lptport/duration.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lpt {

/// Where the time of the timed commands comes from. Times are nanoseconds on
/// the monotonic clock.
class Timer {
public:
    virtual ~Timer() = default;
    virtual std::int64_t now() = 0;
    /// Returns at `deadline` or just after it, true; or false as soon as a stop
    /// was requested (Ctrl+C, SIGTERM), which may be before the deadline.
    virtual bool waitUntil(std::int64_t deadline) = 0;
};

/// The real clock: sleeps until shortly before the deadline (200 us; longer,
/// up to 1 ms, once the system has woken it later than that), then reads the
/// clock in a loop, since a sleeping thread wakes tens of microseconds late.
class MonotonicTimer final : public Timer {
public:
    /// Windows sleeps in steps of the system timer, 15.6 ms unless a 1 ms
    /// period was asked for (--realtime does): `fineSleep` says whether it was.
    explicit MonotonicTimer(bool fineSleep = false);
    std::int64_t now() override;
    bool waitUntil(std::int64_t deadline) override;

private:
    /// Sleeps until `at`, where the spin begins (each system its own way).
    void sleepBeforeSpin(std::int64_t at);
    std::int64_t spinNs_;
};

/// How late the writes of a run were, in ns. Counts are exact; the median and
/// the 99th percentile are read from a histogram, exact to the nanosecond below
/// 2 us and within 0.1% above, so a run of any length takes the same memory.
class Lateness {
public:
    Lateness();
    void add(std::int64_t ns); // an early write (a clock that went back) counts as 0
    std::uint64_t count() const { return count_; }
    std::int64_t largest() const { return largest_; }
    /// The value at rank ceil(fraction * count); 0 when nothing was added.
    std::int64_t percentile(double fraction) const;
    /// Writes later than this are counted separately (the goal of a timed write).
    static constexpr std::int64_t kLimitNs = 10000;
    std::uint64_t overLimit() const { return overLimit_; }
    /// "median 1.2 us, 99th percentile 4.0 us, largest 31.5 us; 2 later than 10 us"
    std::string text() const;

private:
    std::vector<std::uint64_t> buckets_;
    std::uint64_t count_ = 0, overLimit_ = 0;
    std::int64_t largest_ = 0;
};

/// What --realtime got. On Linux: SCHED_FIFO (CAP_SYS_NICE, or the rtprio
/// limit) and memory locked with mlockall (CAP_IPC_LOCK, or a memlock limit as
/// large as the process); on Windows: the high priority class and a 1 ms
/// timer. The timer and this are platform_posix.cpp's and platform_windows.cpp's.
struct RealtimeOutcome {
    bool granted = false; // everything asked for
    std::string text;     // one line, without the program name, saying what happened
};
RealtimeOutcome enableRealtime();

} // namespace lpt
