// SPDX-License-Identifier: MIT
// The two commands that sample the port, against patterns this process drives
// on a simulated port: `lptport watch`, and `lptport capture`, whose files are
// read back by two independent VCD readers: sigrok-cli, for the edges and
// their times, and GTKWave's vcd2fst, which must accept every file.
#include "lptport/sampler.h"
#include "port/simulated.h"
#include "process.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <thread>

class TestCapture : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray out_; // what the last finished run wrote on standard output
    const QString file_ = dir_.filePath("out.vcd");
    std::unique_ptr<lpt::SimulatedPort> port_;

    // Returns once the port has been read after this call (a status read is
    // counted before its value is taken), or false after 10 s. A change lasting
    // until then cannot be missed, however long the reader was preempted. It
    // handles no events, so nothing reads the reader's output meanwhile.
    bool sampled() {
        const std::uint64_t reads = port_->statusReads();
        const qint64 deadline = lpt::monotonicNs() + 10000000000;
        while (port_->statusReads() <= reads + 1)
            if (lpt::monotonicNs() > deadline)
                return false;
        return true;
    }

    // Waits for lptport's end (asking for it with SIGTERM when stop), checks its
    // exit status and a message on stderr, and keeps its standard output.
    void finish(QProcess& lptport, bool stop, int status, const QString& message) {
        if (stop)
            ::kill(static_cast<pid_t>(lptport.processId()), SIGTERM);
        QVERIFY(lptport.waitForFinished(60000) && lptport.exitStatus() == QProcess::NormalExit);
        const QString err = lptport.readAllStandardError();
        QVERIFY2(QRegularExpression(message).match(err).hasMatch(), qPrintable(err));
        QCOMPARE(lptport.exitCode(), status);
        out_ = lptport.readAllStandardOutput();
    }

    // Writes out_ to file_: vcd2fst, an independent reader, accepts it, and it
    // ends with a time stamp. A capture that ended in any way but a write
    // failure is whole.
    bool whole() {
        QFile f(file_);
        return f.open(QIODevice::WriteOnly) && f.write(out_) == out_.size() && f.flush() &&
               lpt::test::run("vcd2fst", {file_, file_ + ".fst"}).status == 0 &&
               QRegularExpression(R"(\n#\d+\n$)").match(out_.right(40)).hasMatch();
    }

private slots:
    void initTestCase() {
        QVERIFY2(!QStandardPaths::findExecutable("sigrok-cli").isEmpty() &&
                     !QStandardPaths::findExecutable("vcd2fst").isEmpty(),
                 "sigrok-cli or vcd2fst is missing: run scripts/setup-debian test");
    }

    void init() {
        lpt::SimulatedPort::reset(dir_.filePath("port").toStdString());
        port_ = lpt::SimulatedPort::open(dir_.filePath("port").toStdString());
        qputenv("PARPORT", ("sim:" + dir_.filePath("port")).toLocal8Bit());
    }

    // One time-stamped line for each change, made by this or another process,
    // until SIGTERM, which ends watch with its closing line and status 0.
    void watchUntilStopped() {
        QProcess watch;
        watch.start(LPTPORT_BIN, {"watch"}); // every 10 ms
        QVERIFY(sampled());                  // the starting levels
        // BUSY low, from another process: its register bit is the complement, 1.
        QCOMPARE(QProcess::execute(LPTPORT_BIN, {"sim", "pins", "S7=0"}), 0);
        QVERIFY(sampled());
        port_->write(lpt::Register::Data, 5);
        // Each line comes through the pipe when it happens, not when watch ends.
        QVERIFY(QTest::qWaitFor([&] { return watch.peek(4096).contains("data 0->5"); }, 10000));
        finish(watch, true, 0, R"(watch: ended after \d+ polls)");
        QStringList lines; // each line's text after its time stamp, empty when it has none
        const QRegularExpression stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} (.*)$)");
        for (const QString& line : QString(out_).split('\n', Qt::SkipEmptyParts))
            lines << stamped.match(line).captured(1);
        QCOMPARE(lines, (QStringList{"start data 0 control 0 status 127 S0=1 S1=1 S2=1 S3=1 "
                                     "S4=1 S5=1 S6=1 S7=1",
                                     "status 127->255", "S7 1->0", "data 0->5"}));
    }

    // A one walks across D0..D4 of a loopback port and back to 0, a step every
    // 10 ms: S3..S7 follow at once, nothing else moves. A step must be stamped
    // no earlier than its write and no later than 1 ms after this process saw
    // the capture read the port again.
    void loopbackWalk() {
        port_->setWiring(lpt::Wiring::Loopback);
        QProcess capture; // past its first reads, which time the port's reads and the clock
        capture.start(LPTPORT_BIN, {"capture", "--outputs"});
        QVERIFY(QTest::qWaitFor([&] { return port_->statusReads() > 100000; }, 10000));
        const QList<int> walk{1, 2, 4, 8, 16, 0};
        QList<qint64> written, seenBy;
        for (int v : walk) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the steps' spacing
            written.append(lpt::monotonicNs());
            port_->write(lpt::Register::Data, static_cast<std::uint8_t>(v));
            QVERIFY(sampled());
            seenBy.append(lpt::monotonicNs());
        }
        finish(capture, true, 0, "capture: [1-9]\\d* samples in ");
        QVERIFY(whole());

        // What sigrok-cli reads from the file at 1 MHz, as steps: the time of
        // each step's first edge (ns from the first sample) and its edges,
        // sorted. A step starts at each data edge; input edges join the step
        // before them, since a write that falls between a sample's status and
        // data reads shows its inputs one sample later, and the capture may be
        // preempted between those two samples. The starting levels are no step.
        const auto sigrok =
            lpt::test::run("sigrok-cli", {"-I", "vcd:downsample=1000", "-i", file_, "-O", "vcd"});
        QVERIFY2(sigrok.status == 0 && sigrok.out.contains("$timescale 1 us $end"),
                 qPrintable(sigrok.err));
        QMap<QString, QString> names; // id -> wire, from "$var wire 1 ID WIRE $end"
        QList<qint64> at;
        QStringList steps;
        for (const QString& line : sigrok.out.split('\n')) {
            QStringList fields = line.split(' ');
            if (fields[0] == "$var")
                names[fields.value(3)] = fields.value(4);
            const qint64 ns = fields.takeFirst().mid(1).toLongLong() * 1000;
            if (!line.startsWith('#') || ns == 0 || fields.isEmpty())
                continue;
            for (QString& v : fields) // "1!": wire ! is now 1
                v = names.value(v.mid(1), v) + "=" + v[0];
            if (at.isEmpty() || !fields.filter(QRegularExpression("^D")).isEmpty()) {
                at << ns;
                steps << QString();
            }
            fields += steps.last().split(' ', Qt::SkipEmptyParts);
            fields.sort();
            steps.last() = fields.join(' ');
        }
        QCOMPARE(steps,
                 (QStringList{"D0_pin2=1 S3_ERROR_pin15=1",
                              "D0_pin2=0 D1_pin3=1 S3_ERROR_pin15=0 S4_SELECT_IN_pin13=1",
                              "D1_pin3=0 D2_pin4=1 S4_SELECT_IN_pin13=0 S5_PAPER_END_pin12=1",
                              "D2_pin4=0 D3_pin5=1 S5_PAPER_END_pin12=0 S6_ACK_pin10=1",
                              "D3_pin5=0 D4_pin6=1 S6_ACK_pin10=0 S7_BUSY_pin11=1",
                              "D4_pin6=0 S7_BUSY_pin11=0"}));
        const auto origin =
            QRegularExpression(R"(clock at (\d+) ns)").match(out_).captured(1).toLongLong();
        for (int k = 0; k < walk.size(); ++k) {
            const qint64 early = written[k] - (origin + at[k]), late = origin + at[k] - seenBy[k];
            QVERIFY2(
                early < 1000 && late <= 1000000, // at 1 MHz: up to 1 us early
                qPrintable(QString::asprintf("step %d: %lld ns early, %lld late", k, early, late)));
        }
    }

    // How a capture ends: after its samples or its time, when its file cannot be
    // written, or, stopped by SIGTERM, with changes dropped. The file goes to
    // standard output unless -o names one, and is whole then.
    void endings_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("flips"); // status flips this process makes, then SIGTERM
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("duration") << QStringList{"--for", "0.2"} << 0 << 0 << " samples in 0.2";
        QTest::newRow("full disk") << QStringList{"--for", "5", "-o", "/dev/full"} << 0 << 1
                                   << "cannot write /dev/full: no space left on device";
        QTest::newRow("no such folder") << QStringList{"-o", "/nonexistent/x.vcd"} << 0 << 1
                                        << "cannot create /nonexistent/x.vcd";
        // Nothing reads the pipe (no event processing) while the status flips:
        // the writer blocks, the queue fills, and changes are dropped. 150,000
        // flips, each sampled, are far more changes than both hold.
        QTest::newRow("changes dropped")
            << QStringList{} << 150000 << 1 << R"( [1-9]\d* changes DROPPED)";
    }
    void endings() {
        QFETCH(QStringList, args);
        QFETCH(int, flips);
        QFETCH(int, status);
        QFETCH(QString, message);
        QProcess capture;
        capture.start(LPTPORT_BIN, QStringList{"capture"} + args);
        for (int k = 0; k < flips; ++k) {
            port_->setStatus(k % 2 ? 0x7F : 0x3F);
            QVERIFY(sampled());
        }
        finish(capture, flips > 0, status, message);
        if (!args.contains("-o"))
            QVERIFY(whole());
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "test_capture.moc"
