// SPDX-License-Identifier: MIT
// The Linux direct I/O driver: x86 port instructions on the port's three
// registers at base, base+1, base+2. It needs root (CAP_SYS_RAWIO) and a kernel
// that is not locked down; ppdev needs neither.
#pragma once

#include "port/driver.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lpt {

/// The system calls the direct I/O driver makes. ioperm returns 0 or -errno.
/// openDirect(base) uses the real calls; tests hand openDirect a fake.
class DirectIoSystem {
public:
    virtual ~DirectIoSystem() = default;
    virtual int ioperm(unsigned long from, unsigned long count, int on) = 0;
    virtual void outb(std::uint8_t value, std::uint16_t port) = 0;
    virtual std::uint8_t inb(std::uint16_t port) = 0;
    /// Whether this process holds CAP_SYS_RAWIO (root normally does).
    virtual bool hasRawIo() = 0;
    /// The whole of a small text file (/sys), or nothing when it cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
};

/// Gains access to the three registers at base through the given system;
/// throws PortError.
std::unique_ptr<Driver> openDirect(int base, std::shared_ptr<DirectIoSystem> system);

} // namespace lpt
