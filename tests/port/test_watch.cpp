// `lptport watch`: the change lines, the start line and time stamps, and the
// running tool on a simulated port: it reports changes made by other
// processes, ends cleanly on a signal, and sleeps between polls.
#include "port/simulated.h"
#include "tools/watch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

using namespace lpt;

namespace {

QStringList toStrings(const std::vector<std::string>& lines) {
    QStringList s;
    for (const auto& l : lines)
        s << QString::fromStdString(l);
    return s;
}

WatchSample sample(int status, int data = -1, int control = -1) {
    WatchSample s;
    s.status = status;
    if (data >= 0)
        s.data = data;
    if (control >= 0)
        s.control = control;
    return s;
}

// CPU time (user + system) the process has used so far, in milliseconds.
qint64 cpuMs(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks;
    // utime and stime are fields 14 and 15 of the line.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
    return ticks * 1000 / ::sysconf(_SC_CLK_TCK);
}

// A running `lptport watch` whose output lines are collected as they arrive.
class Watch {
public:
    Watch(const QString& portPath, const QStringList& args) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("PARPORT", "sim:" + portPath);
        process.setProcessEnvironment(env);
        process.start(LPTPORT_BIN, QStringList{"watch"} + args);
    }
    ~Watch() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    /// Waits for the next line whose text after the time stamp is text and
    /// returns its time stamp ("" when none came in time).
    QString waitFor(const QString& text) {
        QString stamp;
        const bool found = QTest::qWaitFor(
            [&] {
                while (process.canReadLine()) {
                    const QString line = QString::fromUtf8(process.readLine()).chopped(1);
                    lines << line;
                    const auto m = stampedLine().match(line);
                    if (m.hasMatch() && m.captured(2) == text) {
                        stamp = m.captured(1);
                        return true;
                    }
                }
                return process.state() == QProcess::NotRunning;
            },
            5000);
        return found ? stamp : QString();
    }

    static const QRegularExpression& stampedLine() {
        static const QRegularExpression re(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}) (.*)$)");
        return re;
    }

    QProcess process;
    QStringList lines;
};

} // namespace

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void init();
    void changes_data();
    void changes();
    void startLine();
    void timestamp();
    void reportsChangesUntilStopped_data();
    void reportsChangesUntilStopped();
    void sleepsBetweenPolls();
    void usageErrors_data();
    void usageErrors();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TestWatch::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ::chmod(dir_->path().toLocal8Bit().constData(), 0700);
    path_ = dir_->path() + "/port";
}

void TestWatch::changes_data() {
    QTest::addColumn<int>("statusBefore");
    QTest::addColumn<int>("statusAfter");
    QTest::addColumn<bool>("registers"); // data and control sampled (simulated port)
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing changed") << 0x7F << 0x7F << true << QStringList{};
    QTest::newRow("ACK falls, real port") << 0x7F << 0x3F << false << QStringList{"S6 1->0"};
    QTest::newRow("ACK falls, simulated port")
        << 0x7F << 0x3F << true << QStringList{"status 127->63", "S6 1->0"};
    // BUSY: register bit 7 set means the pin is low.
    QTest::newRow("BUSY bit set") << 0x7F << 0xFF << false << QStringList{"S7 1->0"};
    QTest::newRow("BUSY bit cleared") << 0x80 << 0x00 << false << QStringList{"S7 0->1"};
    QTest::newRow("unconnected bits S0..S2")
        << 0x00 << 0x07 << false << QStringList{"S0 0->1", "S1 0->1", "S2 0->1"};
    QTest::newRow("every pin, in pin order")
        << 0x7F << 0x80 << false << QStringList{"S0 1->0", "S1 1->0", "S2 1->0", "S3 1->0",
                                                "S4 1->0", "S5 1->0", "S6 1->0", "S7 1->0"};
}

void TestWatch::changes() {
    QFETCH(int, statusBefore);
    QFETCH(int, statusAfter);
    QFETCH(bool, registers);
    QFETCH(QStringList, expected);
    const int reg = registers ? 0 : -1;
    QCOMPARE(toStrings(watchChanges(sample(statusBefore, reg, reg), sample(statusAfter, reg, reg))),
             expected);
}

void TestWatch::startLine() {
    QCOMPARE(QString::fromStdString(watchStart(sample(0x7F, 5, 11))),
             QString("start data 5 control 11 status 127 S0=1 S1=1 S2=1 S3=1 S4=1 S5=1 S6=1 S7=1"));
    QCOMPARE(QString::fromStdString(watchStart(sample(0xC8))),
             QString("start status 200 S0=0 S1=0 S2=0 S3=1 S4=0 S5=0 S6=1 S7=0"));
    // Registers come before the pins, data before control.
    QCOMPARE(toStrings(watchChanges(sample(0x7F, 0, 11), sample(0x77, 5, 4))),
             (QStringList{"data 0->5", "control 11->4", "status 127->119", "S3 1->0"}));
}

void TestWatch::timestamp() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 6;
    local.tm_hour = 22;
    local.tm_min = 10;
    local.tm_sec = 1;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    QCOMPARE(QString::fromStdString(watchTimestamp(when + std::chrono::milliseconds(7))),
             QString("2026-12-06T22:10:01.007"));
    QCOMPARE(QString::fromStdString(watchTimestamp(when + std::chrono::microseconds(999999))),
             QString("2026-12-06T22:10:01.999"));
}

void TestWatch::reportsChangesUntilStopped_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestWatch::reportsChangesUntilStopped() {
    QFETCH(int, signal);
    auto port = SimulatedPort::open(path_.toStdString());
    port->write(Register::Control, 11);
    Watch watch(path_, {"5"});
    QVERIFY(!watch
                 .waitFor("start data 0 control 11 status 127 S0=1 S1=1 S2=1 S3=1 S4=1 S5=1 "
                          "S6=1 S7=1")
                 .isEmpty());

    port->setStatus(0x3F);
    const QString registerStamp = watch.waitFor("status 127->63");
    QVERIFY2(!registerStamp.isEmpty(), qPrintable(watch.lines.join('\n')));
    // The pin line follows its register line, from the same poll.
    QCOMPARE(watch.waitFor("S6 1->0"), registerStamp);

    // A change made by another lptport.
    QProcess sim;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("PARPORT", "sim:" + path_);
    sim.setProcessEnvironment(env);
    sim.start(LPTPORT_BIN, {"sim", "pins", "S7=0"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!watch.waitFor("status 63->191").isEmpty());
    QVERIFY(!watch.waitFor("S7 1->0").isEmpty());

    port->write(Register::Data, 5);
    QVERIFY2(!watch.waitFor("data 0->5").isEmpty(), qPrintable(watch.lines.join('\n')));

    ::kill(static_cast<pid_t>(watch.process.processId()), signal);
    QVERIFY(watch.process.waitForFinished(5000));
    QCOMPARE(watch.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.process.exitCode(), 0);
    // Every line was reported once and nothing else was printed.
    watch.lines +=
        QString::fromUtf8(watch.process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(watch.lines.size(), 6);

    // One status read per poll, and reading data and control back does not count.
    const QString err = QString::fromUtf8(watch.process.readAllStandardError());
    QVERIFY2(err.contains("lptport: watch: polling every 5 ms until interrupted\n"),
             qPrintable(err));
    const auto m = QRegularExpression("lptport: watch: ended after (\\d+) polls\n").match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    QCOMPARE(port->statusReads(), m.captured(1).toULongLong());
}

void TestWatch::sleepsBetweenPolls() {
    auto port = SimulatedPort::open(path_.toStdString());
    Watch watch(path_, {}); // the default interval, 10 ms
    QVERIFY(!watch
                 .waitFor("start data 0 control 0 status 127 S0=1 S1=1 S2=1 S3=1 S4=1 S5=1 S6=1 "
                          "S7=1")
                 .isEmpty());
    const qint64 pid = watch.process.processId();

    const qint64 cpuBefore = cpuMs(pid);
    QVERIFY(cpuBefore >= 0);
    const std::uint64_t readsBefore = port->statusReads();
    QElapsedTimer wall;
    wall.start();
    constexpr int kPolls = 30;
    QVERIFY(QTest::qWaitFor([&] { return port->statusReads() >= readsBefore + kPolls; }, 10000));
    const qint64 cpuUsed = cpuMs(pid) - cpuBefore;
    const qint64 elapsed = wall.elapsed();

    // 30 polls 10 ms apart take about 300 ms; a busy loop would make them at once
    // and spend the whole time on the CPU.
    QVERIFY2(elapsed >= (kPolls - 2) * 10, qPrintable(QString("%1 ms").arg(elapsed)));
    QVERIFY2(cpuUsed * 5 < elapsed,
             qPrintable(QString("%1 ms of CPU in %2 ms").arg(cpuUsed).arg(elapsed)));
    watch.process.terminate();
    QVERIFY(watch.process.waitForFinished(5000));
    QCOMPARE(watch.process.exitCode(), 0);
}

void TestWatch::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem");
    QTest::newRow("zero interval") << QStringList{"0"} << "not '0'";
    QTest::newRow("interval too long") << QStringList{"60001"} << "not '60001'";
    QTest::newRow("not a number") << QStringList{"fast"} << "not 'fast'";
    QTest::newRow("two intervals") << QStringList{"5", "6"} << "watch takes at most INTERVAL_MS";
}

void TestWatch::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    Watch watch(path_, args);
    QVERIFY(watch.process.waitForFinished(5000));
    QCOMPARE(watch.process.exitCode(), 2);
    const QString err = QString::fromUtf8(watch.process.readAllStandardError());
    QVERIFY2(err.contains(problem) && err.contains("usage: lptport"), qPrintable(err));
    QVERIFY(!QFile::exists(path_));
}

QTEST_GUILESS_MAIN(TestWatch)
#include "test_watch.moc"
