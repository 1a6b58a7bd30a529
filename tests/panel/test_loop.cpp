// Start-up and the monitor loop on a recording port: the register accesses in
// order, the pictures, the lamps, and the panel's step-by-step composition
// against the register model.
#include "panel_harness.h"

#include "port/registers.h"

#include <QPushButton>

using namespace panel_test;

class TestLoop : public QObject {
    Q_OBJECT
private slots:
    void startUpAndFirstPass();
    void lampLevels_data();
    void lampLevels();
    void compositionAgreesWithRegisterModel();
};

// That the start-up writes come before any picture is loaded is seen by the
// process tests: a missing picture stops the panel after those four writes.
void TestLoop::startUpAndFirstPass() {
    PanelRun run;
    QCOMPARE(switches(run.mivo) + " " + lamps(run.mivo), QString("---------/----- --------"));
    QCOMPARE(run.startUp(), QString("D0 C3 D255 C255"));
    QCOMPARE(switches(run.mivo) + " " + lamps(run.mivo), QString("000000000/00000 LLLLLLLL"));
    QVERIFY(run.mivo.isVisible());
    QVERIFY(!run.mivo.Command1->isEnabled());
    // A fresh port reports 0x7F: S0..S7 high.
    QCOMPARE(run.pass(), QString("D0 C11 S | 000000000/00000"));
    QCOMPARE(lamps(run.mivo), QString("HHHHHHHH"));
}

void TestLoop::lampLevels_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("lamps"); // S0..S7; the BUSY pin is the complement of bit 7
    QTest::newRow("0") << 0 << "LLLLLLLH";
    QTest::newRow("255") << 255 << "HHHHHHHL";
    QTest::newRow("128") << 128 << "LLLLLLLL";
    QTest::newRow("127") << 127 << "HHHHHHHH";
}

void TestLoop::lampLevels() {
    QFETCH(int, status);
    QFETCH(QString, lamps);
    PanelRun run;
    run.startUp();
    run.port->status = status;
    run.pass();
    QCOMPARE(panel_test::lamps(run.mivo), lamps);
    QCOMPARE(run.mivo.statusValue, short(0));
}

void TestLoop::compositionAgreesWithRegisterModel() {
    // Every combination of D0..D7 and C0..C3, composed by the monitor loop in
    // immediate mode and by the apply button in group mode.
    PanelRun run;
    run.startUp();
    Mivo& m = run.mivo;
    for (bool apply : {false, true}) {
        for (int bits = 0; bits < 4096; ++bits) {
            for (int i = 0; i < 8; ++i)
                m.dataBits[i] = (bits >> i) & 1;
            for (int i = 0; i < 4; ++i)
                m.controlBits[i] = (bits >> (8 + i)) & 1;
            const int data = lpt::composeData(std::span(m.dataBits).first<8>());
            const int control = lpt::composeControl(std::span(m.controlBits).first<4>());
            m.Command1->setEnabled(apply);
            apply ? m.Command1_Click() : void(m.monitorPass());
            const QString written = QString("D%1 C%2").arg(data).arg(control);
            QCOMPARE(run.accesses(), apply ? written : written + " S");
        }
    }
}

QTEST_MAIN(TestLoop)
#include "test_loop.moc"
