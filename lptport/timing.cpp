// SPDX-License-Identifier: MIT
#include "lptport/timing.h"

#include "lptport/sampler.h"
#include "port/driver.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>
#else
#include <sched.h>
#include <sys/mman.h>
#include <time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace lpt {

namespace {

// The histogram: one bucket per nanosecond below 2^11 ns, then 2^10 buckets
// for each power of two up to 2^41 ns (36 minutes; anything later shares the
// last bucket).
constexpr int kExactBits = 11, kSubBits = 10, kTopBit = 41;
constexpr std::size_t kBuckets =
    (std::size_t{1} << kExactBits) + std::size_t{kTopBit - kExactBits} * (1 << kSubBits);

std::size_t bucketOf(std::int64_t ns) {
    const auto v = static_cast<std::uint64_t>(ns);
    if (v < (std::uint64_t{1} << kExactBits))
        return v;
    const int msb = std::min(63 - std::countl_zero(v), kTopBit - 1);
    const std::uint64_t sub = std::min<std::uint64_t>(v >> (msb - kSubBits), (2 << kSubBits) - 1);
    return (std::size_t{1} << kExactBits) + std::size_t(msb - kExactBits) * (1 << kSubBits) +
           (sub - (1 << kSubBits));
}

// The middle of a bucket's span (its value when the bucket is one nanosecond).
std::int64_t valueOf(std::size_t bucket) {
    if (bucket < (std::size_t{1} << kExactBits))
        return static_cast<std::int64_t>(bucket);
    const std::size_t i = bucket - (std::size_t{1} << kExactBits);
    const int msb = static_cast<int>(i >> kSubBits) + kExactBits;
    const std::uint64_t sub = (i & ((1 << kSubBits) - 1)) + (1 << kSubBits);
    const int shift = msb - kSubBits;
    return static_cast<std::int64_t>((sub << shift) + ((std::uint64_t{1} << shift) >> 1));
}

constexpr std::int64_t kSecond = 1000000000;

} // namespace

Lateness::Lateness() : buckets_(kBuckets) {}

void Lateness::add(std::int64_t ns) {
    ns = std::max<std::int64_t>(ns, 0);
    ++buckets_[bucketOf(ns)];
    ++count_;
    overLimit_ += ns > kLimitNs;
    largest_ = std::max(largest_, ns);
}

std::int64_t Lateness::percentile(double fraction) const {
    if (count_ == 0)
        return 0;
    const auto rank =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(fraction * count_)));
    std::uint64_t seen = 0;
    for (std::size_t b = 0; b < buckets_.size(); ++b) {
        seen += buckets_[b];
        if (seen >= rank) // the largest is known exactly: its bucket's middle would blur it
            return b == bucketOf(largest_) ? largest_ : std::min(valueOf(b), largest_);
    }
    return largest_;
}

std::string Lateness::text() const {
    return "median " + formatMicros(percentile(0.5)) + ", 99th percentile " +
           formatMicros(percentile(0.99)) + ", largest " + formatMicros(largest_) + "; " +
           std::to_string(overLimit_) + " later than " + formatMicros(kLimitNs);
}

std::string formatNs(std::int64_t ns) {
    char text[40];
    const double v = static_cast<double>(ns);
    if (ns >= kSecond || ns <= -kSecond)
        std::snprintf(text, sizeof text, "%.6f s", v / 1e9);
    else if (ns >= 1000000 || ns <= -1000000)
        std::snprintf(text, sizeof text, "%.6f ms", v / 1e6);
    else
        std::snprintf(text, sizeof text, "%.3f us", v / 1e3);
    return text;
}

std::string formatMicros(std::int64_t ns, bool sign) {
    char text[40];
    const double v = static_cast<double>(ns);
    if (ns >= 1000000 || ns <= -1000000)
        std::snprintf(text, sizeof text, sign ? "%+.3f ms" : "%.3f ms", v / 1e6);
    else
        std::snprintf(text, sizeof text, sign ? "%+.1f us" : "%.1f us", v / 1e3);
    return text;
}

std::optional<std::int64_t> parseDuration(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.'))
        ++n;
    const std::string_view number = text.substr(0, n), unit = text.substr(n);
    const std::int64_t unitNs = unit == "s"    ? kSecond
                                : unit == "ms" ? 1000000
                                : unit == "us" ? 1000
                                : unit == ""   ? 1000000
                                               : 0;
    const std::size_t dot = number.find('.');
    const std::string_view whole = number.substr(0, dot);
    const std::string_view fraction = dot == number.npos ? "" : number.substr(dot + 1);
    if (unitNs == 0 || whole.empty() || fraction.size() > 9 ||
        fraction.find('.') != fraction.npos || (dot != number.npos && fraction.empty()))
        return std::nullopt;
    constexpr std::int64_t kMost = 3600 * kSecond, kLeast = 1000;
    std::int64_t w = 0, f = 0;
    const auto r = std::from_chars(whole.data(), whole.data() + whole.size(), w);
    if (r.ec != std::errc() || w > kMost / unitNs)
        return std::nullopt;
    std::int64_t scale = 1;
    for (char c : fraction) {
        f = f * 10 + (c - '0');
        scale *= 10;
    }
    // f < 10^9 and unitNs <= 10^9: the product fits.
    const std::int64_t ns = w * unitNs + (f * unitNs + scale / 2) / scale;
    if (ns < kLeast || ns > kMost)
        return std::nullopt;
    return ns;
}

MonotonicTimer::MonotonicTimer(bool fineSleep) {
#ifdef _WIN32
    spinNs_ = fineSleep ? 2000000 : 16000000;
#else
    (void)fineSleep;
    // A sleeping thread wakes up to its timer slack late (50 us by default);
    // with the slack at 1 ns, wake-ups land within a few tens of us, which the
    // spin covers.
#ifdef __linux__
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    spinNs_ = 200000;
#endif
}

std::int64_t MonotonicTimer::now() {
    return monotonicNs();
}

bool MonotonicTimer::waitUntil(std::int64_t deadline) {
    for (;;) {
        const std::int64_t t = monotonicNs();
        if (stopRequested())
            return false;
        if (t >= deadline)
            return true;
        if (deadline - t <= spinNs_)
            continue; // the last stretch: read the clock until it is time
#ifdef _WIN32
        ::Sleep(static_cast<DWORD>((deadline - spinNs_ - t) / 1000000));
#else
        // steady_clock is CLOCK_MONOTONIC here; a stop signal ends the sleep
        // at once (clock_nanosleep is never restarted after a handler).
        const std::int64_t at = deadline - spinNs_;
        const timespec ts{static_cast<time_t>(at / kSecond), static_cast<long>(at % kSecond)};
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        // A machine whose wake-ups come later than the spin covers (a virtual
        // one, often) gets a longer spin from then on, up to 1 ms.
        const std::int64_t overshoot = monotonicNs() - at;
        if (overshoot > spinNs_ / 2 && !stopRequested())
            spinNs_ = std::min<std::int64_t>(std::max(spinNs_, 2 * overshoot), 1000000);
#endif
    }
}

RealtimeOutcome enableRealtime() {
    RealtimeOutcome out;
#ifdef _WIN32
    const bool priority = ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0;
    const bool period = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    out.granted = priority && period;
    out.text = std::string("real-time: ") +
               (priority ? "high priority class" : "high priority class REFUSED") + ", " +
               (period ? "1 ms timer" : "1 ms timer REFUSED");
#else
    constexpr int kPriority = 49; // below the kernel's interrupt threads (50)
    sched_param param{};
    param.sched_priority = kPriority;
    const bool fifo = ::sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    const int fifoErr = errno;
    const bool locked = ::mlockall(MCL_CURRENT | MCL_FUTURE) == 0;
    const int lockErr = errno;
    out.granted = fifo && locked;
    if (out.granted) {
        out.text =
            "real-time: SCHED_FIFO priority " + std::to_string(kPriority) + ", memory locked";
        return out;
    }
    out.text = "real-time: ";
    out.text += fifo ? "SCHED_FIFO priority " + std::to_string(kPriority)
                     : "SCHED_FIFO refused (" + describeErrno(fifoErr) + ")";
    out.text +=
        locked ? ", memory locked" : ", memory lock refused (" + describeErrno(lockErr) + ")";
    out.text += "; running on without it. Fix: run as root, or give the program the "
                "capabilities once: sudo setcap cap_sys_nice,cap_ipc_lock+ep $(which lptport)";
#endif
    return out;
}

} // namespace lpt
