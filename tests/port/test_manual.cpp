// SPDX-License-Identifier: MIT
// The manual's pages that messages name: each page of the port layer's table,
// and each page any program's source names, is in docs/ with the heading its
// anchor names; and a page is named as the user has it: Markdown in a source
// or build tree, HTML beside the Windows program or in an install prefix.
#include "port/manual.h"

#include <QtTest>

using namespace lpt;

// A heading's anchor as the manual's renderers make it: lower case, blanks
// as hyphens, other punctuation dropped ("The DLL's driver": the-dlls-driver).
static QString anchorOf(QString heading) {
    QString anchor;
    for (const QChar c : heading.remove(QRegularExpression("^#+ ")).toLower())
        if (c.isLetterOrNumber() || c == '-' || c == '_')
            anchor += c;
        else if (c == ' ')
            anchor += '-';
    return anchor;
}

// Why page ("docs/FILE.md#anchor") is not in the manual; "" when it is.
static QString missing(const QString& page) {
    QFile file(QString(LPTPANEL_SOURCE_DIR "/") + page.section('#', 0, 0));
    if (!file.open(QIODevice::ReadOnly))
        return page + ": no such page";
    const QString anchor = page.section('#', 1);
    if (anchor.isEmpty())
        return {};
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
        if (line.startsWith('#') && anchorOf(line) == anchor)
            return {};
    return page + ": no such heading";
}

class TestManual : public QObject {
    Q_OBJECT
private slots:
    void namedPagesExist() {
        QStringList named;
        for (const char* page : kManualPages)
            named << page;
        // Messages written in the programs' own sources too.
        const QRegularExpression reference(R"(docs/[a-z-]+\.md(#[a-z0-9_-]+)?)");
        for (const char* folder : {"port", "lptport", "panel", "app", "lib", "python"}) {
            QDirIterator it(QString(LPTPANEL_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.py"},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile source(it.next());
                QVERIFY(source.open(QIODevice::ReadOnly));
                auto found = reference.globalMatch(QString::fromUtf8(source.readAll()));
                while (found.hasNext())
                    named << found.next().captured();
            }
        }
        QVERIFY(named.contains(kPageDllDriver));
        QStringList problems;
        for (const QString& page : named)
            if (const QString why = missing(page); !why.isEmpty())
                problems << why;
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    }

    void pageAsTheUserHasIt_data() {
        QTest::addColumn<QString>("folder"); // the program's folder, in the prefix
        QTest::addColumn<QString>("index");  // the manual's index, relative to the program's folder
        QTest::addColumn<QString>("expected");
        QTest::newRow("source or build tree") << "bin"
                                              << ""
                                              << "docs/windows.md#the-dlls-driver";
        QTest::newRow("Windows zip") << "bin"
                                     << "docs/index.html"
                                     << "docs\\windows.html#the-dlls-driver";
        QTest::newRow("panel installed")
            << "libexec/lptpanel"
            << "../../share/doc/lptpanel/index.html"
            << "PREFIX/share/doc/lptpanel/windows.html#the-dlls-driver";
    }
    void pageAsTheUserHasIt() {
        QFETCH(QString, folder);
        QFETCH(QString, index);
        QFETCH(QString, expected);
        QTemporaryDir prefix;
        const QString bin = prefix.filePath(folder);
        QVERIFY(QDir().mkpath(bin));
        if (!index.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(bin + "/" + index).path()));
            QFile file(bin + "/" + index);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(QString::fromStdString(manualPage(kPageDllDriver, bin.toStdString())),
                 expected.replace("PREFIX", prefix.path()));
    }
};

QTEST_GUILESS_MAIN(TestManual)
#include "test_manual.moc"
