// SPDX-License-Identifier: MIT
// The real lptpanel (and panel_script for clicks) as processes on a simulated
// port: how the program ends, with which status and message, and what it had
// written to the port by then.
#include "port/simulated.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// A working folder holding a copy of the pictures and the simulated port.
struct PanelProcess {
    QTemporaryDir dir;
    QProcess process;
    QByteArray errors;

    PanelProcess() {
        for (const char* file : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
            QFile::copy(file, dir.filePath(file));
        process.setWorkingDirectory(dir.path());
    }
    std::unique_ptr<lpt::SimulatedPort> port() const {
        return lpt::SimulatedPort::open(dir.filePath("port").toStdString());
    }
    void start(const QString& program, const QStringList& args = {}) {
        qputenv("PARPORT", ("sim:" + dir.filePath("port")).toUtf8());
        process.start(program, args);
    }
    /// The exit status once the process has ended by itself; -1 if it crashed
    /// or did not end.
    int exitCode() {
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        errors += process.readAllStandardError();
        return process.exitCode();
    }
};

// The port's writes as "D0 C3 ...".
QString writes(const lpt::SimulatedPort& port) {
    QStringList log;
    for (const auto& [reg, value] : port.writeLog())
        log << QString("%1%2").arg(reg == lpt::Register::Data ? 'D' : 'C').arg(value);
    return log.join(' ');
}

QString startUpAndPasses(int passes) {
    return "D0 C3 D255 C255" + QString(" D0 C11").repeated(passes);
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private slots:
    // The pictures are loaded after the four start-up writes and before the
    // first status read; the message names the file, the folder and the cause.
    void missingPictureAtStartUp() {
        PanelProcess panel;
        QVERIFY(QFile::remove(panel.dir.filePath("swtchoff.gif")));
        panel.start(LPTPANEL_BIN);
        QCOMPARE(panel.exitCode(), 1);
        QVERIFY2(panel.errors.contains("lptpanel: cannot load picture \"swtchoff.gif\" from " +
                                       panel.dir.path().toUtf8() + ": no such file"),
                 panel.errors.constData());
        QCOMPARE(writes(*panel.port()), startUpAndPasses(0));
        QCOMPARE(panel.port()->statusReads(), 0u);
    }

    void lampPictureBrokenWhileRunning_data() {
        QTest::addColumn<QByteArray>("bytes"); // what ledron.bmp becomes; null: removed
        QTest::addColumn<QByteArray>("cause");
        QTest::newRow("removed") << QByteArray() << QByteArray("no such file");
        QTest::newRow("not a picture") << QByteArray("BM garbage") << QByteArray("not a picture");
    }

    void lampPictureBrokenWhileRunning() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, cause);
        // A fresh port reports 0x7F, so every pass shows "ledron.bmp" on the lamps.
        PanelProcess panel;
        const auto port = panel.port(); // made before the panel opens it
        panel.start(LPTPANEL_BIN);
        QVERIFY(QTest::qWaitFor([&] { return port->statusReads() >= 50; }, 30000));
        // Replaced in one step, so the panel never reads a half-written file.
        QFile next(panel.dir.filePath("next"));
        QVERIFY(next.open(QIODevice::WriteOnly));
        next.write(bytes);
        next.close();
        const QString lamp = panel.dir.filePath("ledron.bmp");
        QVERIFY(bytes.isNull() ? QFile::remove(lamp)
                               : ::rename(qPrintable(next.fileName()), qPrintable(lamp)) == 0);
        QCOMPARE(panel.exitCode(), 1);
        QVERIFY2(panel.errors.contains("cannot load picture \"ledron.bmp\" from " +
                                       panel.dir.path().toUtf8() + ": " + cause),
                 panel.errors.constData());
        // Every pass, the failing one included, wrote its two values before its
        // status read; nothing was written after.
        QCOMPARE(port->writeCount(), 4 + 2 * port->statusReads());
        QVERIFY(writes(*port).endsWith(" D0 C11 D0 C11"));
    }

    void exitPaths_data() {
        QTest::addColumn<int>("pass");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("clickWrites");
        QTest::newRow("exit button at pass 6") << 6 << QStringList{"Command2"} << "";
        QTest::newRow("all outputs to 1, then window closed")
            << 2 << QStringList{"Command3", "close"} << " D255 C4";
    }

    void exitPaths() {
        QFETCH(int, pass);
        QFETCH(QStringList, actions);
        QFETCH(QString, clickWrites);
        PanelProcess panel;
        panel.start(PANEL_SCRIPT_BIN, QStringList{QString::number(pass)} + actions);
        QCOMPARE(panel.exitCode(), 0);
        // The passes before the click's pass, the click's own writes, then
        // nothing: the click's pass neither writes nor reads.
        QCOMPARE(writes(*panel.port()), startUpAndPasses(pass - 1) + clickWrites);
        QCOMPARE(panel.port()->statusReads(), static_cast<std::uint64_t>(pass - 1));
    }

    void underLoad() {
        // While the panel runs, four processes write as fast as they can for two
        // seconds: writer k < 3 writes 0x20 * (k + 1) + 0..15 in turn (k 2 to the
        // control register, so each log entry names its writer and place), the
        // fourth sets status and wiring.
        using lpt::Register;
        auto writerOf = [](Register reg, int v) {
            const int k = v / 0x20 - 1;
            return k >= 0 && k < 3 && (k == 2) == (reg == Register::Control) ? k : -1;
        };
        const int statuses[] = {0x7F, 0x00, 0xFF, 0x5A, 0xA5};
        PanelProcess panel;
        const auto port = panel.port();
        panel.start(LPTPANEL_BIN);
        QVERIFY(QTest::qWaitFor([&] { return port->statusReads() > 0; }, 30000));
        const std::uint64_t since = port->writeCount();
        for (int k = 0; k < 4; ++k) {
            if (::fork() != 0)
                continue; // the child touches only the mapping it inherited
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            for (int i = 0; i < 20000000 && std::chrono::steady_clock::now() < end; ++i) {
                if (k < 3)
                    port->write(k == 2 ? Register::Control : Register::Data,
                                0x20 * (k + 1) + i % 16);
                else if (i % 2)
                    port->setStatus(statuses[i / 2 % 5]);
                else
                    port->setWiring(i % 64 ? lpt::Wiring::Open : lpt::Wiring::Loopback);
            }
            ::_exit(0);
        }
        // Meanwhile every value read is one that some process wrote: loopback
        // status follows D0..D4, which the writers drive through 0..15.
        std::set<int> status(std::begin(statuses), std::end(statuses));
        for (int d = 0; d < 16; ++d)
            status.insert(lpt::loopbackStatus(std::uint8_t(d)));
        std::uint64_t ownReads = 0;
        for (int ended = 0, exit = 0; ended < 4; ++ownReads) {
            const int data = port->read(Register::Data), control = port->read(Register::Control);
            QVERIFY2(data == 0 || writerOf(Register::Data, data) >= 0,
                     qPrintable(QString::number(data)));
            QVERIFY2(control == 11 || writerOf(Register::Control, control) == 2,
                     qPrintable(QString::number(control)));
            QVERIFY(status.contains(port->read(Register::Status)));
            if (::waitpid(-1, &exit, WNOHANG) > 0 && ++ended)
                QVERIFY(WIFEXITED(exit) && WEXITSTATUS(exit) == 0);
        }
        // The panel kept passing, and goes on.
        const std::uint64_t reads = port->statusReads();
        QVERIFY2(reads - ownReads > 100, qPrintable(QString::number(reads - ownReads)));
        QVERIFY(QTest::qWaitFor([&] { return port->statusReads() > reads + 10; }, 30000));
        // Every entry the log holds since is the panel's (data 0, control 11) or
        // its writer's next value: nothing torn, nothing lost.
        int next[3] = {-1, -1, -1};
        const auto log = port->writesSince(since);
        QVERIFY(log.size() > 1000);
        for (const auto& w : log) {
            const int k = writerOf(w.reg, w.value);
            const QString at = QString::number(w.number);
            QVERIFY2(k >= 0 || w.value == (w.reg == Register::Data ? 0 : 11), qPrintable(at));
            QVERIFY2(k < 0 || next[k] < 0 || w.value == next[k], qPrintable(at));
            if (k >= 0)
                next[k] = (w.value & ~15) | ((w.value + 1) & 15);
        }
        panel.process.kill();
        panel.process.waitForFinished();
    }
};

QTEST_MAIN(TestProcess)
#include "test_process.moc"
