// The real lptpanel (and panel_script for clicks) as processes on a simulated
// port: how the program ends, with which status and message, and what it had
// written to the port by then.
#include "port/simulated.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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
    void start(const QString& program, const QStringList& args = {}, const QString& parport = {}) {
        qputenv("PARPORT", (parport.isEmpty() ? "sim:" + dir.filePath("port") : parport).toUtf8());
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
    void failsAtStartUp_data();
    void failsAtStartUp();
    void lampPictureBrokenWhileRunning_data();
    void lampPictureBrokenWhileRunning();
    void exitPaths_data();
    void exitPaths();
};

void TestProcess::failsAtStartUp_data() {
    QTest::addColumn<QString>("parport"); // empty: the simulated port in the folder
    QTest::addColumn<QByteArray>("message");
    // The pictures are loaded after the four start-up writes and before the
    // first status read; the message names the file, the folder and the cause.
    QTest::newRow("swtchoff.gif missing")
        << ""
        << QByteArray("lptpanel: cannot load picture \"swtchoff.gif\" from DIR: no such file");
    QTest::newRow("bad PARPORT") << "bogus" << QByteArray("lptpanel: PARPORT=bogus is not a port");
}

void TestProcess::failsAtStartUp() {
    QFETCH(QString, parport);
    QFETCH(QByteArray, message);
    PanelProcess panel;
    QVERIFY(QFile::remove(panel.dir.filePath("swtchoff.gif")));
    panel.start(LPTPANEL_BIN, {}, parport);
    QCOMPARE(panel.exitCode(), 1);
    QVERIFY2(panel.errors.contains(message.replace("DIR", panel.dir.path().toUtf8())),
             panel.errors.constData());
    QCOMPARE(writes(*panel.port()), parport.isEmpty() ? startUpAndPasses(0) : ""); // no port opened
    QCOMPARE(panel.port()->statusReads(), 0u);
}

void TestProcess::lampPictureBrokenWhileRunning_data() {
    QTest::addColumn<QByteArray>("bytes"); // what ledron.bmp becomes; null: removed
    QTest::addColumn<QByteArray>("cause");
    QTest::newRow("removed") << QByteArray() << QByteArray("no such file");
    QTest::newRow("emptied") << QByteArray("") << QByteArray("the file is empty");
    QTest::newRow("not a picture") << QByteArray("BM garbage") << QByteArray("not a picture");
}

void TestProcess::lampPictureBrokenWhileRunning() {
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

void TestProcess::exitPaths_data() {
    QTest::addColumn<int>("pass");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("clickWrites");
    QTest::newRow("exit button at pass 6") << 6 << QStringList{"Command2"} << "";
    QTest::newRow("all outputs to 1, then window closed")
        << 2 << QStringList{"Command3", "close"} << " D255 C4";
}

void TestProcess::exitPaths() {
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

QTEST_MAIN(TestProcess)
#include "test_process.moc"
