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
inline bool act(Mivo& m, const QString& action) {
    QWidget* control = m.findChild<QWidget*>(action);
    if (action == "close")
        m.windowHandle()->close();
    else if (action == "Connec")
        QTest::mouseClick(m.menuBar(), Qt::LeftButton, {},
                          m.menuBar()->actionGeometry(m.Connec).center());
    else if (control)
        QTest::mouseClick(control, Qt::LeftButton);
    return control || action == "close" || action == "Connec";
}

/// Image controls as the pictures they show: '1' "swtchon.gif", '0'
/// "swtchoff.gif", 'H' "ledron.bmp", 'L' "ledgon.bmp", '-' none yet, '?'
/// anything else.
inline QString pictures(std::span<ImageLabel* const> images) {
    const char* files[] = {"swtchon.gif", "swtchoff.gif", "ledron.bmp", "ledgon.bmp"};
    const auto form = QImage::Format_ARGB32_Premultiplied;
    QString s;
    for (const ImageLabel* image : images) {
        const QImage shown = image->pixmap().toImage().convertToFormat(form);
        s += shown.isNull() ? '-' : '?';
        for (int i = 0; i < 4; ++i)
            if (!shown.isNull() && shown == QImageReader(files[i]).read().convertToFormat(form))
                s.back() = "10HL"[i];
    }
    return s;
}

/// The switches D0..D7, toggle-all / C0..C3, toggle-all.
inline QString switches(const Mivo& m) {
    return pictures(m.Image1) + '/' + pictures(std::span(m.Image3).first<4>()) +
           pictures(std::span(m.Image3).last<1>());
}

/// A panel after start-up.
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
        mivo.startUp();
    }
    /// The register accesses since the last call, as "D5 C11 S": the
    /// register's initial, and the value of a write.
    QString accesses() {
        QStringList t;
        for (; traced < port->accesses.size(); ++traced) {
            const lpt::test::Access& a = port->accesses[traced];
            t << QChar(lpt::registerName(a.reg)[0]).toUpper() +
                     (a.kind == lpt::test::Access::Write ? QString::number(a.value) : QString());
        }
        return t.join(' ');
    }
    /// One pass of the monitor loop: "its accesses | the switches after it".
    QString pass() {
        mivo.monitorPass();
        return accesses() + " | " + switches(mivo);
    }
};

} // namespace panel_test
