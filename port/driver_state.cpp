// SPDX-License-Identifier: MIT
// The cause and fix of a port-I/O driver that does not run, from the facts.
#include "port/driver_state.h"

namespace lpt {

namespace {

// Windows 11 version 22H2, the first build whose blocklist is on by default.
constexpr unsigned kBlocklistDefaultBuild = 22621;

constexpr const char* kCoreIsolation =
    "Windows Security > Device security > Core isolation details";

bool installed(Service s) {
    return s == Service::Stopped || s == Service::Other;
}

} // namespace

Known blocklistOn(const DriverFacts& f) {
    // Microsoft's "Microsoft recommended driver block rules" and KB5020779:
    // the blocklist came as an option in Windows 10 1809, is enforced
    // wherever Memory integrity (HVCI), Smart App Control or S mode is on,
    // and since Windows 11 22H2 (build 22621) is on by default on every
    // device, switched in Windows Security's Core isolation page. Those pages
    // do not name the registry value; VulnerableDriverBlocklistEnable (0 off,
    // 1 on) is the one that switch writes, absent until it is first used, so
    // absent means the build's default.
    switch (f.blocklist) {
    case Switch::On:
        return Known::Yes;
    case Switch::Off:
        return Known::No;
    case Switch::Absent:
        if (f.build == 0)
            return Known::Unknown;
        return f.build >= kBlocklistDefaultBuild ? Known::Yes : Known::No;
    case Switch::Unknown:
        break;
    }
    return Known::Unknown;
}

DriverVerdict explainDriver(const DriverFacts& f, const std::string& program) {
    const std::string& svc = f.service;
    const std::string runAsAdmin =
        "run " + program + " once as administrator (right-click it, Run as administrator), " +
        "so that the DLL installs its driver";
    if (f.state == Service::Absent) {
        std::string cause = "its driver was never installed (no service " + svc + ")";
        if (f.driverFile == Known::Yes)
            cause += ", though System32\\drivers\\" + svc + ".sys is there";
        if (f.elevated != Known::Yes)
            return {cause, runAsAdmin};
        return {cause + ", and " + program + " runs as administrator, when the DLL installs it: " +
                    "something stopped the DLL from installing it",
                "look for " + svc + ".sys in your security software's quarantine (some take it " +
                    "for a vulnerable driver), and use InpOut's own DLL, whose driver's service " +
                    "is " + svc};
    }
    if (installed(f.state) && f.driverFile == Known::No)
        return {
            "its service " + svc + " is installed, but the driver file System32\\drivers\\" + svc +
                ".sys is missing (security software may have removed it as a vulnerable driver)",
            "restore it from the security software's quarantine, or, in an administrator Command "
            "Prompt, remove the service (sc delete " +
                svc + ") and " + runAsAdmin};
    const bool hvci = f.memoryIntegrity == Switch::On;
    const bool blocklist = blocklistOn(f) == Known::Yes;
    if (installed(f.state) && (hvci || blocklist)) {
        std::string which;
        std::string where;
        if (hvci) {
            which = "Memory integrity is on";
            where = "Memory integrity";
        }
        if (blocklist) {
            which += which.empty() ? "" : " and ";
            which += f.blocklist == Switch::On
                         ? "the vulnerable-driver blocklist is on"
                         : "the vulnerable-driver blocklist is on (the default of build " +
                               std::to_string(f.build) + ")";
            where += where.empty() ? "" : " and ";
            where += "Microsoft Vulnerable Driver Blocklist (the value "
                     "VulnerableDriverBlocklistEnable=0 in "
                     "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CI\\Config)";
        }
        return {"its service " + svc + " is installed, but Windows refuses the driver: " + which,
                "only on a machine you control, such as a dedicated lab PC, and as your own "
                "decision: turn off " +
                    where + " in " + kCoreIsolation +
                    ", then restart; that lets drivers with known holes, this one among them, "
                    "give any program full control of the PC. Else use Linux with ppdev on "
                    "this PC, or another port-I/O DLL with PARPORT=dll:PATH"};
    }
    if (f.state == Service::Stopped)
        return {"its service " + svc + " is installed but stopped",
                "start it: sc start " + svc +
                    " in an administrator Command Prompt (its message says why when it will "
                    "not), or restart Windows"};
    if (f.state == Service::Other)
        return {"its service " + svc + " is installed but starting, stopping or paused",
                "restart Windows"};
    if (f.state == Service::Running)
        return {"its service " + svc + " runs, yet the DLL cannot open its driver",
                "restart Windows; if it stays so, the DLL and the driver may come from different "
                "InpOut releases, or security software (an anti-cheat driver) may block it"};
    return {"the service manager could not be asked about " + svc +
                "; the DLL installs its driver when run as administrator, and Windows refuses "
                "it where Memory integrity or the vulnerable-driver blocklist is on",
            runAsAdmin + "; if it still does not run, see " + kCoreIsolation};
}

std::string describeFacts(const DriverFacts& f) {
    auto known = [](Known k, const char* yes, const char* no, const char* unknown) {
        return std::string(k == Known::Yes ? yes : k == Known::No ? no : unknown);
    };
    auto onOff = [](Switch s, const char* absent) {
        switch (s) {
        case Switch::On:
            return std::string("on");
        case Switch::Off:
            return std::string("off");
        case Switch::Absent:
            return std::string(absent);
        case Switch::Unknown:
            break;
        }
        return std::string("unknown");
    };
    static const char* const kStates[] = {"unknown", "not installed", "running", "stopped",
                                          "starting, stopping or paused"};
    std::string blocklist = onOff(f.blocklist, "switch absent");
    if (f.blocklist == Switch::Absent)
        blocklist +=
            known(blocklistOn(f), " (on by default)", " (off by default)", " (default unknown)");
    return known(f.elevated, "elevated", "not elevated", "elevation unknown") + ", service " +
           f.service + " " + kStates[static_cast<int>(f.state)] + ", " + f.service + ".sys " +
           known(f.driverFile, "present", "missing", "unknown") + ", Memory integrity " +
           onOff(f.memoryIntegrity, "not configured") + ", blocklist " + blocklist + ", build " +
           (f.build ? std::to_string(f.build) : std::string("unknown"));
}

} // namespace lpt
