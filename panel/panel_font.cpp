// SPDX-License-Identifier: MIT
#include "panel/panel_font.h"

#include "panel/error_report.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace panel {

QFont panelFont() {
    static const QString family = [] {
        const QString resource = QStringLiteral(":/fonts/LiberationSans-Regular.ttf");
        const int id = QFontDatabase::addApplicationFont(resource);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty())
            reportFailure({"cannot load the bundled font " + resource.toStdString(),
                           "the resource is missing or not a font",
                           "rebuild lptpanel; the font is compiled into it", ""});
        return families.first();
    }();
    QFont font(family);
    font.setPixelSize(kFontPixelSize);
    return font;
}

void useApplicationFont() {
    QApplication::setFont(panelFont());
}

} // namespace panel
