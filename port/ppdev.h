// SPDX-License-Identifier: MIT
// The Linux ppdev driver: a port reached through its /dev/parportN node.
//
// Opening claims the port for this process alone (PPEXCL, PPCLAIM); the
// kernel's parport_pc then does the register accesses for us, so no root
// rights are needed, only membership of group lp.
#pragma once

#include "port/driver.h"

#include <memory>
#include <optional>
#include <string>

namespace lpt {

/// The system calls the ppdev driver makes. Calls return what the system call
/// returns on success and -errno on failure. openPpdev(node) uses the real
/// calls; tests hand openPpdev a fake kernel instead.
class PpdevSystem {
public:
    virtual ~PpdevSystem() = default;
    virtual int open(const std::string& path, int flags) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void close(int fd) = 0;
    /// The whole of a small text file (/proc), or nothing when it cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
};

/// Opens and claims node through the given system calls; throws PortError.
std::unique_ptr<Driver> openPpdev(const std::string& node, std::shared_ptr<PpdevSystem> system);

} // namespace lpt
