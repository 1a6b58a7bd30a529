// SPDX-License-Identifier: MIT
// The Debian package as a user gets it: the files where they belong, the
// package checkers' verdicts, the command lptpanel typed in another folder,
// and the rendered manual whose links all resolve.
#include "process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using lpt::test::run;
constexpr int kTimeoutMs = 600000; // lintian takes minutes on a slow machine

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir work_;
    QString deb_;
    QString root_; // the package unpacked
    QString metainfo_;

private slots:
    void initTestCase() {
        const QString out = work_.filePath("package");
        const auto cpack =
            run(CPACK_COMMAND, {"-G", "DEB", "-B", out, "--config", BUILD_DIR "/CPackConfig.cmake"},
                {}, BUILD_DIR, kTimeoutMs);
        QVERIFY2(cpack.status == 0, qPrintable(cpack.out + cpack.err));
        deb_ = QDir(out).entryInfoList({"*.deb"}).value(0).filePath();
        root_ = work_.filePath("root");
        QCOMPARE(run(DPKG_DEB, {"-x", deb_, root_}).status, 0);
        metainfo_ =
            QDir(root_ + "/usr/share/metainfo").entryInfoList({"*.xml"}).value(0).filePath();
    }

    // In place, readable, and only the programs executable; the desktop entry
    // starts the command a user types. (The library's header, pkg-config file
    // and CMake package are built against by tests/lib/run.sh, its soname
    // loaded by pythonPackageImports.)
    void installedFiles() {
        // The pictures, the manual's pages and the package's changelog are
        // proven by the panel run, manualLinks and lintian.
        for (const char* file :
             {"bin/lptpanel", "bin/lptport", "libexec/lptpanel/lptpanel",
              "share/applications/lptpanel.desktop", "share/man/man1/lptport.1.gz",
              "share/man/man1/lptpanel.1.gz", "share/doc/lptpanel/copyright",
              "share/icons/hicolor/32x32/apps/lptpanel.png",
              "share/bash-completion/completions/lptport"}) {
            const QFileInfo info(root_ + "/usr/" + file);
            QVERIFY2(info.isFile() && (info.permissions() & QFileDevice::ReadOther), file);
            QCOMPARE(info.isExecutable(), QByteArray(file).contains("/lptpanel/lptpanel") ||
                                              QByteArray(file).startsWith("bin/"));
        }
        // The software centre shows a screenshot the project carries.
        QFile metainfo(metainfo_);
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const auto image =
            QRegularExpression("<image>[^<]*/(docs/[^<]+)</image>").match(metainfo.readAll());
        QVERIFY(image.hasMatch());
        QVERIFY2(QFileInfo(QString(SOURCE_DIR "/") + image.captured(1)).isFile(),
                 qPrintable(image.captured(1)));
        QSettings entry(root_ + "/usr/share/applications/lptpanel.desktop", QSettings::IniFormat);
        entry.beginGroup("Desktop Entry");
        QCOMPARE(entry.value("Exec").toString(), QString("/usr/bin/lptpanel"));
    }

    // lptpanel typed in a folder of the user's (the launcher found through a
    // link, as PATH and /bin may reach it): the panel finds its pictures and
    // runs its monitor loop on the simulated port in that folder, named by a
    // relative path. It is ended once the log shows passes after the start-up.
    void commandFromAnotherFolder() {
        const QString home = work_.filePath("home");
        QVERIFY(QDir().mkpath(home + "/bin"));
        QVERIFY(QFile::link(root_ + "/usr/bin/lptpanel", home + "/bin/lptpanel"));
        QProcess panel;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("PARPORT", "sim:port");
        env.insert("XDG_RUNTIME_DIR", home);
        panel.setProcessEnvironment(env);
        panel.setWorkingDirectory(home);
        panel.start(home + "/bin/lptpanel", {});
        const QString port = "sim:" + home + "/port";
        const QString lptport = root_ + "/usr/bin/lptport";
        const auto writes = [&] {
            return run(lptport, {"sim", "writes", "--count"}, port).out.trimmed().toInt();
        };
        QDeadlineTimer deadline(30000);
        // Six start-up writes, then two a pass.
        while (panel.state() != QProcess::NotRunning && !deadline.hasExpired() &&
               !(QFileInfo(home + "/port").isFile() && writes() > 10))
            QTest::qWait(20);
        const bool running = panel.state() == QProcess::Running;
        panel.kill();
        panel.waitForFinished();
        QVERIFY2(running && writes() > 10, panel.readAllStandardError().constData());
    }

    // The manual's pages as installed: every relative link and picture resolves.
    void manualLinks() {
        const auto check = run(CMAKE_COMMAND, {"-DMANUAL=" + root_ + "/usr/share/doc/lptpanel",
                                               "-P", SOURCE_DIR "/tests/docs/links.cmake"});
        QVERIFY2(check.status == 0, qPrintable(check.out + check.err));
    }

    // Debian's python3 imports the Python package from where the package put
    // it, and the package finds the library by its soname.
    void pythonPackageImports() {
        if (!QFileInfo::exists("/usr/bin/python3"))
            QSKIP("Debian's python3 is not installed");
        QDirIterator libs(root_ + "/usr/lib", {"liblptport.so.0"}, QDir::Files | QDir::System,
                          QDirIterator::Subdirectories);
        QVERIFY(libs.hasNext());
        const QString lib = QFileInfo(libs.next()).path(),
                      packages = root_ + "/usr/lib/python3/dist-packages";
        const auto python = run("/usr/bin/env",
                                {"-u", "LPTPORT_LIBRARY", "PYTHONPATH=" + packages,
                                 "LD_LIBRARY_PATH=" + lib, "/usr/bin/python3", "-c",
                                 "import lptport; p = lptport.ParallelPort(); p.setData(5); "
                                 "print(p.readData(), lptport.__file__)"},
                                "sim:" + work_.filePath("port"));
        QCOMPARE(python.out, "5 " + packages + "/lptport/__init__.py\n");
    }

    // Debian's package checker and the AppStream and desktop entry validators
    // find no error and no warning (informational notes may stay). A checker
    // that is not installed skips its row: scripts/setup-debian test installs
    // them.
    void checkersAccept_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("lintian") << "lintian"
                                 << QStringList{"--allow-root", "--fail-on", "error,warning", deb_};
        QTest::newRow("appstreamcli")
            << "appstreamcli" << QStringList{"validate", "--no-net", metainfo_};
        QTest::newRow("desktop-file-validate")
            << "desktop-file-validate"
            << QStringList{root_ + "/usr/share/applications/lptpanel.desktop"};
    }

    void checkersAccept() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            QSKIP(qPrintable(program + " is not installed"));
        const auto checker = run(path, args, {}, {}, kTimeoutMs);
        // desktop-file-validate ends with status 0 even after a warning.
        const bool complaint =
            QRegularExpression("(^|\\n)[EW]: |: (error|warning): ").match(checker.out).hasMatch();
        QVERIFY2(checker.status == 0 && !complaint, qPrintable(checker.out + checker.err));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
