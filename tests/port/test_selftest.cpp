// The loopback self-test: how it judges each wire, the order of its register
// accesses (save, walk, restore), and `lptport selftest` on the simulated port.
#include "port/simulated.h"
#include "recording_port.h"
#include "tools/selftest.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace lpt;
using lpt::test::Access;

namespace {

// What feeds each of the plug's inputs S3..S7: a data line (0..4) or one of these.
enum Source { High = -1, Low = -2, InvertedD4 = -3, D0AndD1 = -4 };

// A port with a plug that can be miswired. It records every access in order;
// a port without read-back refuses to read the data and control registers.
class PlugPort final : public Driver {
public:
    PlugPort(QList<int> sources, int data, int control, bool readBack = true)
        : sources_(std::move(sources)), data_(data), control_(control), readBack_(readBack) {}

    std::string description() const override { return "plug port"; }
    void write(Register reg, std::uint8_t value) override {
        accesses.push_back(test::write(reg, value));
        (reg == Register::Data ? data_ : control_) = value;
    }
    std::uint8_t read(Register reg) override {
        if (reg != Register::Status && !readBack_)
            throw PortError({"cannot read back", "write-only register", "", ""});
        const int v = reg == Register::Data      ? data_
                      : reg == Register::Control ? control_
                                                 : status();
        accesses.push_back({Access::Read, reg, v});
        return static_cast<std::uint8_t>(v);
    }

    std::vector<Access> accesses;

private:
    int pinLevel(int source) const {
        switch (source) {
        case High:
            return 1;
        case Low:
            return 0;
        case InvertedD4:
            return ((data_ >> 4) & 1) ^ 1;
        case D0AndD1:
            return data_ & (data_ >> 1) & 1;
        default:
            return (data_ >> source) & 1;
        }
    }
    int status() const {
        int bits = 0x07; // no pin: read 1
        for (int w = 0; w < 5; ++w)
            bits |= pinLevel(sources_[w]) << (3 + w);
        return bits ^ kStatusInverted;
    }

    QList<int> sources_;
    int data_;
    int control_;
    bool readBack_;
};

QStringList verdicts(const SelftestOutcome& outcome) {
    QStringList v;
    for (const std::string& line : selftestReport(outcome))
        v << QString::fromStdString(line);
    return v;
}

QStringList toStrings(const std::vector<Access>& accesses) {
    QStringList s;
    for (const auto& a : accesses)
        s << QString::fromStdString(test::toString(a));
    return s;
}

// The walk as it should reach the port: all low, all high, a walking one,
// a walking zero across D0..D4, each followed by one status read.
const QList<int> kWalk{0x00, 0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1E, 0x1D, 0x1B, 0x17, 0x0F};

} // namespace

class TestSelftest : public QObject {
    Q_OBJECT
private slots:
    void judgesEachWire_data();
    void judgesEachWire();
    void savesWalksAndRestoresInOrder_data();
    void savesWalksAndRestoresInOrder();
    void portWithoutReadBack();
    void lptportOnTheSimulatedPort_data();
    void lptportOnTheSimulatedPort();
    void lptportSelftestTakesNoArgument();
};

void TestSelftest::judgesEachWire_data() {
    QTest::addColumn<QList<int>>("sources"); // what feeds S3, S4, S5, S6, S7
    QTest::addColumn<QStringList>("expected");
    const QString good = "good";
    QTest::newRow("plug in order")
        << QList<int>{0, 1, 2, 3, 4} << QStringList{good, good, good, good, good};
    QTest::newRow("no plug: inputs float high")
        << QList<int>{High, High, High, High, High} << QStringList(5, "stuck high");
    QTest::newRow("inputs held low")
        << QList<int>{Low, Low, Low, Low, Low} << QStringList(5, "stuck low");
    QTest::newRow("D1 and D2 crossed")
        << QList<int>{0, 2, 1, 3, 4}
        << QStringList{good, "crossed: follows D2 pin 4", "crossed: follows D1 pin 3", good, good};
    QTest::newRow("crossed pair and S6 stuck low")
        << QList<int>{0, 2, 1, Low, 4}
        << QStringList{good, "crossed: follows D2 pin 4", "crossed: follows D1 pin 3", "stuck low",
                       good};
    // BUSY's register bit is the complement of its pin: a pin stuck high reads bit 7 = 0.
    QTest::newRow("BUSY stuck high")
        << QList<int>{0, 1, 2, 3, High} << QStringList{good, good, good, good, "stuck high"};
    QTest::newRow("BUSY crossed with D0")
        << QList<int>{4, 1, 2, 3, 0}
        << QStringList{"crossed: follows D4 pin 6", good, good, good, "crossed: follows D0 pin 2"};
    QTest::newRow("two inputs on D0")
        << QList<int>{0, 0, 2, 3, 4}
        << QStringList{good, "crossed: follows D0 pin 2", good, good, good};
    const QString none = "faulty: follows no single data line";
    QTest::newRow("BUSY inverted")
        << QList<int>{0, 1, 2, 3, InvertedD4} << QStringList{good, good, good, good, none};
    QTest::newRow("S3 bridged to D0 and D1")
        << QList<int>{D0AndD1, 1, 2, 3, 4} << QStringList{none, good, good, good, good};
}

void TestSelftest::judgesEachWire() {
    QFETCH(QList<int>, sources);
    QFETCH(QStringList, expected);
    PlugPort port(sources, 0, 0x04);
    const SelftestOutcome outcome = runSelftest(port);
    const QStringList lines = verdicts(outcome);
    QCOMPARE(lines.size(), 7);
    const QStringList wires{"D0 pin 2 -> S3 pin 15", "D1 pin 3 -> S4 pin 13",
                            "D2 pin 4 -> S5 pin 12", "D3 pin 5 -> S6 pin 10",
                            "D4 pin 6 -> S7 pin 11"};
    for (int w = 0; w < 5; ++w)
        QCOMPARE(lines[w], wires[w] + ": " + expected[w]);
    const int good = static_cast<int>(expected.count("good"));
    QCOMPARE(outcome.allGood(), good == 5);
    QCOMPARE(lines[5], QString("selftest: %1 of 5 wires good%2")
                           .arg(good)
                           .arg(good == 5 ? "" : ", the plug or the port is faulty"));
}

void TestSelftest::savesWalksAndRestoresInOrder_data() {
    QTest::addColumn<int>("control");
    QTest::addColumn<bool>("switchesDirection");
    QTest::addColumn<QString>("left");
    QTest::newRow("data lines already outputs")
        << 0x04 << false << "port: data restored to 165, control unchanged at 4";
    // Bit 5 makes the data lines inputs; the walk needs them driven.
    QTest::newRow("data lines switched to input")
        << 0x24 << true << "port: data restored to 165, control restored to 36";
}

void TestSelftest::savesWalksAndRestoresInOrder() {
    QFETCH(int, control);
    QFETCH(bool, switchesDirection);
    QFETCH(QString, left);
    PlugPort port({0, 1, 2, 3, 4}, 0xA5, control);
    const SelftestOutcome outcome = runSelftest(port);

    std::vector<Access> expected{{Access::Read, Register::Data, 0xA5},
                                 {Access::Read, Register::Control, control}};
    if (switchesDirection)
        expected.push_back(test::writeControl(control & ~0x20));
    for (int pattern : kWalk) {
        expected.push_back(test::writeData(pattern));
        expected.push_back(test::readStatus(loopbackStatus(static_cast<std::uint8_t>(pattern))));
    }
    expected.push_back(test::writeData(0xA5)); // data first, as everywhere
    if (switchesDirection)
        expected.push_back(test::writeControl(control));
    QCOMPARE(toStrings(port.accesses), toStrings(expected));
    QVERIFY(outcome.allGood());
    QCOMPARE(verdicts(outcome).last(), left);
}

void TestSelftest::portWithoutReadBack() {
    PlugPort port({0, 1, 2, 3, 4}, 0xA5, 0x04, false);
    const SelftestOutcome outcome = runSelftest(port);
    QVERIFY(outcome.allGood());
    // The control register is never written; the data register ends at 0, and the report says so.
    for (const auto& a : port.accesses)
        QVERIFY2(a.reg != Register::Control, test::toString(a).c_str());
    QCOMPARE(toStrings({port.accesses.back()}), QStringList{"write data 0"});
    QCOMPARE(verdicts(outcome).last(), QString("port: data left at 0 (this port cannot read it "
                                               "back), control not read back and not changed"));
}

void TestSelftest::lptportOnTheSimulatedPort_data() {
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<int>("status"); // what the open port's inputs show
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("loopback plug") << true << 0x7F << 0 << "good";
    QTest::newRow("open, inputs high") << false << 0x7F << 1 << "stuck high";
    QTest::newRow("open, inputs low") << false << 0x80 << 1 << "stuck low";
}

void TestSelftest::lptportOnTheSimulatedPort() {
    QFETCH(bool, loopback);
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QString, verdict);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ::chmod(dir.path().toLocal8Bit().constData(), 0700);
    const QString path = dir.path() + "/port";
    auto port = SimulatedPort::open(path.toStdString());
    port->setWiring(loopback ? Wiring::Loopback : Wiring::Open);
    port->setStatus(static_cast<std::uint8_t>(status));
    port->write(Register::Data, 0xA5);
    port->write(Register::Control, 0x24);

    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("PARPORT", "sim:" + path);
    p.setProcessEnvironment(env);
    p.start(LPTPORT_BIN, {"selftest"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);

    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.size(), 8); // five wires, summary, what the port was left with, and ""
    for (int w = 0; w < 5; ++w)
        QVERIFY2(lines[w].endsWith(": " + verdict), qPrintable(lines[w]));
    QCOMPARE(lines[5], exitCode == 0
                           ? QString("selftest: 5 of 5 wires good")
                           : "selftest: 0 of 5 wires good, the plug or the port is faulty");
    QCOMPARE(lines[6], QString("port: data restored to 165, control restored to 36"));

    QCOMPARE(port->read(Register::Data), 0xA5);
    QCOMPARE(port->read(Register::Control), 0x24);
    const auto log = port->writeLog();
    QVERIFY(log.size() >= 4);
    // Our two writes, the data lines made outputs, the walk, data restored, then control.
    QCOMPARE(log[2], std::make_pair(Register::Control, std::uint8_t{0x04}));
    QCOMPARE(log[log.size() - 2], std::make_pair(Register::Data, std::uint8_t{0xA5}));
    QCOMPARE(log.back(), std::make_pair(Register::Control, std::uint8_t{0x24}));
    QCOMPARE(port->statusReads(), std::uint64_t(kWalk.size()));
}

void TestSelftest::lptportSelftestTakesNoArgument() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/port";
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("PARPORT", "sim:" + path);
    p.setProcessEnvironment(env);
    p.start(LPTPORT_BIN, {"selftest", "now"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains("selftest takes no argument") && err.contains("usage: lptport"),
             qPrintable(err));
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestSelftest)
#include "test_selftest.moc"
