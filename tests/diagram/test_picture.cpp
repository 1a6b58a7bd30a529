// The connector picture built into the program against the port's pin table:
// each pin in its kind's colour, and an unbroken wire from each signal's box
// to its pin. (The picture's file is checked with the other pictures.)
#include "diagram/connector_geometry.h"

#include <QImage>
#include <QtTest>

using connector::BoxRow;

namespace {

// Inputs red, outputs blue, grounds bright green.
QColor colourOf(lpt::PinKind kind) {
    return kind == lpt::PinKind::Input    ? QColor(255, 0, 0)
           : kind == lpt::PinKind::Output ? QColor(0, 0, 255)
                                          : QColor(0, 255, 0);
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

    QImage picture;

private slots:
    void initTestCase() { QVERIFY(picture.load(QStringLiteral(":/connector.bmp"))); }

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
};

QTEST_GUILESS_MAIN(TestPicture)
#include "test_picture.moc"
