// SPDX-License-Identifier: MIT
// The port driver interface, the driver choice (PARPORT), and the failure path.
#pragma once

#include "port/registers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lpt {

/// A failure to open or use a port: what failed, why, and what the user can do.
struct PortFailure {
    std::string what;    // "cannot open /dev/parport0"
    std::string cause;   // "permission denied"
    std::string fix;     // "add yourself to group lp: sudo adduser $USER lp, then log in again"
    std::string section; // the manual's page that explains it, e.g. "docs/linux.md"

    /// One line: "<what>: <cause>. Fix: <fix> (see <section>)".
    std::string message() const;
};

/// Thrown inside the port layer; Out32/Inp32 hand it to the failure handler.
class PortError : public std::runtime_error {
public:
    explicit PortError(PortFailure failure)
        : std::runtime_error(failure.message()), failure_(std::move(failure)) {}
    const PortFailure& failure() const { return failure_; }

private:
    PortFailure failure_;
};

/// A PARPORT value of no known form (a usage error, where a PortError is a
/// port that cannot be used).
class BadPortSpec : public PortError {
public:
    using PortError::PortError;
};

/// One open port. The addresses 0x378..0x37A are mapped by the caller to the
/// three registers; a driver gives raw register semantics: a write puts the
/// byte into the register at once, a read returns the register's byte, and no
/// bit is inverted in software.
class Driver {
public:
    virtual ~Driver() = default;
    /// Names the port, for the one line printed when it is opened.
    virtual std::string description() const = 0;
    virtual void write(Register reg, std::uint8_t value) = 0;
    virtual std::uint8_t read(Register reg) = 0;
};

/// Where the default port-I/O DLL lies (Windows), as PARPORT unset finds it.
struct DefaultDll {
    enum class Place { Missing, BesideProgram, BesideLibrary, SystemFolder };
    Place place = Place::Missing;
    std::string name;    // "inpoutx64.dll"
    std::string program; // "lptport.exe", the program it is looked for beside
    // Inside liblptport (a script's python.exe is the program): the library's
    // file name, whose folder is searched too, and where the DLL was found
    // there (BesideLibrary), to be loaded by that path.
    std::string library;
    std::string path;
};

/// What PARPORT unset chose, and why: the reason and the facts it rests on.
/// Each system's ports file decides it; describeUnset (port/ports.h) words it.
struct UnsetChoice {
    enum class Reason {
        PanelBase,         // Linux: the port at 0x378, through its node
        PanelBaseNodeless, // Linux: the port at 0x378 has no node (port), the first port with one
        FirstPort,         // Linux: no port at 0x378, the first port
        OnlyParport0,      // Linux: no port listed, but /dev/parport0 present
        MissingNode,       // Linux, simulated port: the port has no node (port)
        NoPort,            // Linux, simulated port: no parallel port
        ListedPort,        // Windows: the DLL at the base of port from the device list
        ListedPortNoBase,  // Windows: port has no known base; the DLL at 0x378
        NoListedPort,      // Windows: no LPT port in the device list; the DLL at 0x378
        NoDll,             // Windows, simulated port: the default DLL is missing
        NoDriver,          // other systems, simulated port: no real port driver
    };
    Reason reason = Reason::NoDriver;
    std::string port;     // the port the reason names: Linux its node, Windows its LPT name
    int base = kDataPort; // ListedPort: the port's base
    DefaultDll dll;       // Windows: where the default DLL was found, or not
};

/// What PARPORT asks for.
struct PortSpec {
    enum class Kind { Simulated, Ppdev, Direct, Dll };
    Kind kind = Kind::Simulated;
    std::string path;                 // sim file, /dev/parportN, or DLL path ("" = default)
    int base = 0x378;                 // direct I/O or DLL: the base 0x378..0x37A are mapped to
    std::optional<UnsetChoice> unset; // PARPORT unset: what was chosen and why
};

/// Parses a PARPORT value (nullptr = unset). Unset picks the system's default
/// (unsetSpec in port/ports.h): Linux the node of the port at 0x378, else
/// /dev/parport0, Windows the port-I/O DLL when it lies beside the program or
/// in the system folder, else the simulated port.
/// Throws BadPortSpec for a form it does not know, PortError for a port it
/// cannot find (PARPORT=LPTn).
PortSpec parsePortSpec(const char* value);
/// Where a port spec comes from, for the message that refuses it: the
/// variable PARPORT, or the programs' option --port.
enum class SpecSource { Parport, PortOption };
PortSpec parsePortSpec(const char* value, SpecSource source);
/// PARPORT's DLL forms, dll or dll:PATH, each with an optional @0xBASE: spec
/// becomes the DLL (path "" for the default one) at that base (else 0x378).
/// Returns "" when value is such a form, else why it is not.
std::string parseDllForm(std::string_view value, PortSpec& spec);
/// The simulated port's default file: $XDG_RUNTIME_DIR/lptpanel/port, else
/// /tmp/lptpanel-<uid>/port; on Windows %LOCALAPPDATA%\lptpanel\port.
std::string defaultSimPath();
/// Opens the driver a spec names; throws PortError.
std::unique_ptr<Driver> openDriver(const PortSpec& spec);

/// A port opened from a PARPORT value: what was asked for, the driver, and
/// the port line that names it ("PARPORT unset, ...: using the simulated
/// port in FILE"), which the programs print after "NAME: port: ".
struct OpenedPort {
    PortSpec spec;
    std::unique_ptr<Driver> driver;
    std::string line;
};
/// Parses value (nullptr = unset) and opens that port. Prints nothing and
/// never exits: throws BadPortSpec or PortError.
OpenedPort openPort(const char* value, SpecSource source = SpecSource::Parport);

using FailureHandler = std::function<void(const PortFailure&)>;
/// Sets the one place port failures go. The handler is not expected to return;
/// if it does, the process exits with status 1 (nothing is retried).
void setFailureHandler(FailureHandler handler);
/// The prefix of the lines the layer prints ("lptport", "lptpanel").
void setProgramName(std::string name);
const std::string& programName();

/// Makes spec (PARPORT's grammar) the port the first Out32/Inp32 opens, in
/// place of PARPORT: the programs' --port option. An empty spec is PARPORT's
/// value again.
void choosePort(std::string spec);
/// The value the first Out32/Inp32 opens: the chosen spec, else PARPORT;
/// nullptr when neither is set.
const char* chosenPortValue();

/// Makes driver the open port (tests, tools); Out32/Inp32 then use it without
/// reading PARPORT. Passing nullptr closes the port, so the next call opens
/// one from PARPORT again.
void installDriver(std::unique_ptr<Driver> driver);
/// The open port, opening it from PARPORT first if none is; a failure goes
/// to the failure handler.
Driver& currentDriver();
/// Reports a failure through the handler and ends the process with status
/// (where no handler ends it first).
[[noreturn]] void fail(const PortFailure& failure, int status = 1);
/// The same for a thrown failure: status 2 for a PARPORT value of no known
/// form, which is a usage error, else 1.
[[noreturn]] void fail(const PortError& error);

/// "permission denied", "no such file or directory", ... for an errno value.
std::string describeErrno(int err);

// Driver factories, one file each; each throws PortError with its own fix.
std::unique_ptr<Driver> openSimulated(const std::string& path);
std::unique_ptr<Driver> openPpdev(const std::string& node);
std::unique_ptr<Driver> openDirect(int base);
std::unique_ptr<Driver> openDll(const std::string& path, int base);
/// Windows: where the default port-I/O DLL (inpoutx64.dll in a 64-bit build)
/// lies of the places a bare name is loaded from, beside the program or in the
/// system folder.
DefaultDll findDefaultDll();
/// Windows: which port-I/O DLL the port --port or PARPORT names loads (else
/// unset, PARPORT unset's choice: the default DLL unless a spec names
/// another), where it was found, and whether its kernel driver runs; loading
/// it installs the driver when run as administrator. "" on other systems.
std::string portIoDllState(const PortSpec& unset);

} // namespace lpt
