// SPDX-License-Identifier: MIT
// Text for the Windows drivers: Windows error codes as messages, and the
// program's narrow strings (PARPORT, paths) as the wide strings of the API.
#pragma once

#include <string>
#include <windows.h>

namespace lpt {

/// The system's message for a GetLastError() value, without the final period.
std::string systemMessage(DWORD err);
/// A string in the ANSI code page (what getenv returns) as UTF-16.
std::wstring widen(const std::string& text);
/// UTF-16 from the API (names, paths) in the ANSI code page, as printed.
std::string narrow(const std::wstring& text);

} // namespace lpt
