// SPDX-License-Identifier: MIT
// drawconnector: draws the picture of the port's 25-way connector that the
// diagram window shows. assets/connector.bmp is its output, built into the
// program, and a test checks it still is.
//
// Text is drawn from the glyph outlines of the Liberation fonts (Debian's
// fonts-liberation2), read straight from their files, unhinted: no font
// configuration of the machine takes part, so the same fonts give the same
// picture everywhere.
#include "diagram/connector_geometry.h"
#include "imagefiles.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSaveFile>

#include <cstdio>
#include <vector>

namespace {

constexpr const char* kDefaultFontDir = "/usr/share/fonts/truetype/liberation2";

struct Fonts {
    QRawFont legend, legendBold, caption, box, pinNumber;
};

// One piece of a line of text in one font.
struct Run {
    const QRawFont* font;
    QString text;
};

double widthOf(const std::vector<Run>& runs) {
    double width = 0;
    for (const Run& run : runs)
        for (const QPointF& a : run.font->advancesForGlyphIndexes(
                 run.font->glyphIndexesForString(run.text), QRawFont::UseDesignMetrics))
            width += a.x();
    return width;
}

// Fills the glyph outlines of the runs, starting at x on the baseline y.
void drawText(QPainter& p, const std::vector<Run>& runs, double x, double y, const QColor& colour) {
    QPainterPath path;
    for (const Run& run : runs) {
        const auto glyphs = run.font->glyphIndexesForString(run.text);
        const auto advances = run.font->advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            path.addPath(run.font->pathForGlyph(glyphs[i]).translated(x, y));
            x += advances[i].x();
        }
    }
    p.fillPath(path, colour);
}

void drawCentred(QPainter& p, const std::vector<Run>& runs, double centreX, double y,
                 const QColor& colour) {
    drawText(p, runs, centreX - widthOf(runs) / 2, y, colour);
}

void drawLegend(QPainter& p, const Fonts& f) {
    const QRawFont* r = &f.legend;
    const QRawFont* b = &f.legendBold;
    const struct {
        std::vector<Run> runs;
        QColor colour;
    } lines[] = {
        {{{r, "8 output pins accessed via the "}, {b, "DATA"}, {r, " Port"}},
         connector::kOutputColour},
        {{{r, "5 input pins (one inverted) accessed via the "}, {b, "STATUS"}, {r, " Port"}},
         connector::kInputColour},
        {{{r, "4 output pins (three inverted) accessed via the "}, {b, "CONTROL"}, {r, " Port"}},
         connector::kOutputColour},
        {{{r, "The remaining 8 pins are grounded"}}, connector::kGroundTextColour},
    };
    double baseline = 24;
    for (const auto& line : lines) {
        p.setPen(Qt::NoPen);
        p.setBrush(line.colour);
        p.drawEllipse(QPointF(20, baseline - 4.5), 2.5, 2.5);
        drawText(p, line.runs, 30, baseline, line.colour);
        baseline += 21;
    }
}

// Without smoothing, so that the face's edges are whole pixels: white inside,
// black outline.
void drawShell(QPainter& p) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(connector::shellOutside());
    p.setBrush(Qt::white);
    p.drawPolygon(connector::shellInside());
    p.restore();
}

// Wires are two pixels wide and run only across and down, so they are filled
// as rectangles, without smoothing: every wire pixel has the pin's colour.
void drawWires(QPainter& p) {
    for (const connector::Wire& wire : connector::wires()) {
        const QColor colour = connector::pinColour(wire.pin);
        for (qsizetype i = 1; i < wire.path.size(); ++i) {
            const QPoint a = wire.path[i - 1], b = wire.path[i];
            const QRect covered(QPoint(std::min(a.x(), b.x()) - 1, std::min(a.y(), b.y()) - 1),
                                QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
            p.fillRect(covered, colour);
        }
    }
}

void drawPins(QPainter& p, const Fonts& f) {
    const double r = connector::kPinDiameter / 2.0;
    // The digits' height, to centre them on the pin.
    const double digitHeight = f.pinNumber.capHeight();
    for (int pin = 1; pin <= 25; ++pin) {
        const QPoint c = connector::pinCentre(pin);
        const QColor colour = connector::pinColour(pin);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(c), r, r);
        const QColor digits = colour == connector::kGroundColour ? Qt::black : Qt::white;
        drawCentred(p, {{&f.pinNumber, QString::number(pin)}}, c.x(), c.y() + digitHeight / 2,
                    digits);
    }
}

void drawBoxes(QPainter& p, const Fonts& f) {
    const double capHeight = f.box.capHeight();
    for (auto row :
         {connector::BoxRow::Data, connector::BoxRow::Status, connector::BoxRow::Control}) {
        const QRect outer = connector::rowInside(row).adjusted(-1, -1, 1, 1);
        p.fillRect(outer, Qt::black);
        for (const connector::Box& box : connector::boxes(row)) {
            p.fillRect(box.inside, Qt::white);
            if (box.pin == 0)
                continue;
            // QRect's centre rounds down; the box's true middle is half a pixel on.
            const double centreX = box.inside.left() + box.inside.width() / 2.0;
            const double baseline = box.inside.top() + (box.inside.height() + capHeight) / 2.0;
            const std::vector<Run> name{{&f.box, box.name()}};
            drawCentred(p, name, centreX, baseline, Qt::black);
            if (box.barred()) {
                const double half = widthOf(name) / 2;
                p.fillRect(QRectF(centreX - half, baseline - capHeight - 3, 2 * half, 1.5),
                           Qt::black);
            }
        }
    }
}

QImage drawConnector(const Fonts& f) {
    QImage image(connector::kWidth, connector::kHeight, QImage::Format_RGB32);
    image.fill(connector::kBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLegend(p, f);
    drawShell(p);
    drawWires(p);
    drawPins(p, f);
    drawBoxes(p, f);
    drawCentred(p, {{&f.caption, "25-way Female D-Type Connector"}}, connector::kWidth / 2.0, 358,
                Qt::black);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || argv[1][0] == '\0') {
        std::fprintf(stderr,
                     "usage: drawconnector FILE.bmp [FONTDIR]\n"
                     "Draws the connector picture with the Liberation fonts in FONTDIR\n"
                     "(default %s, Debian package fonts-liberation2).\n",
                     kDefaultFontDir);
        return 2;
    }
    // Only fonts and an image are needed, never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QString fontDir = QString::fromLocal8Bit(argc == 3 ? argv[2] : kDefaultFontDir);
    bool fontsFound = true;
    const auto font = [&](const char* file, double pixelSize) {
        const QString path = fontDir + '/' + QLatin1String(file);
        QRawFont f(path, pixelSize, QFont::PreferNoHinting);
        if (!f.isValid()) {
            std::fprintf(stderr,
                         "drawconnector: cannot read the font %s (apt-get install "
                         "fonts-liberation2)\n",
                         qPrintable(path));
            fontsFound = false;
        }
        return f;
    };
    const Fonts fonts{
        font("LiberationSerif-Regular.ttf", 15), font("LiberationSerif-Bold.ttf", 15),
        font("LiberationSerif-Bold.ttf", 18),    font("LiberationMono-Regular.ttf", 16),
        font("LiberationSans-Bold.ttf", 10),
    };
    if (!fontsFound)
        return 1;

    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(encodeBmp24(drawConnector(fonts))) < 0 ||
        !out.commit()) {
        std::fprintf(stderr, "drawconnector: %s: %s\n", argv[1], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
