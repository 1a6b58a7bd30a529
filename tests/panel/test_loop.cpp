// Start-up and the monitor loop on a recording port: the register accesses in
// order, the pictures, the lamps, the panel's composition against the register
// model, and the handlers reached by clicking the real widgets inside a pass.
#include "panel_harness.h"

#include "diagram/conn.h"
#include "port/registers.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

using namespace panel_test;

class TestLoop : public QObject {
    Q_OBJECT
private slots:
    void startUpAndFirstPass();
    void lampLevels();
    void changedPictureShowsAtOnce();
    void compositionAgreesWithRegisterModel();
    void clicks_data();
    void clicks();
    void connectorWindowWhilePanelRuns();
};

// That the start-up writes come before any picture is loaded is seen by the
// process tests: a missing picture stops the panel after those four writes.
void TestLoop::startUpAndFirstPass() {
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
void TestLoop::lampLevels() {
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

// Each set reads the picture's file: new bytes under the same name show at the
// next pass, though the old bytes' picture was kept decoded.
void TestLoop::changedPictureShowsAtOnce() {
    QTemporaryDir dir;
    for (const char* file : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
        QVERIFY(QFile::copy(file, dir.filePath(file)));
    const QString home = QDir::currentPath();
    QDir::setCurrent(dir.path());
    PanelRun run;
    run.startUp();
    run.pass(); // a fresh port: S0 high, "ledron.bmp"
    const QImage low = QImageReader("ledgon.bmp").read();
    const bool before = run.mivo.Image2[0]->picture() == low;
    QFile::remove("ledron.bmp");
    QFile::copy("ledgon.bmp", "ledron.bmp");
    run.pass();
    QDir::setCurrent(home);
    QVERIFY(!before);
    QCOMPARE(run.mivo.Image2[0]->picture(), low);
}

void TestLoop::compositionAgreesWithRegisterModel() {
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

void TestLoop::clicks_data() {
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
        << QStringList{"2: D255 C11 S | 111111110/00000", "3: D255 D255 C11 S | 111111111/00000",
                       "4: D0 C11 S | 000000001/00000", "5: D0 D0 C11 S | 000000000/00000"};
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

void TestLoop::clicks() {
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

void TestLoop::connectorWindowWhilePanelRuns() {
    PanelRun run;
    run.script = {{2, {"Connec"}}, {5, {"Connec"}}};
    run.startUp();
    for (int pass = 1; pass <= 10; ++pass)
        run.pass();
    QList<QWidget*> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<Conn*>(w) && w->isVisible())
            open << w;
    QCOMPARE(open, QList<QWidget*>{Conn::loaded()});
    QCOMPARE(run.port->statusReads(), 10);
    Conn::loaded()->close();
}

QTEST_MAIN(TestLoop)
#include "test_loop.moc"
