// SPDX-License-Identifier: MIT
// The real-port drivers, driven through fake system calls: the order of the
// ppdev calls and the direction of the data lines, the register mapping of
// ppdev and direct I/O, the failure messages, and the PARPORT forms (Windows'
// too, on recorded device lists).
#include "port/direct.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/ports.h"
#include "port/ppdev.h"

#include <QtTest>

#include <cerrno>
#include <linux/ppdev.h>
#include <map>
#include <sys/ioctl.h>

using namespace lpt;

// What a driver or a PARPORT value does: the calls made, the parsed form, or the failure.
using Action = std::function<QString()>;

// ppdev and port I/O as the drivers see them: each call is recorded with the
// value it is given, the call named failing fails with err, every read gets
// 0x5A, and every file read (/proc/modules, the lockdown mode) gives file.
class FakeSystem final : public PpdevSystem, public DirectIoSystem {
public:
    FakeSystem(QString f, int e, std::string text) : failing(f), err(e), file(text) {}
    QStringList calls;
    const QString failing;
    const int err;
    const std::string file;

    // Whatever fails, the node is not left open.
    ~FakeSystem() override { QCOMPARE(calls.count("close 7"), calls.count("open /dev/parport0")); }
    int open(const std::string& path, int) override {
        calls << "open " + QString::fromStdString(path);
        return 7;
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
        else if (byte)
            *byte = 0x5A;
        return calls.last() == failing ? -err : 0;
    }
    void close(int fd) override { calls << "close " + QString::number(fd); }
    int ioperm(unsigned long from, unsigned long count, int on) override {
        calls << QString::asprintf("ioperm 0x%lX %lu %d", from, count, on);
        return calls.last() == failing ? -err : 0;
    }
    void outb(std::uint8_t v, std::uint16_t port) override {
        calls << QString::asprintf("outb 0x%X %d", port, v);
    }
    std::uint8_t inb(std::uint16_t port) override {
        calls << QString::asprintf("inb 0x%X", port);
        return 0x5A;
    }
    bool hasRawIo() override { return true; }
    std::optional<std::string> readFile(const std::string&) override { return file; }
};

// Out32 and Inp32 through ppdev (/dev/parport0) or direct I/O (at 0x3BC),
// with the call named failing failing with err: the system calls made, and
// after each read what it gave.
static Action driving(bool ppdev, QString failing = {}, int err = 0, std::string file = {}) {
    return [=] {
        auto system = std::make_shared<FakeSystem>(failing, err, file);
        installDriver(ppdev ? openPpdev("/dev/parport0", system) : openDirect(0x3BC, system));
        Out32(0x378, 0x1C3); // the low byte goes out
        Out32(0x37A, 255);
        system->calls << QString::number(Inp32(0x37A));
        Out32(0x37A, 11);
        system->calls << QString::number(Inp32(0x379));
        system->calls << QString::number(Inp32(0x378));
        installDriver(nullptr);
        return system->calls.join(", ");
    };
}

// A port spec as kind (0 sim, 1 ppdev, 2 direct, 3 DLL), path and base.
static QString text(const PortSpec& s) {
    return QString("%1 %2 %3").arg(int(s.kind)).arg(QString::fromStdString(s.path)).arg(s.base);
}

// A PARPORT value (nullptr: unset) as parsed, with XDG_RUNTIME_DIR set to xdg.
static Action parse(const char* value, const char* xdg = "/run/7") {
    return [=] {
        qputenv("XDG_RUNTIME_DIR", xdg);
        return text(parsePortSpec(value));
    };
}

// The Windows choices on a recorded device list: PARPORT=LPTn, and unset once
// the default DLL is found; the DLL forms; the SPP base among a port's ranges.
static const SystemPort kCard{
    "LPT1", "", "PCI Parallel Port", {{0xD010, 0xD017}, {0xD000, 0xD003}}, 0xD010, "", "", false};
static const SystemPort kBoard{
    "LPT3", "", "ECP Printer Port", {{0x378, 0x37F}, {0x778, 0x77A}}, 0x378, "", "", false};
static const SystemPort kNoBase{"LPT4", "", "Printer Port", {}, -1, "", "", false};
static Action lptName(const char* value, std::vector<SystemPort> ports) {
    return [=] { return text(lptSpec(value, {ports, "", false})); };
}
static Action windowsUnset(std::vector<SystemPort> ports) {
    return [=] {
        const DefaultDll dll{DefaultDll::Place::BesideProgram, "inpoutx64.dll", "lptport.exe", "",
                             ""};
        const PortSpec spec = windowsUnsetSpec({ports, ""}, dll);
        return text(spec) + " " + QString::fromStdString(unsetReason(spec));
    };
}
static Action dllForm(const char* value) {
    return [=] {
        PortSpec spec;
        const std::string cause = parseDllForm(value, spec);
        return cause.empty() ? text(spec) : QString::fromStdString(cause);
    };
}
static Action spp(std::vector<IoRange> ranges) {
    return [=] { return QString::number(sppBaseOf(ranges), 16); };
}

// What action gives, or the message of the failure it throws.
static QString outcome(const Action& action) try { return action(); } catch (const PortError& e) {
    return e.what();
}

class TestDrivers : public QObject {
    Q_OBJECT

private slots:
    // What each driver does, to the call, and each failure: what failed and why,
    // and the fix. (The emulated PC's proof meets the missing node, the user
    // outside group lp and direct I/O without root on a real kernel.)
    void outcomes_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected"); // a failure's message: how it starts, into the fix
        auto row = [](const char* name, Action action, const QString& expected) {
            QTest::newRow(name) << action << expected;
        };
        // The panel starts by writing control 255, which turns the data lines to
        // input; its next control write (11) must make them drive the data again.
        // PPWCONTROL never turns them back to output: only PPDATADIR does.
        row("ppdev", driving(true),
            "open /dev/parport0, PPEXCL, PPCLAIM, PPWDATA 195, PPDATADIR 1, PPWCONTROL 15, "
            "PPRCONTROL, 42, PPDATADIR 0, PPWCONTROL 11, PPRSTATUS, 90, PPRDATA, 90, close 7");
        row("direct I/O", driving(false),
            "ioperm 0x3BC 3 1, outb 0x3BC 195, outb 0x3BE 255, inb 0x3BE, 90, outb 0x3BE 11, "
            "inb 0x3BD, 90, inb 0x3BC, 90, ioperm 0x3BC 3 0");
        // "lp," among parport's users in /proc/modules is not the lp module.
        row("another program", driving(true, "PPEXCL", EBUSY, "parport 3 lp,ppdev,parport_pc,\n"),
            "cannot claim /dev/parport0: another program or driver holds the port. Fix: end the "
            "program that has it open (sudo fuser -v /dev/parport0 names it)");
        row("direct, lockdown", driving(false, "ioperm 0x3BC 3 1", EPERM, "none [integrity]\n"),
            "cannot reach the port at 0x3BC by direct I/O: the kernel is locked down "
            "(lockdown=integrity), as it is under Secure Boot, and refuses port I/O even to root. "
            "Fix: use ppdev: PARPORT=/dev/parport0");
        // The default port file lies in the user's runtime folder, else in a
        // folder of the user's own under /tmp: never one that others share.
        row("unset", parse(nullptr),
            QFile::exists("/dev/parport0") ? "1 /dev/parport0 888" : "0 /run/7/lptpanel/port 888");
        row("sim, relative XDG_RUNTIME_DIR", parse("sim", "run"),
            QString("0 /tmp/lptpanel-%1/port 888").arg(::geteuid()));
        row("direct:0xFFFF", parse("direct:0xFFFF"),
            "PARPORT=direct:0xFFFF is not a port: direct: needs a base address such as 0x378 or "
            "0x278. Fix: set PARPORT to one of sim, sim:PATH, /dev/parportN, direct, "
            "direct:0xBASE");
        // A PCI card's SPP range is the first the device list gives, even
        // where it lies above its ECP range.
        row("SPP range above the ECP one", spp({{0xD010, 0xD017}, {0xD000, 0xD003}}), "d010");
        row("first range too short", spp({{0xEC00, 0xEC01}, {0xEC10, 0xEC17}}), "-1");
        row("LPTn, any case", lptName("lpt3", {kCard, kBoard}), "3  888");
        row("LPTn missing", lptName("LPT7", {kCard, kBoard, kNoBase}),
            "no port LPT7 in the system's device list: it lists LPT1 at 0xD010, LPT3 at 0x378, "
            "LPT4 at base unknown. Fix: set PARPORT to one of those");
        row("LPTn without a base", lptName("LPT4", {kNoBase}),
            "cannot use LPT4: the device list gives it no I/O range that holds its registers. "
            "Fix: name its base with PARPORT=dll@0xBASE");
        row("unset: the port at 0x378", windowsUnset({kCard, kBoard}),
            "3  888 inpoutx64.dll beside lptport.exe, LPT3 at 0x378 (device list)");
        row("dll@0xBASE", dllForm("dll@0xd010"), "3  53264");
        row("dll:PATH@0xBASE, an @ in the path", dllForm("dll:C:\\a@b\\io.dll@0x278"),
            "3 C:\\a@b\\io.dll 632");
        row("dll@0xFFFF", dllForm("dll@0xFFFF"),
            "@0x needs the port's base address in hex, such as @0xD010 (lptport ports lists each "
            "port's)");
    }
    void outcomes() {
        QFETCH(Action, action);
        QFETCH(QString, expected);
        const QString got = outcome(action);
        QVERIFY2(got == expected || (expected.contains(". Fix: ") && got.startsWith(expected)),
                 qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(TestDrivers)
#include "test_drivers.moc"
