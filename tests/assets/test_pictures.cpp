// The pictures: the committed files are exactly what drawpictures draws now,
// each reads back in its format with the drawn pixels, the GIF encoder
// round-trips through Qt's decoder (clear codes included), and the BMP, PNG
// and ICO files carry the headers and colours the panel and Windows expect.
#include "gifwriter.h"
#include "imagefiles.h"
#include "pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <random>

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void committedFileIsWhatTheToolDraws_data();
    void committedFileIsWhatTheToolDraws();
    void runtimePictureReadsBack_data();
    void runtimePictureReadsBack();
    void pairsDifferPlainly_data();
    void pairsDifferPlainly();
    void coloursTellTheStatesApart();
    void gifRoundTrip_data();
    void gifRoundTrip();
    void gifCodeStreamIsStrict();
    void gifRefusesMoreThan256Colours();
    void bmpHeaderAndRows_data();
    void bmpHeaderAndRows();
    void iconColoursAndFrame();
    void iconSmallWordAboveLargeWord();
    void icoMatchesPng();

private:
    QTemporaryDir drawn_;
};

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString committed(const QString& name) {
    return QStringLiteral(ASSETS_DIR "/") + name;
}

QImage decode(const QByteArray& bytes, QByteArray* format = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    if (format)
        *format = reader.format();
    return reader.read();
}

// Empty when the two pictures have the same size and colours, else where not.
QString difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) | 0xFF000000u) != (b.pixel(x, y) | 0xFF000000u))
                return QStringLiteral("first difference at (%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return {};
}

int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

QImage noise(int w, int h, int colours, unsigned seed) {
    std::mt19937 random(seed); // the same sequence on every standard library
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int c = int(random() % unsigned(colours));
            image.setPixel(x, y, qRgb(c, 255 - c, (c * 37) & 0xFF));
        }
    return image;
}

quint32 le32(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 |
           quint32(quint8(b[at + 2])) << 16 | quint32(quint8(b[at + 3])) << 24;
}
quint16 le16(const QByteArray& b, int at) {
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}

// Walks the LZW code stream of a one-image GIF the strict way: every code
// within the table, code widths as a decoder grows them, an end code, and
// nothing after it. Qt's reader stops as soon as the image is full, so it would
// not notice a fault at the very end.
struct CodeStream {
    QString problem; // empty when the stream is sound
    int pixels = 0;
    int clearCodes = 0;
};

CodeStream walkCodes(const QByteArray& gif) {
    CodeStream result;
    auto fail = [&](const QString& why) {
        result.problem = why;
        return result;
    };
    int at = 13;
    if (quint8(gif[10]) & 0x80)
        at += 3 << ((quint8(gif[10]) & 7) + 1);
    if (at + 11 > gif.size() || gif[at] != '\x2C')
        return fail(QStringLiteral("no image descriptor where expected"));
    if (quint8(gif[at + 9]) & 0x80)
        return fail(QStringLiteral("unexpected local colour table"));
    at += 10;
    const int minCodeSize = quint8(gif[at++]);
    QByteArray data;
    while (at < gif.size() && gif[at] != '\0') {
        const int length = quint8(gif[at]);
        data += gif.mid(at + 1, length);
        at += 1 + length;
    }
    if (at + 2 != gif.size() || gif[at + 1] != '\x3B')
        return fail(QStringLiteral("no block terminator and trailer after the image data"));

    const int clear = 1 << minCodeSize, end = clear + 1;
    int width = minCodeSize + 1, next = clear + 2, previous = -1;
    std::vector<int> length(4096, 1); // pixels each code stands for
    qint64 bit = 0;
    for (;;) {
        if (bit + width > qint64(data.size()) * 8)
            return fail(QStringLiteral("the data ends without an end code"));
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((quint8(data[int(bit / 8)]) >> (bit % 8)) & 1) << i;
        if (code == clear) {
            ++result.clearCodes;
            width = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end)
            break;
        if (previous < 0) {
            if (code >= clear)
                return fail(QStringLiteral("first code after a clear is not a colour"));
        } else {
            if (code > next || (code == next && next >= 4096))
                return fail(QStringLiteral("code %1 beyond the table (%2)").arg(code).arg(next));
            if (next < 4096) {
                length[std::size_t(next)] = length[std::size_t(previous)] + 1;
                if (++next == (1 << width) && width < 12)
                    ++width;
            }
        }
        result.pixels += length[std::size_t(code)];
        previous = code;
    }
    if ((bit + 7) / 8 != data.size())
        return fail(QStringLiteral("%1 bytes after the end code").arg(data.size() - (bit + 7) / 8));
    return result;
}

} // namespace

void TestPictures::initTestCase() {
    QVERIFY(drawn_.isValid());
    QProcess tool;
    tool.start(QStringLiteral(DRAWPICTURES_BIN), {drawn_.path()});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
}

void TestPictures::committedFileIsWhatTheToolDraws_data() {
    QTest::addColumn<QString>("name");
    for (const char* name :
         {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp", "icon.png", "lptpanel.ico"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestPictures::committedFileIsWhatTheToolDraws() {
    QFETCH(QString, name);
    const QByteArray fresh = contents(drawn_.filePath(name));
    QVERIFY2(!fresh.isEmpty(), "the tool did not write the file");
    QVERIFY2(fresh == contents(committed(name)),
             "assets/ is stale: run drawpictures assets/ and commit the result");
}

void TestPictures::runtimePictureReadsBack_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QImage>("drawing");
    QTest::newRow("switch on") << "swtchon.gif" << QByteArray("gif") << drawSwitch(true);
    QTest::newRow("switch off") << "swtchoff.gif" << QByteArray("gif") << drawSwitch(false);
    QTest::newRow("lamp low") << "ledgon.bmp" << QByteArray("bmp") << drawLamp(false);
    QTest::newRow("lamp high") << "ledron.bmp" << QByteArray("bmp") << drawLamp(true);
}

void TestPictures::runtimePictureReadsBack() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QImage, drawing);
    QImageReader reader(committed(name));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), QSize(25, 25)); // fills its 375 × 375 twip place
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    const QString diff = difference(image, drawing);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestPictures::pairsDifferPlainly_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("switch on and off") << "swtchon.gif"
                                       << "swtchoff.gif";
    QTest::newRow("lamp low and high") << "ledgon.bmp"
                                       << "ledron.bmp";
}

void TestPictures::pairsDifferPlainly() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    const QImage a = QImage(committed(first)).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(committed(second)).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(a.size(), b.size());
    // a sixth of the place or more: told apart at a glance
    QVERIFY2(differingPixels(a, b) >= 625 / 6, qPrintable(QString::number(differingPixels(a, b))));
}

void TestPictures::coloursTellTheStatesApart() {
    auto count = [](const QString& name, auto tinted) {
        const QImage image(committed(name));
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += tinted(image.pixel(x, y));
        return n;
    };
    const auto green = [](QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; };
    const auto red = [](QRgb c) { return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60; };
    const auto lit = [red](QRgb c) { return red(c) && qRed(c) >= 200; };

    QVERIFY(count(QStringLiteral("swtchon.gif"), green) >= 15); // a green knob when on
    QCOMPARE(count(QStringLiteral("swtchoff.gif"), green), 0);  // grey when off
    QVERIFY(count(QStringLiteral("ledron.bmp"), lit) >= 80);    // a lit red lamp
    QVERIFY(count(QStringLiteral("ledgon.bmp"), green) >= 100); // a green lamp,
    QCOMPARE(count(QStringLiteral("ledgon.bmp"), red), 0);      // not red
}

void TestPictures::gifRoundTrip_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("colours");
    QTest::addColumn<bool>("tableRefilled");

    QImage one(1, 1, QImage::Format_RGB32);
    one.fill(qRgb(10, 20, 30));
    QTest::newRow("one pixel") << one << 1 << false;

    QImage stripes(7, 5, QImage::Format_RGB32); // odd sizes, three colours
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            stripes.setPixel(x, y, (x + y) % 3 == 0 ? qRgb(255, 0, 0) : (x % 2 ? 0xFF00FF00 : 0));
    QTest::newRow("stripes 7x5") << stripes << 3 << false;

    QImage all(16, 16, QImage::Format_RGB32); // a full 256-entry table
    for (int i = 0; i < 256; ++i)
        all.setPixel(i % 16, i / 16, qRgb(i, i ^ 0x55, 255 - i));
    QTest::newRow("256 colours") << all << 256 << false;

    QImage flat(300, 300, QImage::Format_RGB32); // long runs: long strings, wide codes
    flat.fill(qRgb(200, 200, 200));
    QTest::newRow("one colour 300x300") << flat << 1 << false;

    QImage line(1000, 1, QImage::Format_RGB32);
    for (int x = 0; x < 1000; ++x)
        line.setPixel(x, 0, (x / 7) % 2 ? 0xFFFFFFFF : 0xFF000000);
    QTest::newRow("line 1000x1") << line << 2 << false;

    QTest::newRow("switch on") << drawSwitch(true) << -1 << false;
    // Noise fills the 4096-code table many times over: clear codes mid-stream.
    QTest::newRow("noise 200x200, 256 colours") << noise(200, 200, 256, 1) << 256 << true;
    QTest::newRow("noise 200x200, 4 colours") << noise(200, 200, 4, 2) << 4 << true;
    QTest::newRow("noise 128x128, 17 colours") << noise(128, 128, 17, 3) << 17 << true;
}

void TestPictures::gifRoundTrip() {
    QFETCH(QImage, image);
    QFETCH(int, colours);
    QFETCH(bool, tableRefilled);
    GifStats stats;
    const QByteArray gif = encodeGif(image, &stats);
    QVERIFY(gif.startsWith("GIF89a"));
    QVERIFY(gif.endsWith('\x3B'));
    if (colours >= 0)
        QCOMPARE(stats.colours, colours);
    QVERIFY(stats.clearCodes >= 1);
    QCOMPARE(stats.clearCodes > 1, tableRefilled);

    const CodeStream codes = walkCodes(gif);
    QVERIFY2(codes.problem.isEmpty(), qPrintable(codes.problem));
    QCOMPARE(codes.pixels, image.width() * image.height());
    QCOMPARE(codes.clearCodes, stats.clearCodes);

    QByteArray format;
    const QImage back = decode(gif, &format);
    QCOMPARE(format, QByteArray("gif"));
    QVERIFY(!back.isNull());
    const QString diff = difference(back, image);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestPictures::gifCodeStreamIsStrict() {
    // Every length of a row ends the code stream at another table size, so
    // some end just where the decoder widens its codes, and some of those with
    // the end code on a byte boundary: a narrow end code then runs out of data.
    for (int colours : {2, 3, 5, 17, 100}) {
        const QImage row = noise(400, 1, colours, unsigned(colours));
        for (int width = 1; width <= row.width(); ++width) {
            const CodeStream codes = walkCodes(encodeGif(row.copy(0, 0, width, 1)));
            QVERIFY2(codes.problem.isEmpty(), qPrintable(QStringLiteral("%1 colours, %2 pixels: %3")
                                                             .arg(colours)
                                                             .arg(width)
                                                             .arg(codes.problem)));
            QCOMPARE(codes.pixels, width);
        }
    }
}

void TestPictures::gifRefusesMoreThan256Colours() {
    QImage image(257, 1, QImage::Format_RGB32);
    for (int x = 0; x < 257; ++x)
        image.setPixel(x, 0, qRgb(x & 0xFF, x >> 8, 7));
    QVERIFY(encodeGif(image).isEmpty());
    image.setPixel(256, 0, image.pixel(0, 0)); // now 256 colours: fits
    QVERIFY(!encodeGif(image).isEmpty());
    QVERIFY(encodeGif(QImage()).isEmpty());
}

void TestPictures::bmpHeaderAndRows_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("drawing");
    QTest::newRow("lamp low") << "ledgon.bmp" << drawLamp(false);
    QTest::newRow("lamp high") << "ledron.bmp" << drawLamp(true);
}

void TestPictures::bmpHeaderAndRows() {
    QFETCH(QString, name);
    QFETCH(QImage, drawing);
    const QByteArray bmp = contents(committed(name));
    const int stride = 76; // 25 pixels of 3 bytes, padded to a multiple of 4
    QCOMPARE(bmp.size(), 54 + stride * 25);
    QVERIFY(bmp.startsWith("BM"));
    QCOMPARE(le32(bmp, 2), quint32(bmp.size()));
    QCOMPARE(le32(bmp, 10), 54u);         // pixels right after the header
    QCOMPARE(le32(bmp, 14), 40u);         // BITMAPINFOHEADER
    QCOMPARE(qint32(le32(bmp, 18)), 25);  // width
    QCOMPARE(qint32(le32(bmp, 22)), 25);  // height > 0: bottom-up
    QCOMPARE(le16(bmp, 26), quint16(1));  // planes
    QCOMPARE(le16(bmp, 28), quint16(24)); // bits a pixel
    QCOMPARE(le32(bmp, 30), 0u);          // uncompressed
    QCOMPARE(le32(bmp, 46), 0u);          // no palette
    for (int row = 0; row < 25; ++row) {  // the first row stored is the bottom one
        const int y = 24 - row;
        for (int x = 0; x < 25; ++x) {
            const int at = 54 + row * stride + 3 * x;
            const QRgb c = drawing.pixel(x, y);
            const QRgb stored = qRgb(quint8(bmp[at + 2]), quint8(bmp[at + 1]), quint8(bmp[at]));
            QVERIFY2(stored == (c | 0xFF000000u),
                     qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
        }
        QCOMPARE(bmp[54 + row * stride + 75], '\0'); // padding
    }
}

void TestPictures::iconColoursAndFrame() {
    QImageReader reader(committed(QStringLiteral("icon.png")));
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage icon = reader.read().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(icon.size(), QSize(32, 32));

    const QSet<QRgb> vga(kVgaPalette.begin(), kVgaPalette.end());
    QHash<QRgb, int> count;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb c = icon.pixel(x, y);
            QCOMPARE(qAlpha(c), 255);
            QVERIFY2(vga.contains(c), qPrintable(QString::number(c, 16)));
            ++count[c];
        }
    QVERIFY(count.size() <= 16);
    const QRgb yellow = kVgaPalette[VgaYellow];
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        QVERIFY(it.key() == yellow || it.value() < count[yellow]);
    QVERIFY(count[yellow] > 32 * 32 / 2);
    QVERIFY(count[kVgaPalette[VgaBlack]] > 100); // the two words

    // The double line: the outermost ring blue, the next ring cyan.
    for (int ring = 0; ring < 2; ++ring) {
        const QRgb colour = kVgaPalette[ring == 0 ? VgaBlue : VgaCyan];
        const int far = 31 - ring;
        for (int i = ring; i <= far; ++i) {
            QCOMPARE(icon.pixel(i, ring), colour);
            QCOMPARE(icon.pixel(i, far), colour);
            QCOMPARE(icon.pixel(ring, i), colour);
            QCOMPARE(icon.pixel(far, i), colour);
        }
    }
}

void TestPictures::iconSmallWordAboveLargeWord() {
    const QImage icon = QImage(committed(QStringLiteral("icon.png")));
    // Rows holding black, grouped into bands separated by rows without any.
    QList<QPair<int, int>> bands;
    for (int y = 0; y < 32; ++y) {
        bool ink = false;
        for (int x = 0; x < 32; ++x)
            ink = ink || (icon.pixel(x, y) | 0xFF000000u) == kVgaPalette[VgaBlack];
        if (!ink)
            continue;
        if (!bands.isEmpty() && bands.last().second == y - 1)
            bands.last().second = y;
        else
            bands.append({y, y});
    }
    QCOMPARE(bands.size(), 2);
    const int small = bands[0].second - bands[0].first + 1;
    const int large = bands[1].second - bands[1].first + 1;
    QVERIFY(small >= 5); // still readable
    QVERIFY(large >= 2 * small - 1);
}

void TestPictures::icoMatchesPng() {
    const QByteArray ico = contents(committed(QStringLiteral("lptpanel.ico")));
    const QImage png = QImage(committed(QStringLiteral("icon.png")));
    QVERIFY(ico.size() > 22 + 40);
    QCOMPARE(le16(ico, 0), quint16(0));
    QCOMPARE(le16(ico, 2), quint16(1)); // an icon
    QCOMPARE(le16(ico, 4), quint16(1)); // one image
    QCOMPARE(quint8(ico[6]), quint8(32));
    QCOMPARE(quint8(ico[7]), quint8(32));
    QCOMPARE(quint8(ico[8]), quint8(16)); // colours
    QCOMPARE(le16(ico, 12), quint16(4));  // bits a pixel
    QCOMPARE(le32(ico, 14), quint32(ico.size() - 22));
    QCOMPARE(le32(ico, 18), 22u);
    const int dib = 22;
    QCOMPARE(le32(ico, dib), 40u);
    QCOMPARE(qint32(le32(ico, dib + 8)), 64); // image and mask
    QCOMPARE(le16(ico, dib + 14), quint16(4));
    const int palette = dib + 40, pixels = palette + 64, mask = pixels + 32 * 16;
    QCOMPARE(ico.size(), mask + 32 * 4);
    for (int i = 0; i < 16; ++i) {
        const int at = palette + 4 * i;
        QCOMPARE(qRgb(quint8(ico[at + 2]), quint8(ico[at + 1]), quint8(ico[at])),
                 kVgaPalette[std::size_t(i)]);
    }
    for (int row = 0; row < 32; ++row) {
        const int y = 31 - row;
        for (int x = 0; x < 32; ++x) {
            const quint8 byte = quint8(ico[pixels + row * 16 + x / 2]);
            const int index = x % 2 == 0 ? byte >> 4 : byte & 0x0F;
            QCOMPARE(kVgaPalette[std::size_t(index)], png.pixel(x, y) | 0xFF000000u);
        }
    }
    QVERIFY2(ico.mid(mask).count('\0') == 32 * 4, "every pixel opaque");

    if (QImageReader::supportedImageFormats().contains("ico")) {
        const QString diff = difference(decode(ico), png);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
}

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
