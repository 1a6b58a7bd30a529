// The diagram window Conn: its layout, and its life as one shared instance
// that the menu command loads and the close box unloads. The panel drives
// events with processEvents() alone, so that is all these tests use between
// steps: nothing may depend on deferred deletes.
#include "diagram/conn.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Every Conn window there is, shown or not.
QList<Conn*> connWindows() {
    QList<Conn*> found;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* c = qobject_cast<Conn*>(w))
            found << c;
    return found;
}

// Runs the event loop the way the panel's monitor loop does, until the
// condition holds or a generous number of passes has gone by.
template <typename Condition> bool processEventsUntil(Condition done) {
    for (int pass = 0; pass < 10000; ++pass) {
        if (done())
            return true;
        QCoreApplication::processEvents();
    }
    return done();
}

QImage connectorPicture() {
    return QImage(QStringLiteral(":/connector.bmp"));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(!Conn::loaded()); }

    void cleanup() {
        if (Conn* c = Conn::loaded())
            c->close();
        QVERIFY(processEventsUntil([] { return connWindows().isEmpty(); }));
    }

    void firstLoadShowsTheWindow() {
        QVERIFY(connWindows().isEmpty());
        Conn::load();
        Conn* c = Conn::loaded();
        QVERIFY(c);
        QVERIFY(c->isVisible());
        QCOMPARE(connWindows().size(), 1);
        QCOMPARE(c->windowTitle(), QStringLiteral("Mivotrel Connector"));
        QCOMPARE(c->size(), QSize(699, 431));
        QVERIFY(c->findChildren<QMenuBar*>().isEmpty());
        // No icon of its own: it shows the application's.
        QVERIFY(!c->testAttribute(Qt::WA_SetWindowIcon));
        // A window of its own, not owned by the panel and not modal.
        QVERIFY(c->isWindow());
        QCOMPARE(c->parentWidget(), nullptr);
        QCOMPARE(c->windowModality(), Qt::NonModal);
    }

    void pictureBox() {
        Conn::load();
        QLabel* box = Conn::loaded()->Picture1;
        QVERIFY(box);
        QCOMPARE(box->parentWidget(), Conn::loaded());
        QCOMPARE(box->geometry(), QRect(24, 40, 649, 377));
        QCOMPARE(box->frameStyle(), int(QFrame::Panel | QFrame::Sunken));
        QCOMPARE(box->frameWidth(), 2);
        QCOMPARE(box->contentsRect(), QRect(2, 2, 645, 373));
        QVERIFY(!box->hasScaledContents());

        // The whole picture, unscaled, from the inner top-left corner; the box
        // is a pixel narrower and two lower than the picture and cuts it off.
        const QImage picture = connectorPicture().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(picture.size(), QSize(646, 375));
        QCOMPARE(box->pixmap().toImage().convertToFormat(QImage::Format_RGB32), picture);
        const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(649, 377));
        QCOMPARE(shown.copy(2, 2, 645, 373), picture.copy(0, 0, 645, 373));
    }

    void secondLoadChangesNothing() {
        QWidget panel;
        panel.resize(200, 100);
        panel.show();
        Conn::load();
        Conn* c = Conn::loaded();
        const QPoint where = c->pos();
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));

        Conn::load();
        QCOMPARE(Conn::loaded(), c);
        QCOMPARE(connWindows().size(), 1);
        QVERIFY(c->isVisible());
        QCOMPARE(c->pos(), where);
        // Neither brought to the front nor given the focus.
        QCOMPARE(QApplication::activeWindow(), &panel);

        // It does not run Form_Load again either: a loaded window that is
        // hidden stays hidden.
        c->hide();
        Conn::load();
        QCOMPARE(Conn::loaded(), c);
        QVERIFY(!c->isVisible());
    }

    void closeUnloadsAndTheNextLoadIsFresh() {
        Conn::load();
        QPointer<Conn> old = Conn::loaded();
        QSignalSpy destroyed(old.data(), &QObject::destroyed);
        QVERIFY(destroyed.isValid());

        QVERIFY(old->close());
        QCOMPARE(Conn::loaded(), nullptr);
        QVERIFY(old.isNull() || !old->isVisible());

        // No event processing in between: the old window is destroyed, not
        // left waiting for a deferred delete that the panel's loop never runs.
        Conn::load();
        QVERIFY(old.isNull());
        QCOMPARE(destroyed.count(), 1);
        Conn* fresh = Conn::loaded();
        QVERIFY(fresh);
        QVERIFY(fresh->isVisible());
        QCOMPARE(connWindows().size(), 1);
        QCOMPARE(fresh->Picture1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 connectorPicture().convertToFormat(QImage::Format_RGB32));
    }

    void closedWindowGoesWithoutAnotherLoad() {
        Conn::load();
        QPointer<Conn> old = Conn::loaded();
        QVERIFY(old->close());
        QVERIFY(processEventsUntil([&] { return old.isNull(); }));
        QVERIFY(connWindows().isEmpty());
        QCOMPARE(Conn::loaded(), nullptr);
    }

    void openingAndClosingDoesNotPileUpWindows() {
        for (int round = 0; round < 20; ++round) {
            Conn::load();
            QCOMPARE(connWindows().size(), 1);
            QVERIFY(Conn::loaded()->isVisible());
            QVERIFY(Conn::loaded()->close());
            QCOMPARE(Conn::loaded(), nullptr);
        }
    }

    void resizingMovesNothing_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("larger") << QSize(1000, 700);
        QTest::newRow("smaller than the box") << QSize(300, 200);
    }
    void resizingMovesNothing() {
        QFETCH(QSize, size);
        Conn::load();
        Conn* c = Conn::loaded();
        c->resize(size);
        QCOMPARE(c->size(), size);
        QCOMPARE(c->Picture1->geometry(), QRect(24, 40, 649, 377));
        QCOMPARE(c->Picture1->pixmap().size(), QSize(646, 375));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
