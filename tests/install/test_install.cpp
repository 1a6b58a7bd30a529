// The Debian package as a user gets it: the files where they belong, and the
// installed panel started the way the desktop starts it, on a simulated port.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
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

// Values of the [Desktop Entry] group of a desktop entry file.
QStringList desktopEntry(const QString& file, const QStringList& keys) {
    QSettings entry(file, QSettings::IniFormat);
    QStringList values;
    for (const QString& key : keys)
        values << entry.value("Desktop Entry/" + key).toString();
    return values;
}

const QStringList kPictures{"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"};

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void dependsOnTheQtRuntime();
    void desktopEntryStartsThePanelOnThePort();
    void installPrefixReachesTheDesktopEntry();

private:
    QTemporaryDir work_;
    QString deb_;
    QString root_; // the package unpacked
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
}

void TestInstall::installedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("source"); // the file it must equal, if any
    for (const char* file : {"bin/lptpanel", "bin/lptport", "share/applications/lptpanel.desktop",
                             "share/man/man1/lptport.1.gz", "share/man/man1/lptpanel.1.gz"})
        QTest::newRow(file) << QString("usr/") + file << QString();
    for (const QString& picture : kPictures)
        QTest::newRow(qPrintable(picture))
            << "usr/share/lptpanel/" + picture << ASSETS_DIR "/" + picture;
    QTest::newRow("icon") << "usr/share/icons/hicolor/32x32/apps/lptpanel.png"
                          << ASSETS_DIR "/icon.png";
}

void TestInstall::installedFiles() {
    QFETCH(QString, file);
    QFETCH(QString, source);
    const QFileInfo info(root_ + "/" + file);
    QVERIFY2(info.isFile() && (info.permissions() & QFileDevice::ReadOther), qPrintable(file));
    QCOMPARE(info.isExecutable(), file.startsWith("usr/bin/"));
    QFile installed(info.filePath()), original(source);
    if (!source.isEmpty())
        QVERIFY(installed.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly) &&
                installed.readAll() == original.readAll());
}

void TestInstall::dependsOnTheQtRuntime() {
    const QByteArray depends = run(DPKG_DEB, {"-f", deb_, "Depends"}).second;
    for (const char* package : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libc6"})
        QVERIFY2(depends.contains(package), depends.constData());
}

void TestInstall::desktopEntryStartsThePanelOnThePort() {
    const QStringList entry = desktopEntry(root_ + "/usr/share/applications/lptpanel.desktop",
                                           {"Type", "Exec", "Path", "Icon"});
    QCOMPARE(entry,
             QStringList({"Application", "/usr/bin/lptpanel", "/usr/share/lptpanel", "lptpanel"}));
    QTemporaryDir portDir;
    qputenv("PARPORT", ("sim:" + portDir.filePath("port")).toLocal8Bit());
    auto lptport = [&](const QString& command) {
        return run(root_ + "/usr/bin/lptport", {"sim", command}).second;
    };
    lptport("reset");

    // Started as the desktop starts it: its program, in its Path.
    QProcess panel;
    panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    panel.setWorkingDirectory(root_ + entry[2]);
    panel.start(root_ + entry[1], {});
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

void TestInstall::installPrefixReachesTheDesktopEntry() {
    // Installed under another prefix, the entry and the man page name that prefix.
    const QString prefix = work_.filePath("opt/lptpanel");
    QCOMPARE(run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix}).first, 0);
    QCOMPARE(desktopEntry(prefix + "/share/applications/lptpanel.desktop", {"Exec", "Path"}),
             QStringList({prefix + "/bin/lptpanel", prefix + "/share/lptpanel"}));
    for (const QString& picture : kPictures)
        QVERIFY2(QFile::exists(prefix + "/share/lptpanel/" + picture), qPrintable(picture));
    QVERIFY(run("gzip", {"-dc", prefix + "/share/man/man1/lptpanel.1.gz"})
                .second.contains(".I " + prefix.toUtf8() + "/share/lptpanel\n"));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
