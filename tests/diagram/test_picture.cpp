// The connector picture built into the program: its file format, what it
// shows against the port's pin table, the wires' paths, and that the
// committed file is still what drawconnector draws.
#include "diagram/connector_geometry.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using connector::BoxRow;

namespace {

// Inputs red, outputs blue, grounds bright green.
QColor colourOf(lpt::PinKind kind) {
    return kind == lpt::PinKind::Input    ? QColor(255, 0, 0)
           : kind == lpt::PinKind::Output ? QColor(0, 0, 255)
                                          : QColor(0, 255, 0);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

    QImage picture;

private slots:
    void initTestCase() { QVERIFY(picture.load(QStringLiteral(":/connector.bmp"))); }

    // A 24-bit Windows BMP: "BM", the file's size, the pixels right after the
    // 54-byte header, BITMAPINFOHEADER (40), 646 x 375 bottom-up, one plane,
    // 24 bits a pixel, uncompressed; rows of 646 * 3 bytes padded to 1940.
    void bmpHeader() {
        const QByteArray bmp = contents(QStringLiteral(":/connector.bmp"));
        QCOMPARE(bmp.size(), 54 + 1940 * 375);
        QCOMPARE(bmp.left(34).toHex(' '), QByteArray("42 4d 02 1a 0b 00 00 00 00 00 36 00 00 00 28 "
                                                     "00 00 00 86 02 00 00 77 01 00 00 01 00 18 00 "
                                                     "00 00 00 00"));
    }

    void background() {
        for (QPoint p : {QPoint(0, 0), QPoint(645, 0), QPoint(0, 374), QPoint(645, 374),
                         QPoint(640, 100), QPoint(100, 300)})
            QCOMPARE(picture.pixelColor(p), QColor(238, 238, 221));
    }

    // The pin's body, above and below its number, in its kind's colour.
    void pins_data() {
        QTest::addColumn<int>("pin");
        for (const lpt::ConnectorPin& p : lpt::connectorPins())
            QTest::addRow("pin %d, %s", p.pin, std::string(p.name).c_str()) << p.pin;
    }
    void pins() {
        QFETCH(int, pin);
        const QPoint c = connector::pinCentre(pin);
        const QColor colour = colourOf(lpt::connectorPins()[std::size_t(pin - 1)].kind);
        QCOMPARE(picture.pixelColor(c - QPoint(0, 6)), colour);
        QCOMPARE(picture.pixelColor(c + QPoint(-1, 5)), colour);
    }

    // Each signal's box sends an unbroken wire in the pin's colour from its
    // border line to the pin.
    void wires_data() {
        QTest::addColumn<int>("pin");
        for (const lpt::ConnectorPin& p : lpt::connectorPins())
            if (p.kind != lpt::PinKind::Ground)
                QTest::addRow("%s to pin %d", std::string(p.name).c_str(), p.pin) << p.pin;
    }
    void wires() {
        QFETCH(int, pin);
        QRect box;
        for (auto row : {BoxRow::Data, BoxRow::Status, BoxRow::Control})
            for (const connector::Box& b : connector::boxes(row))
                if (b.pin == pin)
                    box = b.inside;
        QList<QPoint> path;
        for (const connector::Wire& w : connector::wires())
            if (w.pin == pin)
                path = w.path;
        QVERIFY(box.isValid() && path.size() >= 2);
        const QPoint start = path.front(), centre = connector::pinCentre(pin);
        QVERIFY(start.x() - 1 >= box.left() && start.x() <= box.right());
        QVERIFY(start.y() == box.top() - 1 || start.y() == box.bottom() + 2);
        QCOMPARE(path.back(), centre);
        const QColor colour = colourOf(lpt::connectorPins()[std::size_t(pin - 1)].kind);
        for (qsizetype i = 1; i < path.size(); ++i) {
            const QPoint d = path[i] - path[i - 1];
            QVERIFY2(d.x() == 0 || d.y() == 0, "a wire runs only across or down");
            const QPoint step((d.x() > 0) - (d.x() < 0), (d.y() > 0) - (d.y() < 0));
            // A point of the path stands for the pixels at and above-left of it.
            for (QPoint p = path[i - 1]; p != path[i]; p += step) {
                const QPoint off = p - centre;
                if ((p - start).manhattanLength() >= 2 && QPoint::dotProduct(off, off) >= 100)
                    QVERIFY2(picture.pixelColor(p) == colour &&
                                 picture.pixelColor(p - QPoint(1, 1)) == colour,
                             qPrintable(QString::asprintf("gap at %d,%d", p.x(), p.y())));
            }
        }
    }

    void committedIsEmbeddedAndDrawn() {
        const QByteArray bytes = contents(QStringLiteral(COMMITTED_PICTURE));
        QVERIFY2(!bytes.isEmpty() && contents(QStringLiteral(":/connector.bmp")) == bytes,
                 "the build embeds a different file");

        // The same picture needs the same fonts: the ones fonts-liberation2 installs.
        const QString fontDir = QStringLiteral("/usr/share/fonts/truetype/liberation2");
        for (const char* font : {"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
                                 "LiberationMono-Regular.ttf", "LiberationSans-Bold.ttf"})
            if (!QFile::exists(fontDir + '/' + QLatin1String(font)))
                QSKIP("fonts-liberation2 is not installed: cannot redraw the picture");
        QTemporaryDir dir;
        const QString drawn = dir.filePath(QStringLiteral("connector.bmp"));
        QProcess tool;
        tool.start(QStringLiteral(DRAWCONNECTOR_BIN), {drawn, fontDir});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        QVERIFY2(contents(drawn) == bytes,
                 "assets/connector.bmp is not what drawconnector draws: redraw and commit it");
    }
};

QTEST_GUILESS_MAIN(TestPicture)
#include "test_picture.moc"
