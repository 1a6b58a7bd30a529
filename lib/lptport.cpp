// SPDX-License-Identifier: MIT
// liblptport: the C ABI of lptport.h over the port layer. Every entry point
// turns the layer's exceptions into a status and the calling thread's last
// failure; nothing here prints or ends the process.
#include "lib/lptport.h"

#include "lib/errors.h"

#include "lptport/ports_command.h"
#include "lptport/sampler.h"
#include "lptport/timing.h"
#include "port/driver.h"
#include "port/manual.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using lpt::PortFailure;
using lpt::Register;
using namespace lptlib;

constexpr std::size_t index(Register reg) {
    return static_cast<std::size_t>(reg);
}

/// The port layer's Windows messages name the program a port-I/O DLL is
/// looked for beside, and that is this process's executable (python.exe, a
/// lab's own program), not lptport.exe. Elsewhere they name no program.
void nameHostProgram() {
#ifdef _WIN32
    static std::once_flag once;
    std::call_once(once, [] {
        char path[MAX_PATH] = "";
        const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string name(path, n < MAX_PATH ? n : 0);
        name.erase(0, name.find_last_of("\\/") + 1);
        if (name.size() > 4 && ::_stricmp(name.c_str() + name.size() - 4, ".exe") == 0)
            name.resize(name.size() - 4);
        if (!name.empty())
            lpt::setProgramName(name);
    });
#endif
}

/// A pulse's restore, planned on the port's thread.
struct Restore {
    bool pending = false;
    std::uint8_t value = 0;
    std::int64_t deadline = 0; // monotonic ns
    std::uint64_t id = 0;      // which pulse planned it
};

// The port's thread sleeps on a condition variable, where a write that cancels
// a restore or a pulse due sooner wakes it at once, until this long before
// the restore; then the timer that times lptport pulse takes the last stretch
// (a sleep, then a spin on the clock), so a restore is as punctual as a pulse.
constexpr std::int64_t kTimerStretchNs = 2000000;
constexpr std::uint64_t kLongestWidthNs = 3600ull * 1000000000ull;

} // namespace

struct lptport_port {
    std::unique_ptr<lpt::Driver> driver;
    std::string description;
    bool simulated = false;

    mutable std::mutex mutex;        // serialises the port's calls; guards everything below
    std::condition_variable changed; // a restore planned, written or cancelled; closing
    std::array<Restore, 3> restores; // by register
    std::uint64_t pulses = 0;
    std::optional<std::int64_t> lastLateness;
    std::optional<PortFailure> restoreFailure; // a restore the port refused, for the next call
    bool closing = false;
    std::thread thread; // started by the first pulse

    /// The port's thread: writes each planned restore at its time.
    void restoreLoop() {
        lpt::MonotonicTimer timer; // made here: its settings are the calling thread's
        std::unique_lock lock(mutex);
        for (;;) {
            const Restore* next = nullptr;
            for (const Restore& r : restores)
                if (r.pending && (!next || r.deadline < next->deadline))
                    next = &r;
            if (!next) {
                if (closing)
                    return;
                changed.wait(lock);
                continue;
            }
            const std::int64_t deadline = next->deadline;
            if (deadline - lpt::monotonicNs() > kTimerStretchNs) {
                changed.wait_until(lock, std::chrono::steady_clock::time_point(
                                             std::chrono::nanoseconds(deadline - kTimerStretchNs)));
                continue;
            }
            lock.unlock();
            timer.waitUntil(deadline);
            lock.lock();
            for (std::size_t i = 0; i < restores.size(); ++i) {
                Restore& r = restores[i];
                if (!r.pending || r.deadline > lpt::monotonicNs())
                    continue; // cancelled by a write meanwhile, or not yet due
                r.pending = false;
                try {
                    driver->write(static_cast<Register>(i), r.value);
                    lastLateness = lpt::monotonicNs() - r.deadline;
                } catch (const lpt::PortError& e) {
                    restoreFailure = e.failure();
                }
            }
            changed.notify_all();
        }
    }

    /// A restore the port refused on its thread is the next call's failure.
    void reportRestoreFailure() {
        if (std::optional<PortFailure> f = std::exchange(restoreFailure, std::nullopt))
            throw Refusal{
                LPTPORT_E_PORT,
                {"a pulse's restore was not written: " + f->what, f->cause, f->fix, f->section}};
    }
};

namespace {

lptport_port& portOf(lptport_port* port, const char* name) {
    if (!port)
        refuse(LPTPORT_E_ARGUMENT, std::string(name) + ": no port", "the port given is NULL",
               "open one with lptport_open and pass what it returned");
    return *port;
}

Register registerOf(unsigned address, const char* name, bool writable) {
    const std::optional<Register> reg =
        address <= 0xFFFF ? lpt::registerAt(static_cast<int>(address)) : std::nullopt;
    if (!reg)
        refuse(LPTPORT_E_ARGUMENT,
               std::string(name) + ": no register at address " + lpt::hexAddress(address),
               "the registers of every port are reached at 0x378 (data), 0x379 (status) and "
               "0x37A (control), whatever the port's own base",
               "use 0x378, 0x379 or 0x37A; the port's base is chosen when it is opened");
    if (!writable && *reg == Register::Status)
        refuse(LPTPORT_E_ARGUMENT, std::string(name) + ": no pulse on the status register",
               "the status register 0x379 reads the port's input pins",
               "pulse the data (0x378) or control (0x37A) register");
    return *reg;
}

std::uint8_t byteOf(unsigned value, const char* name, const char* what) {
    if (value > 255)
        refuse(LPTPORT_E_ARGUMENT,
               std::string(name) + ": " + what + " " + std::to_string(value) + " is out of range",
               "a register holds one byte", "give a value from 0 to 255");
    return static_cast<std::uint8_t>(value);
}

} // namespace

extern "C" {

LPTPORT_API const char* lptport_version(void) {
    return LPTPANEL_VERSION;
}

LPTPORT_API char* lptport_ports_json(void) {
    char* result = nullptr;
    guarded("lptport_ports_json", [&] {
        nameHostProgram();
        const lpt::PortListing listing = lpt::listSystemPorts();
        if (listing.failed)
            refuse(LPTPORT_E_PORT, "cannot list the parallel ports", listing.problem, "", "");
        const lpt::PortSpec unset = lpt::parsePortSpec(nullptr);
        const std::string json = lpt::portsJson(listing, unset);
        result = static_cast<char*>(std::malloc(json.size() + 1));
        if (!result)
            throw std::bad_alloc();
        std::memcpy(result, json.c_str(), json.size() + 1);
    });
    return result;
}

LPTPORT_API void lptport_free(void* memory) {
    std::free(memory);
}

LPTPORT_API int lptport_open(const char* spec, unsigned flags, lptport_port** port) {
    if (port)
        *port = nullptr;
    return guarded("lptport_open", [&] {
        nameHostProgram();
        if (!port)
            refuse(LPTPORT_E_ARGUMENT, "lptport_open: nowhere to put the port",
                   "the pointer for the port is NULL", "pass the address of an lptport_port*");
        if (flags & ~unsigned{LPTPORT_OPEN_REAL_ONLY})
            refuse(LPTPORT_E_ARGUMENT, "lptport_open: unknown flags " + std::to_string(flags),
                   "the flags known are LPTPORT_OPEN_REAL_ONLY",
                   "pass 0 or LPTPORT_OPEN_REAL_ONLY");
        // "" is PARPORT set but empty, which the programs take as unset: a
        // caller passing getenv("PARPORT") gets the same choice, and the same
        // refusal of the simulated port under LPTPORT_OPEN_REAL_ONLY.
        if (spec && !*spec)
            spec = nullptr;
        if (!spec && (flags & LPTPORT_OPEN_REAL_ONLY)) {
            const lpt::PortSpec unset = lpt::parsePortSpec(nullptr);
            if (unset.kind == lpt::PortSpec::Kind::Simulated)
                refuse(LPTPORT_E_NO_PORT, "no parallel port found",
                       "PARPORT unset, " + lpt::unsetReason(unset),
                       "name the port (lptport ports lists them), or choose the simulated port "
                       "on purpose with \"sim\" (PARPORT=sim)",
                       lpt::kPagePorts);
        }
        lpt::OpenedPort opened = lpt::openPort(spec);
        auto p = std::make_unique<lptport_port>();
        p->driver = std::move(opened.driver);
        p->description = std::move(opened.line);
        p->simulated = opened.spec.kind == lpt::PortSpec::Kind::Simulated;
        *port = p.release();
    });
}

LPTPORT_API void lptport_close(lptport_port* port) {
    if (!port)
        return;
    {
        std::unique_lock lock(port->mutex);
        port->changed.wait(lock, [&] {
            for (const Restore& r : port->restores)
                if (r.pending)
                    return false;
            return true;
        });
        port->closing = true;
    }
    port->changed.notify_all();
    if (port->thread.joinable())
        port->thread.join();
    delete port;
}

LPTPORT_API const char* lptport_description(const lptport_port* port) {
    return port ? port->description.c_str() : "";
}

LPTPORT_API int lptport_is_simulated(const lptport_port* port) {
    return port && port->simulated ? 1 : 0;
}

LPTPORT_API int lptport_write(lptport_port* port, unsigned address, unsigned value) {
    return guarded("lptport_write", [&] {
        lptport_port& p = portOf(port, "lptport_write");
        const Register reg = registerOf(address, "lptport_write", true);
        const std::uint8_t written = byteOf(value, "lptport_write", "value");
        const std::lock_guard lock(p.mutex);
        p.reportRestoreFailure();
        p.restores[index(reg)].pending = false; // a write is never undone by an older pulse
        p.driver->write(reg, written);
        p.changed.notify_all();
    });
}

LPTPORT_API int lptport_read(lptport_port* port, unsigned address, unsigned* value) {
    return guarded("lptport_read", [&] {
        lptport_port& p = portOf(port, "lptport_read");
        const Register reg = registerOf(address, "lptport_read", true);
        if (!value)
            refuse(LPTPORT_E_ARGUMENT, "lptport_read: nowhere to put the value",
                   "the pointer for the value is NULL", "pass the address of an unsigned");
        const std::lock_guard lock(p.mutex);
        p.reportRestoreFailure();
        *value = p.driver->read(reg);
    });
}

LPTPORT_API int lptport_pulse(lptport_port* port, unsigned address, unsigned value,
                              uint64_t width_ns, int restore, unsigned flags) {
    return guarded("lptport_pulse", [&] {
        const char* name = "lptport_pulse";
        lptport_port& p = portOf(port, name);
        const Register reg = registerOf(address, name, false);
        const std::uint8_t on = byteOf(value, name, "value");
        if (width_ns == 0 || width_ns > kLongestWidthNs)
            refuse(LPTPORT_E_ARGUMENT,
                   "lptport_pulse: width " + std::to_string(width_ns) + " ns is out of range",
                   "a pulse lasts from 1 ns to an hour",
                   "give the width in nanoseconds, 1 to "
                   "3600000000000");
        if (restore != LPTPORT_RESTORE_PREVIOUS && (restore < 0 || restore > 255))
            refuse(LPTPORT_E_ARGUMENT,
                   "lptport_pulse: restore " + std::to_string(restore) + " is out of range",
                   "a register holds one byte",
                   "give 0..255, or LPTPORT_RESTORE_PREVIOUS for the value before the pulse");
        if (flags & ~unsigned{LPTPORT_PULSE_WAIT})
            refuse(LPTPORT_E_ARGUMENT, "lptport_pulse: unknown flags " + std::to_string(flags),
                   "the flags known are LPTPORT_PULSE_WAIT", "pass 0 or LPTPORT_PULSE_WAIT");
        std::unique_lock lock(p.mutex);
        p.reportRestoreFailure();
        if (!p.thread.joinable())
            p.thread = std::thread([&p] { p.restoreLoop(); });
        Restore& r = p.restores[index(reg)];
        // A pulse that cuts an earlier one short returns to where that one would have.
        const std::uint8_t back = restore != LPTPORT_RESTORE_PREVIOUS
                                      ? static_cast<std::uint8_t>(restore)
                                  : r.pending ? r.value
                                              : p.driver->read(reg);
        r.pending = false;
        p.driver->write(reg, on);
        r = {true, back, lpt::monotonicNs() + static_cast<std::int64_t>(width_ns), ++p.pulses};
        p.changed.notify_all();
        if (flags & LPTPORT_PULSE_WAIT) {
            const std::uint64_t id = r.id;
            p.changed.wait(lock, [&] { return !r.pending || r.id != id; });
            p.reportRestoreFailure();
        }
    });
}

LPTPORT_API int lptport_last_restore_lateness(const lptport_port* port, int64_t* lateness_ns) {
    return guarded("lptport_last_restore_lateness", [&] {
        if (!port || !lateness_ns)
            refuse(LPTPORT_E_ARGUMENT, "lptport_last_restore_lateness: a NULL argument",
                   "the port or the pointer for the lateness is NULL",
                   "pass an open port and the address of an int64_t");
        const std::lock_guard lock(port->mutex);
        if (!port->lastLateness)
            refuse(LPTPORT_E_ARGUMENT, "lptport_last_restore_lateness: no restore yet",
                   "no pulse of this port has been restored", "ask after a pulse's restore");
        *lateness_ns = *port->lastLateness;
    });
}

} // extern "C"
