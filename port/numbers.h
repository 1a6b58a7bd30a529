// SPDX-License-Identifier: MIT
// Numbers as people type them and as the tools print them: one reader for
// byte values, addresses, bases and counts (decimal or 0x hex), one writer for
// addresses, shared by the port layer, lptport and the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lpt {

/// Decimal or 0x hex (either case), at most 8 digits after the prefix; no sign,
/// no blanks, no octal ("010" is ten). Nothing for any other text.
std::optional<long> parseNumber(std::string_view text);

/// A count or a write number: decimal or 0x hex like parseNumber, up to
/// 2^64 - 1 (a port's write counter never wraps in practice).
std::optional<std::uint64_t> parseCount(std::string_view text);

/// An address as the tools print it: "0x378".
std::string hexAddress(unsigned address);

} // namespace lpt
