// SPDX-License-Identifier: MIT
#include "port/direct.h"
#include "port/manual.h"

#include "port/numbers.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#define LPTPANEL_X86_IO 1
#include <sys/io.h>
#endif

namespace lpt {

namespace {

constexpr const char* kSection = kPageLinux;
constexpr const char* kUsePpdev = "use ppdev: PARPORT=/dev/parport0";

[[maybe_unused]] std::optional<std::string> readText(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#ifdef LPTPANEL_X86_IO
class KernelDirectIo final : public DirectIoSystem {
public:
    int ioperm(unsigned long from, unsigned long count, int on) override {
        return ::ioperm(from, count, on) == 0 ? 0 : -errno;
    }
    void outb(std::uint8_t value, std::uint16_t port) override { ::outb(value, port); }
    std::uint8_t inb(std::uint16_t port) override { return ::inb(port); }
    bool hasRawIo() override {
        // CapEff is the effective capability set in hex; CAP_SYS_RAWIO is bit 17.
        if (const auto status = readText("/proc/self/status")) {
            std::istringstream lines(*status);
            for (std::string line; std::getline(lines, line);)
                if (line.starts_with("CapEff:"))
                    return (std::strtoull(line.c_str() + 7, nullptr, 16) >> 17) & 1;
        }
        return ::geteuid() == 0;
    }
    std::optional<std::string> readFile(const std::string& path) override { return readText(path); }
};
#endif

// The selected lockdown mode ("none", "integrity", "confidentiality"), shown
// in brackets in /sys/kernel/security/lockdown; "" when it cannot be read.
std::string lockdownMode(DirectIoSystem& system) {
    const auto text = system.readFile("/sys/kernel/security/lockdown");
    if (!text)
        return "";
    const auto open = text->find('[');
    const auto close = text->find(']', open);
    if (open == std::string::npos || close == std::string::npos)
        return "";
    return text->substr(open + 1, close - open - 1);
}

PortFailure permissionFailure(int base, int err, DirectIoSystem& system) {
    PortFailure f{"cannot reach the port at " + hexAddress(static_cast<unsigned>(base)) +
                      " by direct I/O",
                  describeErrno(err), kUsePpdev, kSection};
    if (err == ENOSYS) {
        f.cause = "this kernel (or the sandbox it runs in) offers no port I/O";
        return f;
    }
    if (err != EPERM)
        return f;
    if (!system.hasRawIo()) {
        f.cause = "permission denied: port I/O needs root (CAP_SYS_RAWIO)";
        f.fix = std::string("run as root (CAP_SYS_RAWIO), or ") + kUsePpdev;
        return f;
    }
    // The kernel refuses ioperm even to root while it is locked down, which
    // Secure Boot turns on.
    const std::string mode = lockdownMode(system);
    if (mode == "none") {
        f.cause = "refused although this process may do raw I/O (a container or sandbox "
                  "forbids port I/O)";
        f.fix = std::string(kUsePpdev) + ", or run outside the sandbox";
    } else {
        f.cause = (mode.empty() ? std::string("the kernel is locked down")
                                : "the kernel is locked down (lockdown=" + mode + ")") +
                  ", as it is under Secure Boot, and refuses port I/O even to root";
        f.fix = std::string(kUsePpdev) + " (or turn Secure Boot off)";
    }
    return f;
}

class DirectPort final : public Driver {
public:
    DirectPort(std::shared_ptr<DirectIoSystem> system, int base)
        : system_(std::move(system)), base_(base) {}
    ~DirectPort() override { system_->ioperm(base_, 3, 0); }
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    std::string description() const override {
        return "direct I/O at " + hexAddress(static_cast<unsigned>(base_));
    }
    void write(Register reg, std::uint8_t value) override { system_->outb(value, port(reg)); }
    std::uint8_t read(Register reg) override { return system_->inb(port(reg)); }

private:
    std::uint16_t port(Register reg) const {
        return static_cast<std::uint16_t>(base_ + static_cast<int>(reg));
    }

    std::shared_ptr<DirectIoSystem> system_;
    int base_;
};

} // namespace

std::unique_ptr<Driver> openDirect(int base, std::shared_ptr<DirectIoSystem> system) {
    if (const int rc = system->ioperm(base, 3, 1); rc < 0)
        throw PortError(permissionFailure(base, -rc, *system));
    return std::make_unique<DirectPort>(std::move(system), base);
}

std::unique_ptr<Driver> openDirect(int base) {
#ifdef LPTPANEL_X86_IO
    return openDirect(base, std::make_shared<KernelDirectIo>());
#else
    throw PortError(
        {"cannot reach the port at " + hexAddress(static_cast<unsigned>(base)) + " by direct I/O",
         "port I/O instructions exist only on x86 PCs, and this build is for another "
         "processor",
         kUsePpdev, kSection});
#endif
}

} // namespace lpt
