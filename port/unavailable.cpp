// The factories of the drivers this system has not got: PARPORT may still name
// them, and the answer says which system they are for.
#include "port/driver.h"
#ifdef _WIN32
#include "port/simulated.h"
#endif

namespace lpt {

#ifndef __linux__
std::unique_ptr<Driver> openPpdev(const std::string& node) {
    throw PortError({"cannot open " + node, "ppdev is the Linux parallel port driver",
                     "unset PARPORT to use the port-I/O DLL", "Real ports on Windows"});
}

std::unique_ptr<Driver> openDirect(int) {
    throw PortError({"cannot use direct port I/O", "it is the Linux driver",
                     "unset PARPORT to use the port-I/O DLL", "Real ports on Windows"});
}
#endif

#ifndef _WIN32
std::unique_ptr<Driver> openDll(const std::string&) {
    throw PortError({"cannot load a port-I/O DLL", "the DLL driver is for Windows",
                     "on Linux use PARPORT=/dev/parportN (ppdev) or direct",
                     "Real ports on Linux"});
}
#else
namespace {
[[noreturn]] void noSimulatedPort(const std::string& path) {
    throw PortError({"cannot open the simulated port " + path,
                     "the simulated port is available on Linux",
                     "unset PARPORT to use the port-I/O DLL", "Real ports on Windows"});
}
} // namespace

std::unique_ptr<Driver> openSimulated(const std::string& path) {
    noSimulatedPort(path);
}

// lptport's sim commands reach the class itself. No SimulatedPort is ever made
// here, so the members past open and reset are never called.
std::unique_ptr<SimulatedPort> SimulatedPort::open(const std::string& path) {
    noSimulatedPort(path);
}
void SimulatedPort::reset(const std::string& path) {
    noSimulatedPort(path);
}
SimulatedPort::~SimulatedPort() = default;
std::string SimulatedPort::description() const {
    return "simulated port " + path_;
}
void SimulatedPort::write(Register, std::uint8_t) {}
std::uint8_t SimulatedPort::read(Register) {
    return 0;
}
void SimulatedPort::setStatus(std::uint8_t) {}
std::uint8_t SimulatedPort::setStatusValue() const {
    return kFreshStatus;
}
void SimulatedPort::setWiring(Wiring) {}
Wiring SimulatedPort::wiring() const {
    return Wiring::Open;
}
std::uint64_t SimulatedPort::writeCount() const {
    return 0;
}
std::uint64_t SimulatedPort::statusReads() const {
    return 0;
}
std::vector<std::pair<Register, std::uint8_t>> SimulatedPort::writeLog() const {
    return {};
}
#endif

} // namespace lpt
