// SPDX-License-Identifier: MIT
// The port file on Windows: in a folder under the user's local application
// data (which only that user and the administrators may enter), shared through
// a file mapping. Links of every kind (symbolic links, junctions, any other
// reparse point) are refused, as a link is on Linux.
#include "port/driver.h"
#include "port/manual.h"
#include "port/portfile.h"
#include "port/windows_text.h"

#include <cstdlib>
#include <windows.h>

namespace lpt {

std::string defaultSimPath() {
    for (const char* var : {"LOCALAPPDATA", "TEMP"})
        if (const char* dir = std::getenv(var); dir && *dir)
            return std::string(dir) + "\\lptpanel\\port";
    return "lptpanel\\port";
}

namespace portfile {

namespace {

constexpr const char* kSection = kPagePortFile;

std::string dirOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    // "C:\port" lies in "C:\", not in the drive's current folder "C:".
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

// Closes a handle when it goes out of scope.
struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() { close(); }
    void close() {
        if (valid())
            CloseHandle(h);
        h = nullptr;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h && h != INVALID_HANDLE_VALUE; }
};

[[noreturn]] void cannotCreate(const std::string& path, DWORD err) {
    throw PortError({"cannot create the simulated port file " + path, systemMessage(err),
                     "choose a file in a folder you own with PARPORT=sim:PATH", kSection});
}

// Makes dir (and any missing parent) and checks that it is a folder, not a
// link or junction to somewhere else.
void ensureSafeDirectory(const std::string& dir) {
    const std::wstring wide = widen(dir);
    if (!CreateDirectoryW(wide.c_str(), nullptr)) {
        DWORD err = GetLastError();
        if (err == ERROR_PATH_NOT_FOUND && dirOf(dir) != dir) {
            ensureSafeDirectory(dirOf(dir));
            err = CreateDirectoryW(wide.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
        }
        if (err != ERROR_SUCCESS && err != ERROR_ALREADY_EXISTS)
            throw PortError({"cannot create the simulated port's folder " + dir, systemMessage(err),
                             "choose a file in a folder you own with PARPORT=sim:PATH", kSection});
    }
    const DWORD attrs = GetFileAttributesW(wide.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY) ||
        (attrs & FILE_ATTRIBUTE_REPARSE_POINT))
        throw PortError({"simulated port folder " + dir + " refused",
                         "it is not a folder (or is a link or junction)",
                         "choose another file with PARPORT=sim:PATH", kSection});
}

// Opens the file at path itself, never what a link there points to.
HANDLE openExisting(const std::string& path) {
    return CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

void* mapHandle(HANDLE file, std::size_t size) {
    const Handle mapping(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr));
    if (!mapping.valid())
        return nullptr;
    // The view keeps the mapping and the file open after their handles close.
    return MapViewOfFile(mapping.h, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
}

// Creates a fresh port file atomically: it is built under a temporary name and
// moved into place without replacing anything, so no process ever maps a
// half-made port. Afterwards the port file at path is ours, or one that
// another process made first.
void createFresh(const std::string& path, std::size_t size, void (*init)(void*)) {
    const std::string tmp = dirOf(path) + "\\.lptport-" + std::to_string(GetCurrentProcessId()) +
                            "-" + std::to_string(GetTickCount64());
    const std::wstring wideTmp = widen(tmp);
    {
        Handle file(CreateFileW(wideTmp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            cannotCreate(path, GetLastError());
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        void* mem = nullptr;
        if (SetFilePointerEx(file.h, end, nullptr, FILE_BEGIN) && SetEndOfFile(file.h))
            mem = mapHandle(file.h, size);
        if (!mem) {
            const DWORD err = GetLastError();
            file.close();
            DeleteFileW(wideTmp.c_str());
            cannotCreate(path, err);
        }
        init(mem);
        UnmapViewOfFile(mem);
    }
    const bool moved = MoveFileExW(wideTmp.c_str(), widen(path).c_str(), 0);
    const DWORD err = GetLastError();
    if (!moved) {
        DeleteFileW(wideTmp.c_str());
        if (err != ERROR_ALREADY_EXISTS && err != ERROR_FILE_EXISTS)
            cannotCreate(path, err);
    }
}

} // namespace

void* map(const std::string& path, std::size_t size, void (*init)(void*)) {
    ensureSafeDirectory(dirOf(path));
    const std::wstring wide = widen(path);
    Handle file(openExisting(path));
    if (!file.valid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
        createFresh(path, size, init);
        file.h = openExisting(path);
    }
    if (!file.valid()) {
        const DWORD err = GetLastError();
        const DWORD attrs = GetFileAttributesW(wide.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
            refuse(path, "it is not a regular file", "choose another file with PARPORT=sim:PATH");
        refuse(path, systemMessage(err), resetFix());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.h, &info))
        refuse(path, systemMessage(GetLastError()), resetFix());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refuse(path, "it is a symbolic link or junction",
               "remove the link (del " + path + ") or " + resetFix());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        refuse(path, "it is not a regular file", "choose another file with PARPORT=sim:PATH");
    const auto bytes = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (bytes != size)
        refuse(path, "it is not a simulated port file (wrong size)", resetFix());
    void* mem = mapHandle(file.h, size);
    if (!mem)
        refuse(path, "cannot map it: " + systemMessage(GetLastError()), resetFix());
    return mem;
}

void unmap(void* mem, std::size_t) {
    UnmapViewOfFile(mem);
}

void remove(const std::string& path) {
    ensureSafeDirectory(dirOf(path));
    const std::wstring wide = widen(path);
    const DWORD attrs = GetFileAttributesW(wide.c_str());
    // DeleteFileW removes a link itself, never what it points to.
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
        !DeleteFileW(wide.c_str()))
        refuse(path, "cannot remove it: " + systemMessage(GetLastError()),
               "choose another file with PARPORT=sim:PATH");
}

} // namespace portfile
} // namespace lpt
