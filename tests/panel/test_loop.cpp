// SPDX-License-Identifier: MIT
// The main window: as laid out before start-up (switches and lamps in place,
// focus by tab index, the captions byte for byte, each whole inside its box in
// the bundled font); start-up and the monitor loop on a recording port: the
// register accesses in order, the pictures, the lamps, and the handlers
// reached by clicking the real widgets inside a pass; the connector diagram
// the menu opens.
#include "panel_harness.h"

#include "diagram/conn.h"
#include "panel/panel_font.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

using namespace panel_test;

class TestLoop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { panel::useApplicationFont(); }

    void window() {
        Mivo m; // not started: no pictures yet
        QCOMPARE(switches(m) + " " + pictures(m.Image2), QString("---------/----- --------"));
        QCOMPARE(m.windowTitle().toUtf8(), QByteArray("Krmiljenje paralelnih vrat "));
        QCOMPARE(m.Connec->text(), QString("Shema konektorja"));
        m.show();
        QWidget* client = m.centralWidget();
        QCOMPARE(client->size(), QSize(617, 395));
        // Written apart from the layout table, in the client area: the frames
        // at 152, 304 and 472 from 16 down, switches and lamps 32 apart from
        // 32 down in them, the toggle-all switches at 312.
        for (int i = 0; i <= 8; ++i) {
            const int top = 16 + (i == 8 ? 312 : 32 + 32 * i);
            QCOMPARE(m.Image1[i]->mapTo(client, QPoint()), QPoint(176, top));
            if (i < 8)
                QCOMPARE(m.Image2[i]->mapTo(client, QPoint()), QPoint(488, top));
            if (i < 4 || i == 8)
                QCOMPARE(m.Image3[i]->mapTo(client, QPoint()), QPoint(328, top));
        }
        // Focus goes by tab index.
        QStringList chain;
        for (QWidget* w = m.Command1; chain.size() < 5; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName();
        QCOMPARE(chain, (QStringList{"Command1", "Command2", "Check1", "Command3", "Command4"}));

        QStringList captions;
        for (QWidget* w : client->findChildren<QWidget*>()) {
            if (qobject_cast<ImageLabel*>(w))
                continue;
            const bool frame = qobject_cast<QGroupBox*>(w);
            const QString caption = w->property(frame ? "title" : "text").toString();
            captions << caption;
            if (frame)
                continue;
            // Whole inside the box in the bundled font: labels wrapped at their
            // width (only the toggle-all labels take two lines), the check
            // box's indicator or the button's frame and margins included.
            const QFontMetrics fm(w->font());
            if (auto* label = qobject_cast<QLabel*>(w)) {
                QCOMPARE(label->textFormat(), Qt::PlainText); // rich text collapses blanks
                const QRect r =
                    fm.boundingRect(QRect(0, 0, w->width(), 1000), Qt::TextWordWrap, caption);
                QVERIFY2(r.width() <= w->width() && r.height() <= w->height(), qPrintable(caption));
            } else {
                QVERIFY2(w->sizeHint().width() <= w->width() && fm.height() <= w->height(),
                         qPrintable(caption));
            }
        }
        // Byte for byte, blanks counted, in the order the window holds them:
        // the left column, then each frame's captions from the top.
        QCOMPARE(captions, QString("Vklju\u010Di izhode v skupini;Preklopi izhode;Vse izhode na 1;"
                                   "Vse izhode na 0;Izhod iz programa;Izhodi A;Data 0;Data 1;"
                                   "Data 2;Data 3;Data 4;Data 5;Data 6;Data 7;Preklopi vse izhode;"
                                   "Izhodi B;STROBE C0;AutoFD    C1;INIT         C2;Select      C3;"
                                   "Preklopi vse izhode;Vhodi;ni uporabljeno;ni uporabljeno;"
                                   "ni uporabljeno;ERROR        S3;SELECT IN   S4;PAPER END S5;"
                                   "ACK               S6;BUSY            S7")
                               .split(';'));
    }

    // That the start-up writes come before any picture is loaded is seen by the
    // process tests: a missing picture stops the panel after those four writes.
    void startUpAndLamps() {
        PanelRun run;
        QCOMPARE(run.accesses(), QString("D0 C3 D255 C255"));
        QCOMPARE(run.mivo.windowTitle(), QString("Krmiljenje paralelnih vrat "));
        QCOMPARE(switches(run.mivo) + " " + pictures(run.mivo.Image2),
                 QString("000000000/00000 LLLLLLLL"));
        // A press let go outside the switch is no click.
        QTest::mousePress(run.mivo.Image1[0], Qt::LeftButton);
        QTest::mouseRelease(run.mivo.Image1[0], Qt::LeftButton, {}, QPoint(30, 5));
        // A fresh port reports 0x7F: S0..S7 high. The BUSY pin is the
        // complement of status bit 7.
        for (auto [status, expected] :
             {std::pair{0x7F, "HHHHHHHH"}, {0, "LLLLLLLH"}, {255, "HHHHHHHL"}, {128, "LLLLLLLL"}}) {
            run.port->status = status;
            QCOMPARE(run.pass(), QString("D0 C11 S | 000000000/00000"));
            QCOMPARE(pictures(run.mivo.Image2), QString(expected));
        }
    }

    // The title names the simulated port, found open after the start-up
    // writes (startUpAndLamps shows they are all start-up does to the port;
    // its recording port is a real one, whose title is plain).
    void simulatedPortTitle() {
        QTemporaryDir dir;
        lpt::installDriver(lpt::openSimulated(dir.filePath("port").toStdString()));
        Mivo m;
        m.startUp();
        QCOMPARE(m.windowTitle(), QString("Krmiljenje paralelnih vrat [simulirana vrata]"));
    }

    void clicks_data() {
        // "pass: actions; ..." (see act()), and "pass: accesses | switches"
        // after the passes checked (see PanelRun::pass()).
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        // Two data switches and a control switch a pass, each bit its own weight.
        QTest::newRow("each switch its bit, C0 C1 C3 inverted; toggle-all follows slot 8 only")
            << "2: Image1(0) Image1(4) Image3(0); 3: Image1(1) Image1(5) Image3(1); "
               "4: Image1(2) Image1(6) Image3(2); 5: Image1(3) Image1(7) Image3(3); 6: Image1(8); "
               "7: Image1(0) Image1(1) Image1(2) Image1(3) Image1(4) Image1(5) Image1(6) "
               "Image1(7); 8: Image1(8); 9: Image3(2)"
            << QStringList{"2: D17 C10 S | 100010000/10000",      "3: D51 C8 S | 110011000/11000",
                           "4: D119 C12 S | 111011100/11100",     "5: D255 C4 S | 111111110/11110",
                           "6: D255 D255 C4 S | 111111111/11110", "7: D0 C4 S | 000000001/11110",
                           "8: D0 D0 C4 S | 000000000/11110",     "9: D0 C0 S | 000000000/11010"};
        // The mode is the apply button's state as the previous pass left it.
        QTest::newRow("group mode: the tick's pass writes, the untick's does not, apply does")
            << "1: Check1; 3: Image1(0) Image1(2); 5: Command1 Check1"
            << QStringList{"1: D0 C11 S | 000000000/00000", "3: S | 101000000/00000",
                           "5: D5 C11 S | 101000000/00000", "6: D5 C11 S | 101000000/00000"};
        // The toggle-all switches keep their state through the all-outputs
        // buttons: the control one is on, the data one off.
        QTest::newRow("all outputs to 1, to 0, and in group mode; toggle-all in group mode")
            << "1: Image3(8) Image1(3); 3: Command3; 4: Command4 Check1; 6: Image3(8); "
               "7: Command3; 8: Check1; 9: Command1"
            << QStringList{"3: D255 C4 D255 C4 S | 111111110/11111",
                           "4: D0 C11 D0 C11 S | 000000000/00001", "6: C11 S | 000000000/00000",
                           "7: D255 C4 S | 111111110/11110", "9: D255 C4 S | 111111110/11110"};
    }

    void clicks() {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        PanelRun run;
        for (const QString& step : script.split("; "))
            run.script[step.section(':', 0, 0).toLong()] = step.section(": ", 1).split(' ');
        QStringList passes{run.accesses()}; // the start-up's
        while (passes.size() <= expected.last().section(':', 0, 0).toLong())
            passes << run.pass();
        for (const QString& e : expected)
            QCOMPARE(e.section(':', 0, 0) + ": " + passes[e.section(':', 0, 0).toInt()], e);
    }

    // The menu command loads the connector diagram while the panel runs; a
    // second load opens no other window. Closed, the window unloads; loaded
    // again, the closed one is gone at once: the panel's loop runs no deferred
    // deletes.
    void connectorWindowWhilePanelRuns() {
        PanelRun run;
        run.script = {{2, {"Connec"}}, {5, {"Connec"}}};
        for (int pass = 1; pass <= 7; ++pass)
            run.pass();
        QPointer<Conn> c = Conn::loaded();
        QVERIFY(c && c->isVisible());
        QCOMPARE(QApplication::topLevelWidgets().size(), 2); // with the panel
        QCOMPARE(c->windowTitle(), QStringLiteral("Mivotrel Connector"));
        QCOMPARE(c->size(), QSize(699, 431));
        QLabel* box = c->Picture1;
        QCOMPARE(box->frameStyle(), int(QFrame::Panel | QFrame::Sunken));
        // The whole picture, unscaled, from the inner top-left corner; the box
        // is a pixel narrower and two lower than the picture and cuts it off.
        const auto rgb = QImage::Format_RGB32;
        QCOMPARE(box->grab().toImage().convertToFormat(rgb).copy(2, 2, 645, 373),
                 QImage(":/connector.bmp").convertToFormat(rgb).copy(0, 0, 645, 373));
        c->resize(300, 200); // no layout: the box keeps its place and size
        QCOMPARE(box->geometry(), QRect(24, 40, 649, 377));
        // Closed and chosen again, any number of times: one window each time.
        for (int again = 0; again < 3; ++again) {
            QVERIFY((c = Conn::loaded()) && c->close() && act(run.mivo, "Connec"));
            QVERIFY(c.isNull() && Conn::loaded() && Conn::loaded()->isVisible());
        }
        Conn::loaded()->close();
    }
};

QTEST_MAIN(TestLoop)
#include "test_loop.moc"
