// SPDX-License-Identifier: MIT
// lptpanel: the parallel port control panel. Everything happens inside the
// main window's Form_Load, which runs the monitor loop; there is no exec().
#include "panel/command_line.h"
#include "panel/error_report.h"
#include "panel/mivo.h"
#include "panel/panel_font.h"
#include "port/driver.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    lpt::setProgramName("lptpanel");
    lpt::setFailureHandler([](const lpt::PortFailure& failure) { panel::reportFailure(failure); });
    panel::takeCommandLine(QApplication::arguments());
    panel::useApplicationFont();

    Mivo window;
    window.Form_Load();
    return 0;
}
