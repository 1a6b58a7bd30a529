// SPDX-License-Identifier: MIT
#include "panel/mivo.h"

#include "diagram/conn.h"
#include "panel/error_report.h"
#include "panel/image_label.h"
#include "panel/layout.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/registers.h"
#include "port/simulated.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Read from the working directory by bare name at every set, never kept.
constexpr const char* kSwitchOn = "swtchon.gif";
constexpr const char* kSwitchOff = "swtchoff.gif";
constexpr const char* kLampLow = "ledgon.bmp";
constexpr const char* kLampHigh = "ledron.bmp";

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void out(int port, int value) {
    Out32(static_cast<short>(port), static_cast<short>(value));
}

// Where this copy of the program keeps its pictures: an installed one in
// PREFIX/share/lptpanel (the program lies in PREFIX/libexec/lptpanel), a build
// next to the executable.
std::string picturesFolderHint() {
    const QDir program(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(program.filePath("../../share/lptpanel"));
    if (QFileInfo::exists(installed + "/swtchon.gif"))
        return "the command lptpanel starts it in " +
               QDir::toNativeSeparators(installed).toStdString();
    return "the build copies them next to the executable, in " +
           QDir::toNativeSeparators(program.path()).toStdString();
}

[[noreturn]] void pictureFailure(const char* file, const QImageReader& reader) {
    const QFileInfo info(QString::fromLatin1(file));
    std::string cause;
    if (!info.exists())
        cause = "no such file";
    else if (!info.isReadable())
        cause = "permission denied";
    else if (info.size() == 0)
        cause = "the file is empty";
    else
        cause = "not a picture (" + reader.errorString().toStdString() + ")";
    panel::reportFailure(
        {std::string("cannot load picture \"") + file + "\" from " +
             QDir::toNativeSeparators(QDir::currentPath()).toStdString(),
         cause,
         "start lptpanel in the folder that holds swtchon.gif, swtchoff.gif, ledgon.bmp and "
         "ledron.bmp: " +
             picturesFolderHint(),
         ""});
}

} // namespace

// One of the two switch columns: its images and bits, its last single switch,
// and the register its toggle-all switch writes.
struct Mivo::SwitchGroup {
    std::array<ImageLabel*, 9>& images;
    int (&bits)[10];
    int lastSingle;
    int& value;
    int port;
    int allOnes;
    int allZeros;
};

Mivo::Mivo(QWidget* parent) : QMainWindow(parent) {
    endProgram = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };
    setWindowTitle(text(panel::layout::kWindowCaption));
    setWindowIcon(QIcon(text(panel::layout::kIconResource)));

    Connec = menuBar()->addAction(text(panel::layout::kMenuCaption));
    Connec->setObjectName(QStringLiteral("Connec"));
    connect(Connec, &QAction::triggered, this, &Mivo::Connec_Click);

    auto* client = new QWidget(this);
    client->setFixedSize(panel::layout::pixels(panel::layout::kClientWidth),
                         panel::layout::pixels(panel::layout::kClientHeight));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    createControls(client);

    for (short i = 0; i < 9; ++i)
        connect(Image1[i], &ImageLabel::clicked, this, [this, i] { Image1_Click(i); });
    for (short i : {0, 1, 2, 3, 8})
        connect(Image3[i], &ImageLabel::clicked, this, [this, i] { Image3_Click(i); });
    connect(Command1, &QPushButton::clicked, this, &Mivo::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Mivo::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Mivo::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Mivo::Command4_Click);
}

Mivo::~Mivo() = default;

void Mivo::createControls(QWidget* client) {
    using namespace panel::layout;
    struct Focusable {
        int tabIndex;
        QWidget* widget;
    };
    std::vector<Focusable> focusable;

    for (const Control& c : kControls) {
        QWidget* container = c.container == "Frame1"   ? static_cast<QWidget*>(Frame1)
                             : c.container == "Frame2" ? Frame2
                             : c.container == "Frame3" ? Frame3
                                                       : client;
        QWidget* w = nullptr;
        switch (c.kind) {
        case Kind::Frame: {
            auto* frame = new QGroupBox(text(c.caption), container);
            frame->setFocusPolicy(Qt::NoFocus);
            (c.name == "Frame1" ? Frame1 : c.name == "Frame2" ? Frame2 : Frame3) = frame;
            w = frame;
            break;
        }
        case Kind::Button: {
            auto* button = new QPushButton(text(c.caption), container);
            button->setAutoDefault(false);
            button->setDefault(false);
            (c.name == "Command1"   ? Command1
             : c.name == "Command2" ? Command2
             : c.name == "Command3" ? Command3
                                    : Command4) = button;
            focusable.push_back({c.tabIndex, button});
            w = button;
            break;
        }
        case Kind::CheckBox:
            Check1 = new QCheckBox(text(c.caption), container);
            focusable.push_back({c.tabIndex, Check1});
            w = Check1;
            break;
        case Kind::Label: {
            // Plain text keeps the runs of blanks that line the signal codes
            // up; like the designer's labels, a caption wraps inside its box,
            // which only the two-line "Preklopi vse izhode" boxes need.
            auto* label = new QLabel(text(c.caption), container);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            label->setFocusPolicy(Qt::NoFocus);
            Label1[c.index] = label;
            w = label;
            break;
        }
        case Kind::Image: {
            auto* image = new ImageLabel(container);
            if (c.name == "Image1")
                Image1[c.index] = image;
            else if (c.name == "Image2")
                Image2[c.index] = image;
            else
                Image3[c.index] = image;
            w = image;
            break;
        }
        }
        w->setObjectName(c.index < 0 ? text(c.name)
                                     : QStringLiteral("%1(%2)").arg(text(c.name)).arg(c.index));
        w->setGeometry(pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height));
    }

    std::sort(focusable.begin(), focusable.end(),
              [](const Focusable& a, const Focusable& b) { return a.tabIndex < b.tabIndex; });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1].widget, focusable[i].widget);
}

void Mivo::Form_Load() {
    startUp();
    while (monitorPass()) {
    }
    unload();
}

void Mivo::startUp() {
    dataPort = lpt::kDataPort;
    controlPort = lpt::kControlPort;
    statusPort = lpt::kStatusPort;
    quitFlag = 0;
    show();

    out(dataPort, 0);
    out(controlPort, 3);
    out(dataPort, 255);
    out(controlPort, 255);
    // The first write opened the port; no event has been handled since the
    // window was shown, so it first appears with this title.
    if (dynamic_cast<lpt::SimulatedPort*>(&lpt::currentDriver()))
        setWindowTitle(text(panel::layout::kWindowCaption) + text(panel::layout::kSimulatedMarker));

    for (loopIndex = 0; loopIndex <= 7; ++loopIndex) {
        dataBits[loopIndex] = 0;
        controlBits[loopIndex] = 0;
        setPicture(Image1[loopIndex], kSwitchOff);
        setPicture(Image2[loopIndex], kLampLow);
        if (loopIndex < 4)
            setPicture(Image3[loopIndex], kSwitchOff);
    }
    dataBits[8] = 0;
    controlBits[8] = 0;
    setPicture(Image1[8], kSwitchOff);
    setPicture(Image3[8], kSwitchOff);
    Command1->setEnabled(false);
}

bool Mivo::monitorPass() {
    // 1. Every handler of the panel runs in here.
    QCoreApplication::processEvents();
    ++passes_;
    if (onEventsProcessed)
        onEventsProcessed(passes_);

    // 2.-4. The handlers may have left anything in these; start afresh.
    composeOutputs();

    // 5. The mode is the apply button's state as the previous pass left it.
    if (!Command1->isEnabled()) {
        out(dataPort, dataValue);
        out(controlPort, controlValue);
    }

    // 6.
    statusValue = Inp32(static_cast<short>(statusPort));

    // 7. Lamps from S7 down to S0; the port reports the BUSY pin (S7) as the
    // complement of its level, hence the swapped pictures for loopIndex 0.
    bitWeight = 128;
    for (loopIndex = 0; loopIndex <= 7; ++loopIndex) {
        ImageLabel* lamp = Image2[7 - loopIndex];
        if (statusValue >= bitWeight) {
            setPicture(lamp, loopIndex == 0 ? kLampLow : kLampHigh);
            statusValue = static_cast<short>(statusValue - bitWeight);
        } else {
            setPicture(lamp, loopIndex == 0 ? kLampHigh : kLampLow);
        }
        bitWeight /= 2;
    }

    // 8.
    Command1->setEnabled(Check1->checkState() == Qt::Checked);

    // 9.
    return quitFlag != 1;
}

// Data and control register values from the logical bits, one weight at a
// time; the port inverts C0, C1 and C3, so their register bits are set when
// the logical bit is 0.
void Mivo::composeOutputs() {
    dataValue = 0;
    controlValue = 0;
    bitWeight = 1;
    for (loopIndex = 0; loopIndex <= 7; ++loopIndex) {
        if (dataBits[loopIndex] == 1)
            dataValue += bitWeight;
        bitWeight *= 2;
    }

    bitWeight = 1;
    if (controlBits[0] == 0)
        controlValue += bitWeight;
    bitWeight *= 2;
    if (controlBits[1] == 0)
        controlValue += bitWeight;
    bitWeight *= 2;
    if (controlBits[2] == 1)
        controlValue += bitWeight;
    bitWeight *= 2;
    if (controlBits[3] == 0)
        controlValue += bitWeight;
    bitWeight *= 2;
}

void Mivo::setPicture(ImageLabel* image, const char* file) {
    // Every set reads the file, so a changed or removed picture shows at the
    // next set (QPixmap::load would answer from QPixmapCache without reading).
    // Decoding is most of a set's cost, and the lamps set the same two files
    // eight times a pass: bytes equal to those last decoded under that name
    // give the same picture, so only different bytes are decoded.
    const QString name = QString::fromLatin1(file);
    QFile f(name);
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    f.close();
    ++pictureReads_;
    DecodedPicture& last = decoded_[file];
    if (bytes != last.bytes || last.picture.isNull()) {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer, QFileInfo(name).suffix().toLatin1());
        last = {bytes, reader.read()};
        if (last.picture.isNull())
            pictureFailure(file, reader);
    }
    image->setPicture(last.picture);
}

void Mivo::Image1_Click(short index) {
    switchClick({Image1, dataBits, 7, dataValue, dataPort, lpt::kAllOnesData, lpt::kAllZerosData},
                index);
}

void Mivo::Image3_Click(short index) {
    switchClick({Image3, controlBits, 3, controlValue, controlPort, lpt::kAllOnesControl,
                 lpt::kAllZerosControl},
                index);
}

void Mivo::switchClick(const SwitchGroup& group, short index) {
    // Only the elements that exist: 0..lastSingle and the toggle-all switch 8.
    if (index != 8 && (index < 0 || index > group.lastSingle))
        return;

    if (index != 8) {
        // A single switch changes its bit and picture only; the monitor loop
        // or the apply button puts it on the port.
        if (group.bits[index] == 0) {
            setPicture(group.images[index], kSwitchOn);
            group.bits[index] = 1;
        } else {
            setPicture(group.images[index], kSwitchOff);
            group.bits[index] = 0;
        }
        return;
    }

    // Toggle-all: the level follows the switch's own state, never the single
    // switches, and the group's register is written at once in either mode.
    const bool on = group.bits[8] == 0;
    const int level = on ? 1 : 0;
    const char* picture = on ? kSwitchOn : kSwitchOff;
    for (loopIndex = 0; loopIndex <= group.lastSingle; ++loopIndex) {
        group.bits[loopIndex] = level;
        setPicture(group.images[loopIndex], picture);
    }
    group.bits[8] = level;
    setPicture(group.images[8], picture);
    group.value = on ? group.allOnes : group.allZeros;
    out(group.port, group.value);
}

void Mivo::Command1_Click() {
    if (!Command1->isEnabled())
        return;
    composeOutputs();
    out(dataPort, dataValue);
    out(controlPort, controlValue);
}

void Mivo::Command2_Click() {
    quitFlag = 1;
    endProgram(0);
}

void Mivo::Command3_Click() {
    allOutputs(1, kSwitchOn, lpt::kAllOnesData, lpt::kAllOnesControl);
}

void Mivo::Command4_Click() {
    allOutputs(0, kSwitchOff, lpt::kAllZerosData, lpt::kAllZerosControl);
}

// Sets every output switch to one level and writes both registers at once, in
// either mode; the toggle-all switches keep their state and picture.
void Mivo::allOutputs(int level, const char* picture, int dataAll, int controlAll) {
    for (loopIndex = 0; loopIndex <= 7; ++loopIndex) {
        dataBits[loopIndex] = level;
        if (loopIndex < 4)
            controlBits[loopIndex] = level;
        setPicture(Image1[loopIndex], picture);
        if (loopIndex < 4)
            setPicture(Image3[loopIndex], picture);
    }
    dataValue = dataAll;
    controlValue = controlAll;
    out(dataPort, dataValue);
    out(controlPort, controlValue);
}

void Mivo::Connec_Click() {
    Conn::load();
}

void Mivo::closeEvent(QCloseEvent* event) {
    if (unloading_) {
        event->accept();
        return;
    }
    // The panel has no handler for its own closing, and the monitor loop must
    // not run on without its window: a close by the frame ends the program
    // as the exit button does.
    quitFlag = 1;
    endProgram(0);
    // Reached only when endProgram returns (tests): the loop ends at the end
    // of this pass and unloads the window then.
    event->ignore();
}

void Mivo::unload() {
    unloading_ = true;
    close();
}
