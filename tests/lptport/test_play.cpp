// SPDX-License-Identifier: MIT
// The pattern generator: the VCD reader on good and bad files (and on files
// sigrok-cli wrote), pulse and play on a recording port with a scripted clock,
// so every write, its order and every figure of the summaries is known; then
// the commands as a user runs them on a simulated port: refusals, stop
// signals and --realtime refused.
#include "lptport/play.h"
#include "port/simulated.h"
#include "process.h"
#include "recording_port.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace lpt;

namespace {

// A clock that jumps: each wait ends late by the next of `late` (in turn).
struct ScriptedTimer final : Timer {
    std::vector<std::int64_t> late;
    std::int64_t t = 1000000000;
    std::vector<std::int64_t> deadlines; // of every wait, from the clock's first reading
    std::int64_t now() override { return t; }
    bool waitUntil(std::int64_t deadline) override {
        deadlines.push_back(deadline - 1000000000);
        t = std::max(t, deadline) + (late.empty() ? 0 : late[(deadlines.size() - 1) % late.size()]);
        return true;
    }
};

PlayPlan plan(const QByteArray& vcd) {
    QByteArray copy = vcd;
    std::FILE* f = fmemopen(copy.data(), static_cast<std::size_t>(copy.size()), "rb");
    const auto closer = qScopeGuard([f] { std::fclose(f); });
    return readVcd(f);
}

// "t data/set control/set" per change, in hex: "0 5/ff b/f".
QString describe(const PlayPlan& p) {
    QStringList changes;
    for (const PlayChange& c : p.changes)
        changes << QString::asprintf("%lld %x/%x %x/%x", static_cast<long long>(c.t), c.data,
                                     c.dataSet, c.control, c.controlSet);
    return changes.join("; ");
}

QString accesses(const test::RecordingPort::State& s) {
    QStringList out;
    for (const test::Access& a : s.accesses)
        out << QString("%1 %2 %3")
                   .arg(a.kind == test::Access::Write ? "write" : "read")
                   .arg(QString::fromStdString(std::string(registerName(a.reg))))
                   .arg(a.value);
    return out.join(", ");
}

const QByteArray kHeader = "$timescale 1 us $end\n$scope module lpt $end\n"
                           "$var wire 1 a S3_ERROR_pin15 $end\n$var wire 1 f D0_pin2 $end\n"
                           "$var wire 1 n C0_STROBE_pin1 $end\n$var wire 1 p C2_INIT_pin16 $end\n"
                           "$upscope $end\n$enddefinitions $end\n"; // 8 lines

} // namespace

class TestPlay : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SimulatedPort> port_;

    QString file(const QString& name, const QByteArray& text) {
        QFile f(dir_->filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() ? f.fileName()
                                                                            : QString();
    }
    test::Run run(const QStringList& args) {
        return test::run(LPTPORT_BIN, args, {}, dir_->path());
    }
    // Starts lptport in this test's folder.
    void start(QProcess& p, const QStringList& args) {
        p.setWorkingDirectory(dir_->path());
        p.start(LPTPORT_BIN, args);
    }

private slots:
    // Each test has a fresh port of its own, in a folder only this user enters.
    void init() {
        installDriver(nullptr);
        dir_ = std::make_unique<QTemporaryDir>();
        port_ = SimulatedPort::open(dir_->filePath("port").toStdString());
        qputenv("PARPORT", ("sim:" + dir_->filePath("port")).toLocal8Bit());
    }

    // The plan a file gives (see describe), or the line and the start of
    // its refusal. Pin levels become register bits: C0's pin high is bit 0 clear.
    void readsVcd_data() {
        QTest::addColumn<QByteArray>("vcd");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& vcd, const char* expected) {
            QTest::newRow(name) << vcd << QString(expected);
        };
        row("capture's wires, an input ignored",
            kHeader + "#0\n$dumpvars\n0a\n1f\n1n\n0p\n$end\n#10\n1a\n#25\n0n\n1p\n#40\n",
            "0 1/1 0/5; 25000 1/1 5/5 end 40000");
        row("sigrok-cli's layout",
            "META samplerate: 1000\n$timescale 1 ns $end\n$var wire 1 ! D0 $end\n$var wire 1 \" C3 "
            "$end\n$enddefinitions $end\n#0 1! 0\"\n#7 0!\n#9",
            "0 1/1 8/8; 7 0/1 8/8 end 9");
        row("a wire set later, a vector bit, a repeat",
            "$var wire 1 # D7_x $end $var reg 1 $ D1 $end $var wire 1 % S6 $end\n$enddefinitions "
            "$end\n#0 1$\n#5 b1 "
            "#\n#6 1$ 1#\n#8 X% ",
            "0 2/2 0/0; 5 82/82 0/0 end 8");
        row("10 ps units",
            "$timescale 10ps $end $var wire 1 ! D2 $end $enddefinitions $end #0 1! #250 0!",
            "0 4/4 0/0; 2 0/4 0/0 end 2");
        row("empty", "", "0: the file is empty");
        row("foreign", "PNG\n", "1: it starts with 'PNG'");
        row("cut in the definitions", kHeader.left(60),
            "3: the file ends inside $var (opened on line 3)");
        row("no output", "$var wire 1 a S3_ERROR_pin15 $end\n$enddefinitions $end\n",
            "2: no wire drives an output");
        row("time goes back", kHeader + "#0\n1f\n#30\n0f\n#20\n1f\n",
            "13: time goes back: #20 after #30");
        row("x on an output", kHeader + "#0\nxn\n", "10: C0 set to x");
        row("value cut short", kHeader + "#0\n1", "10: value 1 without a wire id");
        row("unknown id", kHeader + "#3\n1q\n", "10: value for id 'q'");
        row("pin as a bus", "$var wire 8 ! D0 $end\n", "1: wire D0 is 8 bits wide");
        row("pin twice", "$var wire 1 ! D0 $end\n$var wire 1 \" D0_pin2 $end\n",
            "2: a second wire for D0");
        row("bad time unit", "$timescale 3 ns $end\n", "1: $timescale '3ns'");
    }
    void readsVcd() {
        QFETCH(QByteArray, vcd);
        QFETCH(QString, expected);
        QString got;
        try {
            const PlayPlan p = plan(vcd);
            got = describe(p) + " end " + QString::number(p.endNs);
        } catch (const VcdError& e) {
            got = QString::number(e.line()) + ": " + e.what();
        }
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    }

    // Three pulses of 5 ms every 20 ms, each wait ending late by the next of
    // the figures (a stop signal mid-pulse is proved on a real process below).
    void pulses() {
        const auto state = test::RecordingPort::install();
        Driver& port = currentDriver();
        port.write(Register::Data, 7);
        state->accesses.clear();
        ScriptedTimer timer;
        timer.late = {500, 2000, 1000, 0, 12000, 3000};
        PulseOptions o;
        o.address = 0x378;
        o.value = 255;
        o.widthNs = 5000000;
        o.periodNs = 20000000;
        o.count = 3;
        const PulseResult r = runPulse(port, o, timer);
        QCOMPARE(accesses(*state), "read data 7, write data 255, write data 7, write data 255, "
                                   "write data 7, write data 255, write data 7");
        QCOMPARE(
            test::lines(r.text(o)),
            (QStringList{"3 pulses on data (0x378), 255 and back to 7: width 5.001666 ms mean, "
                         "largest deviation +3.0 us; period 20.005750 ms mean, largest "
                         "deviation +11.0 us",
                         "lateness of 6 writes: median 1.0 us, 99th percentile 12.0 us, "
                         "largest 12.0 us; 1 later than 10.0 us"}));
    }

    // A file driving D0, C0 and C2 twice at double speed on a port that
    // held data 0xF0 and control 0xC8: the bits the file does not drive keep
    // their values, a register is written only when it changes (data first),
    // and the waits fall at the file's times halved, the end included.
    void plays() {
        const PlayPlan p = plan(kHeader + "#0\n1f\n1n\n0p\n#10\n0f\n#25\n0n\n1p\n#40\n");
        const auto state = test::RecordingPort::install();
        Driver& port = currentDriver();
        port.write(Register::Data, 0xF0);
        port.write(Register::Control, 0xC8);
        state->accesses.clear();
        ScriptedTimer timer;
        timer.late = {100, 200, 300, 400, 12000, 500, 0};
        PlayOptions o;
        o.loops = 2;
        o.speed = 2;
        const PlayResult r = runPlay(port, p, o, timer);
        const QString loop =
            ", write data 241, write control 200, write data 240, write control 205";
        QCOMPARE(accesses(*state), "read data 240, read control 200" + loop + loop);
        QCOMPARE(test::lines(r.text(p, o)),
                 (QStringList{"6 of 6 changes written in 40.000 us (2 loops of 40.000 us) at "
                              "speed 2, time 0 at 1000000000 ns on the monotonic clock",
                              "lateness of 6 changes: median 0.3 us, 99th percentile 12.0 us, "
                              "largest 12.0 us; 1 later than 10.0 us",
                              "the outputs keep the file's last values: data 240, control 205"}));
        QCOMPARE(timer.deadlines,
                 (std::vector<std::int64_t>{0, 5000, 12500, 20000, 25000, 32500, 40000}));
    }

    // Bad input: one line naming the fault (and the file's line) and the
    // command's help, exit status 2, and not one write to the port.
    void refusals_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char* args, const char* problem) {
            QTest::newRow(args) << QString(args) << QString(problem);
        };
        row("pulse 0x378 1 -5ms", "pulse: WIDTH: must be a time from 1us to 3600s such as 5ms, "
                                  "250us, 2s or 0.5 (a plain number is ms), not '-5ms'");
        row("pulse 0x378 1 3601s", "not '3601s'");
        row("pulse 0x379 1 5ms", "not '0x379' (the status register is an input)");
        row("pulse 0x378 1 5ms --every 5ms", "pulse: --every must be longer than WIDTH");
        row("play missing.vcd", "play: cannot open missing.vcd: no such file or directory");
        row("play cut.vcd", "play: cut.vcd:3: the file ends inside $var");
        row("play zero.vcd --loop 2", "play: zero.vcd ends at time 0");
        row("play zero.vcd --speed 0", "play: --speed: must be a number from 0.001 to 1000");
    }
    void refusals() {
        QFETCH(QString, args);
        QFETCH(QString, problem);
        file("cut.vcd", kHeader.left(60));
        file("zero.vcd", kHeader + "#0\n1f\n");
        const test::Run r = run(args.split(' '));
        QVERIFY2(r.status == 2 && r.err.startsWith("lptport: ") && r.err.contains(problem) &&
                     r.err.count('\n') == 1 &&
                     r.err.endsWith(". Try 'lptport " + args.section(' ', 0, 0) + " --help'\n"),
                 qPrintable(QString("exit status %1, stderr: %2").arg(r.status).arg(r.err)));
        QCOMPARE(port_->writeCount(), 0u);
    }

    // A stop signal in the middle of a pulse or of a file: pulse
    // puts the register back, play stops before its next change; both say so.
    void stopSignals_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("holds"); // the data value the command writes first
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("writes");
        QTest::newRow("pulse, SIGTERM")
            << QStringList{"pulse", "0x378", "0xA5", "60s"} << SIGTERM << 0xA5
            << "pulse: stopped by a signal; the register is back at 3"
            << QByteArray("data 3\ndata 165\ndata 3\n");
        // D0 and D4 high, the other bits as they were: 0x13, then a change
        // due in a minute that never comes.
        QTest::newRow("play, SIGINT")
            << QStringList{"play", "long.vcd"} << SIGINT << 0x13
            << "play: stopped by a signal in loop 1 of 1, at 0.000 us of 60.000000 s into the "
               "file; the outputs keep data 19"
            << QByteArray("data 3\ndata 19\n");
    }
    void stopSignals() {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(int, holds);
        QFETCH(QString, message);
        QFETCH(QByteArray, writes);
        file("long.vcd", "$var wire 1 a D0 $end $var wire 1 b D4 $end $enddefinitions $end\n"
                         "#0 1a 1b\n#60000000000 0a\n");
        port_->write(Register::Data, 3);
        QProcess p;
        start(p, args);
        QVERIFY(QTest::qWaitFor([&] { return port_->read(Register::Data) == holds; }, 10000));
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit);
        const QString err = p.readAllStandardError();
        QVERIFY2(p.exitCode() == 0 && err.contains("lptport: " + message), qPrintable(err));
        QCOMPARE(run({"sim", "writes"}).out.toUtf8(), writes);
    }

    // Without CAP_SYS_NICE and CAP_IPC_LOCK (dropped here for a root test),
    // --realtime is refused in one line naming the fix, and the pulse runs on.
    void realtimeRefused() {
        QString program = LPTPORT_BIN;
        QStringList args{"pulse", "0x378", "1", "1ms", "--realtime"};
        if (::geteuid() == 0) {
            args = QStringList{"--bounding-set", "-sys_nice,-ipc_lock", "prlimit",
                               "--memlock=0:0",  "--rtprio=0:0",        program} +
                   args;
            program = "setpriv";
        }
        const test::Run r = test::run(program, args, "sim:" + dir_->filePath("port"));
        QVERIFY2(r.status == 0 &&
                     r.err.startsWith("lptport: pulse: real-time: SCHED_FIFO refused (") &&
                     r.err.contains("running on without it. Fix: ") &&
                     r.err.contains("lateness of 2 writes"),
                 qPrintable(r.err));
        QCOMPARE(run({"sim", "writes"}).out, QString("data 1\ndata 0\n"));
    }
};

QTEST_GUILESS_MAIN(TestPlay)
#include "test_play.moc"
