// SPDX-License-Identifier: MIT
#include "pictures.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <functional>
#include <string_view>

const std::array<QRgb, 16> kVgaPalette = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF,
};

namespace {

// The usual dialog background, so the pictures sit quietly in the window.
constexpr QRgb kBackground = 0xFFF0F0F0;

QRgb mix(QRgb a, QRgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [t](int x, int y) { return int(x + (y - x) * t + 0.5); };
    return qRgb(channel(qRed(a), qRed(b)), channel(qGreen(a), qGreen(b)),
                channel(qBlue(a), qBlue(b)));
}

// An RGB canvas that paints shapes given as "is this point inside" tests,
// smoothing edges by 4 × 4 sampling of each pixel. Only integer sums and
// correctly rounded arithmetic are involved, so the pixels are the same on
// every machine.
class Canvas {
public:
    using Inside = std::function<bool(double x, double y)>;
    using Colour = std::function<QRgb(double x, double y)>;

    Canvas(int w, int h, QRgb background) : image_(w, h, QImage::Format_RGB32) {
        image_.fill(background);
    }

    void paint(const Inside& inside, const Colour& colour) {
        for (int py = 0; py < image_.height(); ++py) {
            for (int px = 0; px < image_.width(); ++px) {
                const QRgb old = image_.pixel(px, py);
                int r = 0, g = 0, b = 0, hits = 0;
                for (int sy = 0; sy < 4; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        const double x = px + (sx + 0.5) / 4;
                        const double y = py + (sy + 0.5) / 4;
                        const QRgb c = inside(x, y) ? (++hits, colour(x, y)) : old;
                        r += qRed(c);
                        g += qGreen(c);
                        b += qBlue(c);
                    }
                }
                if (hits > 0)
                    image_.setPixel(px, py, qRgb((r + 8) / 16, (g + 8) / 16, (b + 8) / 16));
            }
        }
    }
    void paint(const Inside& inside, QRgb colour) {
        paint(inside, [colour](double, double) { return colour; });
    }

    QImage image() const { return image_; }

private:
    QImage image_;
};

Canvas::Inside circle(double cx, double cy, double r) {
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r; };
}

Canvas::Inside rect(double x0, double y0, double x1, double y1) {
    return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

Canvas::Inside roundedRect(double x0, double y0, double x1, double y1, double r) {
    return [=](double x, double y) {
        if (x < x0 || x >= x1 || y < y0 || y >= y1)
            return false;
        const double dx = std::max({x0 + r - x, x - (x1 - r), 0.0});
        const double dy = std::max({y0 + r - y, y - (y1 - r), 0.0});
        return dx * dx + dy * dy < r * r;
    };
}

// A colour that runs from `light` at the top left to `dark` at the bottom
// right of the square [x0, x0 + size): light falling from the top left.
Canvas::Colour lit(QRgb light, QRgb dark, double x0, double y0, double size) {
    return [=](double x, double y) { return mix(light, dark, ((x - x0) + (y - y0)) / (2 * size)); };
}

// --- the pixel fonts of the icon -------------------------------------------

struct Glyph {
    char letter;
    std::initializer_list<std::string_view> rows; // '#' is ink
};

// Small letters: capitals 6 high, lower-case letters 5.
const Glyph kSmallFont[] = {
    {'P', {"###", "#.#", "#.#", "###", "#..", "#.."}},
    {'r', {"...", "#.#", "##.", "#..", "#..", "#.."}},
    {'i', {"#", ".", "#", "#", "#", "#"}},
    {'n', {"...", "##.", "#.#", "#.#", "#.#", "#.#"}},
    {'t', {".#.", "###", ".#.", ".#.", ".#.", ".##"}},
    {'e', {"...", ".#.", "#.#", "###", "#..", ".##"}},
};

// Large letters, two pixels a stroke: capitals 12 high, lower-case letters 9.
const Glyph kLargeFont[] = {
    {'P',
     {"######.", "#######", "##...##", "##...##", "##...##", "##...##", "#######", "######.",
      "##.....", "##.....", "##.....", "##....."}},
    {'o',
     {"......", "......", "......", ".####.", "######", "##..##", "##..##", "##..##", "##..##",
      "##..##", "######", ".####."}},
    {'r',
     {".....", ".....", ".....", "##.##", "#####", "###..", "##...", "##...", "##...", "##...",
      "##...", "##..."}},
    {'t',
     {".....", ".##..", ".##..", "#####", "#####", ".##..", ".##..", ".##..", ".##..", ".##..",
      ".####", "..###"}},
};

template <std::size_t N> const Glyph& glyph(const Glyph (&font)[N], char letter) {
    for (const Glyph& g : font)
        if (g.letter == letter)
            return g;
    return font[0]; // only the words below are drawn, all of whose letters exist
}

template <std::size_t N> int textWidth(const Glyph (&font)[N], std::string_view text) {
    int width = -1;
    for (char c : text)
        width += int(glyph(font, c).rows.begin()->size()) + 1;
    return width;
}

template <std::size_t N>
void drawText(IndexedPicture& p, const Glyph (&font)[N], int left, int top, std::string_view text,
              std::uint8_t ink) {
    int x = left;
    for (char c : text) {
        const Glyph& g = glyph(font, c);
        int y = top;
        for (std::string_view row : g.rows) {
            for (std::size_t i = 0; i < row.size(); ++i)
                if (row[i] == '#')
                    p.set(x + int(i), y, ink);
            ++y;
        }
        x += int(g.rows.begin()->size()) + 1;
    }
}

} // namespace

QImage drawSwitch(bool on) {
    Canvas c(kPlaceSize, kPlaceSize, kBackground);
    // the mounting plate
    c.paint(roundedRect(3, 0.5, 22, 24.5, 3), 0xFF6E737A);
    c.paint(roundedRect(4, 1.5, 21, 23.5, 2.2), lit(0xFFF4F5F6, 0xFFB4B8BE, 4, 1.5, 22));
    // the nut the lever comes out of
    c.paint(circle(12.5, 12.5, 4.1), 0xFF4A4E54);
    c.paint(circle(12.5, 12.5, 2.8), lit(0xFFD8DBDF, 0xFF7C8289, 9.7, 9.7, 5.6));
    // the lever, up when on and down when off, and its knob: green when on
    const double tipY = on ? 4.4 : 20.6;
    const double top = std::min(tipY, 12.5), bottom = std::max(tipY, 12.5);
    c.paint(rect(10.5, top, 14.5, bottom), 0xFF3C4046);
    c.paint(rect(11.25, top, 13.75, bottom),
            [](double x, double) { return mix(0xFFF0F2F4, 0xFF8C9198, (x - 11.25) / 2.5); });
    c.paint(circle(12.5, tipY, 3.5), on ? 0xFF0B5A14 : 0xFF3C4046);
    c.paint(circle(12.5, tipY, 2.7), on ? 0xFF1FB030 : 0xFF6E737A);
    c.paint(circle(11.7, tipY - 0.9, 1.2), on ? 0xFFA8F0AC : 0xFFC4C8CC);
    return c.image();
}

QImage drawLamp(bool high) {
    Canvas c(kPlaceSize, kPlaceSize, kBackground);
    // bezel: a dark rim and a metal ring lit from the top left
    c.paint(circle(12.5, 12.5, 11.8), 0xFF50545A);
    c.paint(circle(12.5, 12.5, 10.9), lit(0xFFF2F3F4, 0xFF80858C, 1.6, 1.6, 21.8));
    c.paint(circle(12.5, 12.5, 8.6), lit(0xFF60646A, 0xFFE0E2E4, 3.9, 3.9, 17.2));
    // the lens, brightest near its top-left highlight
    const QRgb centre = high ? 0xFFFF8A6A : 0xFF3E8A40;
    const QRgb rim = high ? 0xFFB00808 : 0xFF0A2A0C;
    c.paint(circle(12.5, 12.5, 7.6), [=](double x, double y) {
        const double d = std::sqrt((x - 10.5) * (x - 10.5) + (y - 10.5) * (y - 10.5));
        return mix(centre, rim, d / 10.0);
    });
    c.paint(circle(10.0, 9.5, 2.0), mix(high ? 0xFFFFD8CC : 0xFF5E9E60, 0xFFFFFFFF, 0.6));
    return c.image();
}

IndexedPicture drawIcon() {
    IndexedPicture p;
    p.width = p.height = kIconSize;
    p.palette.assign(kVgaPalette.begin(), kVgaPalette.end());
    p.pixels.assign(std::size_t(kIconSize * kIconSize), VgaYellow);
    for (int i = 0; i < kIconSize; ++i) {
        for (int ring = 0; ring < 2; ++ring) {
            const std::uint8_t colour = ring == 0 ? VgaBlue : VgaCyan;
            const int far = kIconSize - 1 - ring;
            if (i >= ring && i <= far) {
                p.set(i, ring, colour);
                p.set(i, far, colour);
                p.set(ring, i, colour);
                p.set(far, i, colour);
            }
        }
    }
    const std::string_view small = "Printer", large = "Port";
    drawText(p, kSmallFont, (kIconSize - textWidth(kSmallFont, small)) / 2, 5, small, VgaBlack);
    drawText(p, kLargeFont, (kIconSize - textWidth(kLargeFont, large) + 1) / 2, 14, large,
             VgaBlack);
    return p;
}

std::vector<PictureFile> pictureFiles() {
    const IndexedPicture icon = drawIcon();
    return {
        {"swtchon.gif", encodeGif(drawSwitch(true))},
        {"swtchoff.gif", encodeGif(drawSwitch(false))},
        {"ledgon.bmp", encodeBmp24(drawLamp(false))},
        {"ledron.bmp", encodeBmp24(drawLamp(true))},
        {"icon.png", encodePng(icon)},
        {"lptpanel.ico", encodeIco4(icon)},
    };
}

bool writePictures(const QString& folder, QString* error) {
    const QDir dir(folder);
    for (const PictureFile& f : pictureFiles()) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        if (f.bytes.isEmpty()) { // a drawing that its format cannot hold
            *error = path + QStringLiteral(": the picture does not fit its file format");
            return false;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(f.bytes) != f.bytes.size() ||
            !file.commit()) {
            *error = path + QStringLiteral(": ") + file.errorString();
            return false;
        }
    }
    return true;
}
