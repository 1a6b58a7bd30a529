// SPDX-License-Identifier: MIT
// The real lptpanel (and panel_script for clicks) as processes on a simulated
// port: how the program ends, with which status and message, and what it had
// written to the port by then.
#include "port/simulated.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A working folder holding a copy of the pictures and the simulated port, made
// before the panel opens it.
struct PanelProcess {
    QTemporaryDir dir;
    QProcess process;
    QByteArray errors;
    std::unique_ptr<lpt::SimulatedPort> port =
        lpt::SimulatedPort::open(dir.filePath("port").toStdString());

    PanelProcess() {
        for (const char* file : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
            QFile::copy(file, dir.filePath(file));
        process.setWorkingDirectory(dir.path());
        qputenv("PARPORT", ("sim:" + dir.filePath("port")).toUtf8());
    }
    /// The exit status once the process has ended by itself; -1 if it crashed
    /// or did not end.
    int exitCode() {
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        errors += process.readAllStandardError();
        return process.exitCode();
    }
    /// The writes of the port (the panel's own by default) as "D0 C3 ...".
    QString writes(const lpt::SimulatedPort* of = nullptr) const {
        QStringList log;
        for (const auto& w : (of ? of : port.get())->writesSince(0))
            log << QString("%1%2").arg(w.reg == lpt::Register::Data ? 'D' : 'C').arg(w.value);
        return log.join(' ');
    }
};

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private slots:
    // With swtchoff.gif missing: the pictures are loaded after the four
    // start-up writes and before the first status read; a port file that cannot
    // be opened ends the panel before any port access, and before the pictures.
    // --port names the port in place of PARPORT; a bad PORT ends the
    // panel with status 2 before any port access. The one line (DIR: the
    // folder) names the cause and the fix.
    void failsAtStartUp_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("damaged"); // the port file: one byte too long
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("writes"); // at PARPORT's port, then at DIR/other
        const QString startUp = "D0 C3 D255 C255";
        QTest::newRow("missing picture")
            << "" << false << 1 << "cannot load picture \"swtchoff.gif\" from DIR: no such file"
            << startUp + " | ";
        QTest::newRow("damaged port file")
            << "" << true << 1 << "simulated port file DIR/port refused"
            << " | ";
        QTest::newRow("--port") << "--port sim:DIR/other" << false << 1 << "cannot load picture"
                                << " | " + startUp;
        QTest::newRow("--port, a bad PORT")
            << "--port sim:" << false << 2
            << "--port sim: is not a port: sim: needs the file that keeps the simulated port"
            << " | ";
    }
    void failsAtStartUp() {
        QFETCH(QString, arguments);
        QFETCH(bool, damaged);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QString, writes);
        PanelProcess panel;
        const QString file = panel.dir.filePath("port");
        QVERIFY(QFile::remove(panel.dir.filePath("swtchoff.gif")) &&
                (!damaged || QFile::resize(file, QFileInfo(file).size() + 1)));
        panel.process.start(
            LPTPANEL_BIN,
            arguments.replace("DIR", panel.dir.path()).split(' ', Qt::SkipEmptyParts));
        QCOMPARE(panel.exitCode(), status);
        const QByteArray line = "lptpanel: " + message.replace("DIR", panel.dir.path()).toUtf8();
        QVERIFY2(panel.errors.count(line) == 1 && panel.errors.contains(". Fix: "),
                 panel.errors.constData());
        const auto other = lpt::SimulatedPort::open(panel.dir.filePath("other").toStdString());
        QCOMPARE(panel.writes() + " | " + panel.writes(other.get()), writes);
        QCOMPARE(panel.port->statusReads() + other->statusReads(), 0u);
    }

    void exitPaths_data() {
        QTest::addColumn<QString>("script"); // for panel_script: the pass, what the user does
        QTest::addColumn<QString>("writes");
        QTest::newRow("exit button at pass 3") << "3 Command2"
                                               << "D0 C3 D255 C255 D0 C11 D0 C11";
        QTest::newRow("all outputs to 1 at pass 2, then window closed")
            << "2 Command3 close"
            << "D0 C3 D255 C255 D0 C11 D255 C4";
    }

    void exitPaths() {
        QFETCH(QString, script);
        QFETCH(QString, writes);
        PanelProcess panel;
        panel.process.start(PANEL_SCRIPT_BIN, script.split(' '));
        QCOMPARE(panel.exitCode(), 0);
        // The passes before the click's pass, the click's own writes, then
        // nothing: the click's pass neither writes nor reads.
        QCOMPARE(panel.writes(), writes);
        QCOMPARE(panel.port->statusReads(), std::uint64_t(script.section(' ', 0, 0).toInt() - 1));
    }

    void aPictureBreaksWhileRunning() {
        PanelProcess panel;
        panel.process.start(LPTPANEL_BIN);
        QVERIFY(QTest::qWaitFor([&] { return panel.port->statusReads() > 1; }, 30000));
        // The lamps show "ledron.bmp" (a fresh port reports 0x7F) and read it
        // at every pass: replaced by a file that is no picture (in one step,
        // QSaveFile renames it into place), it ends the panel.
        QSaveFile lamp(panel.dir.filePath("ledron.bmp"));
        QVERIFY(lamp.open(QIODevice::WriteOnly) && lamp.write("BM garbage") == 10 && lamp.commit());
        QCOMPARE(panel.exitCode(), 1);
        QVERIFY2(panel.errors.contains("cannot load picture \"ledron.bmp\" from " +
                                       panel.dir.path().toUtf8() + ": not a picture"),
                 panel.errors.constData());
        // Its last writes are its passes' data 0 and control 11: nothing is
        // written after the failure.
        QVERIFY(panel.writes().endsWith(" D0 C11 D0 C11"));
    }
};

QTEST_MAIN(TestProcess)
#include "test_process.moc"
