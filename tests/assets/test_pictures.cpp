// The pictures: the committed files are exactly what drawpictures draws now,
// each reads back in its format with the drawn pixels, the GIF encoder
// round-trips through Qt's decoder (clear codes included), and the BMP, PNG
// and ICO files carry the headers and colours the panel and Windows expect.
#include "gifwriter.h"
#include "pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
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

// What a strict decoder finds wrong with the LZW codes of a GIF from
// encodeGif, or "": Qt's reader stops once the image is full, so it would not
// notice a fault at the very end of the stream.
QString codeStreamFault(const QByteArray& gif, int pixels) {
    int at = 13 + (3 << ((quint8(gif[10]) & 7) + 1)) + 10; // past the colour table, descriptor
    const int minCodeSize = quint8(gif[at++]), clear = 1 << minCodeSize;
    QByteArray data;
    for (int size; (size = quint8(gif[at])) != 0; at += 1 + size)
        data += gif.mid(at + 1, size);
    std::vector<int> length(4096, 1); // pixels each code stands for
    int width = 0, next = 0, previous = -1, decoded = 0;
    for (qint64 bit = 0; bit + width <= data.size() * 8;) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= (quint8(data[int(bit / 8)]) >> (bit % 8) & 1) << i;
        if (width == 0 || code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
        } else if (code == clear + 1) {
            const bool whole = (bit + 7) / 8 == data.size() && decoded == pixels;
            return whole ? QString() : QStringLiteral("%1 pixels before the end").arg(decoded);
        } else if (code > next) {
            return QStringLiteral("code %1 beyond the table").arg(code);
        } else {
            if (previous >= 0 && next < 4096) {
                length[std::size_t(next)] = length[std::size_t(previous)] + 1;
                if (++next == 1 << width && width < 12)
                    ++width;
            }
            decoded += length[std::size_t(code)];
            previous = code;
        }
    }
    return QStringLiteral("no end code");
}

quint32 le(const QByteArray& b, int at, int bytes = 4) {
    return qFromLittleEndian<quint32>(b.mid(at, bytes).leftJustified(4, '\0').constData());
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

    // Each run-time picture fills its 375-twip place, shows the drawing, and is
    // told apart from its other state at a glance: green marks the knob when
    // on and the lamp when low.
    void runtimePicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QImage>("drawing");
        QTest::addColumn<QString>("other");
        QTest::addColumn<int>("green"); // at least this many green pixels; 0: none
        QTest::newRow("switch on") << "swtchon.gif" << drawSwitch(true) << "swtchoff.gif" << 15;
        QTest::newRow("switch off") << "swtchoff.gif" << drawSwitch(false) << "swtchon.gif" << 0;
        QTest::newRow("lamp low") << "ledgon.bmp" << drawLamp(false) << "ledron.bmp" << 100;
        QTest::newRow("lamp high") << "ledron.bmp" << drawLamp(true) << "ledgon.bmp" << 0;
    }
    void runtimePicture() {
        QFETCH(QString, name);
        QFETCH(QImage, drawing);
        QFETCH(QString, other);
        QFETCH(int, green);
        QImageReader reader(committed(name));
        QCOMPARE(reader.format(), name.section('.', 1).toLatin1());
        QCOMPARE(reader.size(), QSize(25, 25));
        const QImage image = rgb(reader.read());
        QCOMPARE(image, rgb(drawing));
        const QImage otherImage = rgb(QImage(committed(other)));
        const int differing =
            count(image, [&](int x, int y, QRgb c) { return c != otherImage.pixel(x, y); });
        QVERIFY2(differing >= 625 / 6, qPrintable(QString::number(differing)));
        const int greens = count(image, [](int, int, QRgb c) {
            return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40;
        });
        QVERIFY2(green ? greens >= green : greens == 0, qPrintable(QString::number(greens)));
    }

    void gifRoundTrip_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<bool>("tableRefilled"); // clear codes in mid-stream
        QTest::newRow("one pixel") << noise(1, 1, 1, 0) << false;
        QTest::newRow("noise, 256 colours") << noise(200, 200, 256, 1) << true;
        QTest::newRow("noise, 4 colours") << noise(200, 200, 4, 2) << true;
    }
    void gifRoundTrip() {
        QFETCH(QImage, image);
        QFETCH(bool, tableRefilled);
        GifStats stats;
        QByteArray gif = encodeGif(image, &stats);
        QCOMPARE(stats.clearCodes > 1, tableRefilled);
        QCOMPARE(codeStreamFault(gif, image.width() * image.height()), QString());
        QBuffer buffer(&gif);
        QImageReader reader(&buffer);
        QCOMPARE(reader.format(), QByteArray("gif"));
        QCOMPARE(rgb(reader.read()), rgb(image));
    }

    // Each length of a row ends the code stream at another table size, some
    // just where the decoder widens its codes.
    void gifCodeStreamIsStrict() {
        for (int colours : {2, 5, 17, 100}) {
            const QImage row = noise(400, 1, colours, unsigned(colours));
            for (int w = 1; w <= row.width(); ++w) {
                const QString fault = codeStreamFault(encodeGif(row.copy(0, 0, w, 1)), w);
                QVERIFY2(fault.isEmpty(),
                         qPrintable(
                             QString("%1 colours, %2 pixels: %3").arg(colours).arg(w).arg(fault)));
            }
        }
    }

    void gifRefusesWhatItCannotHold() {
        QVERIFY(encodeGif(noise(100, 100, 300, 3)).isEmpty()); // more than 256 colours
        QVERIFY(encodeGif(QImage()).isEmpty());
    }

    void bmpHeader() {
        const QByteArray bmp = contents(committed(QStringLiteral("ledgon.bmp")));
        QCOMPARE(bmp.left(2), QByteArray("BM"));
        QCOMPARE(le(bmp, 2), quint32(bmp.size()));
        QCOMPARE(bmp.size(), 54 + 76 * 25); // rows of 75 bytes padded to 76
        QCOMPARE(le(bmp, 10), 54u);         // the pixels follow the header
        QCOMPARE(le(bmp, 14), 40u);         // BITMAPINFOHEADER
        QCOMPARE(le(bmp, 18), 25u);
        QCOMPARE(le(bmp, 22), 25u);            // > 0: bottom-up
        QCOMPARE(le(bmp, 26), 1u | 24u << 16); // one plane, 24 bits a pixel
        QCOMPARE(le(bmp, 30), 0u);             // uncompressed
    }

    // PNG and ICO: the same 32 x 32 opaque picture in the VGA palette, framed
    // by a blue line outside and a cyan line inside.
    void icon() {
        QImageReader pngReader(committed(QStringLiteral("icon.png")));
        QCOMPARE(pngReader.format(), QByteArray("png"));
        const QImage png = pngReader.read();
        QByteArray ico = contents(committed(QStringLiteral("lptpanel.ico")));
        QCOMPARE(le(ico, 2), 1u | 1u << 16);              // an icon, of one image
        QCOMPARE(le(ico, 6), 32u | 32u << 8 | 16u << 16); // 32 x 32, 16 colours
        QCOMPARE(le(ico, 12, 2), 4u);                     // 4 bits a pixel
        for (int i = 0; i < 16; ++i)
            QCOMPARE(le(ico, 22 + 40 + 4 * i) | 0xFF000000u, kVgaPalette[std::size_t(i)]);
        QBuffer buffer(&ico);
        const QImage fromIco = QImageReader(&buffer, "ico").read();
        QCOMPARE(rgb(fromIco), rgb(png));

        // Opaque VGA colours only: the palette's entries carry full alpha.
        const QList<QRgb> vga(kVgaPalette.begin(), kVgaPalette.end());
        for (const QImage& image : {png, fromIco})
            QCOMPARE(count(image, [&](int, int, QRgb c) { return !vga.contains(c); }), 0);
        QCOMPARE(png.size(), QSize(32, 32));
        QCOMPARE(count(png,
                       [](int x, int y, QRgb c) {
                           const int ring = std::min({x, y, 31 - x, 31 - y});
                           return ring < 2 && c != kVgaPalette[ring == 0 ? VgaBlue : VgaCyan];
                       }),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
