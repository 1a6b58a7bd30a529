// SPDX-License-Identifier: MIT
#include "port/numbers.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace lpt {

namespace {

// Decimal or 0x hex of at most maxDigits digits after the prefix, as T.
template <typename T>
std::optional<T> readNumber(std::string_view text, std::size_t maxDigits) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.front() == '-')
        return std::nullopt;
    T v = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.size() > maxDigits || err != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

} // namespace

std::optional<long> parseNumber(std::string_view text) {
    return readNumber<long>(text, 8);
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
    return readNumber<std::uint64_t>(text, std::numeric_limits<std::size_t>::max());
}

std::string hexAddress(unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", address);
    return text;
}

} // namespace lpt
