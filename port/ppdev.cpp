// SPDX-License-Identifier: MIT
#include "port/ppdev.h"
#include "port/manual.h"

#include "port/numbers.h"
#include "port/ports.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/ppdev.h>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace lpt {

namespace {

constexpr const char* kSection = kPageLinux;
constexpr std::uint8_t kReverseBit = 0x20; // control bit 5: data lines are inputs
constexpr std::uint8_t kControlLines = 0x0F;

class KernelPpdev final : public PpdevSystem {
public:
    int open(const std::string& path, int flags) override {
        const int fd = ::open(path.c_str(), flags);
        return fd < 0 ? -errno : fd;
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        const int rc = ::ioctl(fd, request, arg);
        return rc < 0 ? -errno : rc;
    }
    void close(int fd) override { ::close(fd); }
    std::optional<std::string> readFile(const std::string& path) override {
        std::ifstream in(path);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// "(base 0x378)" from /proc/sys/dev/parport/parportN/base-addr; "" when it
// cannot be read.
std::string baseNote(const std::string& node, PpdevSystem& system) {
    std::size_t digits = node.size();
    while (digits > 0 && node[digits - 1] >= '0' && node[digits - 1] <= '9')
        --digits;
    if (digits == node.size())
        return "";
    const auto text =
        system.readFile("/proc/sys/dev/parport/parport" + node.substr(digits) + "/base-addr");
    const std::vector<IoRange> ranges =
        text ? detail::baseAddrRanges(*text) : std::vector<IoRange>{};
    return ranges.empty() ? "" : " (base " + hexAddress(ranges.front().start) + ")";
}

bool lpLoaded(PpdevSystem& system) {
    const auto modules = system.readFile("/proc/modules");
    if (!modules)
        return false;
    std::istringstream lines(*modules);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("lp "))
            return true;
    return false;
}

PortFailure openFailure(const std::string& node, int err) {
    PortFailure f{"cannot open " + node, describeErrno(err), "", kSection};
    switch (err) {
    case ENOENT:
        f.cause = "no such device node (the parallel port drivers are not loaded, or there is "
                  "no such port)";
        f.fix = "load them: sudo modprobe parport_pc ppdev; ls /dev/parport* lists the ports";
        break;
    case ENXIO:
    case ENODEV:
        f.cause = "no driver answers on the device node (ppdev is not loaded)";
        f.fix = "load it: sudo modprobe parport_pc ppdev";
        break;
    case EACCES:
    case EPERM:
        f.cause = "permission denied";
        f.fix = "add yourself to group lp (sudo adduser $USER lp), then log in again";
        break;
    default:
        f.fix =
            "check the node with ls -l " + node + " and the kernel's log (dmesg | grep parport)";
        break;
    }
    return f;
}

PortFailure claimFailure(const std::string& node, int err, PpdevSystem& system) {
    PortFailure f{"cannot claim " + node, describeErrno(err), "", kSection};
    switch (err) {
    case ENXIO: // the kernel refuses an exclusive claim while another device is registered
    case EBUSY:
        if (lpLoaded(system)) {
            f.cause = "the printer driver lp holds the port";
            f.fix = "unload it: sudo rmmod lp; to keep it from loading at boot, put the line "
                    "'blacklist lp' in /etc/modprobe.d/lptpanel.conf and remove lp from "
                    "/etc/modules";
        } else {
            f.cause = "another program or driver holds the port";
            f.fix = "end the program that has it open (sudo fuser -v " + node +
                    " names it); if the printer driver lp is loaded, unload it: sudo rmmod lp";
        }
        break;
    case ENOTTY:
    case EINVAL:
        f.cause = "it is not a parallel port device";
        f.fix = "name a ppdev node, e.g. PARPORT=/dev/parport0 (ls /dev/parport* lists them)";
        break;
    default:
        f.fix = "see the kernel's log (dmesg | grep parport)";
        break;
    }
    return f;
}

class PpdevPort final : public Driver {
public:
    PpdevPort(std::shared_ptr<PpdevSystem> system, std::string node, int fd, std::string note)
        : system_(std::move(system)), node_(std::move(node)), fd_(fd), note_(std::move(note)) {}
    ~PpdevPort() override { system_->close(fd_); }
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    std::string description() const override { return "ppdev " + node_ + note_; }

    void write(Register reg, std::uint8_t value) override {
        switch (reg) {
        case Register::Data:
            call(PPWDATA, &value, reg, "write");
            break;
        case Register::Control: {
            // PPWCONTROL sets only the four control lines. The direction of
            // the data lines (bit 5) is set here on every write: the kernel
            // turns them to input when bit 5 is set but never back, which
            // would leave the data outputs dead after one write of 255. The
            // direction goes first, so the control lines, which a device may
            // watch as strobes, change last, with the data lines already as
            // the value says.
            int reverse = (value & kReverseBit) ? 1 : 0;
            call(PPDATADIR, &reverse, reg, "write");
            std::uint8_t lines = value & kControlLines;
            call(PPWCONTROL, &lines, reg, "write");
            reverse_ = reverse != 0;
            break;
        }
        case Register::Status:
            break; // an input register: a write has no effect, as on the hardware
        }
    }

    std::uint8_t read(Register reg) override {
        std::uint8_t value = 0;
        switch (reg) {
        case Register::Data:
            call(PPRDATA, &value, reg, "read");
            return value;
        case Register::Status:
            call(PPRSTATUS, &value, reg, "read");
            return value;
        case Register::Control:
            // The kernel reports the four control lines; the direction bit is
            // the one this driver set last.
            call(PPRCONTROL, &value, reg, "read");
            return static_cast<std::uint8_t>((value & kControlLines) |
                                             (reverse_ ? kReverseBit : 0));
        }
        return value;
    }

private:
    void call(unsigned long request, void* arg, Register reg, const char* verb) {
        const int rc = system_->ioctl(fd_, request, arg);
        if (rc < 0)
            throw PortError({std::string("cannot ") + verb + " the " +
                                 std::string(registerName(reg)) + " register of " + node_,
                             describeErrno(-rc),
                             "check that the port is still there (dmesg | grep parport), then "
                             "start again",
                             kSection});
    }

    std::shared_ptr<PpdevSystem> system_;
    std::string node_;
    int fd_;
    std::string note_;
    bool reverse_ = false; // claiming leaves the data lines as outputs
};

} // namespace

std::unique_ptr<Driver> openPpdev(const std::string& node, std::shared_ptr<PpdevSystem> system) {
    // O_NOCTTY: PARPORT may name any node, and a terminal must not become ours.
    const int fd = system->open(node, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw PortError(openFailure(node, -fd));
    for (const unsigned long request : {PPEXCL, PPCLAIM}) {
        const int rc = system->ioctl(fd, request, nullptr);
        if (rc < 0) {
            system->close(fd);
            throw PortError(claimFailure(node, -rc, *system));
        }
    }
    std::string note = baseNote(node, *system);
    return std::make_unique<PpdevPort>(std::move(system), node, fd, std::move(note));
}

std::unique_ptr<Driver> openPpdev(const std::string& node) {
    return openPpdev(node, std::make_shared<KernelPpdev>());
}

} // namespace lpt
