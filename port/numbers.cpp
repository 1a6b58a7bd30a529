// SPDX-License-Identifier: MIT
#include "port/numbers.h"

#include <charconv>
#include <cstdio>

namespace lpt {

std::optional<long> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.front() == '-')
        return std::nullopt;
    long v = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.size() > 8 || err != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.front() == '-')
        return std::nullopt;
    std::uint64_t v = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (err != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::string hexAddress(unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", address);
    return text;
}

} // namespace lpt
