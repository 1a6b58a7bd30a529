// SPDX-License-Identifier: MIT
// The facts behind a port-I/O driver that does not run, read from Windows:
// the process token, the service control manager (asking needs no
// administrator rights) and the registry. A fact that cannot be read stays
// unknown; reading never fails as a whole.
#include "port/driver_state.h"

#include <windows.h>

namespace lpt {

namespace {

// value under HKLM's key, in its 64-bit view (also from a 32-bit program):
// the status of reading it into size bytes at out.
LSTATUS readValue(const wchar_t* key, const wchar_t* value, DWORD type, void* out, DWORD size) {
    HKEY h = nullptr;
    LSTATUS err = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &h);
    if (err != ERROR_SUCCESS)
        return err;
    err = RegGetValueW(h, nullptr, value, type, nullptr, out, &size);
    RegCloseKey(h);
    return err;
}

Switch registrySwitch(const wchar_t* key, const wchar_t* value) {
    DWORD v = 0;
    const LSTATUS err = readValue(key, value, RRF_RT_REG_DWORD, &v, sizeof v);
    if (err == ERROR_SUCCESS)
        return v ? Switch::On : Switch::Off;
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? Switch::Absent
                                                                      : Switch::Unknown;
}

Known elevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return Known::Unknown;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return !ok ? Known::Unknown : elevation.TokenIsElevated ? Known::Yes : Known::No;
}

Service serviceState(const std::wstring& name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return Service::Unknown;
    Service state = Service::Unknown;
    if (const SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
            state = status.dwCurrentState == SERVICE_RUNNING   ? Service::Running
                    : status.dwCurrentState == SERVICE_STOPPED ? Service::Stopped
                                                               : Service::Other;
        CloseServiceHandle(service);
    } else if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        state = Service::Absent;
    }
    CloseServiceHandle(manager);
    return state;
}

// InpOut's DLLs install inpoutx64.sys on 64-bit Windows, whichever their own
// word size, and inpout32.sys on 32-bit Windows, each as a kernel service of
// the file's name.
bool windows64() {
#ifdef _WIN64
    return true;
#else
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
#endif
}

Known driverFile(const std::wstring& service, bool wow64) {
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return Known::Unknown;
    // A 32-bit program sees System32 through Sysnative.
    const std::wstring path = std::wstring(dir, n) + (wow64 ? L"\\Sysnative" : L"\\System32") +
                              L"\\drivers\\" + service + L".sys";
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Known::Yes;
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? Known::No : Known::Unknown;
}

// From the registry, beside the switches, rather than RtlGetVersion, which
// ntdll would have to be searched for.
unsigned buildNumber() {
    wchar_t text[32];
    if (readValue(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"CurrentBuildNumber",
                  RRF_RT_REG_SZ, text, sizeof text) != ERROR_SUCCESS)
        return 0;
    return static_cast<unsigned>(wcstoul(text, nullptr, 10));
}

} // namespace

DriverFacts readDriverFacts() {
    const bool is64 = windows64();
    const std::wstring service = is64 ? L"inpoutx64" : L"inpout32";
    DriverFacts f;
    f.elevated = elevated();
    f.service = is64 ? "inpoutx64" : "inpout32";
    f.state = serviceState(service);
#ifdef _WIN64
    f.driverFile = driverFile(service, false);
#else
    f.driverFile = driverFile(service, is64);
#endif
    f.memoryIntegrity =
        registrySwitch(L"SYSTEM\\CurrentControlSet\\Control\\DeviceGuard\\Scenarios\\"
                       L"HypervisorEnforcedCodeIntegrity",
                       L"Enabled");
    f.blocklist = registrySwitch(L"SYSTEM\\CurrentControlSet\\Control\\CI\\Config",
                                 L"VulnerableDriverBlocklistEnable");
    f.build = buildNumber();
    return f;
}

} // namespace lpt
