// The main window as laid out, before start-up: the window, and every control
// against the layout table with its caption byte for byte and fitting its box
// in the bundled font.
#include "panel/image_label.h"
#include "panel/layout.h"
#include "panel/mivo.h"
#include "panel/panel_font.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <map>

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

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { panel::useApplicationFont(); }
    void window();
    void controls_data();
    void controls();
};

void TestLayout::window() {
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

void TestLayout::controls_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < kControls.size(); ++i)
        QTest::newRow(qPrintable(controlName(kControls[i]))) << static_cast<int>(i);
}

void TestLayout::controls() {
    QFETCH(int, row);
    const Control& c = kControls[static_cast<std::size_t>(row)];
    Mivo m;
    QWidget* w = m.findChild<QWidget*>(controlName(c));
    QVERIFY(w && !w->isHidden());
    QCOMPARE(w->parentWidget(),
             c.container.empty() ? m.centralWidget() : m.findChild<QWidget*>(c.container.data()));
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
        const QRect r = fm.boundingRect(QRect(0, 0, w->width(), 1000), Qt::TextWordWrap, caption);
        QCOMPARE(qRound(double(r.height()) / fm.lineSpacing()),
                 caption == "Preklopi vse izhode" ? 2 : 1);
        QVERIFY(r.width() <= w->width() && label->heightForWidth(w->width()) <= w->height());
    } else { // the check box's indicator or the button's frame and margins included
        QVERIFY2(w->sizeHint().width() <= w->width() && fm.height() <= w->height(),
                 qPrintable(QString::number(w->sizeHint().width())));
    }
}

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
