// The main window as laid out, before start-up: window, controls against the
// layout table, every caption byte for byte, focus, and captions that fit
// their boxes in the bundled font.
#include "panel/image_label.h"
#include "panel/layout.h"
#include "panel/mivo.h"
#include "panel/panel_font.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextLayout>

#include <map>

using namespace panel::layout;

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { panel::useApplicationFont(); }
    void init() { mivo = std::make_unique<Mivo>(); }
    void cleanup() { mivo.reset(); }

    void window();
    void controlsAsTabled_data();
    void controlsAsTabled();
    void captions_data();
    void captions();
    void focus();
    void designTimeState();
    void captionsFit_data();
    void captionsFit();
    void blanksAreDrawn();

private:
    QWidget* control(std::string_view name, int index) const;
    std::unique_ptr<Mivo> mivo;
};

QWidget* TestLayout::control(std::string_view name, int index) const {
    if (name == "Image1")
        return mivo->Image1.at(index);
    if (name == "Image2")
        return mivo->Image2.at(index);
    if (name == "Image3")
        return mivo->Image3.at(index);
    if (name == "Label1")
        return mivo->Label1.at(index);
    const std::map<std::string_view, QWidget*> single{
        {"Frame1", mivo->Frame1},     {"Frame2", mivo->Frame2},     {"Frame3", mivo->Frame3},
        {"Command1", mivo->Command1}, {"Command2", mivo->Command2}, {"Command3", mivo->Command3},
        {"Command4", mivo->Command4}, {"Check1", mivo->Check1}};
    return single.at(name);
}

void TestLayout::window() {
    QCOMPARE(mivo->windowTitle().toUtf8(), QByteArray("Krmiljenje paralelnih vrat "));
    QVERIFY(!mivo->windowIcon().isNull());
    QVERIFY(!mivo->isVisible());

    const QList<QAction*> menu = mivo->menuBar()->actions();
    QCOMPARE(menu.size(), 1);
    QCOMPARE(menu.first(), mivo->Connec);
    QCOMPARE(mivo->Connec->text(), QStringLiteral("Shema konektorja"));
    QVERIFY(!mivo->Connec->menu());

    mivo->show();
    QWidget* client = mivo->centralWidget();
    QCOMPARE(client->size(), QSize(617, 395));
    QCOMPARE(client->y(), mivo->menuBar()->geometry().bottom() + 1);
    QCOMPARE(mivo->size(), QSize(617, client->y() + 395));
}

void TestLayout::controlsAsTabled_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const Control& c = kControls[i];
        const std::string name = c.index < 0
                                     ? std::string(c.name)
                                     : std::string(c.name) + "(" + std::to_string(c.index) + ")";
        QTest::newRow(name.c_str()) << static_cast<int>(i);
    }
}

void TestLayout::controlsAsTabled() {
    QFETCH(int, row);
    const Control& c = kControls[static_cast<std::size_t>(row)];
    QWidget* w = control(c.name, c.index);
    QVERIFY(w);
    QWidget* container = c.container.empty() ? mivo->centralWidget() : control(c.container, -1);
    QCOMPARE(w->parentWidget(), container);
    QCOMPARE(w->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
    const QString caption = QString::fromUtf8(c.caption.data(), c.caption.size());
    switch (c.kind) {
    case Kind::Frame:
        QCOMPARE(qobject_cast<QGroupBox*>(w)->title(), caption);
        break;
    case Kind::Button:
    case Kind::CheckBox:
        QCOMPARE(qobject_cast<QAbstractButton*>(w)->text(), caption);
        break;
    case Kind::Label:
        QCOMPARE(qobject_cast<QLabel*>(w)->text(), caption);
        QCOMPARE(qobject_cast<QLabel*>(w)->textFormat(), Qt::PlainText);
        break;
    case Kind::Image:
        QVERIFY(qobject_cast<ImageLabel*>(w));
        break;
    }
}

// Written out here independently of the layout table, runs of blanks counted.
void TestLayout::captions_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("caption");
    auto gap = [](int n) { return QByteArray(n, ' '); };
    const std::vector<std::pair<QByteArray, QByteArray>> single{
        {"Check1", "Vklju\xC4\x8Di izhode v skupini"},
        {"Command1", "Preklopi izhode"},
        {"Command2", "Izhod iz programa"},
        {"Command3", "Vse izhode na 1"},
        {"Command4", "Vse izhode na 0"},
        {"Frame1", "Izhodi A"},
        {"Frame2", "Vhodi"},
        {"Frame3", "Izhodi B"},
    };
    for (const auto& [name, caption] : single)
        QTest::newRow(name.constData()) << name << -1 << caption;
    std::vector<std::pair<int, QByteArray>> labels{
        {8, "BUSY" + gap(12) + "S7"},   {9, "ACK" + gap(15) + "S6"},
        {10, "PAPER END S5"},           {11, "SELECT IN" + gap(3) + "S4"},
        {12, "ERROR" + gap(8) + "S3"},  {13, "ni uporabljeno"},
        {14, "ni uporabljeno"},         {15, "ni uporabljeno"},
        {16, "Preklopi vse izhode"},    {17, "Preklopi vse izhode"},
        {18, "Select" + gap(6) + "C3"}, {21, "INIT" + gap(9) + "C2"},
        {22, "AutoFD" + gap(4) + "C1"}, {23, "STROBE C0"},
    };
    for (int i = 0; i < 8; ++i)
        labels.emplace_back(i, "Data " + QByteArray::number(i));
    for (const auto& [index, caption] : labels)
        QTest::addRow("Label1(%d)", index) << QByteArray("Label1") << index << caption;
}

void TestLayout::captions() {
    QFETCH(QByteArray, name);
    QFETCH(int, index);
    QFETCH(QByteArray, caption);
    QWidget* widget = control(name.toStdString(), index);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    else
        shown = qobject_cast<QGroupBox*>(widget)->title();
    QCOMPARE(shown.toUtf8(), caption);
}

void TestLayout::focus() {
    // Walk the focus chain from the first button: only the four buttons and
    // the check box take the focus, in tab index order.
    const QList<QWidget*> expected{mivo->Command1, mivo->Command2, mivo->Check1, mivo->Command3,
                                   mivo->Command4};
    QList<QWidget*> order;
    QWidget* w = mivo->Command1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
        w = w->nextInFocusChain();
    } while (w != mivo->Command1);
    QCOMPARE(order, expected);

    for (QWidget* other : mivo->findChildren<QWidget*>())
        if (qobject_cast<QLabel*>(other) || qobject_cast<QGroupBox*>(other))
            QCOMPARE(other->focusPolicy(), Qt::NoFocus);
    for (QPushButton* button : {mivo->Command1, mivo->Command2, mivo->Command3, mivo->Command4}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TestLayout::designTimeState() {
    QCOMPARE(mivo->Check1->checkState(), Qt::Unchecked);
    for (QWidget* w : mivo->centralWidget()->findChildren<QWidget*>()) {
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY2(!w->isHidden(), qPrintable(w->objectName()));
    }
    int images = 0;
    for (auto* image : mivo->findChildren<ImageLabel*>()) {
        QVERIFY(image->pixmap().isNull());
        QCOMPARE(image->size(), QSize(25, 25));
        ++images;
    }
    QCOMPARE(images, 9 + 5 + 8);
    QCOMPARE(mivo->findChildren<QLabel*>().size() - images, 22);
    QVERIFY(!mivo->Image3[4] && !mivo->Label1[19] && !mivo->Label1[20]);
}

void TestLayout::captionsFit_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const Control& c = kControls[i];
        if (c.kind == Kind::Image || c.kind == Kind::Frame)
            continue;
        const std::string name =
            std::string(c.name) + (c.index < 0 ? "" : "(" + std::to_string(c.index) + ")");
        QTest::newRow(name.c_str()) << static_cast<int>(i);
    }
}

void TestLayout::captionsFit() {
    QFETCH(int, row);
    const Control& c = kControls[static_cast<std::size_t>(row)];
    QWidget* widget = control(c.name, c.index);
    const QFontMetrics fm(widget->font());
    QCOMPARE(widget->font().family(), panel::panelFont().family());
    QStyle* style = widget->style();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        const QString text = label->text();
        if (text != QStringLiteral("Preklopi vse izhode")) {
            QVERIFY2(fm.horizontalAdvance(text) <= label->width(), qPrintable(text));
            QVERIFY2(fm.height() <= label->height(), qPrintable(text));
            return;
        }
        // Two lines, wrapped at the label's width, inside its 57 x 33.
        QVERIFY(label->wordWrap());
        QTextLayout layout(text, label->font());
        layout.beginLayout();
        int lines = 0;
        qreal height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(label->width());
            QVERIFY(line.naturalTextWidth() <= label->width());
            height += line.height();
            ++lines;
        }
        layout.endLayout();
        QCOMPARE(label->size(), QSize(57, 33));
        QCOMPARE(lines, 2);
        QVERIFY(height <= label->height());
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
    } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        const int needed = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check) +
                           fm.horizontalAdvance(check->text());
        QVERIFY2(needed <= check->width(), qPrintable(QString::number(needed)));
        QVERIFY(fm.height() <= check->height());
    } else {
        auto* button = qobject_cast<QPushButton*>(widget);
        QVERIFY(button);
        const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        QVERIFY(fm.horizontalAdvance(button->text()) + margin + frame <= button->width());
        QVERIFY(fm.height() + frame <= button->height());
    }
}

void TestLayout::blanksAreDrawn() {
    // QLabel must not collapse a run of blanks: in the drawn "ACK", 15 blanks,
    // "S6", the widest column without ink is the run of blanks.
    QLabel* ack = mivo->Label1[9];
    const QImage drawn = ack->grab().toImage();
    const QColor background = drawn.pixelColor(drawn.width() - 1, drawn.height() - 1);
    int widestGap = 0, gap = 0, firstInk = -1;
    for (int x = 0; x < drawn.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < drawn.height() && !ink; ++y)
            ink = drawn.pixelColor(x, y) != background;
        if (ink) {
            if (firstInk >= 0)
                widestGap = std::max(widestGap, gap);
            firstInk = firstInk < 0 ? x : firstInk;
            gap = 0;
        } else {
            ++gap;
        }
    }
    const int blanks = QFontMetrics(ack->font()).horizontalAdvance(QString(15, u' '));
    QVERIFY2(widestGap >= blanks, qPrintable(QStringLiteral("%1 < %2").arg(widestGap).arg(blanks)));
}

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
