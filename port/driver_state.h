// SPDX-License-Identifier: MIT
// Why the port-I/O DLL's kernel driver is not running: the facts Windows
// gives (read by driver_state_windows.cpp), and the one cause and fix they
// point to, as plain code tested on every combination.
#pragma once

#include <string>

namespace lpt {

/// A yes/no fact that could not always be read.
enum class Known { Unknown, No, Yes };

/// A registry switch: its value absent, 0, nonzero, or unreadable.
enum class Switch { Unknown, Absent, Off, On };

/// What the service control manager says of the driver's service.
enum class Service { Unknown, Absent, Running, Stopped, Other };

/// The facts behind a driver that does not run.
struct DriverFacts {
    Known elevated = Known::Unknown; // the program runs as administrator
    std::string service;             // "inpoutx64" (64-bit Windows) or "inpout32"
    Service state = Service::Unknown;
    Known driverFile = Known::Unknown; // System32\drivers\<service>.sys exists
    Switch memoryIntegrity = Switch::Unknown;
    Switch blocklist = Switch::Unknown; // VulnerableDriverBlocklistEnable
    unsigned build = 0;                 // Windows build number, 0 unknown
};

/// One cause and one fix.
struct DriverVerdict {
    std::string cause;
    std::string fix;
};

/// Whether the vulnerable-driver blocklist refuses drivers on this PC: its
/// switch, else the default of this Windows build.
Known blocklistOn(const DriverFacts& facts);

/// The cause and fix for a DLL whose driver does not run, in the order of
/// likelihood: never installed, refused by Memory integrity or the
/// blocklist, stopped. program is "lptport.exe" or "lptpanel.exe".
DriverVerdict explainDriver(const DriverFacts& facts, const std::string& program);

/// The facts as one line: "not elevated; service inpoutx64 stopped, ...".
std::string describeFacts(const DriverFacts& facts);

/// This PC's facts, read from Windows (driver_state_windows.cpp, Windows only).
DriverFacts readDriverFacts();

} // namespace lpt
