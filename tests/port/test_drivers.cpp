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

QString hex(unsigned long value) {
    return "0x" + QString::number(value, 16).toUpper();
}

// A kernel with parport_pc and ppdev. It keeps the port as the hardware does
// (a data latch, the direction of the data lines, the control lines, the
// status inputs) and, like parport_pc, lets PPWCONTROL with bit 5 set turn the
// data lines to input but never back: only PPDATADIR turns them to output.
class FakeKernel final : public PpdevSystem {
public:
    static constexpr int kFd = 7;

    QStringList calls;
    std::map<QString, int> failures; // "open", "PPCLAIM", ... -> errno it fails with
    std::map<std::string, std::string> files;
    int openFlags = 0;
    bool isOpen = false;

    int dataLatch = 0;
    bool reverse = false; // data lines are inputs
    int controlLines = 0x0C;
    int status = 0x7F;
    int dataInputs = 0xA5; // what a device drives on the data pins while they are inputs

    /// The level the port drives on the data pins, or -1 while they are inputs.
    int dataPins() const { return reverse ? -1 : dataLatch; }

    int open(const std::string& path, int flags) override {
        calls << "open " + QString::fromStdString(path);
        if (const int err = failure("open"))
            return -err;
        openFlags = flags;
        isOpen = true;
        return kFd;
    }

    int ioctl(int fd, unsigned long request, void* arg) override {
        const QString name = nameOf(request);
        if (fd != kFd || !isOpen) {
            calls << name + " on a file that is not open";
            return -EBADF;
        }
        auto* byte = static_cast<unsigned char*>(arg);
        if (const int err = failure(name)) {
            calls << name;
            return -err;
        }
        switch (request) {
        case PPEXCL:
        case PPCLAIM:
            calls << name;
            break;
        case PPWDATA:
            dataLatch = *byte;
            calls << name + " " + QString::number(*byte);
            break;
        case PPWCONTROL:
            controlLines = *byte & 0x0F;
            if (*byte & 0x20)
                reverse = true;
            calls << name + " " + QString::number(*byte);
            break;
        case PPDATADIR:
            reverse = *static_cast<int*>(arg) != 0;
            calls << name + " " + QString::number(*static_cast<int*>(arg));
            break;
        case PPRDATA:
            *byte = static_cast<unsigned char>(reverse ? dataInputs : dataLatch);
            calls << name;
            break;
        case PPRSTATUS:
            *byte = static_cast<unsigned char>(status);
            calls << name;
            break;
        case PPRCONTROL:
            *byte = static_cast<unsigned char>(controlLines);
            calls << name;
            break;
        }
        return 0;
    }

    void close(int fd) override {
        calls << "close " + QString::number(fd);
        isOpen = false;
    }

    std::optional<std::string> readFile(const std::string& path) override {
        const auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        return it->second;
    }

private:
    int failure(const QString& call) const {
        const auto it = failures.find(call);
        return it == failures.end() ? 0 : it->second;
    }
    static QString nameOf(unsigned long request) {
        switch (request) {
        case PPEXCL:
            return "PPEXCL";
        case PPCLAIM:
            return "PPCLAIM";
        case PPWDATA:
            return "PPWDATA";
        case PPWCONTROL:
            return "PPWCONTROL";
        case PPDATADIR:
            return "PPDATADIR";
        case PPRDATA:
            return "PPRDATA";
        case PPRSTATUS:
            return "PPRSTATUS";
        case PPRCONTROL:
            return "PPRCONTROL";
        }
        return "ioctl " + hex(request);
    }
};

// Port instructions on a PC: records ioperm, outb and inb in order.
class FakeDirectIo final : public DirectIoSystem {
public:
    QStringList calls;
    int iopermError = 0;
    bool rawIo = true;
    std::optional<std::string> lockdown;
    std::map<int, int> inputs; // port -> value inb returns

    int ioperm(unsigned long from, unsigned long count, int on) override {
        calls << QString("ioperm %1 %2 %3").arg(hex(from)).arg(count).arg(on);
        return -iopermError;
    }
    void outb(std::uint8_t value, std::uint16_t port) override {
        calls << QString("outb %1 %2").arg(hex(port)).arg(value);
    }
    std::uint8_t inb(std::uint16_t port) override {
        calls << "inb " + hex(port);
        return static_cast<std::uint8_t>(inputs[port]);
    }
    bool hasRawIo() override { return rawIo; }
    std::optional<std::string> readFile(const std::string& path) override {
        return path == "/sys/kernel/security/lockdown" ? lockdown : std::nullopt;
    }
};

std::optional<PortFailure> failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PortError& e) {
        return e.failure();
    }
    return std::nullopt;
}

const char* const kLinuxSection = "Real ports on Linux";

} // namespace

class TestDrivers : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { installDriver(nullptr); }

    void ppdevOpensAndClaims_data();
    void ppdevOpensAndClaims();
    void ppdevControlWriteSetsDirection_data();
    void ppdevControlWriteSetsDirection();
    void ppdevStartUpLeavesDataOutputsLive();
    void ppdevRegisterReads_data();
    void ppdevRegisterReads();
    void ppdevRegisterWrites();
    void ppdevOpenFailures_data();
    void ppdevOpenFailures();
    void ppdevAccessFailures_data();
    void ppdevAccessFailures();

    void directMapsRegisters_data();
    void directMapsRegisters();
    void directFailures_data();
    void directFailures();

    void portSpec_data();
    void portSpec();
    void dllIsRefusedOnLinux();
};

void TestDrivers::ppdevOpensAndClaims_data() {
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("description");
    QTest::newRow("parport0 at 0x378") << "/dev/parport0"
                                       << "ppdev /dev/parport0 (base 0x378)";
    QTest::newRow("parport1 at 0x278") << "/dev/parport1"
                                       << "ppdev /dev/parport1 (base 0x278)";
    QTest::newRow("base unreadable") << "/dev/parport2"
                                     << "ppdev /dev/parport2";
    QTest::newRow("base not a number") << "/dev/parport3"
                                       << "ppdev /dev/parport3";
    QTest::newRow("node without a number") << "/dev/lp-port"
                                           << "ppdev /dev/lp-port";
}

void TestDrivers::ppdevOpensAndClaims() {
    QFETCH(QString, node);
    QFETCH(QString, description);
    auto kernel = std::make_shared<FakeKernel>();
    kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n";
    kernel->files["/proc/sys/dev/parport/parport1/base-addr"] = "632\t-1\n";
    kernel->files["/proc/sys/dev/parport/parport3/base-addr"] = "\n";

    auto port = openPpdev(node.toStdString(), kernel);
    QCOMPARE(kernel->calls, QStringList({"open " + node, "PPEXCL", "PPCLAIM"}));
    QCOMPARE(kernel->openFlags & O_ACCMODE, O_RDWR);
    QVERIFY(kernel->openFlags & O_CLOEXEC);
    QCOMPARE(QString::fromStdString(port->description()), description);

    port.reset();
    QCOMPARE(kernel->calls.last(), QString("close 7"));
}

void TestDrivers::ppdevControlWriteSetsDirection_data() {
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("inputs");
    QTest::newRow("255 then 11: input, then output again")
        << QList<int>{255, 11}
        << QStringList{"PPDATADIR 1", "PPWCONTROL 15", "PPDATADIR 0", "PPWCONTROL 11"} << false;
    QTest::newRow("bit 5 alone") << QList<int>{0x20} << QStringList{"PPDATADIR 1", "PPWCONTROL 0"}
                                 << true;
    QTest::newRow("bit 5 in two writes")
        << QList<int>{0x2B, 0x24}
        << QStringList{"PPDATADIR 1", "PPWCONTROL 11", "PPDATADIR 1", "PPWCONTROL 4"} << true;
    QTest::newRow("outputs stay outputs")
        << QList<int>{3, 4}
        << QStringList{"PPDATADIR 0", "PPWCONTROL 3", "PPDATADIR 0", "PPWCONTROL 4"} << false;
}

void TestDrivers::ppdevControlWriteSetsDirection() {
    QFETCH(QList<int>, values);
    QFETCH(QStringList, calls);
    QFETCH(bool, inputs);
    auto kernel = std::make_shared<FakeKernel>();
    auto port = openPpdev("/dev/parport0", kernel);
    kernel->calls.clear();

    for (int value : values)
        port->write(Register::Control, static_cast<std::uint8_t>(value));
    QCOMPARE(kernel->calls, calls);
    QCOMPARE(kernel->reverse, inputs);
    QCOMPARE(kernel->controlLines, values.last() & 0x0F);
}

// The panel's start-up ends with control 255, which turns the data lines to
// input; its first pass writes the data and then control 11, after which the
// data pins must carry the data again.
void TestDrivers::ppdevStartUpLeavesDataOutputsLive() {
    auto kernel = std::make_shared<FakeKernel>();
    installDriver(openPpdev("/dev/parport0", kernel));

    Out32(0x378, 0);
    Out32(0x37A, 3);
    Out32(0x378, 255);
    Out32(0x37A, 255);
    QCOMPARE(kernel->dataPins(), -1);
    Out32(0x378, 0x41);
    Out32(0x37A, 11);

    QCOMPARE(kernel->dataPins(), 0x41);
    QCOMPARE(kernel->controlLines, 11);
    QCOMPARE(kernel->calls,
             QStringList({"open /dev/parport0", "PPEXCL", "PPCLAIM", "PPWDATA 0", "PPDATADIR 0",
                          "PPWCONTROL 3", "PPWDATA 255", "PPDATADIR 1", "PPWCONTROL 15",
                          "PPWDATA 65", "PPDATADIR 0", "PPWCONTROL 11"}));
    installDriver(nullptr);
    QCOMPARE(kernel->calls.last(), QString("close 7"));
}

void TestDrivers::ppdevRegisterReads_data() {
    QTest::addColumn<int>("controlFirst"); // -1: no control write first
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("value");
    QTest::newRow("status") << -1 << 0x379 << "PPRSTATUS" << 0x5A;
    QTest::newRow("data, lines are outputs") << -1 << 0x378 << "PPRDATA" << 0x3C;
    QTest::newRow("data, lines are inputs") << 0x20 << 0x378 << "PPRDATA" << 0xA5;
    QTest::newRow("control") << 0x04 << 0x37A << "PPRCONTROL" << 0x04;
    QTest::newRow("control with the data lines as inputs") << 0x2B << 0x37A << "PPRCONTROL" << 0x2B;
}

void TestDrivers::ppdevRegisterReads() {
    QFETCH(int, controlFirst);
    QFETCH(int, address);
    QFETCH(QString, call);
    QFETCH(int, value);
    auto kernel = std::make_shared<FakeKernel>();
    kernel->status = 0x5A;
    kernel->dataLatch = 0x3C;
    installDriver(openPpdev("/dev/parport0", kernel));
    if (controlFirst >= 0)
        Out32(0x37A, static_cast<short>(controlFirst));
    kernel->calls.clear();

    QCOMPARE(Inp32(static_cast<short>(address)), value);
    QCOMPARE(kernel->calls, QStringList{call});
}

void TestDrivers::ppdevRegisterWrites() {
    auto kernel = std::make_shared<FakeKernel>();
    installDriver(openPpdev("/dev/parport0", kernel));
    kernel->calls.clear();

    Out32(0x378, 0x1C3); // only the low byte goes out
    Out32(0x379, 0x12);  // the status register is an input: nothing to do
    Out32(0x37A, 0x0B);
    QCOMPARE(kernel->calls, QStringList({"PPWDATA 195", "PPDATADIR 0", "PPWCONTROL 11"}));
    QCOMPARE(kernel->dataPins(), 0xC3);
}

void TestDrivers::ppdevOpenFailures_data() {
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<int>("err");
    QTest::addColumn<bool>("lpLoaded");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QStringList>("cause");
    QTest::addColumn<QStringList>("fix");
    const QString open = "cannot open /dev/parport0";
    const QString claim = "cannot claim /dev/parport0";
    const QString modprobe = "sudo modprobe parport_pc ppdev";
    const QStringList rmmod{"sudo rmmod lp", "blacklist lp"};
    QTest::newRow("missing node") << "open" << ENOENT << false << open
                                  << QStringList{"no such device node"} << QStringList{modprobe};
    QTest::newRow("ppdev not loaded")
        << "open" << ENXIO << false << open << QStringList{"ppdev is not loaded"}
        << QStringList{modprobe};
    QTest::newRow("not in group lp")
        << "open" << EACCES << false << open << QStringList{"permission denied"}
        << QStringList{"sudo adduser $USER lp", "log in again"};
    QTest::newRow("lp holds the port: PPCLAIM refused")
        << "PPCLAIM" << ENXIO << true << claim << QStringList{"printer driver lp"} << rmmod;
    QTest::newRow("lp holds the port: PPEXCL busy")
        << "PPEXCL" << EBUSY << true << claim << QStringList{"printer driver lp"} << rmmod;
    QTest::newRow("another program holds the port")
        << "PPCLAIM" << ENXIO << false << claim << QStringList{"another program"}
        << QStringList{"sudo fuser -v /dev/parport0", "sudo rmmod lp"};
    QTest::newRow("not a parallel port")
        << "PPEXCL" << ENOTTY << false << claim << QStringList{"not a parallel port"}
        << QStringList{"PARPORT=/dev/parport0"};
    QTest::newRow("unknown errno on open")
        << "open" << EIO << false << open << QStringList{QString::fromStdString(describeErrno(EIO))}
        << QStringList{"dmesg"};
    QTest::newRow("unknown errno on claim")
        << "PPCLAIM" << EIO << true << claim
        << QStringList{QString::fromStdString(describeErrno(EIO))} << QStringList{"dmesg"};
}

void TestDrivers::ppdevOpenFailures() {
    QFETCH(QString, failingCall);
    QFETCH(int, err);
    QFETCH(bool, lpLoaded);
    QFETCH(QString, what);
    QFETCH(QStringList, cause);
    QFETCH(QStringList, fix);
    auto kernel = std::make_shared<FakeKernel>();
    kernel->failures[failingCall] = err;
    // "lp," in parport's list of users must not count as the lp module.
    kernel->files["/proc/modules"] =
        std::string(lpLoaded ? "lp 20480 0 - Live 0x0000000000000000\n" : "") +
        "ppdev 24576 0 - Live 0x0000000000000000\n"
        "parport_pc 40960 0 - Live 0x0000000000000000\n"
        "parport 73728 3 lp,ppdev,parport_pc, Live 0x0000000000000000\n";

    const auto f = failureOf([&] { openPpdev("/dev/parport0", kernel); });
    QVERIFY(f);
    QCOMPARE(QString::fromStdString(f->what), what);
    const QString message = QString::fromStdString(f->message());
    for (const QString& part : cause) {
        QVERIFY2(QString::fromStdString(f->cause).contains(part), qPrintable(message));
        QVERIFY2(message.contains(part), qPrintable(message));
    }
    for (const QString& part : fix) {
        QVERIFY2(QString::fromStdString(f->fix).contains(part), qPrintable(message));
        QVERIFY2(message.contains(part), qPrintable(message));
    }
    QCOMPARE(QString::fromStdString(f->section), QString(kLinuxSection));
    QVERIFY2(message.contains(kLinuxSection), qPrintable(message));
    // A port that was opened but not claimed is closed again.
    QCOMPARE(kernel->isOpen, false);
    QCOMPARE(kernel->calls.contains("close 7"), failingCall != "open");
}

void TestDrivers::ppdevAccessFailures_data() {
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("what");
    QTest::newRow("data write") << "PPWDATA" << 0x378 << true
                                << "cannot write the data register of /dev/parport0";
    QTest::newRow("control write: direction")
        << "PPDATADIR" << 0x37A << true << "cannot write the control register of /dev/parport0";
    QTest::newRow("control write: lines")
        << "PPWCONTROL" << 0x37A << true << "cannot write the control register of /dev/parport0";
    QTest::newRow("status read") << "PPRSTATUS" << 0x379 << false
                                 << "cannot read the status register of /dev/parport0";
}

void TestDrivers::ppdevAccessFailures() {
    QFETCH(QString, failingCall);
    QFETCH(int, address);
    QFETCH(bool, write);
    QFETCH(QString, what);
    auto kernel = std::make_shared<FakeKernel>();
    auto port = openPpdev("/dev/parport0", kernel);
    kernel->failures[failingCall] = ENODEV;
    const Register reg = *registerAt(address);

    const auto f = failureOf([&] {
        if (write)
            port->write(reg, 1);
        else
            port->read(reg);
    });
    QVERIFY(f);
    QCOMPARE(QString::fromStdString(f->what), what);
    QCOMPARE(QString::fromStdString(f->cause), QString::fromStdString(describeErrno(ENODEV)));
    QVERIFY(QString::fromStdString(f->fix).contains("dmesg"));
    QCOMPARE(QString::fromStdString(f->section), QString(kLinuxSection));
}

void TestDrivers::directMapsRegisters_data() {
    QTest::addColumn<int>("base");
    QTest::newRow("0x378") << 0x378;
    QTest::newRow("0x278") << 0x278;
    QTest::newRow("0x3BC") << 0x3BC;
}

void TestDrivers::directMapsRegisters() {
    QFETCH(int, base);
    auto io = std::make_shared<FakeDirectIo>();
    io->inputs[base] = 0x11;
    io->inputs[base + 1] = 0x78;
    io->inputs[base + 2] = 0xC4;

    auto port = openDirect(base, io);
    QCOMPARE(QString::fromStdString(port->description()), "direct I/O at " + hex(base));
    port->write(Register::Data, 0x41);
    port->write(Register::Control, 0x2B);
    QCOMPARE(port->read(Register::Status), 0x78);
    QCOMPARE(port->read(Register::Data), 0x11);
    QCOMPARE(port->read(Register::Control), 0xC4);
    port.reset();

    const QString b0 = hex(base), b1 = hex(base + 1), b2 = hex(base + 2);
    QCOMPARE(io->calls,
             QStringList({"ioperm " + b0 + " 3 1", "outb " + b0 + " 65", "outb " + b2 + " 43",
                          "inb " + b1, "inb " + b0, "inb " + b2, "ioperm " + b0 + " 3 0"}));
}

void TestDrivers::directFailures_data() {
    QTest::addColumn<int>("err");
    QTest::addColumn<bool>("rawIo");
    QTest::addColumn<QString>("lockdown"); // "" = unreadable
    QTest::addColumn<QStringList>("cause");
    QTest::addColumn<QStringList>("fix");
    QTest::newRow("not root") << EPERM << false << "none [integrity] confidentiality\n"
                              << QStringList{"permission denied", "CAP_SYS_RAWIO"}
                              << QStringList{"run as root (CAP_SYS_RAWIO)",
                                             "PARPORT=/dev/parport0"};
    QTest::newRow("root under lockdown")
        << EPERM << true << "none [integrity] confidentiality\n"
        << QStringList{"locked down (lockdown=integrity)", "Secure Boot"}
        << QStringList{"PARPORT=/dev/parport0"};
    QTest::newRow("root, lockdown state unreadable")
        << EPERM << true << "" << QStringList{"locked down", "Secure Boot"}
        << QStringList{"PARPORT=/dev/parport0"};
    QTest::newRow("root, kernel not locked down")
        << EPERM << true << "[none] integrity confidentiality\n"
        << QStringList{"container or sandbox"} << QStringList{"PARPORT=/dev/parport0"};
    QTest::newRow("no port I/O in this kernel")
        << ENOSYS << true << "" << QStringList{"offers no port I/O"}
        << QStringList{"PARPORT=/dev/parport0"};
    QTest::newRow("unknown errno")
        << EINVAL << true << "" << QStringList{QString::fromStdString(describeErrno(EINVAL))}
        << QStringList{"PARPORT=/dev/parport0"};
}

void TestDrivers::directFailures() {
    QFETCH(int, err);
    QFETCH(bool, rawIo);
    QFETCH(QString, lockdown);
    QFETCH(QStringList, cause);
    QFETCH(QStringList, fix);
    auto io = std::make_shared<FakeDirectIo>();
    io->iopermError = err;
    io->rawIo = rawIo;
    if (!lockdown.isEmpty())
        io->lockdown = lockdown.toStdString();

    const auto f = failureOf([&] { openDirect(0x278, io); });
    QVERIFY(f);
    QCOMPARE(QString::fromStdString(f->what),
             QString("cannot reach the port at 0x278 by direct I/O"));
    const QString message = QString::fromStdString(f->message());
    for (const QString& part : cause)
        QVERIFY2(QString::fromStdString(f->cause).contains(part), qPrintable(message));
    for (const QString& part : fix)
        QVERIFY2(QString::fromStdString(f->fix).contains(part), qPrintable(message));
    QVERIFY2(message.contains(kLinuxSection), qPrintable(message));
    QCOMPARE(io->calls, QStringList{"ioperm 0x278 3 1"});
}

void TestDrivers::portSpec_data() {
    using Kind = PortSpec::Kind;
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("error"); // part of the cause; "" = accepted
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("base");
    const QString simPath = QString::fromStdString(defaultSimPath());
    const auto ok = [](Kind k) { return static_cast<int>(k); };
    QTest::newRow("sim") << QByteArray("sim") << "" << ok(Kind::Simulated) << simPath << 0x378;
    QTest::newRow("sim:PATH") << QByteArray("sim:/tmp/x/port") << "" << ok(Kind::Simulated)
                              << "/tmp/x/port" << 0x378;
    QTest::newRow("sim: without a path")
        << QByteArray("sim:") << "sim: needs the file" << 0 << "" << 0;
    QTest::newRow("ppdev node") << QByteArray("/dev/parport1") << "" << ok(Kind::Ppdev)
                                << "/dev/parport1" << 0x378;
    QTest::newRow("direct") << QByteArray("direct") << "" << ok(Kind::Direct) << "" << 0x378;
    QTest::newRow("direct at 0x278")
        << QByteArray("direct:0x278") << "" << ok(Kind::Direct) << "" << 0x278;
    QTest::newRow("direct in decimal")
        << QByteArray("direct:956") << "" << ok(Kind::Direct) << "" << 0x3BC;
    QTest::newRow("direct at a bad number")
        << QByteArray("direct:zz") << "direct: needs a base address" << 0 << "" << 0;
    QTest::newRow("direct at 0") << QByteArray("direct:0") << "direct: needs a base address" << 0
                                 << "" << 0;
    QTest::newRow("direct beyond the I/O space")
        << QByteArray("direct:0xFFFF") << "direct: needs a base address" << 0 << "" << 0;
    QTest::newRow("dll on Linux") << QByteArray("dll:C:\\lpt\\inpoutx64.dll") << "for Windows" << 0
                                  << "" << 0;
    QTest::newRow("unknown form") << QByteArray("lpt1") << "unknown form" << 0 << "" << 0;
    QTest::newRow("bare port number") << QByteArray("0x378") << "unknown form" << 0 << "" << 0;
}

void TestDrivers::portSpec() {
    QFETCH(QByteArray, value);
    QFETCH(QString, error);
    QFETCH(int, kind);
    QFETCH(QString, path);
    QFETCH(int, base);
    PortSpec spec;
    const auto f = failureOf([&] { spec = parsePortSpec(value.constData()); });
    if (!error.isEmpty()) {
        QVERIFY(f);
        const QString message = QString::fromStdString(f->message());
        QVERIFY2(message.contains("PARPORT=" + value), qPrintable(message));
        QVERIFY2(QString::fromStdString(f->cause).contains(error), qPrintable(message));
        // The fix names every form the variable accepts.
        for (const char* form : {"sim, sim:PATH", "/dev/parportN", "direct", "direct:0xBASE"})
            QVERIFY2(QString::fromStdString(f->fix).contains(form), qPrintable(message));
        return;
    }
    QVERIFY2(!f, f ? f->message().c_str() : "");
    QCOMPARE(static_cast<int>(spec.kind), kind);
    QCOMPARE(QString::fromStdString(spec.path), path);
    QCOMPARE(spec.base, base);
}

void TestDrivers::dllIsRefusedOnLinux() {
    const auto f = failureOf([] { openDll("inpoutx64.dll"); });
    QVERIFY(f);
    QVERIFY2(QString::fromStdString(f->cause).contains("Windows"), f->message().c_str());
    QVERIFY2(QString::fromStdString(f->fix).contains("/dev/parportN"), f->message().c_str());
}

QTEST_GUILESS_MAIN(TestDrivers)
#include "test_drivers.moc"
