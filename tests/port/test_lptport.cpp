// SPDX-License-Identifier: MIT
// lptport as a user runs it: output lines, exit statuses, and the port file;
// the loopback self-test's verdicts; watch following changes until stopped.
#include "lptport/selftest.h"
#include "port/simulated.h"
#include "process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

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

// The self-test report for these verdicts on the five wires, ending with what
// the port was left with.
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

class TestLptport : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;

    test::Run run(const QStringList& args, const QString& parport = {}) {
        return test::run(LPTPORT_BIN, args, parport.isNull() ? "sim:" + path_ : parport, {}, 10000);
    }
    QString out(const QString& args) { return run(args.split(' ')).out; }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        ::chmod(dir_->path().toLocal8Bit().constData(), 0700);
        path_ = dir_->path() + "/p/port";
    }

    void sequencesAndSimCommands() {
        // --help and --version never open the port, so the port file is not made yet.
        QVERIFY(out("--help").startsWith("usage: lptport"));
        QVERIFY(out("--version").startsWith("lptport "));
        QVERIFY(!QFile::exists(path_));
        const test::Run r = run({"out", "0x37A", "0x0C", "out", "0x378", "0x41", "in", "0x378",
                                 "in", "0x37A", "out", "0x378", "66", "in", "888"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QString("65\n12\n66\n"));
        // One line on stderr names the port opened.
        QCOMPARE(r.err, "lptport: port: simulated port " + path_ + " (wiring open)\n");
        QCOMPARE(out("sim writes"), QString("control 12\ndata 65\ndata 66\n"));
        QCOMPARE(out("sim writes --since 1"), QString("2 data 65\n3 data 66\n"));
        QCOMPARE(out("sim writes --count"), QString("3\n"));
        QCOMPARE(out("in 0x379 in 0x379"), QString("127\n127\n")); // inputs float high
        QCOMPARE(out("sim reads"), QString("2\n")); // data and control reads do not count
        QCOMPARE(run({"sim", "reset"}).status, 0);
        QCOMPARE(out("sim writes") + out("sim reads") + out("in 0x378"), QString("0\n0\n"));
        // S7's register bit is the complement of its pin: pin high -> bit 0.
        out("sim status 0");
        out("sim pins S7=1 S6=1 S3=1");
        QCOMPARE(out("in 0x379"), QString("72\n"));
        out("sim pins S7=0 S6=0");
        QCOMPARE(out("in 0x379"), QString("136\n"));
        // A loopback plug: D0 -> S3 (143), D4 -> BUSY, whose register bit is inverted (7).
        out("sim wiring loopback");
        QCOMPARE(out("out 0x378 0x01 in 0x379 out 0x378 0x10 in 0x379"), QString("143\n7\n"));
    }

    void show() {
        out("out 0x378 5 out 0x37A 11");
        out("sim status 0x28");
        const QStringList lines = out("show").split('\n');
        QCOMPARE(lines.mid(0, 4), (QStringList{"register  address  value  bits",
                                               "data      0x378        5  00000101",
                                               "status    0x379       40  00101000",
                                               "control   0x37A       11  00001011"}));
        QCOMPARE(lines.value(5), QString("pin  signal  direction  level"));
        QCOMPARE(lines.value(6), QString("  1  /C0     output     0"));
        QCOMPARE(lines.value(30), QString(" 25  GND     ground     -"));
        QString levels; // pin 1 to 25: the inverted pins /C0, /S7, /C1, /C3 included
        for (const QString& line : lines.mid(6, 25))
            levels += line.right(1);
        QCOMPARE(levels, QString("01010000001100100--------"));
    }

    void usageErrors_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("problem");
        QTest::newRow("unknown command") << "blink"
                                         << "unknown command 'blink'";
        QTest::newRow("value too big") << "out 0x378 256"
                                       << "not '256'";
        QTest::newRow("letter in a decimal") << "out 0x378 1a"
                                             << "not '1a'";
        QTest::newRow("address outside the port") << "in 0x278"
                                                  << "not '0x278'";
        QTest::newRow("watch every 0 ms") << "watch 0"
                                          << "not '0'";
        QTest::newRow("sim unknown") << "sim melt"
                                     << "unknown sim command 'melt'";
        QTest::newRow("sim pins bad") << "sim pins S8=1"
                                      << "not 'S8=1'";
    }
    void usageErrors() {
        QFETCH(QString, args);
        QFETCH(QString, problem);
        const test::Run r = run(args.split(' ', Qt::SkipEmptyParts));
        QCOMPARE(r.status, 2);
        // One line, no usage text: that is what --help is for.
        QCOMPARE(r.err.section(". Try 'lptport --help'\n", 1), QString());
        QVERIFY2(r.err.contains(problem) && r.err.count('\n') == 1, qPrintable(r.err));
        QVERIFY(!QFile::exists(path_)); // a usage error never opens (or creates) the port
        // sim commands refuse a real port's setting the same way.
        if (args == "sim melt")
            QVERIFY(run({"sim", "reads"}, "/dev/parport7").err.contains("PARPORT=sim"));
    }

    void portFailures_data() {
        QTest::addColumn<QString>("parport");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown form") << "serial"
                                      << "PARPORT=serial is not a port";
        QTest::newRow("sim without path") << "sim:"
                                          << "sim: needs the file";
        QTest::newRow("not a port file") << ""
                                         << "wrong size";
    }
    void portFailures() {
        QFETCH(QString, parport);
        QFETCH(QString, expected);
        QDir().mkpath(dir_->path() + "/p");
        ::chmod((dir_->path() + "/p").toLocal8Bit().constData(), 0700);
        QFile f(path_);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("precious\n") == 9);
        f.close();
        const test::Run r = run({"out", "0x378", "1"}, parport.isEmpty() ? QString() : parport);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith("lptport: ") && r.err.contains(expected) &&
                     r.err.contains("Fix: ") && r.err.count('\n') == 1,
                 qPrintable(r.err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious\n")); // never overwritten
    }

    // D1 and D2 crossed, S6 stuck low; the data lines are outputs already (control 0x04).
    void selftestJudgesEachWire() {
        PlugPort port({0, 2, 1, -1, 4});
        QStringList report;
        for (const std::string& line : selftestReport(runSelftest(port)))
            report << QString::fromStdString(line);
        QCOMPARE(report, expectedReport({"good", "crossed: follows D2 pin 4",
                                         "crossed: follows D1 pin 3", "stuck low", "good"},
                                        "port: data restored to 165, control unchanged at 4"));
    }

    // With a loopback plug every wire is good and the status is 0; the open
    // port's inputs read high whatever is written, and the status is 1.
    void selftestOnTheSimulatedPort() {
        for (bool loopback : {true, false}) {
            auto port = SimulatedPort::open(path_.toStdString());
            port->setWiring(loopback ? Wiring::Loopback : Wiring::Open);
            port->write(Register::Data, 0xA5);
            port->write(Register::Control, 0x24); // bit 5: the data lines are inputs
            const test::Run r = run({"selftest"});
            QCOMPARE(r.status, loopback ? 0 : 1);
            QCOMPARE(r.out.split('\n'),
                     expectedReport(QStringList(5, loopback ? "good" : "stuck high"),
                                    "port: data restored to 165, control restored to 36")
                         << "");
            // After the walk: data restored, then control.
            const auto log = port->writeLog();
            QVERIFY(log.size() >= 2 &&
                    log.end()[-2] == std::pair(Register::Data, std::uint8_t{0xA5}) &&
                    log.back() == std::pair(Register::Control, std::uint8_t{0x24}));
        }
    }

    // One time-stamped line for each change made by this or another process,
    // and status 0 on SIGTERM.
    void watchUntilStopped() {
        auto port = SimulatedPort::open(path_.toStdString());
        port->write(Register::Control, 11);
        qputenv("PARPORT", ("sim:" + path_).toLocal8Bit());
        QProcess watch;
        watch.start(LPTPORT_BIN, {"watch"}); // every 10 ms
        // The text of each line after its time stamp.
        QStringList lines;
        const QRegularExpression stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} (.*)\n$)");
        auto readLines = [&](const QString& text) {
            while (watch.canReadLine()) {
                const QString line = QString::fromUtf8(watch.readLine());
                const auto m = stamped.match(line);
                lines << (m.hasMatch() ? m.captured(1) : "not stamped: " + line);
                if (lines.last() == text)
                    return true;
            }
            return false;
        };
        for (const QString& text :
             {"start data 0 control 11 status 127 S0=1 S1=1 S2=1 S3=1 S4=1 S5=1 S6=1 S7=1",
              "S6 1->0", "S7 1->0", "data 0->5"}) {
            QVERIFY2(QTest::qWaitFor([&] { return readLines(text); }, 5000),
                     qPrintable(lines.join('|')));
            if (text.startsWith("start"))
                port->setStatus(0x3F);
            else if (text == "S6 1->0") // BUSY low, from another process: its bit is the complement
                QCOMPARE(run({"sim", "pins", "S7=0"}).status, 0);
            else if (text == "S7 1->0")
                port->write(Register::Data, 5);
        }
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        QVERIFY(watch.waitForFinished(5000) && watch.exitStatus() == QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        readLines(QString()); // the rest of the output
        QCOMPARE(lines.mid(1), (QStringList{"status 127->63", "S6 1->0", "status 63->191",
                                            "S7 1->0", "data 0->5"}));
    }
};

QTEST_GUILESS_MAIN(TestLptport)
#include "test_lptport.moc"
