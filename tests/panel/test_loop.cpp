// Start-up and the monitor loop on a recording port: the order of register
// accesses, the pictures, the lamps for every status value, and agreement of
// the panel's step-by-step composition with the register model.
#include "panel_harness.h"

#include "port/registers.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWindow>

using namespace panel_test;
using lpt::test::readStatus;
using lpt::test::writeControl;
using lpt::test::writeData;

namespace {

// Notes, at every write, whether the window was visible and how many pictures
// had been read: the start-up writes come after show() and before any picture.
class ObservingPort final : public lpt::Driver {
public:
    struct Moment {
        int value;
        bool visible;
        long pictureReads;
    };
    std::vector<Moment>* moments;
    const Mivo* const* mivo;

    std::string description() const override { return "observing port"; }
    void write(lpt::Register, std::uint8_t value) override {
        moments->push_back({value, (*mivo)->isVisible(), (*mivo)->pictureReads()});
    }
    std::uint8_t read(lpt::Register) override { return 0x7F; }
};

// Runs a test in a scratch copy of the pictures, so it can change them.
struct ScratchPictures {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    ScratchPictures() {
        for (const char* file : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
            QFile::copy(QString::fromLatin1(file), dir.filePath(QString::fromLatin1(file)));
        QDir::setCurrent(dir.path());
    }
    ~ScratchPictures() { QDir::setCurrent(previous); }
};

QStringList expectedLamps(int status) {
    QStringList files;
    const std::array<int, 8> levels = lpt::decodeStatus(status);
    for (int level : levels)
        files << (level ? "ledron.bmp" : "ledgon.bmp");
    return files;
}

QStringList shownLamps(const Mivo& mivo) {
    const QImage high = filePicture("ledron.bmp"), low = filePicture("ledgon.bmp");
    QStringList files;
    for (const ImageLabel* lamp : mivo.Image2) {
        const QImage picture = shown(lamp);
        files << (picture == high ? "ledron.bmp" : picture == low ? "ledgon.bmp" : "other");
    }
    return files;
}

} // namespace

class TestLoop : public QObject {
    Q_OBJECT
private slots:
    void startUpWritesBeforePictures();
    void startStateAndFirstPass();
    void lamps_data();
    void lamps();
    void lampsForEveryStatusValue();
    void compositionAgreesWithRegisterModel();
    void picturesAreReadAtEverySet();
    void pictureShownAtItsOwnSize();
    void quitRequestEndsLoopAfterItsPass_data();
    void quitRequestEndsLoopAfterItsPass();
};

void TestLoop::startUpWritesBeforePictures() {
    std::vector<ObservingPort::Moment> moments;
    Mivo* mivo = nullptr;
    auto* port = new ObservingPort;
    port->moments = &moments;
    port->mivo = &mivo;
    lpt::installDriver(std::unique_ptr<lpt::Driver>(port));
    Mivo window;
    mivo = &window;
    window.startUp();
    QCOMPARE(moments.size(), std::size_t(4));
    const int values[] = {0, 3, 255, 255};
    for (std::size_t i = 0; i < 4; ++i) {
        QCOMPARE(moments[i].value, values[i]);
        QVERIFY(moments[i].visible);
        QCOMPARE(moments[i].pictureReads, 0L);
    }
    // 14 switches with "swtchoff.gif" and 8 lamps with "ledgon.bmp", each read.
    QCOMPARE(window.pictureReads(), 22L);
    lpt::installDriver(nullptr);
}

void TestLoop::startStateAndFirstPass() {
    PanelRun run;
    Mivo& m = *run.mivo;
    for (const ImageLabel* image : m.findChildren<ImageLabel*>())
        QVERIFY(image->pixmap().isNull());

    run.startUp();
    QCOMPARE(lines(run.port->accesses),
             lines({writeData(0), writeControl(3), writeData(255), writeControl(255)}));
    QCOMPARE(m.dataPort, 0x378);
    QCOMPARE(m.statusPort, 0x379);
    QCOMPARE(m.controlPort, short(0x37A));
    QCOMPARE(m.quitFlag, short(0));
    for (int slot = 0; slot <= 8; ++slot) {
        QCOMPARE(m.dataBits[slot], 0);
        QCOMPARE(m.controlBits[slot], 0);
    }
    const QImage off = filePicture("swtchoff.gif"), low = filePicture("ledgon.bmp");
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8})
        QCOMPARE(shown(m.Image1[i]), off);
    for (int i : {0, 1, 2, 3, 8})
        QCOMPARE(shown(m.Image3[i]), off);
    for (const ImageLabel* lamp : m.Image2)
        QCOMPARE(shown(lamp), low);
    QVERIFY(!m.Command1->isEnabled());

    // The first pass replaces the start-up values with the composition of the
    // start state, then reads the status (a fresh port reports 0x7F).
    QVERIFY(run.runTo(1));
    QCOMPARE(lines(run.pass(1)), lines({writeData(0), writeControl(11), readStatus(0x7F)}));
    QCOMPARE(shownLamps(m), expectedLamps(0x7F));
}

void TestLoop::lamps_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lamps"); // S0..S7
    const QString g = "ledgon.bmp", r = "ledron.bmp";
    QTest::newRow("0: S0-S6 low, BUSY high") << 0 << QStringList{g, g, g, g, g, g, g, r};
    QTest::newRow("255: S0-S6 high, BUSY low") << 255 << QStringList{r, r, r, r, r, r, r, g};
    QTest::newRow("128: all low") << 128 << QStringList{g, g, g, g, g, g, g, g};
    QTest::newRow("127: all high") << 127 << QStringList{r, r, r, r, r, r, r, r};
    QTest::newRow("0x29: S0, S3, S5 high") << 0x29 << QStringList{r, g, g, r, g, r, g, r};
}

void TestLoop::lamps() {
    QFETCH(int, status);
    QFETCH(QStringList, lamps);
    PanelRun run;
    run.startUp();
    run.port->status = status;
    QVERIFY(run.runTo(1));
    QCOMPARE(shownLamps(*run.mivo), lamps);
    QCOMPARE(run.mivo->statusValue, short(0));
}

void TestLoop::lampsForEveryStatusValue() {
    PanelRun run;
    run.startUp();
    for (int status = 0; status <= 255; ++status) {
        run.port->status = status;
        const long readsBefore = run.mivo->pictureReads();
        QVERIFY(run.runTo(status + 1));
        QCOMPARE(run.mivo->pictureReads() - readsBefore, 8L);
        QCOMPARE(shownLamps(*run.mivo), expectedLamps(status));
        QCOMPARE(run.mivo->statusValue, short(0));
    }
}

void TestLoop::compositionAgreesWithRegisterModel() {
    // Every combination of D0..D7 and C0..C3, composed by the monitor loop in
    // immediate mode and by the apply button in group mode.
    PanelRun run;
    run.startUp();
    Mivo& m = *run.mivo;
    for (int mode = 0; mode < 2; ++mode) {
        for (int bits = 0; bits < 4096; ++bits) {
            for (int i = 0; i < 8; ++i)
                m.dataBits[i] = (bits >> i) & 1;
            for (int i = 0; i < 4; ++i)
                m.controlBits[i] = (bits >> (8 + i)) & 1;
            const int data = lpt::composeData(std::span(m.dataBits).first<8>());
            const int control = lpt::composeControl(std::span(m.controlBits).first<4>());
            const std::size_t before = run.port->accesses.size();
            if (mode == 0) {
                QVERIFY(m.monitorPass());
            } else {
                m.Command1->setEnabled(true);
                m.Command1_Click();
            }
            const Accesses made(run.port->accesses.begin() + static_cast<long>(before),
                                run.port->accesses.begin() + static_cast<long>(before) + 2);
            QCOMPARE(lines(made), lines({writeData(data), writeControl(control)}));
            QCOMPARE(m.dataValue, data);
            QCOMPARE(m.controlValue, control);
        }
    }
}

void TestLoop::picturesAreReadAtEverySet() {
    ScratchPictures scratch;
    PanelRun run;
    run.port->status = 0; // S0..S6 show "ledgon.bmp"
    run.startUp();
    QVERIFY(run.runTo(1));
    QImage blue(25, 25, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(blue.save("ledgon.bmp", "BMP"));
    QVERIFY(run.runTo(2));
    for (int k = 0; k < 7; ++k)
        QCOMPARE(shown(run.mivo->Image2[k]),
                 blue.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestLoop::pictureShownAtItsOwnSize() {
    ScratchPictures scratch;
    QImage large(40, 30, QImage::Format_RGB32);
    large.fill(Qt::green);
    QVERIFY(large.save("ledgon.bmp", "BMP"));
    QImage small(10, 12, QImage::Format_RGB32);
    small.fill(Qt::red);
    QVERIFY(small.save("ledron.bmp", "BMP"));
    PanelRun run;
    run.port->status = 0x01; // S0 high, S1..S6 low
    run.startUp();
    QVERIFY(run.runTo(1));
    QCOMPARE(run.mivo->Image2[1]->geometry(), QRect(16, 64, 40, 30));
    QCOMPARE(run.mivo->Image2[0]->geometry(), QRect(16, 32, 10, 12));
    QCOMPARE(shown(run.mivo->Image2[0]),
             small.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestLoop::quitRequestEndsLoopAfterItsPass_data() {
    QTest::addColumn<bool>("byFrame");
    QTest::newRow("exit button") << false;
    QTest::newRow("window closed by its frame") << true;
}

void TestLoop::quitRequestEndsLoopAfterItsPass() {
    // With endProgram only recording the request, the loop itself must end
    // at the end of the pass in which the request came, and unload the window.
    QFETCH(bool, byFrame);
    PanelRun run;
    long lastPass = 0;
    Mivo& m = *run.mivo;
    m.onEventsProcessed = [&](long pass) {
        lastPass = pass;
        if (pass == 3 && byFrame)
            m.windowHandle()->close(); // what the window manager's close does
        else if (pass == 3)
            click(m.Command2);
    };
    m.Form_Load();
    QCOMPARE(lastPass, 3L);
    QCOMPARE(run.exitRequests, std::vector<int>{0});
    QCOMPARE(m.quitFlag, short(1));
    QVERIFY(!m.isVisible());
    // Start-up, then three whole passes: the quit pass still writes and reads.
    Accesses expected{writeData(0), writeControl(3), writeData(255), writeControl(255)};
    for (int pass = 0; pass < 3; ++pass)
        expected.insert(expected.end(), {writeData(0), writeControl(11), readStatus(0x7F)});
    QCOMPARE(lines(run.port->accesses), lines(expected));
}

QTEST_MAIN(TestLoop)
#include "test_loop.moc"
