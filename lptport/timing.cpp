// SPDX-License-Identifier: MIT
#include "lptport/timing.h"

#include "lptport/duration.h"
#include "lptport/sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>

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
        sleepBeforeSpin(deadline - spinNs_);
    }
}

} // namespace lpt
