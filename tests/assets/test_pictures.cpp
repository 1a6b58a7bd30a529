// The pictures: each committed file has its format, size and fixed colour
// depth, and decodes to exactly the pixels that drawpictures draws now; the
// GIF writer keeps up to 256 colours exactly and refuses more.
#include "imagefiles.h"
#include "pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

namespace {

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage noise(int colours) {
    std::mt19937 random(1);
    QImage image(40, 40, QImage::Format_RGB32);
    for (int i = 0; i < 40 * 40; ++i)
        image.setPixel(i % 40, i / 40, 0xFF000000u | (i < colours ? i : random() % colours) << 4);
    return image;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT
    QTemporaryDir drawn_;

private slots:
    void initTestCase() {
        QProcess tool;
        tool.start(QStringLiteral(DRAWPICTURES_BIN), {drawn_.path()});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    }

    // depthAt/depth: the header byte that fixes the colour depth (BMP: 24
    // bits a pixel, ICO: 4 bits, PNG: palette colour type); -1 where free.
    void committed_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("depthAt");
        QTest::addColumn<int>("depth");
        QTest::newRow("switch on") << "swtchon.gif" << 25 << -1 << 0;
        QTest::newRow("switch off") << "swtchoff.gif" << 25 << -1 << 0;
        QTest::newRow("lamp low") << "ledgon.bmp" << 25 << 28 << 24;
        QTest::newRow("lamp high") << "ledron.bmp" << 25 << 28 << 24;
        QTest::newRow("icon") << "icon.png" << 32 << 25 << 3;
        QTest::newRow("Windows icon") << "lptpanel.ico" << 32 << 12 << 4;
    }
    void committed() {
        QFETCH(QString, name);
        QFETCH(int, side);
        QFETCH(int, depthAt);
        QFETCH(int, depth);
        QFile file(QStringLiteral(ASSETS_DIR "/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (depthAt >= 0)
            QCOMPARE(int(bytes.at(depthAt)), depth);
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer);
        QCOMPARE(reader.format(), name.section('.', 1).toLatin1());
        QCOMPARE(reader.size(), QSize(side, side));
        const QImage image = rgb(reader.read());
        QVERIFY2(image == rgb(QImage(drawn_.filePath(name))),
                 "assets/ is stale: run drawpictures assets/ and commit the result");
        if (side == kIconSize) { // opaque VGA colours only
            const QList<QRgb> vga(kVgaPalette.begin(), kVgaPalette.end());
            for (int i = 0; i < side * side; ++i)
                QVERIFY(vga.contains(image.pixel(i % side, i / side)));
        }
    }

    void gifColours() {
        QByteArray gif = encodeGif(noise(256));
        QBuffer buffer(&gif);
        QCOMPARE(rgb(QImageReader(&buffer, "gif").read()), noise(256));
        QVERIFY(encodeGif(noise(257)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
