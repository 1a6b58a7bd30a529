// The pictures: the committed files are exactly what drawpictures draws now,
// each run-time picture reads back in its format and size, the GIF encoder
// round-trips through Qt's decoder (clear codes included), and the BMP and
// icon files carry the headers and colours the panel and Windows expect.
#include "gifwriter.h"
#include "pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <random>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString committed(const QString& name) {
    return QStringLiteral(ASSETS_DIR "/") + name;
}

// Compares colours only: the files come back in several pixel formats.
QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

int count(const QImage& image, const std::function<bool(int x, int y, QRgb c)>& counts) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += counts(x, y, image.pixel(x, y));
    return n;
}

// Pixels of `colours` colours in a random order that is the same on every
// standard library.
QImage noise(int w, int h, int colours, unsigned seed) {
    std::mt19937 random(seed);
    QImage image(w, h, QImage::Format_RGB32);
    for (auto *p = reinterpret_cast<QRgb*>(image.bits()), *end = p + w * h; p != end; ++p)
        *p = 0xFF000000u | unsigned(random() % unsigned(colours)) << 8;
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

    void committedIsWhatTheToolDraws_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp",
                                 "icon.png", "lptpanel.ico"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void committedIsWhatTheToolDraws() {
        QFETCH(QString, name);
        const QByteArray fresh = contents(drawn_.filePath(name));
        QVERIFY2(!fresh.isEmpty() && fresh == contents(committed(name)),
                 "assets/ is stale: run drawpictures assets/ and commit the result");
    }

    // Each run-time picture fills its 375-twip place and is told apart from
    // its other state at a glance.
    void runtimePicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("other");
        QTest::newRow("switch on") << "swtchon.gif"
                                   << "swtchoff.gif";
        QTest::newRow("switch off") << "swtchoff.gif"
                                    << "swtchon.gif";
        QTest::newRow("lamp low") << "ledgon.bmp"
                                  << "ledron.bmp";
        QTest::newRow("lamp high") << "ledron.bmp"
                                   << "ledgon.bmp";
    }
    void runtimePicture() {
        QFETCH(QString, name);
        QFETCH(QString, other);
        QImageReader reader(committed(name));
        QCOMPARE(reader.format(), name.section('.', 1).toLatin1());
        QCOMPARE(reader.size(), QSize(25, 25));
        const QImage image = rgb(reader.read()), otherImage = rgb(QImage(committed(other)));
        const int differing =
            count(image, [&](int x, int y, QRgb c) { return c != otherImage.pixel(x, y); });
        QVERIFY2(differing >= 625 / 6, qPrintable(QString::number(differing)));
    }

    void gifRoundTrip_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<bool>("tableRefilled"); // clear codes in mid-stream
        QTest::newRow("one pixel") << noise(1, 1, 1, 0) << false;
        QTest::newRow("noise, 256 colours") << noise(200, 200, 256, 1) << true;
    }
    void gifRoundTrip() {
        QFETCH(QImage, image);
        QFETCH(bool, tableRefilled);
        GifStats stats;
        QByteArray gif = encodeGif(image, &stats);
        QCOMPARE(stats.clearCodes > 1, tableRefilled);
        QBuffer buffer(&gif);
        QImageReader reader(&buffer);
        QCOMPARE(rgb(reader.read()), rgb(image));
    }

    // The BMP a 24-bit Windows reader expects: "BM", the file's size, the
    // pixels right after the 54-byte header, BITMAPINFOHEADER (40), 25 x 25
    // bottom-up, one plane, 24 bits a pixel, uncompressed; rows of 75 bytes
    // padded to 76.
    void bmpHeader() {
        const QByteArray bmp = contents(committed(QStringLiteral("ledgon.bmp")));
        QCOMPARE(bmp.size(), 54 + 76 * 25);
        QCOMPARE(bmp.left(34).toHex(' '),
                 QByteArray("42 4d a2 07 00 00 00 00 00 00 36 00 00 00 28 00 00 00 19 00 00 00 19 "
                            "00 00 00 01 00 18 00 00 00 00 00"));
    }

    // PNG and ICO: the same 32 x 32 opaque picture in the 16 VGA colours.
    void icon() {
        const QImage png(committed(QStringLiteral("icon.png")));
        QByteArray ico = contents(committed(QStringLiteral("lptpanel.ico")));
        QCOMPARE(ico.mid(6, 3).toHex(' '), QByteArray("20 20 10")); // 32 x 32, 16 colours
        QBuffer buffer(&ico);
        const QImage fromIco = QImageReader(&buffer, "ico").read();
        QCOMPARE(png.size(), QSize(32, 32));
        QCOMPARE(rgb(fromIco), rgb(png));
        // Opaque VGA colours only: the palette's entries carry full alpha.
        const QList<QRgb> vga(kVgaPalette.begin(), kVgaPalette.end());
        for (const QImage& image : {png, fromIco})
            QCOMPARE(count(image, [&](int, int, QRgb c) { return !vga.contains(c); }), 0);
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
