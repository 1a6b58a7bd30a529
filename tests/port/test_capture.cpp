// `lptport capture` against patterns this process drives on a simulated port,
// read back by two independent VCD readers: sigrok-cli, for the edges and
// their times, and GTKWave's vcd2fst, which must accept every file.
#include "port/simulated.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

qint64 nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Edge {
    qint64 us; // from sigrok-cli, in microseconds since the first sample
    QString wire;
    int level;
};

// The edges sigrok-cli reads from a VCD file, in order (the starting levels
// at time 0 are not edges), or one edge on a wire named by its failure.
// sigrok-cli resamples the file at 1 MHz.
QList<Edge> sigrokEdges(const QString& file) {
    QProcess p;
    p.start("sigrok-cli", {"-I", "vcd:downsample=1000", "-i", file, "-O", "vcd"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {{0, "sigrok-cli failed: " + p.readAllStandardError(), 0}};
    QMap<QString, QString> names; // id -> wire
    QList<Edge> edges;
    const QRegularExpression var(R"(^\$var wire 1 (\S+) (\S+) \$end$)");
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        if (const auto m = var.match(line); m.hasMatch())
            names[m.captured(1)] = m.captured(2);
        if (!line.startsWith('#'))
            continue;
        const QStringList fields = line.split(' ');
        const qint64 us = fields[0].mid(1).toLongLong();
        for (const QString& v : fields.mid(1))
            if (us > 0)
                edges.append({us, names.value(v.mid(1), "unknown " + v), v[0] == '1'});
    }
    return edges;
}

// vcd2fst, an independent reader, accepts the file, and the file ends with a
// time stamp: a capture that ended in any way but a write failure is whole.
bool whole(const QString& file) {
    QProcess p;
    p.start("vcd2fst", {file, file + ".fst"});
    QFile f(file);
    return p.waitForFinished(60000) && p.exitCode() == 0 && f.open(QIODevice::ReadOnly) &&
           QRegularExpression(R"(\n#\d+\n$)").match(f.readAll().right(40)).hasMatch();
}

} // namespace

class TestCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void patternFromAnotherProcess();
    void loopbackOutputsAndInputs();
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
    const bool ci = qEnvironmentVariableIsSet("CI");
    for (const char* tool : {"sigrok-cli", "vcd2fst"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            if (ci)
                QFAIL(qPrintable(QString(tool) + " is missing: run scripts/setup-debian test"));
            QSKIP("sigrok-cli or vcd2fst missing: run scripts/setup-debian test");
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

void TestCapture::patternFromAnotherProcess() {
    // S6 toggled 20 times, each 10 ms after the last. Each edge must be
    // stamped no earlier than its write and no later than 1 ms after this
    // process saw the capture read the port again.
    constexpr int kEdges = 20;
    constexpr qint64 kSpacingNs = 10000000, kToleranceNs = 1000000;
    const QString file = dir_.filePath("pattern.vcd");
    QProcess capture;
    startCapture(capture, {"-o", file});
    QList<qint64> written, seenBy;
    for (int k = 0; k < kEdges; ++k) {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::nanoseconds(k ? written.last() + kSpacingNs : 0)));
        written.append(nowNs());
        port_->setStatus(k % 2 ? 0x7F : 0x3F);
        QVERIFY(sampled());
        seenBy.append(nowNs());
    }
    stopCapture(capture);
    QVERIFY(capture.readAllStandardError().contains(" 20 changes written"));

    const QList<Edge> edges = sigrokEdges(file);
    QVERIFY2(edges.size() == kEdges, qPrintable(edges.value(0).wire)); // or sigrok-cli's failure
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto origin =
        QRegularExpression(R"(clock at (\d+) ns)").match(f.readAll()).captured(1).toLongLong();
    for (int k = 0; k < kEdges; ++k) {
        const Edge& e = edges[k];
        const qint64 seen = origin + e.us * 1000; // sigrok-cli's microsecond, rounded down
        QVERIFY2(e.wire == "S6_ACK_pin10" && e.level == k % 2 && seen > written[k] - 1000 &&
                     seen <= seenBy[k] + kToleranceNs,
                 qPrintable(QString("edge %1: %2=%3, %4 ns after its write, %5 after it was seen")
                                .arg(k)
                                .arg(e.wire)
                                .arg(e.level)
                                .arg(seen - written[k])
                                .arg(seen - seenBy[k])));
    }
    QVERIFY(whole(file));
}

void TestCapture::loopbackOutputsAndInputs() {
    // One lptport out process a step walks a one across D0..D4; on the
    // loopback plug S3..S7 follow at once, and nothing else moves.
    port_->setWiring(lpt::Wiring::Loopback);
    const QString file = dir_.filePath("loop.vcd");
    QProcess capture;
    startCapture(capture, {"--outputs", "-o", file});
    const QList<int> walk{1, 2, 4, 8, 16, 0};
    for (int v : walk) {
        QCOMPARE(QProcess::execute(LPTPORT_BIN, {"out", "0x378", QString::number(v)}), 0);
        QVERIFY(sampled());
    }
    stopCapture(capture);

    // Each step's edges, within 2 us of one another, sorted by wire.
    QList<QStringList> edges;
    qint64 at = -10;
    for (const Edge& e : sigrokEdges(file)) {
        if (e.us - at > 2)
            edges.append(QStringList());
        at = edges.last().isEmpty() ? e.us : at;
        edges.last() << e.wire + "=" + QString::number(e.level);
    }
    QStringList steps;
    for (QStringList& step : edges) {
        step.sort();
        steps << step.join(' ');
    }
    QCOMPARE(steps, (QStringList{
                        "D0_pin2=1 S3_ERROR_pin15=1",
                        "D0_pin2=0 D1_pin3=1 S3_ERROR_pin15=0 S4_SELECT_IN_pin13=1",
                        "D1_pin3=0 D2_pin4=1 S4_SELECT_IN_pin13=0 S5_PAPER_END_pin12=1",
                        "D2_pin4=0 D3_pin5=1 S5_PAPER_END_pin12=0 S6_ACK_pin10=1",
                        "D3_pin5=0 D4_pin6=1 S6_ACK_pin10=0 S7_BUSY_pin11=1",
                        "D4_pin6=0 S7_BUSY_pin11=0",
                    }));
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
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(capture.readAllStandardOutput());
    out.close();
    const QString err = capture.readAllStandardError();
    QVERIFY2(QRegularExpression(R"( [1-9]\d* changes DROPPED)").match(err).hasMatch(),
             qPrintable(err));
    QCOMPARE(capture.exitCode(), 1);
    QVERIFY(whole(out.fileName()));
}

QTEST_GUILESS_MAIN(TestCapture)
#include "test_capture.moc"
