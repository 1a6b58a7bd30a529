// SPDX-License-Identifier: MIT
// `lptport capture` against patterns this process drives on a simulated port,
// read back by two independent VCD readers: sigrok-cli, for the edges and
// their times, and GTKWave's vcd2fst, which must accept every file.
#include "port/simulated.h"
#include "process.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

qint64 nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// What sigrok-cli reads from a VCD file at 1 MHz, as steps: the time of each
// step's first edge (ns from the first sample, in sigrok-cli's own time
// scale) and its edges, sorted ("D0_pin2=1 S3_ERROR_pin15=1"). A step starts
// at each data edge; input edges join the step before them, since a write
// that falls between a sample's status and data reads shows its inputs one
// sample later, and the capture may be preempted between those two samples.
// The starting levels are no step; a failure is one step that says so.
struct Steps {
    QList<qint64> at;
    QStringList edges;
};

Steps sigrokSteps(const QString& file) {
    const auto sigrok =
        lpt::test::run("sigrok-cli", {"-I", "vcd:downsample=1000", "-i", file, "-O", "vcd"});
    if (sigrok.status != 0)
        return {{0}, {"sigrok-cli failed: " + sigrok.err}};
    QMap<QString, QString> names; // id -> wire
    QList<QStringList> steps;
    Steps read;
    qint64 unit = 0; // ns
    const QRegularExpression var(R"(^\$var wire 1 (\S+) (\S+) \$end$)");
    const QRegularExpression scale(R"(^\$timescale (\d+) (s|ms|us|ns) \$end$)");
    const QMap<QString, qint64> units{{"s", 1000000000}, {"ms", 1000000}, {"us", 1000}, {"ns", 1}};
    for (const QString& line : sigrok.out.split('\n')) {
        if (const auto m = var.match(line); m.hasMatch())
            names[m.captured(1)] = m.captured(2);
        if (const auto m = scale.match(line); m.hasMatch())
            unit = m.captured(1).toLongLong() * units[m.captured(2)];
        const QStringList fields = line.split(' ');
        const qint64 ns = fields[0].mid(1).toLongLong() * unit;
        if (!line.startsWith('#') || ns == 0 || fields.size() < 2)
            continue;
        const bool dataEdge = std::any_of(fields.begin() + 1, fields.end(), [&](const QString& v) {
            return names.value(v.mid(1)).startsWith('D');
        });
        if (read.at.isEmpty() || dataEdge) {
            read.at << ns;
            steps << QStringList();
        }
        for (const QString& v : fields.mid(1))
            steps.last() << names.value(v.mid(1), v) + "=" + v[0];
    }
    for (QStringList& step : steps) {
        step.sort();
        read.edges << step.join(' ');
    }
    return read;
}

// vcd2fst, an independent reader, accepts the file, and the file ends with a
// time stamp: a capture that ended in any way but a write failure is whole.
bool whole(const QString& file) {
    QFile f(file);
    return lpt::test::run("vcd2fst", {file, file + ".fst"}).status == 0 &&
           f.open(QIODevice::ReadOnly) &&
           QRegularExpression(R"(\n#\d+\n$)").match(f.readAll().right(40)).hasMatch();
}

} // namespace

class TestCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void loopbackWalk();
    void endings_data();
    void endings();
    void droppedChangesAreCounted();

private:
    void startCapture(QProcess& capture, const QStringList& args);
    void stopCapture(QProcess& capture);
    bool sampled();
    QTemporaryDir dir_;
    std::unique_ptr<lpt::SimulatedPort> port_;
};

void TestCapture::initTestCase() {
    if (QStandardPaths::findExecutable("sigrok-cli").isEmpty() ||
        QStandardPaths::findExecutable("vcd2fst").isEmpty()) {
        QVERIFY2(!qEnvironmentVariableIsSet("CI"), "sigrok-cli or vcd2fst is missing");
        QSKIP("sigrok-cli or vcd2fst is missing: run scripts/setup-debian test");
    }
}

void TestCapture::init() {
    lpt::SimulatedPort::reset(dir_.filePath("port").toStdString());
    port_ = lpt::SimulatedPort::open(dir_.filePath("port").toStdString());
    qputenv("PARPORT", ("sim:" + dir_.filePath("port")).toLocal8Bit());
}

// Starts a capture and returns once it samples: its status reads go on.
void TestCapture::startCapture(QProcess& capture, const QStringList& args) {
    capture.start(LPTPORT_BIN, QStringList{"capture"} + args);
    QVERIFY(QTest::qWaitFor([&] { return port_->statusReads() > 100000; }, 10000));
}

// Returns once the capture has read the port after this call (a status read
// is counted before its value is taken), or false after 5 s. A change lasting
// until then cannot be missed, however long the capture was preempted.
bool TestCapture::sampled() {
    const std::uint64_t reads = port_->statusReads();
    const qint64 deadline = nowNs() + 5000000000;
    while (port_->statusReads() <= reads + 1)
        if (nowNs() > deadline)
            return false;
    return true;
}

void TestCapture::stopCapture(QProcess& capture) {
    QVERIFY(sampled());
    ::kill(static_cast<pid_t>(capture.processId()), SIGTERM);
    QVERIFY(capture.waitForFinished(10000));
    QCOMPARE(capture.exitCode(), 0);
}

void TestCapture::loopbackWalk() {
    // A one walks across D0..D4 of a loopback port and back to 0, twice:
    // written by this process, each step 10 ms after the last, then by one
    // lptport out process a step. S3..S7 follow at once, nothing else moves.
    // A step written here must be stamped no earlier than its write and no
    // later than 1 ms after this process saw the capture read the port again.
    constexpr qint64 kSpacingNs = 10000000, kToleranceNs = 1000000;
    port_->setWiring(lpt::Wiring::Loopback);
    const QString file = dir_.filePath("walk.vcd");
    QProcess capture;
    startCapture(capture, {"--outputs", "-o", file});
    const QList<int> walk{1, 2, 4, 8, 16, 0};
    QList<qint64> written, seenBy;
    for (int v : walk) {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::nanoseconds(written.empty() ? 0 : written.last() + kSpacingNs)));
        written.append(nowNs());
        port_->write(lpt::Register::Data, static_cast<std::uint8_t>(v));
        QVERIFY(sampled());
        seenBy.append(nowNs());
    }
    for (int v : walk) {
        QCOMPARE(QProcess::execute(LPTPORT_BIN, {"out", "0x378", QString::number(v)}), 0);
        QVERIFY(sampled());
    }
    stopCapture(capture);

    const QStringList once{
        "D0_pin2=1 S3_ERROR_pin15=1",
        "D0_pin2=0 D1_pin3=1 S3_ERROR_pin15=0 S4_SELECT_IN_pin13=1",
        "D1_pin3=0 D2_pin4=1 S4_SELECT_IN_pin13=0 S5_PAPER_END_pin12=1",
        "D2_pin4=0 D3_pin5=1 S5_PAPER_END_pin12=0 S6_ACK_pin10=1",
        "D3_pin5=0 D4_pin6=1 S6_ACK_pin10=0 S7_BUSY_pin11=1",
        "D4_pin6=0 S7_BUSY_pin11=0",
    };
    const Steps steps = sigrokSteps(file);
    QVERIFY2(steps.edges == once + once,
             qPrintable(steps.edges.join(" | "))); // or sigrok-cli's failure

    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto origin =
        QRegularExpression(R"(clock at (\d+) ns)").match(f.readAll()).captured(1).toLongLong();
    for (int k = 0; k < walk.size(); ++k) {
        const qint64 seen = origin + steps.at[k]; // at 1 MHz: up to 1 us early
        QVERIFY2(seen > written[k] - 1000 && seen <= seenBy[k] + kToleranceNs,
                 qPrintable(QString("step %1 stamped %2 ns after its write, %3 after it was seen")
                                .arg(k)
                                .arg(seen - written[k])
                                .arg(seen - seenBy[k])));
    }
    QVERIFY(whole(file));
}

void TestCapture::endings_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("sample count") << QStringList{"--samples", "300000"} << 0
                                  << "capture: 300000 samples in ";
    QTest::newRow("duration") << QStringList{"--for", "0.2"} << 0 << " samples in 0.2";
    QTest::newRow("full disk") << QStringList{"--for", "5", "-o", "/dev/full"} << 1
                               << "cannot write /dev/full: no space left on device; the file "
                                  "is cut short";
    QTest::newRow("no such folder")
        << QStringList{"-o", "/nonexistent/x.vcd"} << 1 << "cannot create /nonexistent/x.vcd";
    QTest::newRow("duration in other units") << QStringList{"--for", "1e3"} << 2 << "'1e3'";
    QTest::newRow("no samples") << QStringList{"--samples", "0"} << 2 << "'0'";
    QTest::newRow("both ends") << QStringList{"--for", "1", "--samples", "9"} << 2 << "not both";
}

void TestCapture::endings() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QProcess capture; // the file goes to standard output unless -o names one
    capture.setStandardOutputFile(dir_.filePath("out.vcd"));
    capture.start(LPTPORT_BIN, QStringList{"capture"} + args);
    QVERIFY(capture.waitForFinished(20000));
    const QString err = capture.readAllStandardError();
    QCOMPARE(capture.exitCode(), status);
    QVERIFY2(err.contains(message), qPrintable(err));
    if (status == 0)
        QVERIFY(whole(dir_.filePath("out.vcd")));
}

void TestCapture::droppedChangesAreCounted() {
    // Nothing reads the pipe (no event processing) while the status flips:
    // the writer blocks, the queue fills, and changes are dropped.
    // 150,000 flips, each sampled, are far more changes than both hold.
    QProcess capture;
    startCapture(capture, {});
    for (int k = 0; k < 150000; ++k) {
        port_->setStatus(k % 2 ? 0x7F : 0x3F);
        QVERIFY(sampled());
    }
    ::kill(static_cast<pid_t>(capture.processId()), SIGTERM);
    QVERIFY(capture.waitForFinished(60000)); // reads the pipe, so the writer can finish
    QFile out(dir_.filePath("dropped.vcd"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(capture.readAllStandardOutput()) > 0);
    out.close();
    const QString err = capture.readAllStandardError();
    QVERIFY2(QRegularExpression(R"( [1-9]\d* changes DROPPED)").match(err).hasMatch(),
             qPrintable(err));
    QCOMPARE(capture.exitCode(), 1);
    QVERIFY(whole(out.fileName()));
}

QTEST_GUILESS_MAIN(TestCapture)
#include "test_capture.moc"
