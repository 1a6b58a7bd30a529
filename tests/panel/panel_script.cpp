// A scripted lptpanel for the process tests: the real panel and its real
// Form_Load (so the real exit paths run), with clicks sent from the step-1
// hook at one chosen pass.
//
//   panel_script PASS ACTION...
//   ACTION: Command1..Command4, Check1, Image1:N, Image3:N, close
//   ("close" is the window manager's close request on the main window)
//
// Exits as the panel does; status 3 means the loop ended without ending the
// process, which the panel never does.
#include "panel/error_report.h"
#include "panel/image_label.h"
#include "panel/mivo.h"
#include "panel/panel_font.h"
#include "port/driver.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <cstdio>

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
    const long at = args[1].toLong();
    const QStringList actions = args.mid(2);
    mivo.onEventsProcessed = [&](long pass) {
        if (pass != at)
            return;
        for (const QString& action : actions) {
            const QString name = action.section(':', 0, 0);
            const int index = action.section(':', 1, 1).toInt();
            QWidget* target = name == "Command1"   ? mivo.Command1
                              : name == "Command2" ? mivo.Command2
                              : name == "Command3" ? mivo.Command3
                              : name == "Command4" ? mivo.Command4
                              : name == "Check1"   ? static_cast<QWidget*>(mivo.Check1)
                              : name == "Image1"   ? mivo.Image1.at(index)
                              : name == "Image3"   ? mivo.Image3.at(index)
                                                   : nullptr;
            if (name == "close")
                mivo.windowHandle()->close();
            else if (target)
                QTest::mouseClick(target, Qt::LeftButton);
            else
                std::fprintf(stderr, "panel_script: unknown action %s\n", qPrintable(action));
        }
    };
    mivo.Form_Load();
    return 3;
}
