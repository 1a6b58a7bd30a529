// The handlers, reached by clicking the real widgets inside a pass: single
// switches, toggle-all switches, the mode check box, the command buttons and
// the menu command; the port accesses of each pass are checked in order.
#include "panel_harness.h"

#include "diagram/conn.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>

using namespace panel_test;
using lpt::test::readStatus;
using lpt::test::writeControl;
using lpt::test::writeData;

namespace {

const Access kRead = readStatus(0x7F); // a fresh port's status

// The switch pictures of Image1 0-8 or Image3 0-3 and 8, as "1" (on) / "0".
QString switches(const std::array<ImageLabel*, 9>& images) {
    const QImage on = filePicture("swtchon.gif"), off = filePicture("swtchoff.gif");
    QString out;
    for (const ImageLabel* image : images)
        if (image)
            out += shown(image) == on ? '1' : shown(image) == off ? '0' : '?';
    return out;
}

QString bits(const int (&bitSlots)[10], std::initializer_list<int> which) {
    QString out;
    for (int slot : which)
        out += QChar('0' + bitSlots[slot]);
    return out;
}
QString dataBits(const Mivo& m) {
    return bits(m.dataBits, {0, 1, 2, 3, 4, 5, 6, 7, 8});
}
QString controlBits(const Mivo& m) {
    return bits(m.controlBits, {0, 1, 2, 3, 8});
}

} // namespace

class TestHandlers : public QObject {
    Q_OBJECT
private slots:
    void singleSwitchImmediate_data();
    void singleSwitchImmediate();
    void singleSwitchGroupModeWaitsForApply();
    void modeChangesTakeEffectNextPass();
    void toggleAll_data();
    void toggleAll();
    void toggleAllFollowsItsOwnState();
    void allOutputs_data();
    void allOutputs();
    void applyWhileDisabledWritesNothing();
    void lampsLabelsAndFramesHaveNoHandler();
    void connectorWindowWhilePanelRuns();
};

void TestHandlers::singleSwitchImmediate_data() {
    QTest::addColumn<bool>("control");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("data");     // data register after the click's pass
    QTest::addColumn<int>("controlV"); // control register after the click's pass
    QTest::newRow("D0") << false << 0 << 1 << 11;
    QTest::newRow("D2") << false << 2 << 4 << 11;
    QTest::newRow("D7") << false << 7 << 128 << 11;
    QTest::newRow("C0, inverted") << true << 0 << 0 << 10;
    QTest::newRow("C1, inverted") << true << 1 << 0 << 9;
    QTest::newRow("C2") << true << 2 << 0 << 15;
    QTest::newRow("C3, inverted") << true << 3 << 0 << 3;
}

void TestHandlers::singleSwitchImmediate() {
    QFETCH(bool, control);
    QFETCH(int, index);
    QFETCH(int, data);
    QFETCH(int, controlV);
    PanelRun run;
    Mivo& m = *run.mivo;
    auto& images = control ? m.Image3 : m.Image1;
    int* bitSlots = control ? m.controlBits : m.dataBits;
    run.actions[2] = run.actions[3] = [&] { click(images[index]); };
    run.startUp();

    // The click itself writes nothing; its pass writes the new composition.
    QVERIFY(run.runTo(2));
    QCOMPARE(lines(run.pass(2)), lines({writeData(data), writeControl(controlV), kRead}));
    QCOMPARE(bitSlots[index], 1);
    QCOMPARE(shown(images[index]), filePicture("swtchon.gif"));
    QCOMPARE(bitSlots[8], 0);
    QCOMPARE(shown(images[8]), filePicture("swtchoff.gif"));

    QVERIFY(run.runTo(3));
    QCOMPARE(lines(run.pass(3)), lines({writeData(0), writeControl(11), kRead}));
    QCOMPARE(bitSlots[index], 0);
    QCOMPARE(shown(images[index]), filePicture("swtchoff.gif"));
}

void TestHandlers::singleSwitchGroupModeWaitsForApply() {
    PanelRun run;
    Mivo& m = *run.mivo;
    run.actions[1] = [&] { click(m.Check1); };
    run.actions[3] = [&] {
        click(m.Image1[0]);
        click(m.Image1[2]);
    };
    run.actions[5] = [&] { click(m.Command1); };
    run.startUp();
    QVERIFY(run.runTo(5));
    QCOMPARE(lines(run.pass(3)), lines({kRead}));
    QCOMPARE(lines(run.pass(4)), lines({kRead}));
    QCOMPARE(m.dataValue, 5); // still composed every pass
    QCOMPARE(m.controlValue, 11);
    // The apply click writes inside the event step, before the status read.
    QCOMPARE(lines(run.pass(5)), lines({writeData(5), writeControl(11), kRead}));
    QCOMPARE(dataBits(m), QStringLiteral("101000000"));
}

void TestHandlers::modeChangesTakeEffectNextPass() {
    PanelRun run;
    Mivo& m = *run.mivo;
    run.actions[2] = run.actions[4] = [&] { click(m.Check1); };
    run.startUp();
    const Accesses writes{writeData(0), writeControl(11), kRead};
    QVERIFY(run.runTo(2));
    QCOMPARE(lines(run.pass(2)), lines(writes)); // the tick's pass still writes
    QVERIFY(m.Command1->isEnabled());
    QVERIFY(run.runTo(4));
    QCOMPARE(lines(run.pass(3)), lines({kRead}));
    QCOMPARE(lines(run.pass(4)), lines({kRead})); // the untick's pass does not
    QVERIFY(!m.Command1->isEnabled());
    QVERIFY(run.runTo(5));
    QCOMPARE(lines(run.pass(5)), lines(writes));
}

void TestHandlers::toggleAll_data() {
    QTest::addColumn<bool>("control");
    QTest::addColumn<bool>("groupMode");
    QTest::addColumn<Accesses>("firstClick");  // the pass of the click that turns all on
    QTest::addColumn<Accesses>("secondClick"); // and of the one that turns all off
    QTest::newRow("data, immediate")
        << false << false << Accesses{writeData(255), writeData(255), writeControl(11), kRead}
        << Accesses{writeData(0), writeData(0), writeControl(11), kRead};
    QTest::newRow("data, group mode")
        << false << true << Accesses{writeData(255), kRead} << Accesses{writeData(0), kRead};
    QTest::newRow("control, immediate")
        << true << false << Accesses{writeControl(4), writeData(0), writeControl(4), kRead}
        << Accesses{writeControl(11), writeData(0), writeControl(11), kRead};
    QTest::newRow("control, group mode")
        << true << true << Accesses{writeControl(4), kRead} << Accesses{writeControl(11), kRead};
}

void TestHandlers::toggleAll() {
    QFETCH(bool, control);
    QFETCH(bool, groupMode);
    QFETCH(Accesses, firstClick);
    QFETCH(Accesses, secondClick);
    PanelRun run;
    Mivo& m = *run.mivo;
    if (groupMode)
        run.actions[1] = [&] { click(m.Check1); };
    auto& images = control ? m.Image3 : m.Image1;
    run.actions[3] = run.actions[4] = [&] { click(images[8]); };
    run.startUp();

    QVERIFY(run.runTo(3));
    QCOMPARE(lines(run.pass(3)), lines(firstClick));
    QCOMPARE(control ? controlBits(m) : dataBits(m), QString(control ? "11111" : "111111111"));
    QCOMPARE(switches(images), QString(control ? "11111" : "111111111"));
    QCOMPARE(control ? m.controlValue : m.dataValue, control ? 4 : 255);
    // The other group is left alone.
    QCOMPARE(control ? dataBits(m) : controlBits(m), QString(control ? "000000000" : "00000"));
    QCOMPARE(switches(control ? m.Image1 : m.Image3), QString(control ? "000000000" : "00000"));

    QVERIFY(run.runTo(4));
    QCOMPARE(lines(run.pass(4)), lines(secondClick));
    QCOMPARE(switches(images), QString(control ? "00000" : "000000000"));
}

void TestHandlers::toggleAllFollowsItsOwnState() {
    // Switches set one by one leave the toggle-all switch as it was, so its
    // next click repeats what its state says, not the inverse of the outputs.
    PanelRun run;
    Mivo& m = *run.mivo;
    auto eachDataSwitch = [&] {
        for (int i = 0; i < 8; ++i)
            click(m.Image1[i]);
    };
    run.actions[2] = eachDataSwitch; // all on, one by one
    run.actions[3] = [&] { click(m.Image1[8]); };
    run.actions[4] = eachDataSwitch; // all off, one by one
    run.actions[5] = run.actions[3];
    run.startUp();

    QVERIFY(run.runTo(2));
    QCOMPARE(dataBits(m), QStringLiteral("111111110"));
    QCOMPARE(switches(m.Image1), QStringLiteral("111111110"));
    QVERIFY(run.runTo(3));
    QCOMPARE(lines({run.pass(3).front()}), lines({writeData(255)}));
    QCOMPARE(dataBits(m), QStringLiteral("111111111"));
    QCOMPARE(switches(m.Image1), QStringLiteral("111111111"));
    QVERIFY(run.runTo(4));
    QCOMPARE(dataBits(m), QStringLiteral("000000001"));
    QCOMPARE(switches(m.Image1), QStringLiteral("000000001"));
    QVERIFY(run.runTo(5));
    QCOMPARE(lines({run.pass(5).front()}), lines({writeData(0)}));
    QCOMPARE(dataBits(m), QStringLiteral("000000000"));
    QCOMPARE(switches(m.Image1), QStringLiteral("000000000"));
}

void TestHandlers::allOutputs_data() {
    QTest::addColumn<bool>("allOn");
    QTest::addColumn<bool>("groupMode");
    QTest::newRow("Vse izhode na 1, immediate") << true << false;
    QTest::newRow("Vse izhode na 1, group mode") << true << true;
    QTest::newRow("Vse izhode na 0, immediate") << false << false;
    QTest::newRow("Vse izhode na 0, group mode") << false << true;
}

void TestHandlers::allOutputs() {
    QFETCH(bool, allOn);
    QFETCH(bool, groupMode);
    PanelRun run;
    Mivo& m = *run.mivo;
    const int data = allOn ? 255 : 0, control = allOn ? 4 : 11;
    // Before the button: the control toggle-all switch on and D3 on, so both
    // toggle-all states (one on, one off) must come through untouched.
    run.actions[1] = [&] {
        if (groupMode)
            click(m.Check1);
        click(m.Image3[8]);
        click(m.Image1[3]);
    };
    run.actions[3] = [&] { click(allOn ? m.Command3 : m.Command4); };
    run.actions[4] = [&] { click(m.Command1); }; // apply: writes in group mode only
    run.startUp();
    QVERIFY(run.runTo(4));

    const Accesses written{writeData(data), writeControl(control)};
    Accesses pass3 = written;
    if (!groupMode)
        pass3.insert(pass3.end(), written.begin(), written.end());
    pass3.push_back(kRead);
    QCOMPARE(lines(run.pass(3)), lines(pass3));
    // Apply in group mode writes the same values again; in immediate mode the
    // button is disabled and the pass writes them.
    QCOMPARE(lines(run.pass(4)), lines({writeData(data), writeControl(control), kRead}));

    const QString level = allOn ? "1" : "0";
    QCOMPARE(dataBits(m), level.repeated(8) + "0");
    QCOMPARE(controlBits(m), level.repeated(4) + "1");
    QCOMPARE(switches(m.Image1), level.repeated(8) + "0");
    QCOMPARE(switches(m.Image3), level.repeated(4) + "1");
    QCOMPARE(m.dataValue, data);
    QCOMPARE(m.controlValue, control);
}

void TestHandlers::applyWhileDisabledWritesNothing() {
    PanelRun run;
    Mivo& m = *run.mivo;
    run.actions[2] = [&] {
        click(m.Image1[5]);
        click(m.Command1); // disabled in immediate mode: no click
        m.dataValue = 77;
        m.controlValue = 5;
        m.Command1_Click(); // even called directly it does nothing
        QCOMPARE(m.dataValue, 77);
        QCOMPARE(m.controlValue, 5);
    };
    run.startUp();
    QVERIFY(run.runTo(2));
    QCOMPARE(lines(run.pass(2)), lines({writeData(32), writeControl(11), kRead}));
}

void TestHandlers::lampsLabelsAndFramesHaveNoHandler() {
    PanelRun run;
    Mivo& m = *run.mivo;
    run.actions[2] = [&] {
        for (QWidget* w : std::initializer_list<QWidget*>{m.Image2[3], m.Image2[7], m.Label1[0],
                                                          m.Label1[16], m.Frame1, m.Frame2})
            click(w);
    };
    run.startUp();
    QVERIFY(run.runTo(2));
    QCOMPARE(lines(run.pass(2)), lines({writeData(0), writeControl(11), kRead}));
    QCOMPARE(dataBits(m), QStringLiteral("000000000"));
    QCOMPARE(controlBits(m), QStringLiteral("00000"));
    QCOMPARE(m.quitFlag, short(0));
}

void TestHandlers::connectorWindowWhilePanelRuns() {
    PanelRun run;
    Mivo& m = *run.mivo;
    auto chooseMenu = [&] {
        QMenuBar* bar = m.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(m.Connec).center());
    };
    run.actions[2] = run.actions[5] = chooseMenu;
    run.startUp();
    QVERIFY(!Conn::loaded());
    QVERIFY(run.runTo(2));
    Conn* conn = Conn::loaded();
    QVERIFY(conn);
    QVERIFY(conn->isVisible());
    QVERIFY(run.runTo(10));
    QCOMPARE(Conn::loaded(), conn); // the second choice opened no other window
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        open += qobject_cast<Conn*>(w) && w->isVisible();
    QCOMPARE(open, 1);
    QCOMPARE(run.port->statusReads(), 10); // the loop kept reading
    QCOMPARE(lines(run.pass(10)), lines({writeData(0), writeControl(11), kRead}));
    conn->close();
}

QTEST_MAIN(TestHandlers)
#include "test_handlers.moc"
