// SPDX-License-Identifier: MIT
#include "port/inpout.h"

#include "port/driver.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace lpt {

namespace {

std::unique_ptr<Driver>& theOpenPort() {
    static std::unique_ptr<Driver> port;
    return port;
}

FailureHandler& handler() {
    static FailureHandler h;
    return h;
}

std::optional<std::string>& chosen() {
    static std::optional<std::string> spec;
    return spec;
}

std::string& name() {
    static std::string n = "lptport";
    return n;
}

const char* const kForms =
#ifdef _WIN32
    "LPTn, dll, dll:PATH (either with @0xBASE), sim, sim:PATH";
#else
    "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE";
#endif

[[noreturn]] void badSpec(std::string_view value, std::string cause) {
    throw BadPortSpec({"PARPORT=" + std::string(value) + " is not a port", std::move(cause),
                       std::string("set PARPORT to one of ") + kForms + ", or unset it",
                       "docs/ports.md"});
}

} // namespace

std::string PortFailure::message() const {
    std::string m = what;
    if (!cause.empty())
        m += ": " + cause;
    if (!fix.empty())
        m += ". Fix: " + fix;
    if (!section.empty())
        m += " (see " + section + ")";
    return m;
}

std::string describeErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOENT:
        return "no such file or directory";
    default:
        return std::strerror(err);
    }
}

PortSpec parsePortSpec(const char* value) {
    PortSpec spec;
    const std::string_view v = value ? value : "";
    if (v.empty()) {
        // Without a real port the simulated one stands in, so the tools
        // always start; the port line says which was chosen and why.
#ifdef _WIN32
        // A PCI or PCIe card sits wherever the system put it, not at 0x378:
        // the device list says where.
        if (findDefaultDll(spec.why))
            return windowsUnsetSpec(listSystemPorts(), spec.why);
#elif defined(__linux__)
        // The kernel numbers the ports in the firmware's order, so with two
        // the one at 0x378 may well be parport1.
        struct stat st {};
        spec = linuxUnsetSpec(listSystemPorts(), ::stat("/dev/parport0", &st) == 0);
        if (spec.kind == PortSpec::Kind::Ppdev)
            return spec;
#else
        spec.why = "PARPORT unset, no real port driver on this system";
#endif
        spec.path = defaultSimPath();
        return spec;
    }
    if (v == "sim") {
        spec.path = defaultSimPath();
    } else if (v.starts_with("sim:")) {
        spec.path = v.substr(4);
        if (spec.path.empty())
            badSpec(v, "sim: needs the file that keeps the simulated port");
    } else if (v.starts_with("/dev/")) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = v;
    } else if (v == "direct" || v.starts_with("direct:")) {
        spec.kind = PortSpec::Kind::Direct;
        std::optional<long> base = 0x378;
        if (v != "direct")
            base = parseNumber(v.substr(7));
        if (!base || *base < 1 || *base > 0xFFFC)
            badSpec(v, "direct: needs a base address such as 0x378 or 0x278");
        spec.base = static_cast<int>(*base);
    } else if (v == "dll" || v.starts_with("dll:") || v.starts_with("dll@")) {
#ifdef _WIN32
        if (const std::string cause = parseDllForm(v, spec); !cause.empty())
            badSpec(v, cause);
#else
        badSpec(v, "the dll forms are for Windows; on Linux use a /dev/parportN node or direct");
#endif
    } else if (isLptName(v)) {
#ifdef _WIN32
        spec = lptSpec(v, listSystemPorts());
#else
        badSpec(v, "LPTn names a Windows port; on Linux use /dev/parportN (lptport ports lists "
                   "them)");
#endif
    } else {
        badSpec(v, "unknown form");
    }
    return spec;
}

std::unique_ptr<Driver> openDriver(const PortSpec& spec) {
    switch (spec.kind) {
    case PortSpec::Kind::Simulated:
        return openSimulated(spec.path);
    case PortSpec::Kind::Ppdev:
        return openPpdev(spec.path);
    case PortSpec::Kind::Direct:
        return openDirect(spec.base);
    case PortSpec::Kind::Dll:
        return openDll(spec.path, spec.base);
    }
    return nullptr;
}

OpenedPort openPort(const char* value) {
    OpenedPort opened;
    opened.spec = parsePortSpec(value);
    opened.driver = openDriver(opened.spec);
    opened.line = opened.spec.why.empty()
                      ? opened.driver->description()
                      : opened.spec.why + ": using the " + opened.driver->description();
    return opened;
}

void setFailureHandler(FailureHandler h) {
    handler() = std::move(h);
}
void setProgramName(std::string n) {
    name() = std::move(n);
}
const std::string& programName() {
    return name();
}

void choosePort(std::string spec) {
    if (spec.empty())
        chosen().reset();
    else
        chosen() = std::move(spec);
}

const char* chosenPortValue() {
    return chosen() ? chosen()->c_str() : std::getenv("PARPORT");
}

void installDriver(std::unique_ptr<Driver> driver) {
    theOpenPort() = std::move(driver);
}

void fail(const PortFailure& failure, int status) {
    if (handler())
        handler()(failure);
    else
        std::fprintf(stderr, "%s: %s\n", name().c_str(), failure.message().c_str());
    std::exit(status);
}

void fail(const PortError& error) {
    fail(error.failure(), dynamic_cast<const BadPortSpec*>(&error) ? 2 : 1);
}

Driver& currentDriver() {
    auto& port = theOpenPort();
    if (!port) {
        try {
            OpenedPort opened = openPort(chosenPortValue());
            port = std::move(opened.driver);
            std::fprintf(stderr, "%s: port: %s\n", name().c_str(), opened.line.c_str());
        } catch (const PortError& e) {
            fail(e);
        }
    }
    return *port;
}

namespace {
Register registerOrFail(short port) {
    if (auto reg = registerAt(port))
        return *reg;
    char text[16];
    std::snprintf(text, sizeof text, "0x%X",
                  static_cast<unsigned>(static_cast<unsigned short>(port)));
    fail({std::string("no port register at address ") + text, "",
          "use 0x378 (data), 0x379 (status) or 0x37A (control)", ""});
}
} // namespace

} // namespace lpt

void Out32(short port, short value) {
    lpt::Driver& driver = lpt::currentDriver();
    const lpt::Register reg = lpt::registerOrFail(port);
    try {
        driver.write(reg, static_cast<std::uint8_t>(value & 0xFF));
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
}

short Inp32(short port) {
    lpt::Driver& driver = lpt::currentDriver();
    const lpt::Register reg = lpt::registerOrFail(port);
    try {
        return driver.read(reg);
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
}
