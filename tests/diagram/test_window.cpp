// The diagram window Conn: its layout (kept when resized), and its life as one shared instance
// that the menu command loads and the close box unloads. The panel drives
// events with processEvents() alone, so that is all these tests use between
// steps: nothing may depend on deferred deletes.
#include "diagram/conn.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QtTest>

namespace {

// Every Conn window there is, shown or not.
int connWindows() {
    int found = 0;
    for (QWidget* w : QApplication::allWidgets())
        found += qobject_cast<Conn*>(w) != nullptr;
    return found;
}

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(!Conn::loaded()); }
    void cleanup() {
        if (Conn* c = Conn::loaded())
            c->close();
        // Runs the event loop the way the panel's monitor loop does: a closed
        // window goes as soon as it runs.
        for (int pass = 0; pass < 10000 && connWindows() > 0; ++pass)
            QCoreApplication::processEvents();
        QCOMPARE(connWindows(), 0);
    }

    void layout() {
        Conn::load();
        Conn* c = Conn::loaded();
        QVERIFY(c && c->isVisible() && c->isWindow());
        QCOMPARE(c->windowTitle(), QStringLiteral("Mivotrel Connector"));
        QCOMPARE(c->size(), QSize(699, 431));
        QLabel* box = c->Picture1;
        QCOMPARE(box->geometry(), QRect(24, 40, 649, 377));
        QCOMPARE(box->frameStyle(), int(QFrame::Panel | QFrame::Sunken));
        // The whole picture, unscaled, from the inner top-left corner; the box
        // is a pixel narrower and two lower than the picture and cuts it off.
        const QImage picture = rgb(QImage(QStringLiteral(":/connector.bmp")));
        QCOMPARE(rgb(box->pixmap().toImage()), picture);
        QCOMPARE(rgb(box->grab().toImage()).copy(2, 2, 645, 373), picture.copy(0, 0, 645, 373));
        c->resize(300, 200); // no layout: the box keeps its place and size
        QCOMPARE(box->geometry(), QRect(24, 40, 649, 377));
    }

    // A second load opens no other window. Closed, the window unloads; loaded
    // again at once, the closed one is gone, not waiting for a deferred delete
    // that the panel's loop never runs.
    void loadCloseLoad() {
        Conn::load();
        QPointer<Conn> old = Conn::loaded();
        Conn::load();
        QCOMPARE(Conn::loaded(), old.data());
        QCOMPARE(connWindows(), 1);
        QVERIFY(old->close());
        QCOMPARE(Conn::loaded(), nullptr);
        Conn::load();
        QVERIFY(old.isNull());
        QVERIFY(Conn::loaded() && Conn::loaded()->isVisible());
        QCOMPARE(connWindows(), 1);
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
