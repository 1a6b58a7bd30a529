// SPDX-License-Identifier: MIT
// The pattern generator: the VCD reader on good and bad files (and on files
// sigrok-cli wrote), pulse and play on a recording port with a scripted clock,
// so every write, its order and every figure of the summaries is known.
#include "lptport/play.h"
#include "recording_port.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lpt;

namespace {

// A clock that jumps: each wait ends late by the next of `late` (in turn),
// and the wait numbered `stopAt` (from 0) reports a stop signal instead.
struct ScriptedTimer final : Timer {
    std::vector<std::int64_t> late;
    int stopAt = -1;
    std::int64_t t = 1000000000;
    std::vector<std::int64_t> deadlines; // of every wait, from the first reading of the clock
    std::int64_t first = -1;
    std::int64_t now() override {
        if (first < 0)
            first = t;
        return t;
    }
    bool waitUntil(std::int64_t deadline) override {
        deadlines.push_back(deadline - first);
        if (static_cast<int>(deadlines.size()) - 1 == stopAt)
            return false;
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

QStringList lines(const std::vector<std::string>& text) {
    QStringList out;
    for (const std::string& l : text)
        out << QString::fromStdString(l);
    return out;
}

const QByteArray kHeader = "$timescale 1 us $end\n$scope module lpt $end\n"
                           "$var wire 1 a S3_ERROR_pin15 $end\n$var wire 1 f D0_pin2 $end\n"
                           "$var wire 1 n C0_STROBE_pin1 $end\n$var wire 1 p C2_INIT_pin16 $end\n"
                           "$upscope $end\n$enddefinitions $end\n"; // 8 lines

} // namespace

class TestPlay : public QObject {
    Q_OBJECT

private slots:
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
        row("binary", "$date\n\x01\x02", "2: binary data");
        row("cut in the definitions", kHeader.left(60),
            "3: the file ends inside $var (opened on line 3)");
        row("no $enddefinitions", kHeader.left(kHeader.size() - 21),
            "7: the file ends before $enddefinitions");
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

    // sigrok-cli reads capture's wires and writes them in its own layout;
    // both files give the same plan. Its demo device's channels are D0..D3.
    void readsSigrokFiles() {
        QTemporaryDir dir;
        const QByteArray capture = kHeader + "#0\n$dumpvars\n0a\n0f\n1n\n0p\n$end\n#1000\n1f\n0n\n"
                                             "#2000\n1p\n#3000\n0f\n#5000\n";
        QFile in(dir.filePath("in.vcd"));
        QVERIFY(in.open(QIODevice::WriteOnly) && in.write(capture) == capture.size());
        in.close();
        QCOMPARE(QProcess::execute("sigrok-cli", {"-I", "vcd", "-i", in.fileName(), "-O", "vcd",
                                                  "-o", dir.filePath("out.vcd")}),
                 0);
        QFile out(dir.filePath("out.vcd"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const PlayPlan converted = plan(out.readAll()), original = plan(capture);
        QCOMPARE(describe(converted), describe(original));
        QCOMPARE(converted.ignored, original.ignored);

        QProcess demo;
        demo.start("sigrok-cli",
                   {"-d", "demo", "--channels", "D0,D1,D2,D3", "--samples", "100", "-O", "vcd"});
        QVERIFY(demo.waitForFinished(30000) && demo.exitCode() == 0);
        const PlayPlan p = plan(demo.readAllStandardOutput());
        QCOMPARE(p.driven, (std::vector<std::string>{"D0", "D1", "D2", "D3"}));
        QVERIFY(p.changes.size() > 10 && p.changes.front().dataSet == 0x0F);
    }

    // Three pulses of 5 ms every 20 ms, each wait ending late by the row's
    // figures; or a train on control stopped by a signal during its second
    // pulse (wait 3), which still puts the register back.
    void pulses_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<QString>("writes");
        QTest::addColumn<QStringList>("summary");
        QTest::newRow("three") << 0x378 << 7 << -1
                               << "read data 7, write data 255, write data 7, write data 255, "
                                  "write data 7, write data 255, write data 7"
                               << QStringList{"3 pulses on data (0x378), 255 and back to 7: width "
                                              "5.001666 ms mean, largest deviation +3.0 us; period "
                                              "20.005750 ms mean, largest deviation +11.0 us",
                                              "lateness of 6 writes: median 1.0 us, 99th "
                                              "percentile 12.0 us, largest 12.0 us; 1 later than "
                                              "10.0 us"};
        QTest::newRow("stopped") << 0x37A << 11 << 3
                                 << "read control 11, write control 255, write control 11, write "
                                    "control 255, write control 11"
                                 << QStringList{"1 pulse on control (0x37A), 255 and back to 11: "
                                                "width 5.002000 ms mean, largest deviation +2.0 "
                                                "us; period 20.000500 ms mean, largest deviation "
                                                "+0.5 us",
                                                "lateness of 3 writes: median 1.0 us, 99th "
                                                "percentile 2.0 us, largest 2.0 us; 0 later than "
                                                "10.0 us",
                                                "stopped by a signal; the register is back at 11"};
    }
    void pulses() {
        QFETCH(int, address);
        QFETCH(int, before);
        QFETCH(int, stopAt);
        QFETCH(QString, writes);
        QFETCH(QStringList, summary);
        const auto state = test::RecordingPort::install();
        Driver& port = currentDriver();
        port.write(*registerAt(address), static_cast<std::uint8_t>(before));
        state->accesses.clear();
        ScriptedTimer timer;
        timer.late = {500, 2000, 1000, 0, 12000, 3000};
        timer.stopAt = stopAt;
        PulseOptions o;
        o.address = address;
        o.value = 255;
        o.widthNs = 5000000;
        o.periodNs = 20000000;
        o.count = stopAt < 0 ? std::optional<std::uint64_t>(3) : std::nullopt;
        const PulseResult r = runPulse(port, o, timer);
        QCOMPARE(accesses(*state), writes);
        QCOMPARE(lines(r.text(o)), summary);
    }

    // A file driving D0, C0 and C2 twice at double speed on a port that
    // held data 0xF0 and control 0xC8: the bits the file does not drive keep
    // their values, a register is written only when it changes (data first),
    // and the waits fall at the file's times halved, the end included. Or
    // the second loop stopped by a signal before its second change.
    void plays_data() {
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<QString>("writes");
        QTest::addColumn<QStringList>("summary");
        const QString loop =
            ", write data 241, write control 200, write data 240, write control 205";
        QTest::newRow("two loops")
            << -1 << "read data 240, read control 200" + loop + loop
            << QStringList{"6 of 6 changes written in 40.000 us (2 loops of 40.000 us) at speed 2, "
                           "time 0 at 1000000000 ns on the monotonic clock",
                           "lateness of 6 changes: median 0.3 us, 99th percentile 12.0 us, largest "
                           "12.0 us; 1 later than 10.0 us",
                           "the outputs keep the file's last values: data 240, control 205"};
        QTest::newRow("stopped")
            << 4 << "read data 240, read control 200" + loop + ", write data 241, write control 200"
            << QStringList{"4 of 6 changes written in 20.400 us (2 loops of 40.000 us) at speed 2, "
                           "time 0 at 1000000000 ns on the monotonic clock",
                           "lateness of 4 changes: median 0.2 us, 99th percentile 0.4 us, largest "
                           "0.4 us; 0 later than 10.0 us",
                           "stopped by a signal in loop 2 of 2, at 0.000 us of 40.000 us into the "
                           "file; the outputs keep data 241, control 200"};
    }
    void plays() {
        QFETCH(int, stopAt);
        QFETCH(QString, writes);
        QFETCH(QStringList, summary);
        const PlayPlan p = plan(kHeader + "#0\n1f\n1n\n0p\n#10\n0f\n#25\n0n\n1p\n#40\n");
        const auto state = test::RecordingPort::install();
        Driver& port = currentDriver();
        port.write(Register::Data, 0xF0);
        port.write(Register::Control, 0xC8);
        state->accesses.clear();
        ScriptedTimer timer;
        timer.late = {100, 200, 300, 400, 12000, 500, 0};
        timer.stopAt = stopAt;
        PlayOptions o;
        o.loops = 2;
        o.speed = 2;
        const PlayResult r = runPlay(port, p, o, timer);
        QCOMPARE(accesses(*state), writes);
        QCOMPARE(lines(r.text(p, o)), summary);
        const std::vector<std::int64_t> due{0, 5000, 12500, 20000, 25000, 32500, 40000};
        QCOMPARE(timer.deadlines,
                 std::vector<std::int64_t>(due.begin(), due.begin() + (stopAt < 0 ? 7 : 5)));
    }
};

QTEST_GUILESS_MAIN(TestPlay)
#include "test_play.moc"
