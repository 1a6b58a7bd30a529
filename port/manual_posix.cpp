// SPDX-License-Identifier: MIT
// The running program's folder on Linux: the link /proc/self/exe. Other
// systems of this family have no such link and answer nothing.
#include "port/manual.h"

namespace lpt {

std::filesystem::path programFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

} // namespace lpt
