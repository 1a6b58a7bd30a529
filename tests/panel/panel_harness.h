// SPDX-License-Identifier: MIT
// Drives a real Mivo pass by pass on a recording port. A script says what the
// user does in which pass; its clicks are sent from the step-1 hook of that
// pass, so they are handled inside the pass's event step as a real click is.
#pragma once

#include "panel/image_label.h"
#include "panel/mivo.h"
#include "recording_port.h"

#include <QImageReader>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include <map>
#include <span>

namespace panel_test {

/// What a user does: "Image1(2)", "Check1", "Command3" click that control,
/// "Connec" chooses the menu command, "close" closes the window by its frame.
/// "Command1_Click" calls the apply handler directly, bypassing the button.
inline bool act(Mivo& m, const QString& action) {
    if (action == "close") {
        m.windowHandle()->close();
    } else if (action == "Command1_Click") {
        m.Command1_Click();
    } else if (action == "Connec") {
        QMenuBar* bar = m.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(m.Connec).center());
    } else if (QWidget* control = m.findChild<QWidget*>(action)) {
        QTest::mouseClick(control, Qt::LeftButton);
    } else {
        return false;
    }
    return true;
}

/// The picture an image control shows: '1' "swtchon.gif", '0' "swtchoff.gif",
/// 'H' "ledron.bmp", 'L' "ledgon.bmp", '-' none yet, '?' anything else.
inline char pictureOf(const ImageLabel* image) {
    if (image->pixmap().isNull())
        return '-';
    const auto form = QImage::Format_ARGB32_Premultiplied;
    const QImage shown = image->pixmap().toImage().convertToFormat(form);
    for (auto [c, file] : {std::pair{'1', "swtchon.gif"},
                           {'0', "swtchoff.gif"},
                           {'H', "ledron.bmp"},
                           {'L', "ledgon.bmp"}})
        if (shown == QImageReader(file).read().convertToFormat(form))
            return c;
    return '?';
}

/// Image controls as their pictures.
inline QString pictures(std::span<ImageLabel* const> images) {
    QString s;
    for (const ImageLabel* image : images)
        s += pictureOf(image);
    return s;
}

/// The switches D0..D7, toggle-all / C0..C3, toggle-all; the lamps S0..S7.
inline QString switches(const Mivo& m) {
    return pictures(m.Image1) + '/' + pictures(std::span(m.Image3).first<4>()) +
           pictureOf(m.Image3[8]);
}
inline QString lamps(const Mivo& m) {
    return pictures(m.Image2);
}

/// Register accesses as "D5 C11 S": the register's initial, and the value of a write.
inline QString trace(std::span<const lpt::test::Access> accesses) {
    QStringList t;
    for (const auto& a : accesses)
        t << QChar(lpt::registerName(a.reg)[0]).toUpper() +
                 (a.kind == lpt::test::Access::Write ? QString::number(a.value) : QString());
    return t.join(' ');
}

struct PanelRun {
    std::shared_ptr<lpt::test::RecordingPort::State> port = lpt::test::RecordingPort::install();
    Mivo mivo;
    std::map<long, QStringList> script; // pass -> what the user does in it
    std::size_t traced = 0;

    PanelRun() {
        mivo.onEventsProcessed = [this](long pass) {
            for (const QString& action : script[pass])
                QVERIFY2(act(mivo, action), qPrintable(action));
        };
    }
    /// The accesses since the last call.
    QString accesses() {
        const QString t = trace(std::span(port->accesses).subspan(traced));
        traced = port->accesses.size();
        return t;
    }
    QString startUp() {
        mivo.startUp();
        return accesses();
    }
    /// One pass of the monitor loop: "its accesses | the switches after it".
    QString pass() {
        const bool goOn = mivo.monitorPass();
        return accesses() + " | " + switches(mivo) + (goOn ? "" : " | end");
    }
};

} // namespace panel_test
