// SPDX-License-Identifier: MIT
// The manual's pages that messages send users to, and the one function that
// names a page as this user has it: the Markdown page in a source or build
// tree, the HTML page where the manual was installed beside the program.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace lpt {

// A page of docs/, with the anchor of its heading where one is meant.
inline constexpr const char* kPageLinux = "docs/linux.md";
inline constexpr const char* kPageWindows = "docs/windows.md";
inline constexpr const char* kPageDllDriver = "docs/windows.md#the-dlls-driver";
inline constexpr const char* kPagePorts = "docs/ports.md";
inline constexpr const char* kPagePortFile = "docs/simulated.md#the-port-file";
inline constexpr const char* kPageScripting = "docs/scripting.md";
/// Every page above, for the test that each exists.
inline constexpr std::array kManualPages{kPageLinux, kPageWindows,  kPageDllDriver,
                                         kPagePorts, kPagePortFile, kPageScripting};

/// The page (one of the above) as the user of the program in programFolder
/// has it: "docs\windows.html#anchor" when docs\index.html lies beside the
/// program (the Windows zip); the absolute ".../share/doc/lptpanel/linux.html"
/// when PREFIX/share/doc/lptpanel/index.html exists, PREFIX being the
/// program's folder's parent (bin/) or grandparent (libexec/lptpanel/) (the
/// Debian package, any install prefix); else the page as given (a source or build tree).
std::string manualPage(std::string_view page, const std::filesystem::path& programFolder);
/// The same for this program, in the folder programFolder() gives.
std::string manualPage(std::string_view page);
/// The folder of the running program; empty when the system does not say.
/// One file per system (manual_posix.cpp, manual_windows.cpp).
std::filesystem::path programFolder();

} // namespace lpt
