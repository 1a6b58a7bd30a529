// SPDX-License-Identifier: MIT
// The main window: as laid out before start-up (every control against the
// layout table, its caption byte for byte and fitting its box in the bundled
// font); start-up and the monitor loop on a recording port: the register
// accesses in order, the pictures, the lamps, the panel's composition against
// the register model, and the handlers reached by clicking the real widgets
// inside a pass; the connector diagram the menu opens.
#include "panel_harness.h"

#include "diagram/conn.h"
#include "panel/layout.h"
#include "panel/panel_font.h"
#include "port/registers.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

using namespace panel_test;
using namespace panel::layout;

namespace {

QString controlName(const Control& c) {
    const QString name = QString::fromUtf8(c.name.data(), c.name.size());
    return c.index < 0 ? name : QString("%1(%2)").arg(name).arg(c.index);
}

// Written out apart from the layout table as "name=caption;", blanks counted.
std::map<QString, QByteArray> captions() {
    std::map<QString, QByteArray> c;
    const QByteArray all = "Check1=Vklju\xC4\x8Di izhode v skupini;Command1=Preklopi izhode;"
                           "Command2=Izhod iz programa;Command3=Vse izhode na 1;"
                           "Command4=Vse izhode na 0;Frame1=Izhodi A;Frame2=Vhodi;Frame3=Izhodi B;"
                           "Label1(8)=BUSY            S7;Label1(9)=ACK               S6;"
                           "Label1(10)=PAPER END S5;Label1(11)=SELECT IN   S4;"
                           "Label1(12)=ERROR        S3;Label1(13)=ni uporabljeno;"
                           "Label1(14)=ni uporabljeno;Label1(15)=ni uporabljeno;"
                           "Label1(16)=Preklopi vse izhode;Label1(17)=Preklopi vse izhode;"
                           "Label1(18)=Select      C3;Label1(21)=INIT         C2;"
                           "Label1(22)=AutoFD    C1;Label1(23)=STROBE C0";
    for (const QByteArray& entry : all.split(';'))
        c[entry.left(entry.indexOf('='))] = entry.mid(entry.indexOf('=') + 1);
    for (int i = 0; i < 8; ++i)
        c[QString("Label1(%1)").arg(i)] = "Data " + QByteArray::number(i);
    return c;
}

} // namespace

class TestLoop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { panel::useApplicationFont(); }
    void window() {
        Mivo m;
        QCOMPARE(m.windowTitle().toUtf8(), QByteArray("Krmiljenje paralelnih vrat "));
        QCOMPARE(m.Connec->text(), QString("Shema konektorja"));
        m.show();
        QCOMPARE(m.centralWidget()->size(), QSize(617, 395));
        // Written apart from the table: switches and lamps 480 twips apart from
        // 480 down, the toggle-all switches at 4680; focus goes by tab index.
        for (int i = 0; i <= 8; ++i) {
            const int top = (i == 8 ? 4680 : 480 + 480 * i) / 15;
            QCOMPARE(m.Image1[i]->geometry(), QRect(24, top, 25, 25));
            if (i < 8)
                QCOMPARE(m.Image2[i]->geometry(), QRect(16, top, 25, 25));
            if (i < 4 || i == 8)
                QCOMPARE(m.Image3[i]->geometry(), QRect(24, top, 25, 25));
        }
        QStringList chain;
        for (QWidget* w = m.Command1; chain.size() < 5; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName();
        QCOMPARE(chain, (QStringList{"Command1", "Command2", "Check1", "Command3", "Command4"}));
    }

    void controls_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < kControls.size(); ++i)
            QTest::newRow(qPrintable(controlName(kControls[i]))) << static_cast<int>(i);
    }

    void controls() {
        QFETCH(int, row);
        const Control& c = kControls[static_cast<std::size_t>(row)];
        Mivo m;
        QWidget* w = m.findChild<QWidget*>(controlName(c));
        QVERIFY(w && !w->isHidden());
        QCOMPARE(w->parentWidget(), c.container.empty()
                                        ? m.centralWidget()
                                        : m.findChild<QWidget*>(c.container.data()));
        QCOMPARE(w->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));

        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        const QString caption = label    ? label->text()
                                : button ? button->text()
                                         : qobject_cast<QGroupBox*>(w)->title();
        const auto expected = captions();
        const auto it = expected.find(controlName(c));
        QCOMPARE(caption.toUtf8(), it == expected.end() ? QByteArray() : it->second);
        if (c.kind == Kind::Frame || c.kind == Kind::Image)
            return;

        // The caption is whole inside the box: labels on one line, but for the
        // toggle-all labels, which wrap onto two.
        QCOMPARE(w->font().family(), panel::panelFont().family());
        const QFontMetrics fm(w->font());
        if (label) {
            QCOMPARE(label->textFormat(), Qt::PlainText); // rich text would collapse the blanks
            const QRect r =
                fm.boundingRect(QRect(0, 0, w->width(), 1000), Qt::TextWordWrap, caption);
            QCOMPARE(qRound(double(r.height()) / fm.lineSpacing()),
                     caption == "Preklopi vse izhode" ? 2 : 1);
            QVERIFY(r.width() <= w->width() && label->heightForWidth(w->width()) <= w->height());
        } else { // the check box's indicator or the button's frame and margins included
            QVERIFY2(w->sizeHint().width() <= w->width() && fm.height() <= w->height(),
                     qPrintable(QString::number(w->sizeHint().width())));
        }
    }

    // That the start-up writes come before any picture is loaded is seen by the
    // process tests: a missing picture stops the panel after those four writes.
    void startUpAndFirstPass() {
        PanelRun run;
        QCOMPARE(switches(run.mivo) + " " + lamps(run.mivo), QString("---------/----- --------"));
        QCOMPARE(run.startUp(), QString("D0 C3 D255 C255"));
        QCOMPARE(switches(run.mivo) + " " + lamps(run.mivo), QString("000000000/00000 LLLLLLLL"));
        // A press let go outside the switch is no click.
        QTest::mousePress(run.mivo.Image1[0], Qt::LeftButton);
        QTest::mouseRelease(run.mivo.Image1[0], Qt::LeftButton, {}, QPoint(30, 5));
        // A fresh port reports 0x7F: S0..S7 high.
        QCOMPARE(run.pass(), QString("D0 C11 S | 000000000/00000"));
        QCOMPARE(lamps(run.mivo), QString("HHHHHHHH"));
    }

    // The BUSY pin is the complement of status bit 7.
    void lampLevels() {
        PanelRun run;
        run.startUp();
        for (auto [status, lamps] :
             {std::pair{0, "LLLLLLLH"}, {255, "HHHHHHHL"}, {128, "LLLLLLLL"}, {127, "HHHHHHHH"}}) {
            run.port->status = status;
            run.pass();
            QCOMPARE(panel_test::lamps(run.mivo), QString(lamps));
            QCOMPARE(run.mivo.statusValue, short(0)); // the decoding uses the value up
        }
    }

    void compositionAgreesWithRegisterModel() {
        // Every combination of D0..D7 and C0..C3, composed by the monitor loop in
        // immediate mode and by the apply button in group mode.
        PanelRun run;
        run.startUp();
        Mivo& m = run.mivo;
        for (bool apply : {false, true}) {
            for (int bits = 0; bits < 4096; ++bits) {
                for (int i = 0; i < 12; ++i)
                    (i < 8 ? m.dataBits[i] : m.controlBits[i - 8]) = (bits >> i) & 1;
                const int data = lpt::composeData(std::span(m.dataBits).first<8>());
                const int control = lpt::composeControl(std::span(m.controlBits).first<4>());
                m.Command1->setEnabled(apply);
                apply ? m.Command1_Click() : void(m.monitorPass());
                const QString written = QString("D%1 C%2").arg(data).arg(control);
                QCOMPARE(run.accesses(), apply ? written : written + " S");
            }
        }
    }

    void clicks_data() {
        // "pass: actions" (see act()), and "pass: accesses | switches" after the
        // passes checked (see PanelRun::pass()).
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected");
        const QString all = "Image1(0) Image1(1) Image1(2) Image1(3) Image1(4) Image1(5) Image1(6) "
                            "Image1(7)";
        QTest::newRow("switch, immediate: written in the click's pass")
            << QStringList{"2: Image1(2)", "3: Image1(2)", "4: Image3(0)"}
            << QStringList{"2: D4 C11 S | 001000000/00000", "3: D0 C11 S | 000000000/00000",
                           "4: D0 C10 S | 000000000/10000"};
        QTest::newRow("switch, group mode: written on apply")
            << QStringList{"1: Check1", "3: Image1(0) Image1(2)", "5: Command1"}
            << QStringList{"3: S | 101000000/00000", "4: S | 101000000/00000",
                           "5: D5 C11 S | 101000000/00000"};
        QTest::newRow("mode: the tick's pass writes, the untick's pass does not")
            << QStringList{"2: Check1", "4: Check1"}
            << QStringList{"2: D0 C11 S | 000000000/00000", "3: S | 000000000/00000",
                           "4: S | 000000000/00000", "5: D0 C11 S | 000000000/00000"};
        QTest::newRow("toggle-all follows slot 8, not switches set one by one")
            << QStringList{"2: " + all, "3: Image1(8)", "4: " + all, "5: Image1(8)"}
            << QStringList{"2: D255 C11 S | 111111110/00000",
                           "3: D255 D255 C11 S | 111111111/00000", "4: D0 C11 S | 000000001/00000",
                           "5: D0 D0 C11 S | 000000000/00000"};
        // Before the all-outputs buttons, the control toggle-all is on and D3 on,
        // so both toggle-all states must come through.
        QTest::newRow("all outputs to 1, immediate")
            << QStringList{"1: Image3(8) Image1(3)", "3: Command3"}
            << QStringList{"3: D255 C4 D255 C4 S | 111111110/11111"};
        QTest::newRow("all outputs to 0, immediate")
            << QStringList{"1: Image3(8) Image1(3)", "3: Command4"}
            << QStringList{"3: D0 C11 D0 C11 S | 000000000/00001"};
        QTest::newRow("group mode: toggle-all and all outputs still write at once")
            << QStringList{"1: Check1", "3: Image3(8)", "4: Command3"}
            << QStringList{"3: C4 S | 000000000/11111", "4: D255 C4 S | 111111110/11111"};
        QTest::newRow("apply while disabled writes nothing")
            << QStringList{"2: Image1(5) Command1 Command1_Click"}
            << QStringList{"2: D32 C11 S | 000001000/00000"};
    }

    void clicks() {
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        PanelRun run;
        for (const QString& step : script)
            run.script[step.section(':', 0, 0).toLong()] = step.section(": ", 1).split(' ');
        run.startUp();
        QStringList passes{QString()};
        while (passes.size() <= expected.last().section(':', 0, 0).toLong())
            passes << run.pass();
        for (const QString& e : expected)
            QCOMPARE(e.section(':', 0, 0) + ": " + passes[e.section(':', 0, 0).toInt()], e);
    }

    // The menu command loads the connector diagram while the panel runs; a
    // second load opens no other window. Closed, the window unloads; loaded
    // again, the closed one is gone: the panel's loop runs no deferred deletes.
    void connectorWindowWhilePanelRuns() {
        auto windows = [] {
            QList<QWidget*> found;
            for (QWidget* w : QApplication::allWidgets())
                if (qobject_cast<Conn*>(w))
                    found << w;
            return found;
        };
        auto rgb = [](const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); };
        PanelRun run;
        run.script = {{2, {"Connec"}}, {5, {"Connec"}}, {8, {"Connec"}}};
        run.startUp();
        for (int pass = 1; pass <= 7; ++pass)
            run.pass();
        QPointer<Conn> c = Conn::loaded();
        QVERIFY(c && c->isVisible());
        QCOMPARE(windows(), QList<QWidget*>{c});
        QCOMPARE(c->windowTitle(), QStringLiteral("Mivotrel Connector"));
        QCOMPARE(c->size(), QSize(699, 431));
        QLabel* box = c->Picture1;
        QCOMPARE(box->frameStyle(), int(QFrame::Panel | QFrame::Sunken));
        // The whole picture, unscaled, from the inner top-left corner; the box
        // is a pixel narrower and two lower than the picture and cuts it off.
        const QImage picture = rgb(QImage(":/connector.bmp"));
        QCOMPARE(rgb(box->pixmap().toImage()), picture);
        QCOMPARE(rgb(box->grab().toImage()).copy(2, 2, 645, 373), picture.copy(0, 0, 645, 373));
        c->resize(300, 200); // no layout: the box keeps its place and size
        QCOMPARE(box->geometry(), QRect(24, 40, 649, 377));
        QVERIFY(c->close());
        QCOMPARE(Conn::loaded(), nullptr);
        for (int pass = 8; pass <= 10; ++pass)
            run.pass();
        QVERIFY(c.isNull() && Conn::loaded() && Conn::loaded()->isVisible());
        QCOMPARE(windows(), QList<QWidget*>{Conn::loaded()});
        QCOMPARE(run.port->statusReads(), 10);
        Conn::loaded()->close();
    }
};

QTEST_MAIN(TestLoop)
#include "test_loop.moc"
