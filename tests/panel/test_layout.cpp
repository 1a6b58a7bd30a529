// The main window as laid out, before start-up: the window, every control
// against the layout table with its caption byte for byte and fitting its box
// in the bundled font, and the focus order.
#include "panel/image_label.h"
#include "panel/layout.h"
#include "panel/mivo.h"
#include "panel/panel_font.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <map>

using namespace panel::layout;

namespace {

QString controlName(const Control& c) {
    const QString name = QString::fromUtf8(c.name.data(), c.name.size());
    return c.index < 0 ? name : QString("%1(%2)").arg(name).arg(c.index);
}

// Written out apart from the layout table, runs of blanks counted.
std::map<QString, QByteArray> captions() {
    const auto gap = [](int n) { return QByteArray(n, ' '); };
    std::map<QString, QByteArray> c{{"Check1", "Vklju\xC4\x8Di izhode v skupini"},
                                    {"Command1", "Preklopi izhode"},
                                    {"Command2", "Izhod iz programa"},
                                    {"Command3", "Vse izhode na 1"},
                                    {"Command4", "Vse izhode na 0"},
                                    {"Frame1", "Izhodi A"},
                                    {"Frame2", "Vhodi"},
                                    {"Frame3", "Izhodi B"},
                                    {"Label1(8)", "BUSY" + gap(12) + "S7"},
                                    {"Label1(9)", "ACK" + gap(15) + "S6"},
                                    {"Label1(10)", "PAPER END S5"},
                                    {"Label1(11)", "SELECT IN" + gap(3) + "S4"},
                                    {"Label1(12)", "ERROR" + gap(8) + "S3"},
                                    {"Label1(13)", "ni uporabljeno"},
                                    {"Label1(14)", "ni uporabljeno"},
                                    {"Label1(15)", "ni uporabljeno"},
                                    {"Label1(16)", "Preklopi vse izhode"},
                                    {"Label1(17)", "Preklopi vse izhode"},
                                    {"Label1(18)", "Select" + gap(6) + "C3"},
                                    {"Label1(21)", "INIT" + gap(9) + "C2"},
                                    {"Label1(22)", "AutoFD" + gap(4) + "C1"},
                                    {"Label1(23)", "STROBE C0"}};
    for (int i = 0; i < 8; ++i)
        c[QString("Label1(%1)").arg(i)] = "Data " + QByteArray::number(i);
    return c;
}

// The control as the handlers reach it: through the window's members.
QWidget* member(const Mivo& m, std::string_view name, int index) {
    if (name == "Image1" || name == "Image3")
        return (name == "Image1" ? m.Image1 : m.Image3).at(index);
    if (name == "Image2")
        return m.Image2.at(index);
    if (name == "Label1")
        return m.Label1.at(index);
    return std::map<std::string_view, QWidget*>{{"Frame1", m.Frame1},     {"Frame2", m.Frame2},
                                                {"Frame3", m.Frame3},     {"Command1", m.Command1},
                                                {"Command2", m.Command2}, {"Command3", m.Command3},
                                                {"Command4", m.Command4}, {"Check1", m.Check1}}
        .at(name);
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
    QCOMPARE(m.windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    QCOMPARE(m.menuBar()->actions(), QList<QAction*>{m.Connec});
    QCOMPARE(m.Connec->text(), QString("Shema konektorja"));
    QVERIFY(!m.Connec->menu());
    QCOMPARE(m.Check1->checkState(), Qt::Unchecked);
    QVERIFY(!m.isVisible());
    m.show();
    QCOMPARE(m.centralWidget()->size(), QSize(617, 395));
    QCOMPARE(m.centralWidget()->y(), m.menuBar()->geometry().bottom() + 1);

    // Only the buttons and the check box take the focus, in tab index order.
    QList<QWidget*> order;
    QWidget* w = m.Command1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
        w = w->nextInFocusChain();
    } while (w != m.Command1);
    QCOMPARE(order, (QList<QWidget*>{m.Command1, m.Command2, m.Check1, m.Command3, m.Command4}));
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
    QWidget* w = member(m, c.name, c.index);
    QVERIFY(w && w->isEnabled() && !w->isHidden());
    const char* classes[] = {"QGroupBox", "QPushButton", "QCheckBox", "QLabel", "ImageLabel"};
    QCOMPARE(QByteArray(w->metaObject()->className()), classes[static_cast<int>(c.kind)]);
    QCOMPARE(w->parentWidget(),
             c.container.empty() ? m.centralWidget() : member(m, c.container, -1));
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
    QStyle* style = w->style();
    if (label) {
        QCOMPARE(label->textFormat(), Qt::PlainText); // rich text would collapse the blanks
        const QRect r = fm.boundingRect(QRect(0, 0, w->width(), 1000), Qt::TextWordWrap, caption);
        QCOMPARE(qRound(double(r.height()) / fm.lineSpacing()),
                 caption == "Preklopi vse izhode" ? 2 : 1);
        QVERIFY(r.width() <= w->width());
        QVERIFY(label->heightForWidth(w->width()) <= w->height());
    } else if (c.kind == Kind::CheckBox) {
        const int needed = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w) +
                           fm.horizontalAdvance(caption);
        QVERIFY2(needed <= w->width(), qPrintable(QString::number(needed)));
        QVERIFY(fm.height() <= w->height());
    } else {
        const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
        QVERIFY(fm.horizontalAdvance(caption) + margin + frame <= w->width());
        QVERIFY(fm.height() + frame <= w->height());
    }
}

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
