// The real-port drivers, driven through fake system calls: the order of the
// ppdev calls and the direction of the data lines, the register mapping of
// ppdev and direct I/O, every failure message, and the PARPORT forms.
#include "port/direct.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/ppdev.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <linux/ppdev.h>
#include <map>
#include <optional>
#include <sys/ioctl.h>

using namespace lpt;

namespace {

constexpr int kRead = -1;
using Accesses = QList<QPair<int, int>>; // (address, value to write or kRead), in order
using Action = std::function<void()>;

// ppdev and port I/O as the drivers see them: each call is recorded with the
// value it is given, the calls named in failures fail, reads get fixed bytes.
class FakeSystem final : public PpdevSystem, public DirectIoSystem {
public:
    QStringList calls;
    std::map<QString, int> failures; // call -> errno it fails with
    std::map<std::string, std::string> files;
    int openFlags = 0;
    bool isOpen = false, rawIo = true;

    ~FakeSystem() override { QVERIFY2(!isOpen, "the port was left open"); }
    int open(const std::string& path, int flags) override {
        calls << "open " + QString::fromStdString(path);
        openFlags = flags;
        isOpen = !failures.count("open");
        return isOpen ? 7 : -failures["open"];
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        static const std::map<unsigned long, QString> names{
            {PPEXCL, "PPEXCL"},         {PPCLAIM, "PPCLAIM"},      {PPWDATA, "PPWDATA"},
            {PPWCONTROL, "PPWCONTROL"}, {PPDATADIR, "PPDATADIR"},  {PPRDATA, "PPRDATA"},
            {PPRSTATUS, "PPRSTATUS"},   {PPRCONTROL, "PPRCONTROL"}};
        static const std::map<unsigned long, int> reads{
            {PPRDATA, 0x3C}, {PPRSTATUS, 0x5A}, {PPRCONTROL, 0x0B}};
        const QString name = names.at(request);
        auto* byte = static_cast<unsigned char*>(arg);
        calls << name;
        if (request == PPWDATA || request == PPWCONTROL)
            calls.last() += " " + QString::number(*byte);
        if (request == PPDATADIR)
            calls.last() += " " + QString::number(*static_cast<int*>(arg));
        if (fd != 7)
            return -EBADF;
        if (failures.count(name))
            return -failures[name];
        if (reads.count(request))
            *byte = static_cast<unsigned char>(reads.at(request));
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
    bool hasRawIo() override { return rawIo; }
    std::optional<std::string> readFile(const std::string& path) override {
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }
};

// Opens /dev/parport0 with call failing, then writes (access > 0) or reads
// (access < 0) the register at |access|.
Action ppdevFails(const QString& call, int err, bool lpLoaded = false, int access = 0) {
    return [=] {
        auto kernel = std::make_shared<FakeSystem>();
        kernel->failures[call] = err;
        // "lp," among parport's users is not the lp module.
        kernel->files["/proc/modules"] = std::string(lpLoaded ? "lp 20480 0 - Live 0x0\n" : "") +
                                         "parport 73728 3 lp,ppdev,parport_pc, Live 0x0\n";
        auto port = openPpdev("/dev/parport0", kernel);
        if (access > 0)
            port->write(*registerAt(access), 0x20);
        if (access < 0)
            port->read(*registerAt(-access));
    };
}

Action directFails(int err, bool rawIo = true, const char* lockdown = nullptr) {
    return [=] {
        auto io = std::make_shared<FakeSystem>();
        io->failures["ioperm"] = err;
        io->rawIo = rawIo;
        if (lockdown)
            io->files["/sys/kernel/security/lockdown"] = lockdown;
        openDirect(0x278, io);
    };
}

Action parse(const char* value) {
    return [=] { parsePortSpec(value); };
}

} // namespace

class TestDrivers : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { installDriver(nullptr); }

    // The panel starts by writing control 255, which turns the data lines to
    // input; its next control write (11) must make them drive the data again.
    // PPWCONTROL never turns them back to output: only PPDATADIR does.
    void ppdevAccesses_data() {
        QTest::addColumn<Accesses>("accesses");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QList<int>>("reads");
        QTest::newRow("255 then 11 leaves the data live")
            << Accesses{{0x378, 0x41}, {0x37A, 255}, {0x37A, 11}}
            << QStringList{"PPWDATA 65", "PPDATADIR 1", "PPWCONTROL 15", "PPDATADIR 0",
                           "PPWCONTROL 11"}
            << QList<int>{};
        QTest::newRow("bit 5 read back")
            << Accesses{{0x37A, 0x20}, {0x37A, kRead}}
            << QStringList{"PPDATADIR 1", "PPWCONTROL 0", "PPRCONTROL"} << QList<int>{0x2B};
        QTest::newRow("low byte; status is read only")
            << Accesses{{0x378, 0x1C3}, {0x379, 0x12}, {0x379, kRead}, {0x378, kRead}}
            << QStringList{"PPWDATA 195", "PPRSTATUS", "PPRDATA"} << QList<int>{0x5A, 0x3C};
    }
    void ppdevAccesses() {
        QFETCH(Accesses, accesses);
        QFETCH(QStringList, calls);
        QFETCH(QList<int>, reads);
        auto kernel = std::make_shared<FakeSystem>();
        kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n";
        auto port = openPpdev("/dev/parport0", kernel);
        QCOMPARE(kernel->openFlags & (O_ACCMODE | O_CLOEXEC), O_RDWR | O_CLOEXEC);
        QCOMPARE(port->description(), std::string("ppdev /dev/parport0 (base 0x378)"));
        installDriver(std::move(port));
        QList<int> read;
        for (const auto& [address, value] : accesses) {
            if (value == kRead)
                read << Inp32(static_cast<short>(address));
            else
                Out32(static_cast<short>(address), static_cast<short>(value));
        }
        QCOMPARE(kernel->calls, QStringList({"open /dev/parport0", "PPEXCL", "PPCLAIM"}) + calls);
        QCOMPARE(read, reads);
        installDriver(nullptr);
        QCOMPARE(kernel->calls.last(), QString("close 7"));
    }

    void directMapsRegisters() {
        auto io = std::make_shared<FakeSystem>();
        auto port = openDirect(0x3BC, io);
        QCOMPARE(port->description(), std::string("direct I/O at 0x3BC"));
        port->write(Register::Data, 0x41);
        port->write(Register::Control, 0x2B);
        QCOMPARE(port->read(Register::Status), std::uint8_t(0x3BD * 3));
        QCOMPARE(port->read(Register::Control), std::uint8_t(0x3BE * 3));
        port.reset();
        QCOMPARE(io->calls, QStringList({"ioperm 0x3BC 3 1", "outb 0x3BC 65", "outb 0x3BE 43",
                                         "inb 0x3BD", "inb 0x3BE", "ioperm 0x3BC 3 0"}));
    }

    void failures_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("fix");
        const QString open = "cannot open /dev/parport0", claim = "cannot claim /dev/parport0";
        const QString direct = "cannot reach the port at 0x278 by direct I/O";
        const QString eio = QString::fromStdString(describeErrno(EIO));
        const QString ppdev = "PARPORT=/dev/parport0";
        QTest::newRow("no node") << ppdevFails("open", ENOENT) << open << "no such device node"
                                 << "sudo modprobe parport_pc ppdev";
        QTest::newRow("no ppdev") << ppdevFails("open", ENXIO) << open << "ppdev is not loaded"
                                  << "sudo modprobe parport_pc ppdev";
        QTest::newRow("not in group lp")
            << ppdevFails("open", EACCES) << open << "permission denied"
            << "sudo adduser $USER lp";
        QTest::newRow("open, other errno") << ppdevFails("open", EIO) << open << eio << "dmesg";
        QTest::newRow("lp holds it")
            << ppdevFails("PPCLAIM", ENXIO, true) << claim << "printer driver lp"
            << "'blacklist lp'";
        QTest::newRow("another program")
            << ppdevFails("PPEXCL", EBUSY) << claim << "another program"
            << "sudo fuser -v /dev/parport0";
        QTest::newRow("not a port")
            << ppdevFails("PPEXCL", ENOTTY) << claim << "not a parallel port" << ppdev;
        QTest::newRow("claim, other errno")
            << ppdevFails("PPCLAIM", EIO, true) << claim << eio << "dmesg";
        QTest::newRow("control write")
            << ppdevFails("PPDATADIR", EIO, false, 0x37A)
            << "cannot write the control register of /dev/parport0" << eio << "dmesg";
        QTest::newRow("status read")
            << ppdevFails("PPRSTATUS", EIO, false, -0x379)
            << "cannot read the status register of /dev/parport0" << eio << "dmesg";
        QTest::newRow("direct, not root")
            << directFails(EPERM, false) << direct << "needs root (CAP_SYS_RAWIO)"
            << "run as root (CAP_SYS_RAWIO), or use ppdev";
        QTest::newRow("direct, lockdown")
            << directFails(EPERM, true, "none [integrity]\n") << direct
            << "locked down (lockdown=integrity), as it is under Secure Boot" << ppdev;
        QTest::newRow("direct, lockdown unreadable")
            << directFails(EPERM) << direct << "locked down, as" << ppdev;
        QTest::newRow("direct, sandbox") << directFails(EPERM, true, "[none] integrity\n") << direct
                                         << "container or sandbox" << ppdev;
        QTest::newRow("direct, no port I/O")
            << directFails(ENOSYS) << direct << "offers no port I/O" << ppdev;
        QTest::newRow("direct, other errno")
            << directFails(EINVAL) << direct << QString::fromStdString(describeErrno(EINVAL))
            << ppdev;
        // A PARPORT value that names no port gets every form it may take.
        const QString forms = "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE";
        const QString noBase = "direct: needs a base address";
        QTest::newRow("sim:") << parse("sim:") << "PARPORT=sim: is not a port"
                              << "sim: needs the file" << forms;
        QTest::newRow("direct:0x378z")
            << parse("direct:0x378z") << "PARPORT=direct:0x378z is not a port" << noBase << forms;
        QTest::newRow("direct:0") << parse("direct:0") << "PARPORT=direct:0 is not a port" << noBase
                                  << forms;
        QTest::newRow("direct:0xFFFF")
            << parse("direct:0xFFFF") << "PARPORT=direct:0xFFFF is not a port" << noBase << forms;
        QTest::newRow("dll:") << parse("dll:x.dll") << "PARPORT=dll:x.dll is not a port"
                              << "for Windows" << forms;
        QTest::newRow("lpt1") << parse("lpt1") << "PARPORT=lpt1 is not a port"
                              << "unknown form" << forms;
    }
    void failures() {
        QFETCH(Action, action);
        QFETCH(QString, what);
        QFETCH(QString, cause);
        QFETCH(QString, fix);
        try {
            action();
        } catch (const PortError& e) {
            const PortFailure& f = e.failure();
            QCOMPARE(QString::fromStdString(f.what), what);
            QVERIFY2(QString::fromStdString(f.cause).contains(cause), e.what());
            QVERIFY2(QString::fromStdString(f.fix).contains(fix), e.what());
            return;
        }
        QFAIL("no failure reported");
    }

    void portSpec_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<PortSpec::Kind>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("base");
        using enum PortSpec::Kind;
        const QString simPath = QString::fromStdString(defaultSimPath());
        QTest::newRow("sim") << QByteArray("sim") << Simulated << simPath << 0x378;
        QTest::newRow("sim:PATH") << QByteArray("sim:/tmp/x/p") << Simulated << "/tmp/x/p" << 0x378;
        QTest::newRow("ppdev") << QByteArray("/dev/parport1") << Ppdev << "/dev/parport1" << 0x378;
        QTest::newRow("direct") << QByteArray("direct") << Direct << "" << 0x378;
        QTest::newRow("direct:hex") << QByteArray("direct:0x278") << Direct << "" << 0x278;
        QTest::newRow("direct:decimal") << QByteArray("direct:956") << Direct << "" << 0x3BC;
    }
    void portSpec() {
        QFETCH(QByteArray, value);
        QFETCH(PortSpec::Kind, kind);
        QFETCH(QString, path);
        QFETCH(int, base);
        const PortSpec spec = parsePortSpec(value.constData());
        QCOMPARE(spec.kind, kind);
        QCOMPARE(QString::fromStdString(spec.path), path);
        QCOMPARE(spec.base, base);
    }
};

QTEST_GUILESS_MAIN(TestDrivers)
#include "test_drivers.moc"
