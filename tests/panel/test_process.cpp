// The real lptpanel (and panel_script for clicks) as processes on a simulated
// port: how the program ends, with which status and message, and what it had
// written to the port by then.
#include "port/simulated.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
    ~PanelProcess() {
        process.kill();
        process.waitForFinished();
    }
    std::unique_ptr<lpt::SimulatedPort> port() const {
        return lpt::SimulatedPort::open(dir.filePath("port").toStdString());
    }
    void start(const QString& program, const QStringList& args = {}, const QString& parport = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PARPORT", parport.isEmpty() ? "sim:" + dir.filePath("port") : parport);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(program, args);
    }
    bool stderrContains(const QByteArray& text) {
        errors += process.readAllStandardError();
        return errors.contains(text);
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
    void pictureFailsAtStartUp_data();
    void pictureFailsAtStartUp();
    void lampPictureRemovedWhileRunning();
    void badPort_data();
    void badPort();
    void exitPaths_data();
    void exitPaths();
};

void TestProcess::pictureFailsAtStartUp_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // null: the file is removed
    QTest::addColumn<QByteArray>("cause");
    QTest::newRow("swtchoff.gif missing")
        << "swtchoff.gif" << QByteArray() << QByteArray("no such file");
    QTest::newRow("swtchoff.gif not a picture")
        << "swtchoff.gif" << QByteArray("plain text") << QByteArray("not a picture");
    QTest::newRow("ledgon.bmp missing")
        << "ledgon.bmp" << QByteArray() << QByteArray("no such file");
}

// Every picture is loaded after the four start-up writes and before the first
// status read, and the message names the file, the folder and the cause.
void TestProcess::pictureFailsAtStartUp() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, cause);
    PanelProcess panel;
    QFile picture(panel.dir.filePath(file));
    if (content.isNull())
        QVERIFY(picture.remove());
    else
        QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write(content) == content.size());
    picture.close();
    panel.start(LPTPANEL_BIN);
    QCOMPARE(panel.exitCode(), 1);
    const QByteArray expected = "lptpanel: cannot load picture \"" + file.toUtf8() + "\" from " +
                                panel.dir.path().toUtf8() + ": " + cause;
    QVERIFY2(panel.errors.contains(expected), panel.errors.constData());
    const auto port = panel.port();
    QCOMPARE(writes(*port), startUpAndPasses(0));
    QCOMPARE(port->statusReads(), 0u);
}

void TestProcess::lampPictureRemovedWhileRunning() {
    // A fresh port reports 0x7F, so every pass shows "ledron.bmp" on the lamps.
    PanelProcess panel;
    panel.start(LPTPANEL_BIN);
    QVERIFY(QTest::qWaitFor([&] { return panel.stderrContains("lptpanel: port: "); }, 30000));
    const auto port = panel.port();
    QVERIFY(QTest::qWaitFor([&] { return port->statusReads() >= 50; }, 30000));
    QVERIFY(QFile::remove(panel.dir.filePath("ledron.bmp")));
    QCOMPARE(panel.exitCode(), 1);
    QVERIFY2(panel.errors.contains("cannot load picture \"ledron.bmp\""), panel.errors.constData());
    // Every pass, the failing one included, wrote its two values before its
    // status read; nothing was written after.
    QCOMPARE(port->writeCount(), 4 + 2 * port->statusReads());
    QVERIFY(writes(*port).endsWith(" D0 C11 D0 C11"));
}

void TestProcess::badPort_data() {
    QTest::addColumn<QString>("parport"); // "junk" stands for a file that is not a port
    QTest::addColumn<QByteArray>("named");
    QTest::newRow("unknown PARPORT form") << "bogus" << QByteArray("PARPORT=bogus is not a port");
    QTest::newRow("file that is not a port") << "junk" << QByteArray("junk");
}

void TestProcess::badPort() {
    QFETCH(QString, parport);
    QFETCH(QByteArray, named);
    PanelProcess panel;
    QFile junk(panel.dir.filePath("junk"));
    const QByteArray content(4096, 'j');
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(content) == content.size());
    junk.close();
    panel.start(LPTPANEL_BIN, {}, parport == "junk" ? "sim:" + junk.fileName() : parport);
    QCOMPARE(panel.exitCode(), 1);
    QVERIFY2(panel.errors.contains("lptpanel: ") && panel.errors.contains(named),
             panel.errors.constData());
    QVERIFY(!panel.errors.contains("lptpanel: port: ")); // no port was opened
    QVERIFY(junk.open(QIODevice::ReadOnly));
    QCOMPARE(junk.readAll(), content);
}

void TestProcess::exitPaths_data() {
    QTest::addColumn<int>("pass");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("clickWrites");
    QTest::newRow("exit button at pass 6") << 6 << QStringList{"Command2"} << "";
    QTest::newRow("window closed at pass 4") << 4 << QStringList{"close"} << "";
    QTest::newRow("all outputs to 1, then exit")
        << 5 << QStringList{"Command3", "Command2"} << " D255 C4";
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
    const auto port = panel.port();
    QCOMPARE(writes(*port), startUpAndPasses(pass - 1) + clickWrites);
    QCOMPARE(port->statusReads(), static_cast<std::uint64_t>(pass - 1));
}

QTEST_MAIN(TestProcess)
#include "test_process.moc"
