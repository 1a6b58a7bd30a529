// SPDX-License-Identifier: MIT
// drawpictures: draws the panel's switch and lamp pictures and the window
// icon into a folder. The files in assets/ are its output, and a test checks
// they still are.
#include "pictures.h"

#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: drawpictures FOLDER\n"
                             "Writes swtchon.gif, swtchoff.gif, ledgon.bmp, ledron.bmp, icon.png "
                             "and lptpanel.ico into FOLDER.\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir(folder).exists()) {
        std::fprintf(stderr, "drawpictures: %s: no such folder\n", argv[1]);
        return 1;
    }
    QString error;
    if (!writePictures(folder, &error)) {
        std::fprintf(stderr, "drawpictures: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
