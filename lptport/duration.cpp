// SPDX-License-Identifier: MIT
#include "lptport/duration.h"

#include <charconv>
#include <cstdio>

namespace lpt {

namespace {

struct Unit {
    std::string_view name;
    std::int64_t ns;
};
constexpr Unit kUnits[] = {
    {"s", kSecond}, {"ms", kMillisecond}, {"us", kMicrosecond}, {"ns", kNanosecond}};

std::string_view unitName(std::int64_t unitNs) {
    for (const Unit& u : kUnits)
        if (u.ns == unitNs)
            return u.name;
    return "ns";
}

} // namespace

std::optional<std::int64_t> parseDuration(std::string_view text, const DurationRule& rule) {
    std::size_t n = 0;
    while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.'))
        ++n;
    const std::string_view number = text.substr(0, n), unit = text.substr(n);
    std::int64_t unitNs = unit.empty() ? rule.plainUnitNs : 0;
    for (const Unit& u : kUnits)
        if (unit == u.name)
            unitNs = u.ns;
    // Whole part and fraction apart: from_chars for double would also take
    // "1e3", "inf" and "nan", which are no way to write a duration.
    const std::size_t dot = number.find('.');
    const std::string_view whole = number.substr(0, dot);
    const std::string_view fraction = dot == number.npos ? "" : number.substr(dot + 1);
    if (unitNs == 0 || (whole.empty() && fraction.empty()) || fraction.size() > 9 ||
        fraction.find('.') != fraction.npos || (dot != number.npos && fraction.empty()))
        return std::nullopt;
    std::int64_t w = 0, f = 0, scale = 1;
    if (!whole.empty()) {
        const auto r = std::from_chars(whole.data(), whole.data() + whole.size(), w);
        if (r.ec != std::errc() || w > rule.mostNs / unitNs)
            return std::nullopt;
    }
    for (char c : fraction) {
        f = f * 10 + (c - '0');
        scale *= 10;
    }
    // f < 10^9 and unitNs <= 10^9: the product fits.
    const std::int64_t ns = w * unitNs + (f * unitNs + scale / 2) / scale;
    if (ns < rule.leastNs || ns > rule.mostNs)
        return std::nullopt;
    return ns;
}

std::string formatIn(double ns, std::int64_t unitNs, int decimals, bool sign) {
    char text[48];
    std::snprintf(text, sizeof text, sign ? "%+.*f %s" : "%.*f %s", decimals,
                  ns / static_cast<double>(unitNs), std::string(unitName(unitNs)).c_str());
    return text;
}

std::string formatNs(std::int64_t ns) {
    const double v = static_cast<double>(ns);
    if (ns >= kSecond || ns <= -kSecond)
        return formatIn(v, kSecond, 6);
    if (ns >= kMillisecond || ns <= -kMillisecond)
        return formatIn(v, kMillisecond, 6);
    return formatIn(v, kMicrosecond, 3);
}

std::string formatMicros(std::int64_t ns, bool sign) {
    const double v = static_cast<double>(ns);
    if (ns >= kMillisecond || ns <= -kMillisecond)
        return formatIn(v, kMillisecond, 3, sign);
    return formatIn(v, kMicrosecond, 1, sign);
}

std::string formatExact(std::int64_t ns) {
    for (const Unit& u : kUnits)
        if (ns % u.ns == 0)
            return formatIn(static_cast<double>(ns), u.ns, 0);
    return formatIn(static_cast<double>(ns), kNanosecond, 0);
}

} // namespace lpt
