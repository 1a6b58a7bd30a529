// `lptport watch` on a simulated port: one time-stamped line for each change
// made by this or another process, status 0 on SIGTERM, and sleep between
// polls instead of a busy loop.
#include "port/simulated.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

// CPU time (user + system) a process has used so far, in milliseconds.
qint64 cpuMs(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    // utime and stime are fields 14 and 15; the command name before them may hold blanks.
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toLongLong() + fields.value(12).toLongLong()) * 1000 /
           ::sysconf(_SC_CLK_TCK);
}

} // namespace

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

    // 30 polls 10 ms apart take about 300 ms; a busy loop would make them at
    // once and spend the whole time on the CPU.
    const qint64 pid = watch.processId(), cpuBefore = cpuMs(pid);
    const std::uint64_t readsBefore = port->statusReads();
    QElapsedTimer wall;
    wall.start();
    QVERIFY(QTest::qWaitFor([&] { return port->statusReads() >= readsBefore + 30; }, 10000));
    const qint64 cpu = cpuMs(pid) - cpuBefore, elapsed = wall.elapsed();
    QVERIFY2(cpuBefore >= 0 && elapsed >= 280 && cpu * 5 < elapsed,
             qPrintable(QString("%1 ms of CPU in %2 ms").arg(cpu).arg(elapsed)));

    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QVERIFY(watch.waitForFinished(5000) && watch.exitStatus() == QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    readLines(QString()); // the rest of the output
    QCOMPARE(lines.mid(1),
             (QStringList{"status 127->63", "S6 1->0", "status 63->191", "S7 1->0", "data 0->5"}));
}

QTEST_GUILESS_MAIN(TestWatch)
#include "test_watch.moc"
