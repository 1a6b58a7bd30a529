// lptport as a user runs it: output lines, exit statuses, and the port file.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestLptport : public QObject {
    Q_OBJECT
    struct Run {
        int status = -1;
        QString out, err;
    };
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;

    Run run(const QStringList& args, const QString& parport = {}) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("PARPORT", parport.isNull() ? "sim:" + path_ : parport);
        p.setProcessEnvironment(env);
        p.start(LPTPORT_BIN, args);
        if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
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
        const Run r = run({"out", "0x37A", "0x0C", "out", "0x378", "0x41", "in", "0x378", "in",
                           "0x37A", "out", "0x378", "66", "in", "888"});
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
        QTest::newRow("nothing") << ""
                                 << "no command given";
        QTest::newRow("unknown command") << "blink"
                                         << "unknown command 'blink'";
        QTest::newRow("out without value") << "out 0x378"
                                           << "out needs ADDR and VALUE";
        QTest::newRow("value too big") << "out 0x378 256"
                                       << "not '256'";
        QTest::newRow("letter in a decimal") << "out 0x378 1a"
                                             << "not '1a'";
        QTest::newRow("hex garbage") << "out 0x378 0xZZ"
                                     << "not '0xZZ'";
        QTest::newRow("address outside the port") << "in 0x278"
                                                  << "not '0x278'";
        QTest::newRow("stray word") << "out 0x378 1 show"
                                    << "unexpected 'show'";
        QTest::newRow("watch every 0 ms") << "watch 0"
                                          << "not '0'";
        QTest::newRow("sim unknown") << "sim melt"
                                     << "unknown sim command 'melt'";
        QTest::newRow("sim pins bad") << "sim pins S8=1"
                                      << "not 'S8=1'";
        QTest::newRow("sim writes --since -1") << "sim writes --since -1"
                                               << "takes --since N";
    }
    void usageErrors() {
        QFETCH(QString, args);
        QFETCH(QString, problem);
        const Run r = run(args.split(' ', Qt::SkipEmptyParts));
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
        const Run r = run({"out", "0x378", "1"}, parport.isEmpty() ? QString() : parport);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith("lptport: ") && r.err.contains(expected) &&
                     r.err.contains("Fix: ") && r.err.count('\n') == 1,
                 qPrintable(r.err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious\n")); // never overwritten
    }
};

QTEST_GUILESS_MAIN(TestLptport)
#include "test_lptport.moc"
