// SPDX-License-Identifier: MIT
// Out32 and Inp32, the port they open at the first call (parport.cpp
// reads PARPORT), and the one failure path every port failure of the
// programs takes.
#include "port/inpout.h"

#include "port/driver.h"
#include "port/manual.h"
#include "port/numbers.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

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

} // namespace

std::string PortFailure::message() const {
    std::string m = what;
    if (!cause.empty())
        m += ": " + cause;
    if (!fix.empty())
        m += ". Fix: " + fix;
    if (!section.empty())
        m += " (see " + manualPage(section) + ")";
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
            OpenedPort opened = chosen() ? openPort(chosen()->c_str(), SpecSource::PortOption)
                                         : openPort(std::getenv("PARPORT"));
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
    fail({"no port register at address " +
              hexAddress(static_cast<unsigned>(static_cast<unsigned short>(port))),
          "", "use 0x378 (data), 0x379 (status) or 0x37A (control)", ""});
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
