// The loopback self-test: the verdict on each wire of a miswired plug, and
// `lptport selftest` on the simulated port: its report, its exit status, and
// the registers put back as they were.
#include "port/simulated.h"
#include "lptport/selftest.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lpt;

namespace {

// A port with a loopback plug wired as sources says: for each of the plug's
// inputs S3..S7, the data line (0..4) that feeds it, or -1 for none (stuck low).
struct PlugPort final : Driver {
    explicit PlugPort(QList<int> sources) : sources_(sources) {}
    std::string description() const override { return "plug port"; }
    void write(Register reg, std::uint8_t value) override {
        (reg == Register::Data ? data_ : control_) = value;
    }
    std::uint8_t read(Register reg) override {
        if (reg != Register::Status)
            return static_cast<std::uint8_t>(reg == Register::Data ? data_ : control_);
        int bits = 0x07; // no pin: read 1
        for (int w = 0; w < 5; ++w)
            bits |= (sources_[w] < 0 ? 0 : data_ >> sources_[w] & 1) << (3 + w);
        return static_cast<std::uint8_t>(bits ^ kStatusInverted);
    }
    QList<int> sources_;
    int data_ = 0xA5, control_ = 0x04;
};

// The report for these verdicts on the five wires, ending with what the port was left with.
QStringList expectedReport(const QStringList& verdicts, const QString& left) {
    const int statusPins[] = {15, 13, 12, 10, 11};
    QStringList lines;
    for (int w = 0; w < 5; ++w)
        lines << QString::asprintf("D%d pin %d -> S%d pin %d: ", w, w + 2, w + 3, statusPins[w]) +
                     verdicts[w];
    const auto good = verdicts.count("good");
    const QString faulty = good == 5 ? "" : ", the plug or the port is faulty";
    return lines << QString("selftest: %1 of 5 wires good").arg(good) + faulty << left;
}

} // namespace

class TestSelftest : public QObject {
    Q_OBJECT
private slots:
    void judgesEachWire();
    void lptportOnTheSimulatedPort();
};

// D1 and D2 crossed, S6 stuck low; the data lines are outputs already (control 0x04).
void TestSelftest::judgesEachWire() {
    PlugPort port({0, 2, 1, -1, 4});
    QStringList report;
    for (const std::string& line : selftestReport(runSelftest(port)))
        report << QString::fromStdString(line);
    QCOMPARE(report, expectedReport({"good", "crossed: follows D2 pin 4",
                                     "crossed: follows D1 pin 3", "stuck low", "good"},
                                    "port: data restored to 165, control unchanged at 4"));
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

        // After the walk: data restored, then control.
        const auto log = port->writeLog();
        QVERIFY(log.size() >= 2 && log.end()[-2] == std::pair(Register::Data, std::uint8_t{0xA5}) &&
                log.back() == std::pair(Register::Control, std::uint8_t{0x24}));
    }
}

QTEST_GUILESS_MAIN(TestSelftest)
#include "test_selftest.moc"
