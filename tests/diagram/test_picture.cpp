// The connector picture built into the program: its file format, what it
// shows against the port's pin table, the wires' paths, and that the
// committed file is still what drawconnector draws.
#include "diagram/connector_geometry.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using connector::BoxRow;

namespace {

const QRgb kBackground = qRgb(238, 238, 221);

// Inputs red, outputs blue, grounds bright green.
QRgb colourOf(lpt::PinKind kind) {
    return kind == lpt::PinKind::Input    ? qRgb(255, 0, 0)
           : kind == lpt::PinKind::Output ? qRgb(0, 0, 255)
                                          : qRgb(0, 255, 0);
}

QString hex(QRgb c) {
    return QString::asprintf("#%06x", c & 0xFFFFFF);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The pixels a wire covers: a point (x, y) of its path stands for the two
// columns x-1, x and the two rows y-1, y.
QRect covered(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()) - 1, std::min(a.y(), b.y()) - 1),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QRect pinSquare(int pin) {
    const QPoint c = connector::pinCentre(pin);
    return QRect(c - QPoint(8, 8), QSize(16, 16));
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

    QImage picture;
    QRgb at(QPoint p) const { return picture.pixel(p); }

private slots:
    void initTestCase() {
        QVERIFY(picture.load(QStringLiteral(":/connector.bmp")));
        QCOMPARE(picture.size(), QSize(646, 375));
    }

    void bmpHeader() {
        const QByteArray bmp = contents(QStringLiteral(":/connector.bmp"));
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bmp.constData() + at); };
        QCOMPARE(bmp.size(), 54 + 1940 * 375); // rows of 646 * 3 bytes padded to 1940
        QCOMPARE(bmp.left(2), QByteArray("BM"));
        QCOMPARE(u32(2), quint32(bmp.size()));
        QCOMPARE(u32(10), 54u);            // pixels right after the two headers
        QCOMPARE(u32(14), 40u);            // BITMAPINFOHEADER
        QCOMPARE(u32(22), 375u);           // positive: rows stored bottom-up
        QCOMPARE(u32(26), 1u | 24u << 16); // one plane, 24 bits a pixel
        QCOMPARE(u32(30), 0u);             // no compression
    }

    void background() {
        for (QPoint p : {QPoint(0, 0), QPoint(645, 0), QPoint(0, 374), QPoint(645, 374),
                         QPoint(640, 100), QPoint(100, 300)})
            QCOMPARE(hex(at(p)), hex(kBackground));
    }

    void pins_data() {
        QTest::addColumn<int>("pin");
        for (const lpt::ConnectorPin& p : lpt::connectorPins())
            QTest::addRow("pin %d, %s", p.pin, std::string(p.name).c_str()) << p.pin;
    }
    void pins() {
        QFETCH(int, pin);
        const QPoint c = connector::pinCentre(pin);
        const QRgb colour = colourOf(lpt::connectorPins()[std::size_t(pin - 1)].kind);
        // The pin's body, above and below its number.
        QCOMPARE(hex(at(c - QPoint(0, 6))), hex(colour));
        QCOMPARE(hex(at(c + QPoint(-1, 5))), hex(colour));
        // The number, in a colour that stands out from the pin's.
        int ink = 0;
        for (int y = c.y() - 3; y <= c.y() + 2; ++y)
            for (int x = c.x() - 5; x <= c.x() + 4; ++x)
                ink += std::abs(qGray(picture.pixel(x, y)) - qGray(colour)) > 100;
        QVERIFY2(ink >= 8, qPrintable(QString::number(ink)));
    }

    // Each signal's box sends a wire in the pin's colour from its border line
    // to the pin, with a bar over the box's name when the pin inverts.
    void wires_data() {
        QTest::addColumn<int>("pin");
        for (const lpt::ConnectorPin& p : lpt::connectorPins())
            if (p.kind != lpt::PinKind::Ground)
                QTest::addRow("%s to pin %d", std::string(p.name).c_str(), p.pin) << p.pin;
    }
    void wires() {
        QFETCH(int, pin);
        const lpt::ConnectorPin& info = lpt::connectorPins()[std::size_t(pin - 1)];
        QRect box;
        for (auto row : {BoxRow::Data, BoxRow::Status, BoxRow::Control})
            for (const connector::Box& b : connector::boxes(row))
                if (b.pin == pin)
                    box = b.inside;
        QVERIFY(box.isValid());
        int ink = 0, barInk = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (qGray(picture.pixel(x, y)) < 128) {
                    ++ink;
                    barInk += y >= box.top() + 5 && y <= box.top() + 9;
                }
        QVERIFY2(ink > 30, "the box has no name");
        QVERIFY2(info.inverted ? barInk >= 10 : barInk == 0, qPrintable(QString::number(barInk)));

        QList<QPoint> path;
        for (const connector::Wire& w : connector::wires())
            if (w.pin == pin)
                path = w.path;
        QVERIFY(path.size() >= 2);
        const QPoint start = path.front(), centre = connector::pinCentre(pin);
        QVERIFY(start.x() - 1 >= box.left() && start.x() <= box.right());
        QVERIFY(start.y() == box.top() - 1 || start.y() == box.bottom() + 2);
        QCOMPARE(path.back(), centre);
        const QRgb colour = colourOf(info.kind);
        for (qsizetype i = 1; i < path.size(); ++i) {
            const QPoint d = path[i] - path[i - 1];
            QVERIFY2(d.x() == 0 || d.y() == 0, "a wire runs only across or down");
            const QPoint step((d.x() > 0) - (d.x() < 0), (d.y() > 0) - (d.y() < 0));
            for (QPoint p = path[i - 1]; p != path[i]; p += step) {
                const QPoint off = p - centre;
                if ((p - start).manhattanLength() >= 2 && QPoint::dotProduct(off, off) >= 100)
                    QVERIFY2(at(p) == colour && at(p - QPoint(1, 1)) == colour,
                             qPrintable(QString::asprintf("gap at %d,%d", p.x(), p.y())));
            }
        }
    }

    // No wire comes near another wire or another pin, or crosses a box other
    // than where it leaves its own.
    void wiresKeepClear() {
        struct Segment {
            int pin;
            bool first;
            QRect pixels;
        };
        QList<Segment> segments;
        for (const connector::Wire& w : connector::wires())
            for (qsizetype i = 1; i < w.path.size(); ++i)
                segments.append({w.pin, i == 1, covered(w.path[i - 1], w.path[i])});
        for (const Segment& s : segments) {
            const QRect near = s.pixels.adjusted(-2, -2, 2, 2);
            for (const Segment& other : segments)
                QVERIFY2(other.pin == s.pin || !near.intersects(other.pixels),
                         qPrintable(QString::asprintf("pins %d and %d", s.pin, other.pin)));
            for (int pin = 1; pin <= 25; ++pin)
                QVERIFY2(pin == s.pin || !near.intersects(pinSquare(pin)),
                         qPrintable(QString::asprintf("wire %d over pin %d", s.pin, pin)));
            for (auto row : {BoxRow::Data, BoxRow::Status, BoxRow::Control})
                for (const connector::Box& box : connector::boxes(row))
                    QVERIFY2((s.first && box.pin == s.pin) ||
                                 !s.pixels.intersects(box.inside.adjusted(-1, -1, 1, 1)),
                             qPrintable(QString::asprintf("wire %d crosses a box", s.pin)));
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
