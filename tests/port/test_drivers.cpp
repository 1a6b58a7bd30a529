// SPDX-License-Identifier: MIT
// The real-port drivers, driven through fake system calls: the order of the
// ppdev calls and the direction of the data lines, the register mapping of
// ppdev and direct I/O, the failure messages, and the PARPORT forms.
#include "port/direct.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/ppdev.h"

#include <QtTest>

#include <cerrno>
#include <linux/ppdev.h>
#include <map>
#include <sys/ioctl.h>

using namespace lpt;

namespace {

// What an open or a PARPORT value gives: the port, the parsed form, or the failure.
using Action = std::function<std::string()>;

// ppdev and port I/O as the drivers see them: each call is recorded with the
// value it is given, the calls named in failures fail, reads get fixed bytes.
class FakeSystem final : public PpdevSystem, public DirectIoSystem {
public:
    QStringList calls;
    std::map<QString, int> failures; // call -> errno it fails with
    std::map<std::string, std::string> files;
    bool isOpen = false;

    ~FakeSystem() override { QVERIFY2(!isOpen, "the port was left open"); }
    int open(const std::string& path, int) override {
        calls << "open " + QString::fromStdString(path);
        isOpen = !failures.count("open");
        return isOpen ? 7 : -failures["open"];
    }
    int ioctl(int, unsigned long request, void* arg) override {
        static const std::map<unsigned long, QString> names{
            {PPEXCL, "PPEXCL"},         {PPCLAIM, "PPCLAIM"},      {PPWDATA, "PPWDATA"},
            {PPWCONTROL, "PPWCONTROL"}, {PPDATADIR, "PPDATADIR"},  {PPRDATA, "PPRDATA"},
            {PPRSTATUS, "PPRSTATUS"},   {PPRCONTROL, "PPRCONTROL"}};
        auto* byte = static_cast<unsigned char*>(arg);
        calls << names.at(request);
        if (request == PPWDATA || request == PPWCONTROL || request == PPDATADIR)
            calls.last() +=
                " " + QString::number(request == PPDATADIR ? *static_cast<int*>(arg) : *byte);
        if (failures.count(calls.last()))
            return -failures[calls.last()];
        if (request == PPRDATA || request == PPRSTATUS || request == PPRCONTROL)
            *byte = request == PPRDATA ? 0x3C : request == PPRSTATUS ? 0x5A : 0x0B;
        return 0;
    }
    void close(int fd) override {
        calls << "close " + QString::number(fd);
        isOpen = false;
    }
    int ioperm(unsigned long from, unsigned long count, int on) override {
        calls << QString::asprintf("ioperm 0x%lX %lu %d", from, count, on);
        return failures.count("ioperm") ? -failures["ioperm"] : 0;
    }
    void outb(std::uint8_t v, std::uint16_t port) override {
        calls << QString::asprintf("outb 0x%X %d", port, v);
    }
    std::uint8_t inb(std::uint16_t port) override {
        calls << QString::asprintf("inb 0x%X", port);
        return static_cast<std::uint8_t>(port * 3); // tells the registers apart
    }
    bool hasRawIo() override { return true; }
    std::optional<std::string> readFile(const std::string& path) override {
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }
};

// Opens /dev/parport0 with |call| failing; "lp," among parport's users in
// /proc/modules is not the lp module.
Action ppdevFails(const QString& call, int err, bool lpLoaded = false) {
    return [=] {
        auto kernel = std::make_shared<FakeSystem>();
        kernel->failures[call] = err;
        kernel->files["/proc/modules"] = std::string(lpLoaded ? "lp 20480 0 - Live 0x0\n" : "") +
                                         "parport 73728 3 lp,ppdev,parport_pc, Live 0x0\n";
        return openPpdev("/dev/parport0", kernel)->description();
    };
}

Action directFails(const char* lockdown) {
    return [=] {
        auto io = std::make_shared<FakeSystem>();
        io->failures["ioperm"] = EPERM;
        io->files["/sys/kernel/security/lockdown"] = lockdown;
        return openDirect(0x278, io)->description();
    };
}

// A PARPORT value (nullptr: unset) as kind (0 sim, 1 ppdev, 2 direct), path
// and base, with XDG_RUNTIME_DIR set to xdg.
Action parse(const char* value, const char* xdg = "/run/user/7") {
    return [=] {
        qputenv("XDG_RUNTIME_DIR", xdg);
        const PortSpec s = parsePortSpec(value);
        return std::to_string(int(s.kind)) + " " + s.path + " " + std::to_string(s.base);
    };
}

} // namespace

class TestDrivers : public QObject {
    Q_OBJECT

private slots:
    // The panel starts by writing control 255, which turns the data lines to
    // input; its next control write (11) must make them drive the data again.
    // PPWCONTROL never turns them back to output: only PPDATADIR does.
    void ppdevAccesses() {
        auto kernel = std::make_shared<FakeSystem>();
        installDriver(openPpdev("/dev/parport0", kernel));
        Out32(0x378, 0x1C3); // the low byte goes out
        Out32(0x37A, 255);
        QCOMPARE(Inp32(0x37A), short(0x2B)); // the lines and the direction this driver set
        Out32(0x37A, 11);
        Out32(0x379, 0x12); // status is read only
        QCOMPARE(Inp32(0x379), short(0x5A));
        QCOMPARE(Inp32(0x378), short(0x3C));
        installDriver(nullptr);
        QCOMPARE(kernel->calls,
                 QStringList({"open /dev/parport0", "PPEXCL", "PPCLAIM", "PPWDATA 195",
                              "PPDATADIR 1", "PPWCONTROL 15", "PPRCONTROL", "PPDATADIR 0",
                              "PPWCONTROL 11", "PPRSTATUS", "PPRDATA", "close 7"}));
    }

    void directMapsRegisters() {
        auto io = std::make_shared<FakeSystem>();
        auto port = openDirect(0x3BC, io);
        port->write(Register::Data, 0x41);
        port->write(Register::Control, 0x2B);
        QCOMPARE(port->read(Register::Status), std::uint8_t(0x3BD * 3));
        port.reset();
        QCOMPARE(io->calls, QStringList({"ioperm 0x3BC 3 1", "outb 0x3BC 65", "outb 0x3BE 43",
                                         "inb 0x3BD", "ioperm 0x3BC 3 0"}));
    }

    // Each failure names what failed and why, and the fix; a PARPORT value
    // that names no port gets every form it may take. (The emulated PC's
    // proof meets the missing node, the user outside group lp and direct
    // I/O without root on a real kernel.)
    void outcomes_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("fix");
        const QString claim = "cannot claim /dev/parport0: ";
        const QString direct = "cannot reach the port at 0x278 by direct I/O: ";
        const QString forms = "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE, or unset it";
        QTest::newRow("lp holds it")
            << ppdevFails("PPCLAIM", ENXIO, true) << claim + "the printer driver lp"
            << "unload it: sudo rmmod lp;";
        QTest::newRow("another program") << ppdevFails("PPEXCL", EBUSY) << claim + "another program"
                                         << "sudo fuser -v /dev/parport0";
        QTest::newRow("direct, lockdown")
            << directFails("none [integrity]\n")
            << direct + "the kernel is locked down (lockdown=integrity)"
            << "PARPORT=/dev/parport0";
        // The default port file lies in the user's runtime folder, else in a
        // folder of the user's own under /tmp: never one that others share.
        QTest::newRow("unset") << parse(nullptr)
                               << (QFile::exists("/dev/parport0")
                                       ? "1 /dev/parport0 888"
                                       : "0 /run/user/7/lptpanel/port 888")
                               << QString();
        QTest::newRow("sim, relative XDG_RUNTIME_DIR")
            << parse("sim", "run") << QString("0 /tmp/lptpanel-%1/port 888").arg(::geteuid())
            << QString();
        QTest::newRow("direct:hex") << parse("direct:0x278") << "2  632" << QString();
        QTest::newRow("direct:0xFFFF")
            << parse("direct:0xFFFF")
            << "PARPORT=direct:0xFFFF is not a port: direct: needs a base address" << forms;
    }
    void outcomes() {
        QFETCH(Action, action);
        QFETCH(QString, start);
        QFETCH(QString, fix);
        QString got;
        try {
            got = QString::fromStdString(action());
        } catch (const PortError& e) {
            got = e.what();
        }
        QVERIFY2(got.startsWith(start), qPrintable(got));
        QVERIFY2(got.section(". Fix: ", 1).contains(fix), qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(TestDrivers)
#include "test_drivers.moc"
