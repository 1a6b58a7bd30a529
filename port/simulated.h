// SPDX-License-Identifier: MIT
// The simulated port: three registers, counters, a write log and a wiring mode
// kept in a small memory-mapped file, so that the panel, lptport and tests in
// other processes share one port. Every field is an atomic, so another
// process's change is seen at the next read and no value is ever torn.
#pragma once

#include "port/driver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lpt {

enum class Wiring : std::uint32_t {
    Open = 0,     // status is whatever was set; a fresh port reads 0x7F
    Loopback = 1, // plug 2->15, 3->13, 4->12, 5->10, 6->11
};

/// Status register value the loopback plug (kLoopbackWires) gives for a data
/// register value: S3..S6 follow D0..D3, the BUSY pin follows D4 (bit 7 is
/// its complement), and bits 0..2, which have no pin, read 1.
std::uint8_t loopbackStatus(std::uint8_t data);

class SimulatedPort final : public Driver {
public:
    static constexpr std::size_t kLogSize = 65536;
    static constexpr std::uint8_t kFreshStatus = 0x7F;
    /// Write numbers are kept in 48 bits of a log entry: a port file whose
    /// counter has reached this is damaged.
    static constexpr std::uint64_t kMaxWrites = std::uint64_t{1} << 48;

    /// Opens the port file at path, creating it (0600, in a 0700 directory)
    /// when it does not exist. A file that is not a valid port file, a link,
    /// or another user's file is refused with a PortError and left as it was.
    static std::unique_ptr<SimulatedPort> open(const std::string& path);
    /// Makes path a fresh port: an existing valid file is reset in place (an
    /// open panel sees it); anything else at path is removed and replaced.
    static void reset(const std::string& path);

    ~SimulatedPort() override;
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    std::string description() const override;
    void write(Register reg, std::uint8_t value) override;
    std::uint8_t read(Register reg) override;

    const std::string& path() const { return path_; }
    /// The status value set by hand (what `open` wiring reports).
    void setStatus(std::uint8_t value);
    std::uint8_t setStatusValue() const;
    void setWiring(Wiring wiring);
    Wiring wiring() const;
    /// How many writes the port has had; the first is write number 1.
    std::uint64_t writeCount() const;
    std::uint64_t statusReads() const;

    /// One write in the log, by its number (1 for the port's first write).
    struct LoggedWrite {
        std::uint64_t number;
        Register reg;
        std::uint8_t value;
        bool operator==(const LoggedWrite&) const = default;
    };
    /// The writes after the since-th that the log still holds (the last
    /// kLogSize), oldest first. A write whose entry its writer has not stored
    /// almost at once (a writer killed mid-write, a damaged file) is left out,
    /// and the whole listing waits at most a few milliseconds for such entries,
    /// so it answers at once whatever the file holds.
    std::vector<LoggedWrite> writesSince(std::uint64_t since) const;

private:
    struct Shared;
    SimulatedPort(std::string path, Shared* shared);
    std::string path_;
    Shared* shared_;
};

} // namespace lpt
