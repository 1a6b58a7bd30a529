// SPDX-License-Identifier: MIT
// lptport as a user runs it: output lines, exit statuses, and the port file;
// the loopback self-test's verdicts. (watch is tested with capture.)
#include "lptport/duration.h"
#include "lptport/program.h"
#include "lptport/selftest.h"
#include "process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace lpt;

class TestLptport : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;

    // PARPORT empty: this test's own simulated port.
    test::Run run(const QStringList& args, const QString& parport = {}) {
        return test::run(LPTPORT_BIN, args, parport.isEmpty() ? "sim:" + path_ : parport, {},
                         10000);
    }
    QString out(const QString& args) { return run(args.split(' ')).out; }
    QJsonObject json(const QString& args) {
        return QJsonDocument::fromJson(out(args).toUtf8()).object();
    }

private slots:
    // A fresh port in a folder only this user can enter, as a port's folder must be.
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        path_ = dir_->filePath("port");
    }

    void sequencesAndSimCommands() {
        // --help never opens the port, so the port file is not made yet.
        QVERIFY(out("--help").startsWith("usage: lptport") && !QFile::exists(path_));
        const test::Run r = run({"out", "0x37A", "0x0C", "out", "0x378", "0x41", "in", "0x378",
                                 "in", "0x37A", "out", "0x378", "66", "in", "888"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QString("65\n12\n66\n"));
        // One line on stderr names the port opened.
        QCOMPARE(r.err, "lptport: port: simulated port " + path_ + " (wiring open)\n");
        QCOMPARE(out("in 0x379 in 0x379"), QString("127\n127\n")); // inputs float high
        // --port wins over PARPORT (which names a port this test cannot open).
        QCOMPARE(run({"-p", "sim:" + path_, "in", "0x378"}, "direct:0x3BC").out, QString("66\n"));
        QCOMPARE(out("sim reads"), QString("2\n")); // data and control reads do not count
        // S7's register bit is the complement of its pin: pin high -> bit 0.
        out("sim status 0");
        out("sim pins S7=1 S6=1 S3=1");
        QCOMPARE(out("in 0x379"), QString("72\n"));
        // A loopback plug: D0 -> S3 (143), D4 -> BUSY, whose register bit is inverted (7).
        out("sim wiring loopback");
        QCOMPARE(out("out 0x378 0x01 in 0x379 out 0x378 0x10 in 0x379"), QString("143\n7\n"));
    }

    // Pin levels, the inverted pins /C0, /S7, /C1, /C3 included, as the text
    // table (its layout is the manual's tested example) and JSON give them.
    void show() {
        out("out 0x378 5 out 0x37A 11");
        out("sim status 0x28");
        QString levels, jsonLevels; // pin 1 to 25
        for (const QString& line : out("show").split('\n').mid(6, 25))
            levels += line.right(1);
        const QJsonObject doc = json("show --json");
        QCOMPARE(doc["registers"].toArray().at(1).toObject()["value"].toInt(), 40);
        for (const QJsonValue pin : doc["pins"].toArray())
            jsonLevels += pin["level"].isNull() ? "-" : QString::number(pin["level"].toInt());
        QCOMPARE(levels + " " + jsonLevels,
                 QString("01010000001100100-------- 01010000001100100--------"));
    }

    // A file that is not a port file stands where the port file would be, and
    // is left as it was. Usage errors exit with 2 and never open the port
    // (which would fail on that file, with 1); port failures exit with 1 and
    // say how to fix them.
    void errors_data() {
        QTest::addColumn<QString>("parport"); // empty: this test's own port
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char* name, const char* parport, const char* args, int status,
                            const char* problem) {
            QTest::newRow(name) << QString(parport) << QString(args) << status << QString(problem);
        };
        row("unknown command", "", "blink", 2, "unknown command 'blink'");
        row("letter in a decimal", "", "out 0x378 1a", 2, "not '1a'");
        row("watch every 0 ms", "", "watch 0", 2, "not '0'");
        row("capture duration in minutes", "", "capture --for 5m", 2, "--for: needs a time");
        row("port of no known form", "", "--port bogus out 0x378 1", 2,
            "lptport: --port: 'bogus' is not a port");
        row("capture both ends", "", "capture --for 1 --samples 9", 2,
            "not both. Try 'lptport capture --help'");
        row("unknown sim command", "", "sim bogus", 2, "unknown command 'bogus'");
        row("a command after show", "", "show in 0x379", 2, "only out and in may follow");
        row("sim on a real port", "direct", "sim reads", 2, "set PARPORT=sim");
        row("sim without path", "sim:", "out 0x378 1", 2,
            "PARPORT=sim: is not a port: sim: needs the file");
        row("not a port file", "", "out 0x378 1", 1, "wrong size");
    }
    void errors() {
        QFETCH(QString, parport);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, problem);
        QFile f(path_);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("precious\n") == 9);
        f.close();
        const test::Run r = run(args.split(' '), parport);
        // One line: the cause, then the fix, or where the usage is (not the usage
        // itself); a PARPORT of no known form is a usage error that names its fix.
        const bool usage = status == 2 && !problem.startsWith("PARPORT");
        QVERIFY2(
            r.status == status && r.err.startsWith("lptport: ") && r.err.contains(problem) &&
                r.err.count('\n') == 1 &&
                (usage ? r.err.contains(QRegularExpression("\\. Try 'lptport ([a-z]+ )*--help'\n$"))
                       : r.err.contains("Fix: ")),
            qPrintable(QString("exit status %1, stderr: %2").arg(r.status).arg(r.err)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious\n"));
    }

    // One grammar for every time: the units everywhere, a plain number in the
    // command's own unit, each command's range; -1 is refused.
    void durations_data() {
        QTest::addColumn<int>("rule"); // 0 watch, 1 capture --for, 2 pulse
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("ns");
        const auto row = [](const char* name, int rule, const char* text, qint64 ns) {
            QTest::newRow(name) << rule << QString(text) << ns;
        };
        row("watch: plain is ms", 0, "50", 50000000);
        row("watch: us", 0, "1500us", 1500000);
        row("watch: below 1ms", 0, "999us", -1);
        row("capture: plain is s", 1, "0.5", 500000000);
        row("capture: ms", 1, "50ms", 50000000);
        row("capture: 0", 1, "0", -1);
        row("pulse: ns", 2, "1500ns", 1500);
        row("pulse: s, the most", 2, "3600s", 3600000000000);
        row("capture: to the nearest ns", 1, "0.0000015ms", 2);
        row("pulse: below 1us", 2, "999ns", -1);
        row("unknown unit", 2, "5m", -1);
        row("exponent", 1, "1e3", -1);
        row("ten decimals", 1, "0.0000000001s", -1);
    }
    void durations() {
        QFETCH(int, rule);
        QFETCH(QString, text);
        QFETCH(qint64, ns);
        const DurationRule rules[] = {kWatchInterval, kCaptureFor, kPulseWidth};
        QCOMPARE(parseDuration(text.toStdString(), rules[rule]).value_or(-1), ns);
    }

    // Each command's help and the manual come from, or are checked against,
    // the one declaration of the command line (the manual's tested examples
    // show what the bash completion made from it offers).
    void helpCompletionAndManual() {
        const test::Run help = run({"capture", "--help"});
        QVERIFY2(help.status == 0 && help.out.startsWith("usage: lptport capture [OPTIONS]\n") &&
                     help.out.contains("  --for TIME ") &&
                     help.out.contains("\nExample: lptport capture "),
                 qPrintable(help.out));

        // The manual page and the manual's lptport page name them all.
        for (const char* name : {LPTPORT_MANPAGE, LPTPORT_DOCS}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString page = QString::fromUtf8(file.readAll())
                                     .remove(QRegularExpression("\\\\f[BIRP]|\""))
                                     .replace("\\-", "-");
            for (const auto& command : lptportCommandWords()) {
                const QString path = QString::fromStdString(command.path);
                QVERIFY2(page.contains(path), qPrintable(name + (" lacks " + path)));
                for (const std::string& option : command.options)
                    QVERIFY2(
                        page.contains(QRegularExpression(
                            "(^|[^-\\w])" + QRegularExpression::escape(option.c_str()) + "\\b")),
                        qPrintable(name + (" lacks " + path + " ") + option.c_str()));
            }
        }
    }

    // This machine's ports, whatever it has (test_ports checks the lines,
    // the emulated PC's proof real ports): no port is opened, not even
    // PARPORT's, and the JSON names the unset choice the last line names.
    void ports() {
        const test::Run text = run({"ports"});
        const QJsonObject unset = json("ports --json")["unset"].toObject();
        QVERIFY(text.status == 0 && text.err.isEmpty() && !QFile::exists(path_));
        QVERIFY2(text.out.endsWith("PARPORT unset: " + unset["parport"].toString() + " (" +
                                   unset["why"].toString() + ")\n"),
                 qPrintable(text.out));
    }

    // A plug with D1 and D2 crossed and S6 stuck low.
    void selftestJudgesEachWire() {
        const LoopbackResults wires = walkLoopback([](int d) {
            // Pin levels, S0..S2 unconnected (high): S3 = D0, S4 = D2, S5 = D1, S6 low, S7 = D4.
            const int pins =
                0x07 | (d & 1) << 3 | (d >> 2 & 1) << 4 | (d >> 1 & 1) << 5 | (d >> 4 & 1) << 7;
            return pins ^ kStatusInverted;
        });
        QCOMPARE(test::lines(selftestReport({wires, 165, 4})),
                 (QStringList{"D0 pin 2 -> S3 pin 15: good",
                              "D1 pin 3 -> S4 pin 13: crossed: follows D2 pin 4",
                              "D2 pin 4 -> S5 pin 12: crossed: follows D1 pin 3",
                              "D3 pin 5 -> S6 pin 10: stuck low", "D4 pin 6 -> S7 pin 11: good",
                              "selftest: 2 of 5 wires good, the plug or the port is faulty",
                              "port: data restored to 165, control unchanged at 4"}));
    }

    // The self-test on the open port, whose inputs read high whatever is
    // written, its data lines made inputs by control bit 5: the walk makes them
    // outputs, and data and then control are put back.
    void selftestOnAnOpenPort() {
        out("out 0x37A 0x24 out 0x378 165");
        const test::Run r = run({"selftest"});
        QVERIFY2(r.status == 1 && r.out.count(": stuck high\n") == 5 &&
                     r.out.endsWith("selftest: 0 of 5 wires good, the plug or the port is faulty\n"
                                    "port: data restored to 165, control restored to 36\n"),
                 qPrintable(QString("exit status %1, report:\n%2").arg(r.status).arg(r.out)));
        QVERIFY(out("sim writes").endsWith("\ndata 165\ncontrol 36\n"));
    }
};

QTEST_GUILESS_MAIN(TestLptport)
#include "test_lptport.moc"
