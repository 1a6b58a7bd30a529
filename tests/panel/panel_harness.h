// Drives a real Mivo pass by pass on a recording port: clicks are sent from
// the step-1 hook of a chosen pass, so they are handled inside that pass's
// event step as a user's click would be, and every register access is kept
// in order, per pass.
#pragma once

#include "panel/image_label.h"
#include "panel/mivo.h"
#include "recording_port.h"

#include <QImageReader>
#include <QTest>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace panel_test {

using lpt::test::Access;
using Accesses = std::vector<Access>;

/// The picture file as decoded, in one format for comparing.
inline QImage filePicture(const char* file) {
    return QImageReader(QString::fromLatin1(file))
        .read()
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/// What the image control shows; a null image while it is empty.
inline QImage shown(const ImageLabel* image) {
    return image->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/// Accesses as lines ("write data 0", "read status 127"), so that QCOMPARE
/// shows which access differs.
inline QStringList lines(const Accesses& accesses) {
    QStringList out;
    for (const Access& a : accesses)
        out << QString::fromStdString(lpt::test::toString(a));
    return out;
}

inline void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

struct PanelRun {
    std::shared_ptr<lpt::test::RecordingPort::State> port = lpt::test::RecordingPort::install();
    std::unique_ptr<Mivo> mivo = std::make_unique<Mivo>();
    std::map<long, std::function<void()>> actions; // pass number -> what the user does
    std::vector<int> exitRequests;                 // statuses passed to endProgram
    std::size_t startUpAccesses = 0;

    PanelRun() {
        mivo->endProgram = [this](int status) { exitRequests.push_back(status); };
        mivo->onEventsProcessed = [this](long pass) {
            if (auto it = actions.find(pass); it != actions.end())
                it->second();
        };
    }

    void startUp() {
        mivo->startUp();
        startUpAccesses = port->accesses.size();
    }

    /// Runs passes until `last` (counted from the first pass) or until the
    /// loop ends; returns whether it would go on.
    bool runTo(long last) {
        bool goOn = true;
        while (goOn && passes < last) {
            const std::size_t before = port->accesses.size();
            goOn = mivo->monitorPass();
            ++passes;
            perPass.emplace_back(port->accesses.begin() + static_cast<long>(before),
                                 port->accesses.end());
        }
        return goOn;
    }

    /// The accesses made during pass n (1-based), clicks of that pass included.
    const Accesses& pass(long n) const { return perPass.at(static_cast<std::size_t>(n - 1)); }

    long passes = 0;
    std::vector<Accesses> perPass;
};

} // namespace panel_test

Q_DECLARE_METATYPE(panel_test::Accesses)
