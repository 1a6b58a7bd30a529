// The real lptpanel (and the scripted panel for clicks) as processes on a
// simulated port: how the program ends, with which status and message, and
// what it wrote to the port before it ended.
#include "port/simulated.h"

#include <QDir>
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
            QFile::copy(QString::fromLatin1(file), dir.filePath(QString::fromLatin1(file)));
        process.setWorkingDirectory(dir.path());
    }
    ~PanelProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString portPath() const { return dir.filePath("port"); }

    void start(const QString& program, const QStringList& args = {}, QString parport = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PARPORT", parport.isEmpty() ? "sim:" + portPath() : parport);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(program, args);
        QVERIFY(process.waitForStarted());
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

QStringList writeLog(const lpt::SimulatedPort& port) {
    QStringList log;
    for (const auto& [reg, value] : port.writeLog())
        log << QString::fromLatin1(lpt::registerName(reg).data()) + " " + QString::number(value);
    return log;
}

const QStringList kStartUpWrites{"data 0", "control 3", "data 255", "control 255"};

QStringList startUpAndPasses(int passes) {
    QStringList log = kStartUpWrites;
    for (int i = 0; i < passes; ++i)
        log << "data 0"
            << "control 11";
    return log;
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
    QTest::addColumn<QByteArray>("content"); // empty: the file is removed
    QTest::addColumn<QByteArray>("cause");
    QTest::newRow("swtchoff.gif missing")
        << "swtchoff.gif" << QByteArray() << QByteArray("no such file");
    QTest::newRow("swtchoff.gif empty")
        << "swtchoff.gif" << QByteArray("") << QByteArray("the file is empty");
    QTest::newRow("swtchoff.gif not a picture")
        << "swtchoff.gif" << QByteArray("GIF89a? no, plain text") << QByteArray("not a picture");
    QTest::newRow("ledgon.bmp missing")
        << "ledgon.bmp" << QByteArray() << QByteArray("no such file");
}

void TestProcess::pictureFailsAtStartUp() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, cause);
    PanelProcess panel;
    QFile picture(panel.dir.filePath(file));
    if (content.isNull()) {
        QVERIFY(picture.remove());
    } else {
        QVERIFY(picture.open(QIODevice::WriteOnly | QIODevice::Truncate));
        picture.write(content);
        picture.close();
    }
    panel.start(LPTPANEL_BIN);
    QCOMPARE(panel.exitCode(), 1);
    const QByteArray expected = "lptpanel: cannot load picture \"" + file.toUtf8() + "\" from " +
                                panel.dir.path().toUtf8() + ": " + cause;
    QVERIFY2(panel.errors.contains(expected), panel.errors.constData());
    QVERIFY(panel.errors.contains("Fix: start lptpanel in the folder that holds"));

    // The failure comes after the four start-up writes, before any status read.
    const auto port = lpt::SimulatedPort::open(panel.portPath().toStdString());
    QCOMPARE(writeLog(*port), kStartUpWrites);
    QCOMPARE(port->statusReads(), 0u);
}

void TestProcess::lampPictureRemovedWhileRunning() {
    // A fresh port reports 0x7F, so every pass shows "ledron.bmp" on the lamps.
    PanelProcess panel;
    panel.start(LPTPANEL_BIN);
    QVERIFY(QTest::qWaitFor([&] { return panel.stderrContains("lptpanel: port: "); }, 30000));
    const auto port = lpt::SimulatedPort::open(panel.portPath().toStdString());
    QVERIFY(QTest::qWaitFor([&] { return port->statusReads() >= 50; }, 30000));
    QVERIFY(QFile::remove(panel.dir.filePath("ledron.bmp")));
    QCOMPARE(panel.exitCode(), 1);
    QVERIFY2(panel.errors.contains("cannot load picture \"ledron.bmp\""), panel.errors.constData());

    // Every pass, the failing one included, wrote its two values before its
    // status read; nothing was written after the last read.
    const std::uint64_t reads = port->statusReads();
    QCOMPARE(port->writeCount(), 4 + 2 * reads);
    const QStringList log = writeLog(*port);
    if (port->writeCount() <= lpt::SimulatedPort::kLogSize)
        QCOMPARE(log, startUpAndPasses(static_cast<int>(reads)));
    else
        QCOMPARE(log.mid(log.size() - 20), startUpAndPasses(10).mid(4));
}

void TestProcess::badPort_data() {
    QTest::addColumn<bool>("portFile"); // PARPORT names a file that is not a port
    QTest::addColumn<QByteArray>("named");
    QTest::newRow("unknown PARPORT form") << false << QByteArray("PARPORT=bogus is not a port");
    QTest::newRow("file that is not a port") << true << QByteArray("junk");
}

void TestProcess::badPort() {
    QFETCH(bool, portFile);
    QFETCH(QByteArray, named);
    PanelProcess panel;
    const QString junk = panel.dir.filePath("junk");
    const QByteArray junkContent(4096, 'j');
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(junkContent);
    file.close();

    panel.start(LPTPANEL_BIN, {}, portFile ? "sim:" + junk : "bogus");
    QCOMPARE(panel.exitCode(), 1);
    QVERIFY2(panel.errors.startsWith("lptpanel: ") || panel.errors.contains("\nlptpanel: "),
             panel.errors.constData());
    QVERIFY2(panel.errors.contains(named), panel.errors.constData());
    QVERIFY(!panel.errors.contains("lptpanel: port: ")); // no port was opened
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), junkContent); // left as it was
}

void TestProcess::exitPaths_data() {
    QTest::addColumn<int>("pass");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("clickWrites");
    QTest::newRow("exit button at pass 1") << 1 << QStringList{"Command2"} << QStringList{};
    QTest::newRow("exit button at pass 6") << 6 << QStringList{"Command2"} << QStringList{};
    QTest::newRow("window closed at pass 4") << 4 << QStringList{"close"} << QStringList{};
    QTest::newRow("D2 switched on, then exit")
        << 3 << QStringList{"Image1:2", "Command2"} << QStringList{};
    QTest::newRow("all outputs to 1, then exit")
        << 5 << QStringList{"Command3", "Command2"} << QStringList{"data 255", "control 4"};
    QTest::newRow("all outputs to 1, then window closed")
        << 2 << QStringList{"Command3", "close"} << QStringList{"data 255", "control 4"};
}

void TestProcess::exitPaths() {
    QFETCH(int, pass);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, clickWrites);
    PanelProcess panel;
    panel.start(PANEL_SCRIPT_BIN, QStringList{QString::number(pass)} + actions);
    QCOMPARE(panel.exitCode(), 0);

    // The passes before the click's pass, the click's own writes, then
    // nothing: the click's pass neither writes nor reads.
    const auto port = lpt::SimulatedPort::open(panel.portPath().toStdString());
    QCOMPARE(writeLog(*port), startUpAndPasses(pass - 1) + clickWrites);
    QCOMPARE(port->statusReads(), static_cast<std::uint64_t>(pass - 1));
}

QTEST_MAIN(TestProcess)
#include "test_process.moc"
