// SPDX-License-Identifier: MIT
// Durations as people type them and as lptport prints them: one grammar for
// every command that takes a time (watch's interval, capture --for, pulse's
// WIDTH and --every) and the formats of the times the commands report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lpt {

inline constexpr std::int64_t kNanosecond = 1, kMicrosecond = 1000, kMillisecond = 1000000,
                              kSecond = 1000000000;

/// What one command's durations may be: the unit a plain number has (scripts
/// rely on each command's own), and the shortest and longest time, in ns.
struct DurationRule {
    std::int64_t plainUnitNs;
    std::int64_t leastNs;
    std::int64_t mostNs;
};

/// Each command's rule. A plain number keeps the unit the command has always
/// had: watch's INTERVAL ms (1ms to 60s), capture --for s (above 0, up to
/// 1000000s), pulse's WIDTH and --every ms (1us to 3600s).
inline constexpr DurationRule kWatchInterval{kMillisecond, kMillisecond, 60 * kSecond};
inline constexpr DurationRule kCaptureFor{kSecond, kNanosecond, 1000000 * kSecond};
inline constexpr DurationRule kPulseWidth{kMillisecond, kMicrosecond, 3600 * kSecond};

/// A decimal number, at most nine decimals, with the unit ns, us, ms or s
/// ("5ms", "250us", "0.5s", "1500ns"), or without one (rule.plainUnitNs), in
/// ns rounded to the nearest; nothing for other text (a sign, an exponent,
/// another unit) or a time outside the rule's range.
std::optional<std::int64_t> parseDuration(std::string_view text, const DurationRule& rule);

/// ns in the given unit with that many decimals: "2.000000 s", "+1.5 us".
std::string formatIn(double ns, std::int64_t unitNs, int decimals, bool sign = false);

/// A span for people: "5.000012 ms", "250.000 us", "2.000000 s".
std::string formatNs(std::int64_t ns);
/// A lateness or deviation: "0.3 us", "15.2 us", "1.250 ms" (signed when asked).
std::string formatMicros(std::int64_t ns, bool sign = false);
/// A time as it was typed, in its largest whole unit: "10 ms", "250 us", "1500 ns".
std::string formatExact(std::int64_t ns);

} // namespace lpt
