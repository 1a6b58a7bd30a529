// `lptport watch` on a simulated port: one time-stamped line for each change
// made by this or another process, and status 0 on SIGTERM.
#include "port/simulated.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void changesUntilStopped();
};

void TestWatch::changesUntilStopped() {
    QTemporaryDir dir;
    const QString path = dir.filePath("port");
    auto port = lpt::SimulatedPort::open(path.toStdString());
    port->write(lpt::Register::Control, 11);
    qputenv("PARPORT", ("sim:" + path).toLocal8Bit()); // for watch and sim
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
    auto waitFor = [&](const QString& text) {
        return QTest::qWaitFor([&] { return readLines(text); }, 5000);
    };
    QVERIFY2(waitFor("start data 0 control 11 status 127 S0=1 S1=1 S2=1 S3=1 S4=1 S5=1 S6=1 S7=1"),
             qPrintable(lines.join('|')));
    port->setStatus(0x3F);
    QVERIFY2(waitFor("S6 1->0"), qPrintable(lines.join('|')));
    QProcess sim; // BUSY low, from another process; its register bit is the complement
    sim.start(LPTPORT_BIN, {"sim", "pins", "S7=0"});
    QVERIFY(sim.waitForFinished(5000) && sim.exitCode() == 0);
    QVERIFY2(waitFor("S7 1->0"), qPrintable(lines.join('|')));
    port->write(lpt::Register::Data, 5);
    QVERIFY2(waitFor("data 0->5"), qPrintable(lines.join('|')));

    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    QVERIFY(watch.waitForFinished(5000) && watch.exitStatus() == QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    readLines(QString()); // the rest of the output
    QCOMPARE(lines.mid(1),
             (QStringList{"status 127->63", "S6 1->0", "status 63->191", "S7 1->0", "data 0->5"}));
}

QTEST_GUILESS_MAIN(TestWatch)
#include "test_watch.moc"
