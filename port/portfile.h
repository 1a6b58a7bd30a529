// SPDX-License-Identifier: MIT
// The platform half of the simulated port: creating, checking and mapping the
// file that keeps it. portfile_posix.cpp (mmap) and portfile_windows.cpp (a
// file mapping) implement it; simulated.cpp keeps the layout and the logic.
#pragma once

#include <cstddef>
#include <string>

namespace lpt::portfile {

/// Maps the port file at path, read-write and shared with every process that
/// maps it. A missing file is created (only its user may reach it) and init
/// runs on its bytes before it appears under its name, so no process ever
/// maps a half-made port. A link, a directory, another user's file or a file
/// of another size is refused with a PortError and left as it was.
void* map(const std::string& path, std::size_t size, void (*init)(void*));
void unmap(void* mem, std::size_t size);
/// Removes whatever is at path (a link, a damaged file; never a directory),
/// after the same checks on its directory as map.
void remove(const std::string& path);

/// Throws the PortError for a port file that is refused.
[[noreturn]] void refuse(const std::string& path, std::string cause, std::string fix);
/// The fix for a file that is not a port file.
std::string resetFix();

} // namespace lpt::portfile
