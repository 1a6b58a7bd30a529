// The loopback self-test: the verdict on each wire of a miswired plug, and
// `lptport selftest` on the simulated port: its report, its exit status, and
// the registers put back as they were.
#include "port/simulated.h"
#include "tools/selftest.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lpt;

namespace {

// What feeds each of the plug's inputs S3..S7: a data line (0..4) or one of these.
enum Source { High = -1, Low = -2, InvertedD4 = -3 };

// A port with a plug that can be miswired; with readBack false it refuses to
// read the data and control registers back.
class PlugPort final : public Driver {
public:
    PlugPort(QList<int> sources, bool readBack = true) : sources_(sources), readBack_(readBack) {}
    std::string description() const override { return "plug port"; }
    void write(Register reg, std::uint8_t value) override {
        writes << QString("%1 %2").arg(registerName(reg).data()).arg(value);
        (reg == Register::Data ? data_ : control_) = value;
    }
    std::uint8_t read(Register reg) override {
        if (reg != Register::Status && !readBack_)
            throw PortError({"cannot read back", "write-only register", "", ""});
        if (reg != Register::Status)
            return static_cast<std::uint8_t>(reg == Register::Data ? data_ : control_);
        int bits = 0x07; // no pin: read 1
        for (int w = 0; w < 5; ++w) {
            const int s = sources_[w];
            const int pin = s == High         ? 1
                            : s == Low        ? 0
                            : s == InvertedD4 ? ~data_ >> 4 & 1
                                              : data_ >> s & 1;
            bits |= pin << (3 + w);
        }
        return static_cast<std::uint8_t>(bits ^ kStatusInverted);
    }
    QStringList writes;

private:
    QList<int> sources_;
    bool readBack_;
    int data_ = 0xA5, control_ = 0x04;
};

// The report for these verdicts on the five wires, ending with what the port was left with.
QStringList expectedReport(const QStringList& verdicts, const QString& left) {
    const QStringList wires{"D0 pin 2 -> S3 pin 15", "D1 pin 3 -> S4 pin 13",
                            "D2 pin 4 -> S5 pin 12", "D3 pin 5 -> S6 pin 10",
                            "D4 pin 6 -> S7 pin 11"};
    QStringList lines;
    for (int w = 0; w < 5; ++w)
        lines << wires[w] + ": " + verdicts[w];
    const auto good = verdicts.count("good");
    return lines << QString("selftest: %1 of 5 wires good%2")
                        .arg(good)
                        .arg(good == 5 ? "" : ", the plug or the port is faulty")
                 << left;
}

} // namespace

class TestSelftest : public QObject {
    Q_OBJECT
private slots:
    void judgesEachWire_data();
    void judgesEachWire();
    void lptportOnTheSimulatedPort();
};

void TestSelftest::judgesEachWire_data() {
    QTest::addColumn<QList<int>>("sources"); // what feeds S3, S4, S5, S6, S7
    QTest::addColumn<bool>("readBack");
    QTest::addColumn<QStringList>("verdicts");
    const QString good = "good";
    QTest::newRow("D1 and D2 crossed, S6 stuck low")
        << QList<int>{0, 2, 1, Low, 4} << true
        << QStringList{good, "crossed: follows D2 pin 4", "crossed: follows D1 pin 3", "stuck low",
                       good};
    QTest::newRow("BUSY inverted")
        << QList<int>{0, 1, 2, 3, InvertedD4} << true
        << QStringList{good, good, good, good, "faulty: follows no single data line"};
    QTest::newRow("plug in order, no read-back")
        << QList<int>{0, 1, 2, 3, 4} << false << QStringList(5, good);
}

// The control register (0x04: the data lines are outputs) is never written;
// the data register is restored, or left at 0 when it cannot be read back.
void TestSelftest::judgesEachWire() {
    QFETCH(QList<int>, sources);
    QFETCH(bool, readBack);
    QFETCH(QStringList, verdicts);
    PlugPort port(sources, readBack);
    QStringList report;
    for (const std::string& line : selftestReport(runSelftest(port)))
        report << QString::fromStdString(line);
    QCOMPARE(report, expectedReport(verdicts,
                                    readBack ? "port: data restored to 165, control unchanged at 4"
                                             : "port: data left at 0 (this port cannot read it "
                                               "back), control not read back and not changed"));
    QVERIFY(port.writes.filter("control").isEmpty());
    QCOMPARE(port.writes.last(), readBack ? QString("data 165") : QString("data 0"));
}

// With a loopback plug every wire is good and the status is 0; the open port's
// inputs read high whatever is written, and the status is 1.
void TestSelftest::lptportOnTheSimulatedPort() {
    for (bool loopback : {true, false}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("port");
        auto port = SimulatedPort::open(path.toStdString());
        port->setWiring(loopback ? Wiring::Loopback : Wiring::Open);
        port->write(Register::Data, 0xA5);
        port->write(Register::Control, 0x24); // bit 5: the data lines are inputs

        qputenv("PARPORT", ("sim:" + path).toLocal8Bit());
        QProcess p;
        p.start(LPTPORT_BIN, {"selftest"});
        QVERIFY(p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit);
        QCOMPARE(p.exitCode(), loopback ? 0 : 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).split('\n'),
                 expectedReport(QStringList(5, loopback ? "good" : "stuck high"),
                                "port: data restored to 165, control restored to 36")
                     << "");

        // The data lines made outputs before the walk; after it, data restored, then control.
        const auto log = port->writeLog();
        QVERIFY(log.size() >= 5);
        QCOMPARE(log[2], std::make_pair(Register::Control, std::uint8_t{0x04}));
        QCOMPARE(log[log.size() - 2], std::make_pair(Register::Data, std::uint8_t{0xA5}));
        QCOMPARE(log.back(), std::make_pair(Register::Control, std::uint8_t{0x24}));
    }
}

QTEST_GUILESS_MAIN(TestSelftest)
#include "test_selftest.moc"
