// lptport as a user runs it: output lines, exit statuses, and the port file.
#include "port/simulated.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestLptport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void outThenIn();
    void sequenceRunsInOrderOnOneOpenPort();
    void simStatusIsWhatTheNextReadReturns();
    void simPinsSetLevels();
    void show();
    void usageErrors_data();
    void usageErrors();
    void portFailures_data();
    void portFailures();
    void simCommandsNeedTheSimulatedPort();

private:
    Run run(const QStringList& args, const QString& parport = {});
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

Run TestLptport::run(const QStringList& args, const QString& parport) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("PARPORT", parport.isNull() ? "sim:" + path_ : parport);
    p.setProcessEnvironment(env);
    p.start(LPTPORT_BIN, args);
    if (!p.waitForFinished(10000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

void TestLptport::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ::chmod(dir_->path().toLocal8Bit().constData(), 0700);
    path_ = dir_->path() + "/p/port";
}

void TestLptport::outThenIn() {
    // --help and --version never open the port, so the port file is not made yet.
    QVERIFY(run({"--help"}).out.startsWith("usage: lptport"));
    QVERIFY(run({"--version"}).out.startsWith("lptport "));
    QVERIFY(!QFile::exists(path_));
    const Run out = run({"out", "0x378", "5"});
    QCOMPARE(out.status, 0);
    QCOMPARE(out.out, QString());
    // One line on stderr names the port opened.
    QCOMPARE(out.err, "lptport: port: simulated port " + path_ + " (wiring open)\n");
    QCOMPARE(run({"in", "888"}).out, QString("5\n"));
}

void TestLptport::sequenceRunsInOrderOnOneOpenPort() {
    const Run r = run({"out", "0x37A", "0x0C", "out", "0x378", "0x41", "in", "0x378", "in", "0x37A",
                       "out", "0x378", "66", "in", "0x378"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QString("65\n12\n66\n"));
    QCOMPARE(r.err.count("lptport: port:"), 1);
    QCOMPARE(run({"sim", "writes"}).out, QString("control 12\ndata 65\ndata 66\n"));
    QCOMPARE(run({"sim", "writes", "--since", "1"}).out, QString("2 data 65\n3 data 66\n"));
    QCOMPARE(run({"sim", "writes", "--count"}).out, QString("3\n"));
    run({"in", "0x379", "in", "0x379"});
    QCOMPARE(run({"sim", "reads"}).out, QString("2\n")); // data and control reads do not count
    QCOMPARE(run({"sim", "reset"}).status, 0);
    QCOMPARE(run({"sim", "writes"}).out + run({"sim", "reads"}).out, QString("0\n"));
}

void TestLptport::simStatusIsWhatTheNextReadReturns() {
    QCOMPARE(run({"in", "0x379"}).out, QString("127\n")); // a fresh port: inputs float high
    QCOMPARE(run({"sim", "status", "0x80"}).status, 0);
    QCOMPARE(run({"in", "0x379"}).out, QString("128\n"));
    QCOMPARE(run({"sim", "status", "3"}).status, 0);
    QCOMPARE(run({"in", "0x379"}).out, QString("3\n"));
    // A loopback plug: D0 -> S3 (143), D4 -> BUSY, whose register bit is inverted (7).
    QCOMPARE(run({"sim", "wiring", "loopback"}).status, 0);
    QCOMPARE(
        run({"out", "0x378", "0x01", "in", "0x379", "out", "0x378", "0x10", "in", "0x379"}).out,
        QString("143\n7\n"));
}

void TestLptport::simPinsSetLevels() {
    QCOMPARE(run({"sim", "status", "0"}).status, 0);
    // S7's register bit is the complement of its pin: pin high -> bit 0.
    QCOMPARE(run({"sim", "pins", "S7=1", "S6=1", "S3=1"}).status, 0);
    QCOMPARE(run({"in", "0x379"}).out, QString("72\n"));
    QCOMPARE(run({"sim", "pins", "S7=0", "S6=0"}).status, 0);
    QCOMPARE(run({"in", "0x379"}).out, QString("136\n"));
}

void TestLptport::show() {
    run({"out", "0x378", "5", "out", "0x37A", "11"});
    const Run r = run({"show"});
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split('\n');
    QCOMPARE(lines.value(0), QString("register  address  value  bits"));
    QCOMPARE(lines.value(1), QString("data      0x378        5  00000101"));
    QCOMPARE(lines.value(2), QString("status    0x379      127  01111111"));
    QCOMPARE(lines.value(3), QString("control   0x37A       11  00001011"));
    QCOMPARE(lines.value(5), QString("pin  signal  direction  level"));
    QCOMPARE(lines.size(), 6 + 25 + 1);
    // Control 11 is "all control outputs 0": the inverted C0 pin reads 0.
    QCOMPARE(lines.value(6), QString("  1  /C0     output     0"));
    QCOMPARE(lines.value(7), QString("  2  D0      output     1"));
    QCOMPARE(lines.value(9), QString("  4  D2      output     1"));
    QCOMPARE(lines.value(16), QString(" 11  /S7     input      1"));
    QCOMPARE(lines.value(30), QString(" 25  GND     ground     -"));
}

void TestLptport::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem");
    QTest::newRow("nothing") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"blink"} << "unknown command 'blink'";
    QTest::newRow("out without value") << QStringList{"out", "0x378"} << "out needs ADDR and VALUE";
    QTest::newRow("value too big") << QStringList{"out", "0x378", "256"} << "not '256'";
    QTest::newRow("negative value") << QStringList{"out", "0x378", "-1"} << "not '-1'";
    QTest::newRow("hex garbage") << QStringList{"out", "0x378", "0xZZ"} << "not '0xZZ'";
    QTest::newRow("address outside the port") << QStringList{"in", "0x278"} << "not '0x278'";
    QTest::newRow("in without address") << QStringList{"in"} << "in needs ADDR";
    QTest::newRow("show with argument") << QStringList{"show", "x"} << "show takes no argument";
    QTest::newRow("stray word in a sequence")
        << QStringList{"out", "0x378", "1", "show"} << "unexpected 'show'";
    QTest::newRow("sim alone") << QStringList{"sim"} << "sim needs a command";
    QTest::newRow("sim unknown") << QStringList{"sim", "melt"} << "unknown sim command 'melt'";
    QTest::newRow("sim wiring bad")
        << QStringList{"sim", "wiring", "sideways"} << "needs open or loopback";
    QTest::newRow("sim pins bad") << QStringList{"sim", "pins", "S8=1"} << "not 'S8=1'";
    QTest::newRow("sim writes --since without N")
        << QStringList{"sim", "writes", "--since"} << "takes --since N";
    QTest::newRow("sim writes --since -1")
        << QStringList{"sim", "writes", "--since", "-1"} << "takes --since N";
    QTest::newRow("sim status missing") << QStringList{"sim", "status"} << "needs VALUE";
}

void TestLptport::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    const Run r = run(args);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(problem), qPrintable(r.err));
    // One line, no usage text: that is what --help is for.
    QVERIFY2(r.err.endsWith(". Try 'lptport --help'\n") && r.err.count('\n') == 1,
             qPrintable(r.err));
    QCOMPARE(r.out, QString());
    // A usage error never opens (or creates) the port.
    QVERIFY(!QFile::exists(path_));
}

void TestLptport::portFailures_data() {
    QTest::addColumn<QString>("parport");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unknown form") << "serial"
                                  << "PARPORT=serial is not a port";
    QTest::newRow("sim without path") << "sim:"
                                      << "sim: needs the file";
    QTest::newRow("bad direct base") << "direct:0xZZ"
                                     << "direct: needs a base address";
    QTest::newRow("dll on Linux") << "dll:inpout32.dll"
                                  << "dll: is for Windows";
    QTest::newRow("not a port file") << "badfile"
                                     << "wrong size";
}

void TestLptport::portFailures() {
    QFETCH(QString, parport);
    QFETCH(QString, expected);
    if (parport == "badfile") {
        QDir().mkpath(dir_->path() + "/p");
        ::chmod((dir_->path() + "/p").toLocal8Bit().constData(), 0700);
        QFile f(path_);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious\n");
        f.close();
        parport = "sim:" + path_;
    }
    const Run r = run({"out", "0x378", "1"}, parport);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.startsWith("lptport: "), qPrintable(r.err));
    QVERIFY2(r.err.contains(expected), qPrintable(r.err));
    QVERIFY2(r.err.contains("Fix: "), qPrintable(r.err));
    QCOMPARE(r.err.count('\n'), 1);
    if (expected == "wrong size") {
        QVERIFY2(r.err.contains("lptport sim reset"), qPrintable(r.err));
        QFile f(path_);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious\n"));
    }
}

void TestLptport::simCommandsNeedTheSimulatedPort() {
    const Run r = run({"sim", "reads"}, "/dev/parport7");
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains("PARPORT=sim"), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestLptport)
#include "test_lptport.moc"
