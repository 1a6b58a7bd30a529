// The Debian package as a user gets it: the files where they belong, and the
// installed panel started the way the desktop starts it, on a simulated port.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Runs a program to its end: its exit status (-1 if it did not end normally)
// and its output; what it writes to standard error goes to the test's log.
std::pair<int, QByteArray> run(const QString& program, const QStringList& args,
                               const QString& dir = {}) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setWorkingDirectory(dir);
    p.start(program, args);
    const bool done = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit;
    return {done ? p.exitCode() : -1, p.readAllStandardOutput()};
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void installedFiles();
    void checkersAccept_data();
    void checkersAccept();
    void desktopEntryStartsThePanelOnThePort();

private:
    QTemporaryDir work_;
    QString deb_;
    QString root_; // the package unpacked
    QString metainfo_;
};

void TestInstall::initTestCase() {
    QVERIFY(work_.isValid());
    const QString out = work_.filePath("package");
    const auto [cpack, log] =
        run(CPACK_COMMAND, {"-G", "DEB", "-B", out, "--config", BUILD_DIR "/CPackConfig.cmake"},
            BUILD_DIR);
    QVERIFY2(cpack == 0, log.constData());
    const QStringList debs = QDir(out).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    deb_ = out + "/" + debs.first();
    root_ = work_.filePath("root");
    QCOMPARE(run(DPKG_DEB, {"-x", deb_, root_}).first, 0);
    const QDir metainfo(root_ + "/usr/share/metainfo");
    const QStringList found = metainfo.entryList({"*.metainfo.xml"}, QDir::Files);
    QCOMPARE(found.size(), 1);
    metainfo_ = metainfo.filePath(found.first());
}

// In place, readable, and only the programs executable.
void TestInstall::installedFiles() {
    for (const char* file :
         {"bin/lptpanel", "bin/lptport", "share/applications/lptpanel.desktop",
          "share/man/man1/lptport.1.gz", "share/man/man1/lptpanel.1.gz",
          "share/icons/hicolor/32x32/apps/lptpanel.png", "share/lptpanel/swtchon.gif",
          "share/lptpanel/swtchoff.gif", "share/lptpanel/ledgon.bmp", "share/lptpanel/ledron.bmp",
          "share/doc/lptpanel/copyright", "share/doc/lptpanel/changelog.gz"}) {
        const QFileInfo info(root_ + "/usr/" + file);
        QVERIFY2(info.isFile() && (info.permissions() & QFileDevice::ReadOther), file);
        QCOMPARE(info.isExecutable(), QByteArray(file).startsWith("bin/"));
    }
    // The software centre shows a screenshot the project carries.
    QFile metainfo(metainfo_);
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    const auto image =
        QRegularExpression("<image>[^<]*/(docs/[^<]+)</image>").match(metainfo.readAll());
    QVERIFY(image.hasMatch());
    QVERIFY2(QFileInfo(QString(SOURCE_DIR "/") + image.captured(1)).isFile(),
             qPrintable(image.captured(1)));
}

// Debian's package checker and the AppStream and desktop entry validators
// find no error and no warning (informational notes may stay). A checker
// that is not installed skips its row: scripts/setup-debian test installs
// them.
void TestInstall::checkersAccept_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("lintian") << "lintian"
                             << QStringList{"--allow-root", "--fail-on", "error,warning", deb_};
    QTest::newRow("appstreamcli") << "appstreamcli"
                                  << QStringList{"validate", "--no-net", metainfo_};
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate"
        << QStringList{root_ + "/usr/share/applications/lptpanel.desktop"};
}

void TestInstall::checkersAccept() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        QSKIP(qPrintable(program + " is not installed"));
    const auto [status, out] = run(path, args);
    // desktop-file-validate ends with status 0 even after a warning.
    const bool complaint =
        QRegularExpression("(^|\\n)[EW]: |: (error|warning): ").match(out).hasMatch();
    QVERIFY2(status == 0 && !complaint, out.constData());
}

void TestInstall::desktopEntryStartsThePanelOnThePort() {
    QSettings entry(root_ + "/usr/share/applications/lptpanel.desktop", QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    QCOMPARE(entry.value("Exec").toString(), QString("/usr/bin/lptpanel"));
    QCOMPARE(entry.value("Path").toString(), QString("/usr/share/lptpanel"));
    QTemporaryDir portDir;
    qputenv("PARPORT", ("sim:" + portDir.filePath("port")).toLocal8Bit());
    auto lptport = [&](const QString& command) {
        return run(root_ + "/usr/bin/lptport", {"sim", command}).second;
    };
    lptport("reset");

    // Started as the desktop starts it: its program, in its Path.
    QProcess panel;
    panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    panel.setWorkingDirectory(root_ + entry.value("Path").toString());
    panel.start(root_ + entry.value("Exec").toString(), {});
    QVERIFY(panel.waitForStarted());
    const auto pid = static_cast<pid_t>(panel.processId());
    auto stopped = [&] {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") T ");
    };
    // The panel writes without pause and the port keeps only its last 65,536
    // writes: the panel is held still (SIGSTOP) whenever the port is read, and
    // let go again until its first pass has read the status register.
    QByteArray writes;
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (panel.state() != QProcess::Running)
                return true;
            if (::kill(pid, SIGSTOP) != 0 || !QTest::qWaitFor(stopped, 5000))
                return false;
            if (lptport("reads").trimmed().toInt() >= 1) {
                writes = lptport("writes");
                return true;
            }
            ::kill(pid, SIGCONT);
            return false;
        },
        60000));
    QVERIFY2(writes.startsWith("data 0\ncontrol 3\ndata 255\ncontrol 255\ndata 0\ncontrol 11\n"),
             writes.left(200).constData());
    panel.kill();
    QVERIFY(panel.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
