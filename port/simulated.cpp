// SPDX-License-Identifier: MIT
#include "port/simulated.h"
#include "port/manual.h"

#include "port/portfile.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

namespace lpt {

namespace portfile {

constexpr const char* kSection = kPagePortFile;

[[noreturn]] void refuse(const std::string& path, std::string cause, std::string fix) {
    throw PortError(
        {"simulated port file " + path + " refused", std::move(cause), std::move(fix), kSection});
}

std::string resetFix() {
    return "run `lptport sim reset` with the same PARPORT to make a fresh port there, or choose "
           "another file with PARPORT=sim:PATH";
}

} // namespace portfile

namespace {

using portfile::refuse;
using portfile::resetFix;

constexpr char kMagic[8] = {'L', 'P', 'T', 'S', 'I', 'M', '\0', '\1'};
constexpr std::uint32_t kVersion = 1;

template <class T> std::atomic_ref<T> at(T& field) {
    return std::atomic_ref<T>(field);
}

} // namespace

struct SimulatedPort::Shared {
    char magic[8];
    std::uint32_t version;
    std::uint32_t size;
    std::uint32_t data;
    std::uint32_t status;
    std::uint32_t control;
    std::uint32_t wiring;
    std::uint64_t writes;
    std::uint64_t reads;
    // Entry: (sequence number + 1) << 16 | register << 8 | value.
    std::uint64_t log[kLogSize];

    void clear() {
        at(writes).store(0);
        at(reads).store(0);
        for (auto& entry : log)
            at(entry).store(0);
        at(data).store(0);
        at(control).store(0);
        at(status).store(kFreshStatus);
        at(wiring).store(static_cast<std::uint32_t>(Wiring::Open));
    }

    // What makes a file with a valid header damaged: a field holding a value
    // the port never stores. Empty when every field is possible. Values that
    // go bad after the file was opened are read sanely instead (registers by
    // their low byte, an unknown wiring as open, the log within its bounds).
    std::string damage() {
        const std::pair<const char*, std::uint32_t> registers[] = {{"data", at(data).load()},
                                                                   {"status", at(status).load()},
                                                                   {"control", at(control).load()}};
        for (auto [name, value] : registers)
            if (value > 0xFF)
                return std::string("its ") + name + " register holds " + std::to_string(value) +
                       ", more than a byte";
        if (const std::uint32_t w = at(wiring).load(); w > 1)
            return "its wiring is " + std::to_string(w) + ", neither open (0) nor loopback (1)";
        // A writer takes its number before it stores its entry, so with the
        // entries read first no entry may be newer than the counter.
        std::uint64_t newest = 0;
        for (auto& entry : log)
            newest = std::max(newest, at(entry).load(std::memory_order_acquire) >> 16);
        const std::uint64_t n = at(writes).load(std::memory_order_acquire);
        if (n >= kMaxWrites)
            return "its write counter " + std::to_string(n) + " is beyond what its log can number";
        if (newest > n)
            return "its log holds write " + std::to_string(newest) + ", beyond its write counter " +
                   std::to_string(n);
        return {};
    }
};
static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free,
              "the simulated port needs lock-free 64-bit atomics");

std::uint8_t loopbackStatus(std::uint8_t data) {
    // All wired inputs low (BUSY's register bit is then 1); bits 0-2 have no
    // pin and read 1. A wire driven high flips its input's register bit.
    int status = 0x07 | kStatusInverted;
    for (const LoopbackWire& wire : kLoopbackWires)
        if ((data >> wire.dataBit) & 1)
            status ^= 1 << wire.statusBit;
    return static_cast<std::uint8_t>(status);
}

std::unique_ptr<SimulatedPort> SimulatedPort::open(const std::string& path) {
    // One file format on every system: fixed field sizes and offsets, no padding,
    // little-endian numbers (every system the port runs on is little-endian).
    static_assert(std::endian::native == std::endian::little,
                  "the port file keeps its numbers little-endian");
    static_assert(offsetof(Shared, version) == 8 && offsetof(Shared, size) == 12 &&
                      offsetof(Shared, data) == 16 && offsetof(Shared, status) == 20 &&
                      offsetof(Shared, control) == 24 && offsetof(Shared, wiring) == 28 &&
                      offsetof(Shared, writes) == 32 && offsetof(Shared, reads) == 40 &&
                      offsetof(Shared, log) == 48,
                  "the port file's fields lie at fixed offsets");
    static_assert(sizeof(Shared) == 48 + 8 * kLogSize, "the port file has a fixed size");
    void* mem = portfile::map(path, sizeof(Shared), [](void* fresh) {
        auto* s = static_cast<Shared*>(fresh);
        s->clear();
        s->version = kVersion;
        s->size = sizeof(Shared);
        std::atomic_thread_fence(std::memory_order_release);
        std::memcpy(s->magic, kMagic, sizeof kMagic);
    });
    auto* shared = static_cast<Shared*>(mem);
    if (std::memcmp(shared->magic, kMagic, sizeof kMagic) != 0 || shared->version != kVersion ||
        shared->size != sizeof(Shared)) {
        portfile::unmap(mem, sizeof(Shared));
        refuse(path, "it is not a simulated port file (wrong header)", resetFix());
    }
    if (const std::string cause = shared->damage(); !cause.empty()) {
        portfile::unmap(mem, sizeof(Shared));
        refuse(path, "it is damaged: " + cause, resetFix());
    }
    return std::unique_ptr<SimulatedPort>(new SimulatedPort(path, shared));
}

void SimulatedPort::reset(const std::string& path) {
    try {
        open(path)->shared_->clear();
        return;
    } catch (const PortError&) {
        // Not a valid port file: the user asked for a fresh one, so whatever is
        // at path (a link, a damaged file) is replaced. The directory checks
        // still hold, so nothing outside a directory of the user's is touched.
        portfile::remove(path);
    }
    open(path);
}

SimulatedPort::SimulatedPort(std::string path, Shared* shared)
    : path_(std::move(path)), shared_(shared) {}

SimulatedPort::~SimulatedPort() {
    portfile::unmap(shared_, sizeof(Shared));
}

std::string SimulatedPort::description() const {
    return "simulated port " + path_ + " (wiring " +
           (wiring() == Wiring::Loopback ? "loopback" : "open") + ")";
}

void SimulatedPort::write(Register reg, std::uint8_t value) {
    // The status register is an input: as on the hardware, a write to it does nothing.
    if (reg == Register::Status)
        return;
    at(reg == Register::Data ? shared_->data : shared_->control).store(value);
    const std::uint64_t seq = at(shared_->writes).fetch_add(1);
    const std::uint64_t entry = ((seq + 1) << 16) | (static_cast<std::uint64_t>(reg) << 8) | value;
    // A writer held up between taking its number and storing (descheduled on
    // a busy machine) may come back after the ring has gone round: its entry
    // must not overwrite the newer one now in its slot, so it is stored only
    // over an older entry (else it has left the ring already).
    auto slot = at(shared_->log[seq % kLogSize]);
    std::uint64_t held = slot.load(std::memory_order_relaxed);
    while ((held >> 16) < seq + 1 &&
           !slot.compare_exchange_weak(held, entry, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    }
}

std::uint8_t SimulatedPort::read(Register reg) {
    switch (reg) {
    case Register::Data:
        return static_cast<std::uint8_t>(at(shared_->data).load());
    case Register::Control:
        return static_cast<std::uint8_t>(at(shared_->control).load());
    case Register::Status:
        break;
    }
    at(shared_->reads).fetch_add(1);
    if (wiring() == Wiring::Loopback)
        return loopbackStatus(static_cast<std::uint8_t>(at(shared_->data).load()));
    return static_cast<std::uint8_t>(at(shared_->status).load());
}

void SimulatedPort::setStatus(std::uint8_t value) {
    at(shared_->status).store(value);
}
std::uint8_t SimulatedPort::setStatusValue() const {
    return static_cast<std::uint8_t>(at(shared_->status).load());
}
void SimulatedPort::setWiring(Wiring w) {
    at(shared_->wiring).store(static_cast<std::uint32_t>(w));
}
Wiring SimulatedPort::wiring() const {
    return at(shared_->wiring).load() == 1 ? Wiring::Loopback : Wiring::Open;
}
std::uint64_t SimulatedPort::writeCount() const {
    return at(shared_->writes).load();
}
std::uint64_t SimulatedPort::statusReads() const {
    return at(shared_->reads).load();
}

namespace {

// A writer stores its log entry right after taking its number, so an entry
// still missing after kEntryWait belongs to a writer that stopped in between
// (killed), or to a damaged file: that write is counted as lost. One listing
// waits kListingWait in all at most, so even a file whose every entry is
// missing answers at once.
constexpr std::chrono::steady_clock::duration kEntryWait = std::chrono::milliseconds(1);
constexpr std::chrono::steady_clock::duration kListingWait = std::chrono::milliseconds(2);

} // namespace

std::vector<SimulatedPort::LoggedWrite> SimulatedPort::writesSince(std::uint64_t since) const {
    using clock = std::chrono::steady_clock;
    // Entry i (0-based) holds write number i + 1; a counter that went bad after
    // the file was opened is bounded here, so every number fits its entry.
    auto count = [this] {
        return std::min(at(shared_->writes).load(std::memory_order_acquire), kMaxWrites - 1);
    };
    auto oldestHeld = [](std::uint64_t n) { return n > kLogSize ? n - kLogSize : 0; };
    const std::uint64_t n = count();
    std::vector<LoggedWrite> seen;
    clock::duration waited{};
    for (std::uint64_t i = std::max(since, oldestHeld(n)); i < n; ++i) {
        auto load = [&] { return at(shared_->log[i % kLogSize]).load(std::memory_order_acquire); };
        std::uint64_t entry = load();
        if ((entry >> 16) < i + 1 && waited < kListingWait) {
            const auto start = clock::now();
            const auto until = start + std::min(kEntryWait, kListingWait - waited);
            while ((entry >> 16) < i + 1 && clock::now() < until) {
                std::this_thread::yield();
                entry = load();
            }
            waited += clock::now() - start;
        }
        // Kept when it is this write's own entry: a later number means it was
        // overwritten meanwhile, an earlier one that it is lost.
        const auto reg = static_cast<Register>((entry >> 8) & 0xFF);
        if ((entry >> 16) == i + 1 && (reg == Register::Data || reg == Register::Control))
            seen.push_back({i + 1, reg, static_cast<std::uint8_t>(entry & 0xFF)});
    }
    // Writers that went on while we read may have overwritten the oldest
    // entries; keep only what is still among the last kLogSize writes, so the
    // result never has a gap in its middle.
    const std::uint64_t oldest = oldestHeld(count());
    std::erase_if(seen, [oldest](const LoggedWrite& w) { return w.number <= oldest; });
    return seen;
}

std::unique_ptr<Driver> openSimulated(const std::string& path) {
    return SimulatedPort::open(path);
}

} // namespace lpt
