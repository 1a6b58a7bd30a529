// SPDX-License-Identifier: MIT
// The real panel with its real Form_Load, so that the real exit paths run,
// doing what a user does (actions as in panel_harness.h) at one chosen pass:
//
//   panel_script PASS ACTION...
//
// Exits as the panel does; status 3 means the loop ended without ending the
// process, which the panel never does.
#include "panel_harness.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    Mivo mivo;
    mivo.onEventsProcessed = [&](long pass) {
        for (const QString& action : args.mid(2))
            if (pass == args[1].toLong() && !panel_test::act(mivo, action))
                std::_Exit(2); // an action act() does not know
    };
    mivo.Form_Load();
    return 3;
}
