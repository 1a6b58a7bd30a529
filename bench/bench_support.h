// SPDX-License-Identifier: MIT
// What the benchmarks share: this process's resident memory, and a folder for
// a simulated port of their own.
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h> // after windows.h, whose types it uses
#else
#include <fstream>
#include <unistd.h>
#endif

namespace bench {

/// The resident memory (on Windows the working set), in MiB.
inline double mibResident() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / 1048576;
#else
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576;
#endif
}

/// A folder for the port of benchmark `name`, one per process. Made here so
/// that only its owner may enter it, as the port requires; on Windows the
/// port layer makes it itself, under the user's own TEMP.
inline std::filesystem::path portDir(const std::string& name) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    return fs::temp_directory_path() / (name + "-" + std::to_string(GetCurrentProcessId()));
#else
    const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms::owner_all);
    return dir;
#endif
}

} // namespace bench
