// The handlers, reached by clicking the real widgets inside a pass: what each
// pass writes and reads, in order, and what the switches show after it.
#include "panel_harness.h"

#include "diagram/conn.h"

#include <QApplication>

using namespace panel_test;

class TestHandlers : public QObject {
    Q_OBJECT
private slots:
    void clicks_data();
    void clicks();
    void connectorWindowWhilePanelRuns();
};

void TestHandlers::clicks_data() {
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
    QTest::newRow("toggle-all, group mode: written at once")
        << QStringList{"1: Check1", "3: Image1(8)", "4: Image3(8)", "5: Image3(8)"}
        << QStringList{"3: D255 S | 111111111/00000", "4: C4 S | 111111111/11111",
                       "5: C11 S | 111111111/00000"};
    // Before the all-outputs buttons, the control toggle-all is on and D3 on,
    // so both toggle-all states must come through.
    QTest::newRow("all outputs to 1, immediate")
        << QStringList{"1: Image3(8) Image1(3)", "3: Command3"}
        << QStringList{"3: D255 C4 D255 C4 S | 111111110/11111"};
    QTest::newRow("all outputs to 0, immediate")
        << QStringList{"1: Image3(8) Image1(3)", "3: Command4"}
        << QStringList{"3: D0 C11 D0 C11 S | 000000000/00001"};
    QTest::newRow("all outputs to 1, group mode, then apply")
        << QStringList{"1: Check1 Image3(8) Image1(3)", "3: Command3", "4: Command1"}
        << QStringList{"3: D255 C4 S | 111111110/11111", "4: D255 C4 S | 111111110/11111"};
    QTest::newRow("all outputs to 0, group mode, then apply")
        << QStringList{"1: Check1 Image3(8) Image1(3)", "3: Command4", "4: Command1"}
        << QStringList{"3: D0 C11 S | 000000000/00001", "4: D0 C11 S | 000000000/00001"};
    QTest::newRow("apply while disabled writes nothing")
        << QStringList{"2: Image1(5) Command1 Command1_Click"}
        << QStringList{"2: D32 C11 S | 000001000/00000"};
}

void TestHandlers::clicks() {
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);
    PanelRun run;
    for (const QString& step : script)
        run.script[step.section(':', 0, 0).toLong()] = step.section(": ", 1).split(' ');
    run.startUp();
    QStringList passes{QString()};
    while (passes.size() <= expected.last().section(':', 0, 0).toLong())
        passes << run.pass();
    QStringList checked;
    for (const QString& e : expected) {
        const long n = e.section(':', 0, 0).toLong();
        checked << QString("%1: %2").arg(n).arg(passes[n]);
    }
    QCOMPARE(checked, expected);
}

void TestHandlers::connectorWindowWhilePanelRuns() {
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

QTEST_MAIN(TestHandlers)
#include "test_handlers.moc"
