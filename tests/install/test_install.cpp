// The Debian package: what it installs where, what it depends on, its man
// pages and desktop entry, and the installed panel started the way the
// desktop starts it, on a simulated port.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& args, const QString& dir = {},
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
        int timeoutMs = 60000) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return {-1, p.readAllStandardOutput(), p.readAllStandardError()};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QMap<QString, QString> desktopEntry(const QString& file) {
    QMap<QString, QString> keys;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !line.startsWith('#'))
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

// The one-letter process state in /proc/<pid>/stat ('T' when stopped).
char processState(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = f.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() ? stat[close + 2] : '?';
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
    void manPages_data();
    void manPages();
    void desktopEntryStartsThePanelAmongItsPictures();
    void installedPanelDrivesThePort();
    void installPrefixReachesTheDesktopEntry();

private:
    QTemporaryDir work_;
    QString deb_;
    QString root_; // the package unpacked
    QMap<QString, QString> desktop_;
};

void TestInstall::initTestCase() {
    QVERIFY(work_.isValid());
    const QString out = work_.filePath("package");
    const Run cpack =
        run(CPACK_COMMAND, {"-G", "DEB", "-B", out, "--config", BUILD_DIR "/CPackConfig.cmake"},
            BUILD_DIR, QProcessEnvironment::systemEnvironment(), 600000);
    QVERIFY2(cpack.status == 0, cpack.out + cpack.err);
    const QStringList debs = QDir(out).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    deb_ = out + "/" + debs.first();
    root_ = work_.filePath("root");
    const Run unpack = run(DPKG_DEB, {"-x", deb_, root_});
    QVERIFY2(unpack.status == 0, unpack.err);
    desktop_ = desktopEntry(root_ + "/usr/share/applications/lptpanel.desktop");
}

void TestInstall::installedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("source"); // the file it must equal, if any
    QTest::newRow("lptpanel") << "usr/bin/lptpanel" << true << QString();
    QTest::newRow("lptport") << "usr/bin/lptport" << true << QString();
    for (const QString& picture : kPictures)
        QTest::newRow(qPrintable(picture))
            << "usr/share/lptpanel/" + picture << false << ASSETS_DIR "/" + picture;
    QTest::newRow("icon") << "usr/share/icons/hicolor/32x32/apps/lptpanel.png" << false
                          << ASSETS_DIR "/icon.png";
    QTest::newRow("desktop entry")
        << "usr/share/applications/lptpanel.desktop" << false << QString();
    QTest::newRow("lptport man page") << "usr/share/man/man1/lptport.1.gz" << false << QString();
    QTest::newRow("lptpanel man page") << "usr/share/man/man1/lptpanel.1.gz" << false << QString();
}

void TestInstall::installedFiles() {
    QFETCH(QString, file);
    QFETCH(bool, executable);
    QFETCH(QString, source);
    const QFileInfo info(root_ + "/" + file);
    QVERIFY2(info.isFile(), qPrintable(file));
    QCOMPARE(info.isExecutable(), executable);
    QVERIFY(info.permissions() & QFileDevice::ReadOther);
    if (!source.isEmpty()) {
        QFile installed(info.filePath()), original(source);
        QVERIFY(installed.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QVERIFY2(installed.readAll() == original.readAll(), qPrintable(file));
    }
    if (file.endsWith(".png"))
        QCOMPARE(QImageReader(info.filePath()).size(), QSize(32, 32));
}

void TestInstall::dependsOnTheQtRuntime() {
    const Run depends = run(DPKG_DEB, {"-f", deb_, "Depends"});
    QCOMPARE(depends.status, 0);
    for (const char* package : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libc6"})
        QVERIFY2(depends.out.contains(package), depends.out.constData());
}

void TestInstall::manPages_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("mentions");
    QTest::newRow("lptport") << "lptport"
                             << QStringList{".B watch",      ".B selftest", "\n.B PARPORT\n",
                                            "/dev/parportN", "sim:PATH",    ".SH EXIT STATUS",
                                            ".B 0\n",        ".B 1\n",      ".B 2\n"};
    QTest::newRow("lptpanel") << "lptpanel"
                              << QStringList{"\n.B PARPORT\n", "/dev/parportN", "sim:PATH",
                                             ".I /usr/share/lptpanel\n"};
}

void TestInstall::manPages() {
    QFETCH(QString, page);
    QFETCH(QStringList, mentions);
    const Run text = run("gzip", {"-dc", root_ + "/usr/share/man/man1/" + page + ".1.gz"});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.startsWith(".TH " + page.toUpper().toLatin1() + " 1 "),
             text.out.left(80).constData());
    QVERIFY2(!text.out.contains('@'), "a placeholder was not filled in");
    for (const QString& m : mentions)
        QVERIFY2(text.out.contains(m.toUtf8()), qPrintable(m));
    // groff reads it without a warning (tables included).
    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        return;
    QProcess p;
    p.start(groff, {"-man", "-t", "-ww", "-z", "-Tutf8"});
    QVERIFY(p.waitForStarted());
    p.write(text.out);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardError(), QByteArray());
}

void TestInstall::desktopEntryStartsThePanelAmongItsPictures() {
    QCOMPARE(desktop_.value("Type"), QString("Application"));
    QCOMPARE(desktop_.value("Exec"), QString("/usr/bin/lptpanel"));
    QCOMPARE(desktop_.value("Path"), QString("/usr/share/lptpanel"));
    QCOMPARE(desktop_.value("Icon"), QString("lptpanel"));
    QCOMPARE(desktop_.value("Terminal"), QString("false"));
    for (const QString& picture : kPictures)
        QVERIFY2(QFile::exists(root_ + desktop_.value("Path") + "/" + picture),
                 qPrintable(picture));
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validate.isEmpty()) {
        const Run v = run(validate, {root_ + "/usr/share/applications/lptpanel.desktop"});
        QVERIFY2(v.status == 0 && v.out.isEmpty(), v.out + v.err);
    }
}

void TestInstall::installedPanelDrivesThePort() {
    QTemporaryDir portDir;
    QVERIFY(portDir.isValid());
    ::chmod(portDir.path().toLocal8Bit().constData(), 0700);
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("PARPORT", "sim:" + portDir.filePath("port"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    auto lptport = [&](const QString& command) {
        return run(root_ + "/usr/bin/lptport", {"sim", command}, {}, env);
    };

    // Started as the desktop starts it: its program, in its Path.
    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.setWorkingDirectory(root_ + desktop_.value("Path"));
    panel.setProgram(root_ + desktop_.value("Exec"));

    // The panel writes without pause and the port keeps its last 65,536 writes
    // only: the panel is held still (SIGSTOP) while the port is read, first as
    // soon as it names the port it opened, just before its first write.
    bool held = false;
    auto hold = [&] {
        if (!held && ::kill(static_cast<pid_t>(panel.processId()), SIGSTOP) == 0)
            held = QTest::qWaitFor([&] { return processState(panel.processId()) == 'T'; }, 5000);
        return held;
    };
    auto release = [&] {
        if (held)
            ::kill(static_cast<pid_t>(panel.processId()), SIGCONT);
        held = false;
    };
    QByteArray panelErr;
    connect(&panel, &QProcess::readyReadStandardError, this, [&] {
        panelErr += panel.readAllStandardError();
        if (panelErr.contains("lptpanel: port: "))
            hold();
    });
    panel.start();
    QVERIFY(panel.waitForStarted());

    // Ready once the first pass of the monitor loop has read the status register.
    QByteArray writes;
    const bool started = QTest::qWaitFor(
        [&] {
            if (panel.state() != QProcess::Running || !hold())
                return false;
            const Run reads = lptport("reads");
            if (reads.status == 0 && reads.out.trimmed().toInt() >= 1) {
                writes = lptport("writes").out;
                return true;
            }
            release();
            return false;
        },
        60000);
    QVERIFY2(started, panelErr.constData());

    const QList<QByteArray> lines = writes.split('\n');
    const QList<QByteArray> expected{"data 0",      "control 3", "data 255",
                                     "control 255", "data 0",    "control 11"};
    QVERIFY2(lines.size() > expected.size(), writes.left(200).constData());
    QCOMPARE(lines.mid(0, expected.size()), expected);
    qInfo("the port held %lld writes when it was read", static_cast<long long>(lines.size() - 1));

    ::kill(static_cast<pid_t>(panel.processId()), SIGTERM);
    release();
    QVERIFY(panel.waitForFinished(10000));
}

void TestInstall::installPrefixReachesTheDesktopEntry() {
    // Installed under another prefix, the entry and the man page name that prefix.
    const QString prefix = work_.filePath("opt/lptpanel");
    const Run install = run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix});
    QVERIFY2(install.status == 0, install.out + install.err);
    const auto entry = desktopEntry(prefix + "/share/applications/lptpanel.desktop");
    QCOMPARE(entry.value("Path"), prefix + "/share/lptpanel");
    QCOMPARE(entry.value("Exec"), prefix + "/bin/lptpanel");
    for (const QString& picture : kPictures)
        QVERIFY2(QFile::exists(prefix + "/share/lptpanel/" + picture), qPrintable(picture));
    const Run page = run("gzip", {"-dc", prefix + "/share/man/man1/lptpanel.1.gz"});
    QVERIFY(page.out.contains(".I " + prefix.toUtf8() + "/share/lptpanel\n"));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
