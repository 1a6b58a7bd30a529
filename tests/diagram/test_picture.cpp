// The connector picture built into the program: its file format, what it
// shows against the port's pin table, the geometry its wires follow, and that
// the committed file is still what drawconnector draws.
#include "diagram/connector_geometry.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <optional>

using connector::BoxRow;

namespace {

const QRgb kBackground = qRgb(238, 238, 221);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// The connector's pin assignment: inputs red, outputs blue, grounds green.
QRgb expectedPinColour(int pin) {
    switch (pin) {
    case 10: // S6
    case 11: // S7
    case 12: // S5
    case 13: // S4
    case 15: // S3
        return kRed;
    default:
        return pin >= 18 ? kGreen : kBlue;
    }
}

// Which box names which pin, and which names carry a bar.
struct NamedBox {
    const char* name;
    BoxRow row;
    int index;
    int pin;
    bool barred;
};
const NamedBox kNamedBoxes[] = {
    {"D7", BoxRow::Data, 0, 9, false},     {"D6", BoxRow::Data, 1, 8, false},
    {"D5", BoxRow::Data, 2, 7, false},     {"D4", BoxRow::Data, 3, 6, false},
    {"D3", BoxRow::Data, 4, 5, false},     {"D2", BoxRow::Data, 5, 4, false},
    {"D1", BoxRow::Data, 6, 3, false},     {"D0", BoxRow::Data, 7, 2, false},
    {"S7", BoxRow::Status, 0, 11, true},   {"S6", BoxRow::Status, 1, 10, false},
    {"S5", BoxRow::Status, 2, 12, false},  {"S4", BoxRow::Status, 3, 13, false},
    {"S3", BoxRow::Status, 4, 15, false},  {"C3", BoxRow::Control, 4, 17, true},
    {"C2", BoxRow::Control, 5, 16, false}, {"C1", BoxRow::Control, 6, 14, true},
    {"C0", BoxRow::Control, 7, 1, true},
};

QString hex(QRgb c) {
    return QString::asprintf("#%06x", c & 0xFFFFFF);
}

// The pixels a wire covers: a point (x, y) of its path stands for the two
// columns x-1, x and the two rows y-1, y.
QRect covered(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()) - 1, std::min(a.y(), b.y()) - 1),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QRect pinSquare(int pin) {
    const QPoint c = connector::pinCentre(pin);
    const int r = connector::kPinDiameter / 2;
    return QRect(c.x() - r, c.y() - r, 2 * r, 2 * r);
}

std::optional<connector::Wire> wireTo(int pin) {
    for (const auto& w : connector::wires())
        if (w.pin == pin)
            return w;
    return std::nullopt;
}

bool isDark(QRgb c) {
    return qGray(c) < 128;
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

    QImage picture;

    QRgb at(int x, int y) const { return picture.pixel(x, y); }

private slots:
    void initTestCase() {
        QVERIFY(picture.load(QStringLiteral(":/connector.bmp")));
        QCOMPARE(picture.size(), QSize(646, 375));
    }

    void bmpHeader() {
        QFile file(QStringLiteral(":/connector.bmp"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bmp = file.readAll();
        QVERIFY(bmp.size() >= 54);
        const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bmp.constData() + at); };
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bmp.constData() + at); };
        const auto s32 = [&](int at) { return qFromLittleEndian<qint32>(bmp.constData() + at); };
        const int stride = (646 * 3 + 3) & ~3;
        QCOMPARE(bmp.left(2), QByteArray("BM"));
        QCOMPARE(u32(2), quint32(bmp.size()));
        QCOMPARE(u32(10), 54u); // pixels right after the two headers
        QCOMPARE(u32(14), 40u); // BITMAPINFOHEADER
        QCOMPARE(s32(18), 646);
        QCOMPARE(s32(22), 375); // positive: rows stored bottom-up
        QCOMPARE(u16(26), quint16(1));
        QCOMPARE(u16(28), quint16(24));
        QCOMPARE(u32(30), 0u); // no compression
        QCOMPARE(u32(34), quint32(stride * 375));
        QCOMPARE(u32(46), 0u); // no palette
        QCOMPARE(bmp.size(), 54 + stride * 375);
        // Bottom-up: the first stored row is the picture's last.
        const QRgb firstStored = qRgb(quint8(bmp[56]), quint8(bmp[55]), quint8(bmp[54]));
        QCOMPARE(hex(firstStored), hex(at(0, 374)));
    }

    void background() {
        for (QPoint p : {QPoint(0, 0), QPoint(645, 0), QPoint(0, 374), QPoint(645, 374),
                         QPoint(640, 100), QPoint(100, 300)})
            QCOMPARE(hex(at(p.x(), p.y())), hex(kBackground));
        QHash<QRgb, int> counts;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                ++counts[at(x, y)];
        int most = 0;
        QRgb common = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > most)
                most = it.value(), common = it.key();
        QCOMPARE(hex(common), hex(kBackground));
    }

    void legendLines_data() {
        QTest::addColumn<int>("line");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("DATA line, blue") << 0 << kBlue;
        QTest::newRow("STATUS line, red") << 1 << kRed;
        QTest::newRow("CONTROL line, blue") << 2 << kBlue;
        QTest::newRow("ground line, dark green") << 3 << qRgb(0, 160, 0);
    }
    void legendLines() {
        QFETCH(int, line);
        QFETCH(QRgb, colour);
        // The four lines lie in bands of 21 rows from the top, left of the D boxes.
        QHash<QRgb, int> inBand;
        for (int y = 21 * line + 8; y < 21 * line + 29; ++y)
            for (int x = 0; x < 330; ++x)
                ++inBand[at(x, y)];
        QVERIFY2(inBand.value(colour) > 100, qPrintable(hex(colour)));
        for (QRgb other : {kBlue, kRed, qRgb(0, 160, 0)})
            if (other != colour)
                QCOMPARE(inBand.value(other), 0);
    }

    void caption() {
        int left = picture.width(), right = -1, ink = 0;
        for (int y = 335; y < 372; ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (isDark(at(x, y))) {
                    ++ink;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        QVERIFY(ink > 300);
        QVERIFY2(std::abs((left + right) - 646) <= 4,
                 qPrintable(QStringLiteral("caption spans %1..%2").arg(left).arg(right)));
    }

    void shell() {
        // The white face fills x 196..630 on its top row and y 149..228,
        // framed in black.
        QCOMPARE(hex(at(196, 149)), hex(kWhite));
        QCOMPARE(hex(at(630, 149)), hex(kWhite));
        QCOMPARE(hex(at(195, 149)), hex(kBlack));
        QCOMPARE(hex(at(631, 149)), hex(kBlack));
        QCOMPARE(hex(at(413, 149)), hex(kWhite));
        QCOMPARE(hex(at(413, 148)), hex(kBlack));
        QCOMPARE(hex(at(413, 228)), hex(kWhite));
        QCOMPARE(hex(at(413, 229)), hex(kBlack));
        // A trapezoid, long side at the top: the bottom row is narrower.
        QCOMPARE(hex(at(214, 228)), hex(kWhite));
        QCOMPARE(hex(at(612, 228)), hex(kWhite));
        QVERIFY(at(205, 228) != kWhite);
        QVERIFY(at(620, 228) != kWhite);
    }

    void pins_data() {
        QTest::addColumn<int>("pin");
        for (int pin = 1; pin <= 25; ++pin)
            QTest::addRow("pin %d", pin) << pin;
    }
    void pins() {
        QFETCH(int, pin);
        const QPoint c = connector::pinCentre(pin);
        const QRgb colour = expectedPinColour(pin);
        // The body of the pin, just above and below the number written on it.
        QCOMPARE(hex(at(c.x(), c.y() - 6)), hex(colour));
        QCOMPARE(hex(at(c.x() - 1, c.y() + 5)), hex(colour));
        // 16 pixels across: solid 6 pixels out on either side, gone 9 out;
        // that row is above the number and above any wire arriving from the side.
        QCOMPARE(hex(at(c.x() + 5, c.y() - 5)), hex(colour));
        QCOMPARE(hex(at(c.x() - 6, c.y() - 5)), hex(colour));
        QVERIFY(at(c.x() + 9, c.y() - 5) != colour);
        QVERIFY(at(c.x() - 10, c.y() - 5) != colour);
        // Its number is written on it, in a colour that stands out.
        int ink = 0;
        for (int y = c.y() - 3; y <= c.y() + 2; ++y)
            for (int x = c.x() - 5; x <= c.x() + 4; ++x)
                ink += std::abs(qGray(at(x, y)) - qGray(colour)) > 100;
        QVERIFY2(ink >= 8, qPrintable(QString::number(ink)));
    }

    void pinRows() {
        // Upper row 13..1 left to right on one line, 32 apart; lower row
        // 25..14 on the line below, each pin midway between the two above.
        for (int pin = 1; pin < 13; ++pin) {
            QCOMPARE(connector::pinCentre(pin).y(), connector::pinCentre(13).y());
            QCOMPARE(connector::pinCentre(pin).x() - connector::pinCentre(pin + 1).x(), 32);
        }
        for (int pin = 14; pin <= 25; ++pin) {
            const QPoint c = connector::pinCentre(pin);
            QVERIFY(c.y() > connector::pinCentre(1).y() + connector::kPinDiameter);
            QCOMPARE(c.y(), connector::pinCentre(14).y());
            const int above = pin - 12, aboveRight = pin - 13; // 25 sits between 13 and 12
            QCOMPARE(2 * c.x(),
                     connector::pinCentre(above).x() + connector::pinCentre(aboveRight).x());
        }
        for (int pin = 1; pin <= 25; ++pin)
            for (QPoint corner : {pinSquare(pin).topLeft(), pinSquare(pin).bottomRight()})
                QVERIFY2(connector::shellInside().containsPoint(corner, Qt::OddEvenFill),
                         qPrintable(QStringLiteral("pin %1 sticks out of the shell").arg(pin)));
    }

    void boxRows_data() {
        QTest::addColumn<BoxRow>("row");
        QTest::addColumn<QRect>("inside");
        QTest::newRow("D row") << BoxRow::Data << QRect(QPoint(333, 100), QPoint(587, 131));
        QTest::newRow("S row") << BoxRow::Status << QRect(QPoint(204, 246), QPoint(460, 277));
        QTest::newRow("C row") << BoxRow::Control << QRect(QPoint(366, 295), QPoint(619, 326));
    }
    void boxRows() {
        QFETCH(BoxRow, row);
        QFETCH(QRect, inside);
        const int midY = inside.center().y();
        QCOMPARE(hex(at(inside.left() - 1, midY)), hex(kBlack));
        QCOMPARE(hex(at(inside.right() + 1, midY)), hex(kBlack));
        QCOMPARE(hex(at(inside.left() + 3, inside.top() - 1)), hex(kBlack));
        QCOMPARE(hex(at(inside.left() + 3, inside.bottom() + 1)), hex(kBlack));
        QCOMPARE(hex(at(inside.left(), inside.top())), hex(kWhite));
        QCOMPARE(hex(at(inside.right(), inside.bottom())), hex(kWhite));
        // Eight adjoining cells of about 32 pixels sharing their border lines.
        const auto boxes = connector::boxes(row);
        QCOMPARE(boxes.front().inside.left(), inside.left());
        QCOMPARE(boxes.back().inside.right(), inside.right());
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            const QRect b = boxes[k].inside;
            QCOMPARE(b.top(), inside.top());
            QCOMPARE(b.bottom(), inside.bottom());
            QVERIFY(b.width() >= 30 && b.width() <= 32);
            QCOMPARE(hex(at(b.left() - 1, midY)), hex(kBlack));
            if (k + 1 < boxes.size())
                QCOMPARE(boxes[k + 1].inside.left(), b.right() + 2);
        }
    }

    void boxNames_data() {
        QTest::addColumn<BoxRow>("row");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("barred");
        for (const NamedBox& b : kNamedBoxes)
            QTest::addRow("%s", b.name)
                << b.row << b.index << QString::fromLatin1(b.name) << b.barred;
        for (int k : {5, 6, 7})
            QTest::addRow("S row, empty box %d", k) << BoxRow::Status << k << QString() << false;
        for (int k : {0, 1, 2, 3})
            QTest::addRow("C row, empty box %d", k) << BoxRow::Control << k << QString() << false;
    }
    void boxNames() {
        QFETCH(BoxRow, row);
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(bool, barred);
        const connector::Box box = connector::boxes(row)[std::size_t(index)];
        QCOMPARE(box.name(), name);
        QCOMPARE(box.barred(), barred);
        int ink = 0, barInk = 0;
        const QRect in = box.inside;
        for (int y = in.top(); y <= in.bottom(); ++y)
            for (int x = in.left(); x <= in.right(); ++x)
                if (isDark(at(x, y))) {
                    ++ink;
                    barInk += y >= in.top() + 5 && y <= in.top() + 9;
                }
        if (name.isEmpty()) {
            QCOMPARE(ink, 0);
        } else {
            QVERIFY(ink > 30);
            // The bar sits over the letters; an unbarred name leaves those rows white.
            if (barred)
                QVERIFY2(barInk >= 10, qPrintable(QString::number(barInk)));
            else
                QCOMPARE(barInk, 0);
        }
    }

    void wires_data() {
        QTest::addColumn<BoxRow>("row");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("pin");
        for (const NamedBox& b : kNamedBoxes)
            QTest::addRow("%s to pin %d", b.name, b.pin) << b.row << b.index << b.pin;
    }
    void wires() {
        QFETCH(BoxRow, row);
        QFETCH(int, index);
        QFETCH(int, pin);
        const connector::Box box = connector::boxes(row)[std::size_t(index)];
        QCOMPARE(box.pin, pin);
        const auto wire = wireTo(pin);
        QVERIFY(wire);
        const QList<QPoint>& path = wire->path;
        QVERIFY(path.size() >= 2);
        const QRgb colour = expectedPinColour(pin);

        // It leaves the box through its top or bottom border line...
        const QPoint start = path.front();
        QVERIFY(start.x() - 1 >= box.inside.left() && start.x() <= box.inside.right());
        QVERIFY(start.y() == box.inside.top() - 1 || start.y() == box.inside.bottom() + 2);
        // ...and ends at the pin's centre, in steps across or down only.
        QCOMPARE(path.back(), connector::pinCentre(pin));
        for (qsizetype i = 1; i < path.size(); ++i)
            QVERIFY(path[i - 1] != path[i] &&
                    (path[i - 1].x() == path[i].x() || path[i - 1].y() == path[i].y()));

        // The picture has the wire's colour next to the box, just outside the
        // pin's circle, and all along the way in between.
        const auto unit = [](QPoint from, QPoint to) {
            const QPoint d = to - from;
            return QPoint((d.x() > 0) - (d.x() < 0), (d.y() > 0) - (d.y() < 0));
        };
        const auto wireAt = [&](QPoint p) {
            return at(p.x() - 1, p.y() - 1) == colour && at(p.x(), p.y()) == colour;
        };
        const QPoint nearBox = start + 3 * unit(path[0], path[1]);
        QVERIFY2(wireAt(nearBox), qPrintable(hex(at(nearBox.x(), nearBox.y()))));
        const QPoint nearPin =
            path.back() - 10 * unit(path[path.size() - 2], path[path.size() - 1]);
        QVERIFY2(wireAt(nearPin), qPrintable(hex(at(nearPin.x(), nearPin.y()))));
        const QPoint centre = connector::pinCentre(pin);
        for (qsizetype i = 1; i < path.size(); ++i) {
            const QPoint step = unit(path[i - 1], path[i]);
            for (QPoint p = path[i - 1]; p != path[i]; p += step) {
                const QPoint off = p - centre;
                if ((p - start).manhattanLength() < 2 ||
                    off.x() * off.x() + off.y() * off.y() < 100)
                    continue; // under the box's border or under the pin
                QVERIFY2(wireAt(p),
                         qPrintable(QStringLiteral("gap at %1,%2").arg(p.x()).arg(p.y())));
            }
        }
    }

    void wiresKeepClear() {
        // No wire touches another wire, runs over a pin other than its own,
        // or crosses a box other than where it leaves its own.
        const auto wires = connector::wires();
        QCOMPARE(wires.size(), 17);
        for (const auto& w : wires) {
            for (qsizetype i = 1; i < w.path.size(); ++i) {
                const QRect seg = covered(w.path[i - 1], w.path[i]);
                for (const auto& other : wires) {
                    if (other.pin == w.pin)
                        continue;
                    for (qsizetype j = 1; j < other.path.size(); ++j)
                        QVERIFY2(!seg.adjusted(-2, -2, 2, 2)
                                      .intersects(covered(other.path[j - 1], other.path[j])),
                                 qPrintable(QStringLiteral("wires to pins %1 and %2 touch")
                                                .arg(w.pin)
                                                .arg(other.pin)));
                }
                for (int pin = 1; pin <= 25; ++pin)
                    if (pin != w.pin)
                        QVERIFY2(!seg.adjusted(-2, -2, 2, 2).intersects(pinSquare(pin)),
                                 qPrintable(QStringLiteral("wire to pin %1 runs over pin %2")
                                                .arg(w.pin)
                                                .arg(pin)));
                for (auto row : {BoxRow::Data, BoxRow::Status, BoxRow::Control})
                    for (const auto& box : connector::boxes(row)) {
                        const bool own = box.pin == w.pin && i == 1;
                        if (!own)
                            QVERIFY2(
                                !seg.intersects(box.inside.adjusted(-1, -1, 1, 1)),
                                qPrintable(
                                    QStringLiteral("wire to pin %1 crosses a box").arg(w.pin)));
                    }
            }
        }
    }

    void committedPictureIsDrawConnectorOutput() {
        QFile committed(QStringLiteral(COMMITTED_PICTURE));
        QVERIFY(committed.open(QIODevice::ReadOnly));
        const QByteArray bytes = committed.readAll();
        QFile embedded(QStringLiteral(":/connector.bmp"));
        QVERIFY(embedded.open(QIODevice::ReadOnly));
        QVERIFY2(embedded.readAll() == bytes, "the build embeds a different file");

        // The same picture needs the same fonts: the ones fonts-liberation2 installs.
        const QString fontDir = QStringLiteral("/usr/share/fonts/truetype/liberation2");
        for (const char* font : {"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
                                 "LiberationMono-Regular.ttf", "LiberationSans-Bold.ttf"})
            if (!QFile::exists(fontDir + '/' + QLatin1String(font)))
                QSKIP("fonts-liberation2 is not installed: cannot redraw the picture");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString drawn = dir.filePath(QStringLiteral("connector.bmp"));
        QProcess tool;
        tool.start(QStringLiteral(DRAWCONNECTOR_BIN), {drawn, fontDir});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        QFile out(drawn);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY2(out.readAll() == bytes,
                 "assets/connector.bmp is not what drawconnector draws: redraw and commit it");
    }
};

QTEST_GUILESS_MAIN(TestPicture)
#include "test_picture.moc"
