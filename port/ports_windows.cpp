// SPDX-License-Identifier: MIT
// The parallel ports in Windows' device list, and the one PARPORT unset
// drives. The list: the present devices of the Ports class (SetupAPI) whose
// PortName, in the device's registry key, is LPTn; each with its friendly name
// and its I/O ranges from the configuration manager (the allocated
// configuration, else the boot one). Nothing is opened.
#include "port/numbers.h"
#include "port/ports.h"
#include "port/windows_text.h"

#include <algorithm>
#include <cstring>
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <initguid.h> // devguid.h then defines GUID_DEVCLASS_PORTS in this file

#include <devguid.h>

namespace lpt {

namespace {

// Every I/O range of a device, in the order of its configuration.
std::vector<IoRange> ioRanges(DEVINST device) {
    std::vector<IoRange> ranges;
    LOG_CONF config = 0;
    if (CM_Get_First_Log_Conf(&config, device, ALLOC_LOG_CONF) != CR_SUCCESS &&
        CM_Get_First_Log_Conf(&config, device, BOOT_LOG_CONF) != CR_SUCCESS)
        return ranges;
    RES_DES res = 0;
    CONFIGRET rc = CM_Get_Next_Res_Des(&res, config, ResType_IO, nullptr, 0);
    while (rc == CR_SUCCESS) {
        ULONG size = 0;
        if (CM_Get_Res_Des_Data_Size(&size, res, 0) == CR_SUCCESS && size >= sizeof(IO_DES)) {
            std::vector<char> data(size);
            IO_DES io{};
            if (CM_Get_Res_Des_Data(res, data.data(), size, 0) == CR_SUCCESS) {
                std::memcpy(&io, data.data(), sizeof io);
                if (io.IOD_Alloc_End >= io.IOD_Alloc_Base && io.IOD_Alloc_End <= 0xFFFF)
                    ranges.push_back({static_cast<unsigned>(io.IOD_Alloc_Base),
                                      static_cast<unsigned>(io.IOD_Alloc_End)});
            }
        }
        RES_DES next = 0;
        rc = CM_Get_Next_Res_Des(&next, res, ResType_IO, nullptr, 0);
        CM_Free_Res_Des_Handle(res);
        res = next;
    }
    CM_Free_Log_Conf_Handle(config);
    return ranges;
}

// The device's PortName ("LPT1", "COM3") from its registry key; "" when it has none.
std::string portName(HDEVINFO set, SP_DEVINFO_DATA& info) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return "";
    wchar_t name[64] = {};
    DWORD type = 0, size = sizeof name - sizeof(wchar_t);
    const LONG rc =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? narrow(name) : "";
}

// "ECP Printer Port (LPT1)"; the device's description when it has no friendly name.
std::string friendlyName(HDEVINFO set, SP_DEVINFO_DATA& info) {
    wchar_t text[256] = {};
    for (DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC})
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr,
                                              reinterpret_cast<BYTE*>(text),
                                              sizeof text - sizeof(wchar_t), nullptr))
            return narrow(text);
    return "";
}

} // namespace

PortListing listSystemPorts() {
    PortListing listing;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        listing.problem =
            "the system's device list cannot be read: " + systemMessage(GetLastError());
        listing.failed = true;
        return listing;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        SystemPort port;
        port.name = portName(set, info);
        if (!isLptName(port.name)) // the serial ports COMn share the class
            continue;
        port.description = friendlyName(set, info);
        port.ranges = ioRanges(info.DevInst);
        port.sppBase = sppBaseOf(port.ranges);
        listing.ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(set);
    // In the order of their numbers, so that the first is LPT1 when there is one.
    const auto number = [](const SystemPort& p) {
        return parseNumber(std::string_view(p.name).substr(3)).value_or(0);
    };
    std::sort(listing.ports.begin(), listing.ports.end(),
              [&](const auto& a, const auto& b) { return number(a) < number(b); });
    if (listing.ports.empty())
        listing.problem = "no parallel port: the system's device list has no LPT port (Device "
                          "Manager, Ports (COM & LPT)). A card needs its driver installed; a port "
                          "on the board may be turned off in the firmware setup";
    return listing;
}

PortSpec unsetSpec() {
    // A PCI or PCIe card sits wherever the system put it, not at 0x378: the
    // device list says where. Without the DLL no real port can be reached.
    const DefaultDll dll = findDefaultDll();
    if (dll.place != DefaultDll::Place::Missing)
        return windowsUnsetSpec(listSystemPorts(), dll);
    PortSpec spec;
    spec.path = defaultSimPath();
    spec.unset = UnsetChoice{UnsetChoice::Reason::NoDll, "", kDataPort, dll};
    return spec;
}

} // namespace lpt
