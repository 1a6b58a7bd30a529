// SPDX-License-Identifier: MIT
// The running program's folder on Windows, from the module's own file name.
#include "port/manual.h"

#include <windows.h>

namespace lpt {

std::filesystem::path programFolder() {
    wchar_t file[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, file, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4)
        return {};
    return std::filesystem::path(std::wstring(file, n)).parent_path();
}

} // namespace lpt
