// SPDX-License-Identifier: MIT
// The pictures: each committed file has its format, size and fixed colour
// depth, and decodes to exactly the pixels that drawpictures and
// drawconnector draw now.
#include "process.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

class TestPictures : public QObject {
    Q_OBJECT
    QTemporaryDir drawn_;

private slots:
    void initTestCase() {
        for (auto [program, out] : {std::pair(DRAWPICTURES_BIN, drawn_.path()),
                                    {DRAWCONNECTOR_BIN, drawn_.filePath("connector.bmp")}}) {
            const auto tool = lpt::test::run(QString::fromUtf8(program), {out});
            QVERIFY2(tool.status == 0, qPrintable(tool.err));
        }
    }

    // depthAt/depth: the header byte that fixes the colour depth (BMP: 24
    // bits a pixel, ICO: 4 bits, PNG: palette colour type); -1 where free.
    void committed_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("depthAt");
        QTest::addColumn<int>("depth");
        const QSize place(25, 25), icon(32, 32);
        QTest::newRow("switch on") << "swtchon.gif" << place << -1 << 0;
        QTest::newRow("switch off") << "swtchoff.gif" << place << -1 << 0;
        QTest::newRow("lamp low") << "ledgon.bmp" << place << 28 << 24;
        QTest::newRow("lamp high") << "ledron.bmp" << place << 28 << 24;
        QTest::newRow("icon") << "icon.png" << icon << 25 << 3;
        QTest::newRow("Windows icon") << "lptpanel.ico" << icon << 12 << 4;
        QTest::newRow("connector") << "connector.bmp" << QSize(646, 375) << 28 << 24;
    }
    void committed() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(int, depthAt);
        QFETCH(int, depth);
        QFile file(QStringLiteral(ASSETS_DIR "/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (depthAt >= 0)
            QCOMPARE(int(file.peek(depthAt + 1).back()), depth);
        QImageReader reader(&file);
        QCOMPARE(reader.format(), name.section('.', 1).toLatin1());
        QCOMPARE(reader.size(), size);
        const auto rgb = QImage::Format_RGB32;
        QVERIFY2(reader.read().convertToFormat(rgb) ==
                     QImage(drawn_.filePath(name)).convertToFormat(rgb),
                 "assets/ is stale: redraw it with drawpictures or drawconnector and commit it");
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
