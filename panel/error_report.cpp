// SPDX-License-Identifier: MIT
#include "panel/error_report.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace panel {

namespace {

bool someoneCanAnswer() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

void reportFailure(const lpt::PortFailure& failure, int status) {
    // A failure while the dialog of an earlier one is open (a paint or a timer
    // runs in its event loop) must not stack a second dialog.
    static bool reporting = false;
    const std::string text = failure.message();
    std::fprintf(stderr, "%s: %s\n", lpt::programName().c_str(), text.c_str());
    std::fflush(stderr);
    if (!reporting && someoneCanAnswer()) {
        reporting = true;
        // Application modal: while it is open no click and no close request
        // reaches the panel, so no handler runs behind it.
        QMessageBox::critical(nullptr, QString::fromStdString(lpt::programName()),
                              QString::fromStdString(text));
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace panel
