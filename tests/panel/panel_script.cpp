// The real panel with its real Form_Load, so that the real exit paths run,
// doing what a user does (actions as in panel_harness.h) at one chosen pass:
//
//   panel_script PASS ACTION...
//
// Exits as the panel does; status 3 means the loop ended without ending the
// process, which the panel never does.
#include "panel/error_report.h"
#include "panel/panel_font.h"
#include "panel_harness.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    lpt::setProgramName("lptpanel");
    lpt::setFailureHandler([](const lpt::PortFailure& failure) { panel::reportFailure(failure); });
    panel::useApplicationFont();
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: panel_script PASS ACTION...\n");
        return 2;
    }
    Mivo mivo;
    mivo.onEventsProcessed = [&](long pass) {
        for (const QString& action : args.mid(2))
            if (pass == args[1].toLong() && !panel_test::act(mivo, action)) {
                std::fprintf(stderr, "panel_script: unknown action %s\n", qPrintable(action));
                std::_Exit(2);
            }
    };
    mivo.Form_Load();
    return 3;
}
