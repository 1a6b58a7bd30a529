// The register model: composition, decoding, the all-outputs values and the
// connector's pin map.
#include "port/registers.h"

#include <QTest>

using namespace lpt;

class TestRegisters : public QObject {
    Q_OBJECT
private slots:
    void dataComposition_data();
    void dataComposition();
    void controlComposition_data();
    void controlComposition();
    void statusDecoding_data();
    void statusDecoding();
    void addresses();
    void connectorPinMap();
};

using Bits8 = std::array<int, 8>;
using Bits4 = std::array<int, 4>;
Q_DECLARE_METATYPE(Bits8)
Q_DECLARE_METATYPE(Bits4)

void TestRegisters::dataComposition_data() {
    QTest::addColumn<Bits8>("bits");
    QTest::addColumn<int>("value");
    QTest::newRow("all 0") << Bits8{0, 0, 0, 0, 0, 0, 0, 0} << 0;
    QTest::newRow("all 1") << Bits8{1, 1, 1, 1, 1, 1, 1, 1} << 255;
    QTest::newRow("D0 alone") << Bits8{1, 0, 0, 0, 0, 0, 0, 0} << 1;
    QTest::newRow("D7 alone") << Bits8{0, 0, 0, 0, 0, 0, 0, 1} << 128;
    QTest::newRow("D0 and D2") << Bits8{1, 0, 1, 0, 0, 0, 0, 0} << 5;
    QTest::newRow("D2 alone") << Bits8{0, 0, 1, 0, 0, 0, 0, 0} << 4;
    QTest::newRow("alternating") << Bits8{0, 1, 0, 1, 0, 1, 0, 1} << 0xAA;
}

void TestRegisters::dataComposition() {
    QFETCH(Bits8, bits);
    QFETCH(int, value);
    QCOMPARE(composeData(bits), value);
}

void TestRegisters::controlComposition_data() {
    QTest::addColumn<Bits4>("bits");
    QTest::addColumn<int>("value");
    QTest::newRow("all 1") << Bits4{1, 1, 1, 1} << 4;
    QTest::newRow("all 0") << Bits4{0, 0, 0, 0} << 11;
    QTest::newRow("C0 C1 C3 at 1, C2 at 0") << Bits4{1, 1, 0, 1} << 0;
    QTest::newRow("C2 alone at 1") << Bits4{0, 0, 1, 0} << 15;
    QTest::newRow("C0 alone at 1") << Bits4{1, 0, 0, 0} << 10;
    QTest::newRow("C1 alone at 1") << Bits4{0, 1, 0, 0} << 9;
    QTest::newRow("C3 alone at 1") << Bits4{0, 0, 0, 1} << 3;
}

void TestRegisters::controlComposition() {
    QFETCH(Bits4, bits);
    QFETCH(int, value);
    QCOMPARE(composeControl(bits), value);
}

void TestRegisters::statusDecoding_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<Bits8>("levels");
    QTest::newRow("0: S0-S6 low, S7 high") << 0 << Bits8{0, 0, 0, 0, 0, 0, 0, 1};
    QTest::newRow("255: S0-S6 high, S7 low") << 255 << Bits8{1, 1, 1, 1, 1, 1, 1, 0};
    QTest::newRow("128: all low") << 128 << Bits8{0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("127: all high") << 127 << Bits8{1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("8: S3 high, S7 high") << 8 << Bits8{0, 0, 0, 1, 0, 0, 0, 1};
    QTest::newRow("0x40|0x80: ACK high only") << 0xC0 << Bits8{0, 0, 0, 0, 0, 0, 1, 0};
}

void TestRegisters::statusDecoding() {
    QFETCH(int, status);
    QFETCH(Bits8, levels);
    QCOMPARE(decodeStatus(status), levels);
}

void TestRegisters::addresses() {
    QCOMPARE(registerAt(0x378), std::optional(Register::Data));
    QCOMPARE(registerAt(0x379), std::optional(Register::Status));
    QCOMPARE(registerAt(0x37A), std::optional(Register::Control));
    for (int a : {0x377, 0x37B, 0x278, 888 + 256})
        QVERIFY2(!registerAt(a), qPrintable(QString::number(a, 16)));
}

void TestRegisters::connectorPinMap() {
    // Pin by pin: signal name, or GND; a leading '/' marks an inverted pin.
    const char* expected[25] = {"/C0", "D0",  "D1",  "D2",  "D3",  "D4",  "D5", "D6",  "D7",
                                "S6",  "/S7", "S5",  "S4",  "/C1", "S3",  "C2", "/C3", "GND",
                                "GND", "GND", "GND", "GND", "GND", "GND", "GND"};
    const auto& pins = connectorPins();
    int inputs = 0;
    for (std::size_t i = 0; i < pins.size(); ++i) {
        const auto& p = pins[i];
        QCOMPARE(p.pin, int(i) + 1);
        QCOMPARE((p.inverted ? "/" : "") + QByteArray(p.name.data(), int(p.name.size())),
                 QByteArray(expected[i]));
        inputs += p.kind == PinKind::Input;
        if (p.name.starts_with('D'))
            QCOMPARE(p.bit, int(i) - 1); // data bit i is on pin i + 2
    }
    QCOMPARE(inputs, 5);
}

QTEST_APPLESS_MAIN(TestRegisters)
#include "test_registers.moc"
