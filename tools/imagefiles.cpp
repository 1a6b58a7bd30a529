// SPDX-License-Identifier: MIT
#include "imagefiles.h"

#include <QBuffer>
#include <QImageWriter>

#include <gif_lib.h>

#include <algorithm>
#include <unordered_map>

namespace {

void putLe16(QByteArray& out, std::uint32_t v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void putLe32(QByteArray& out, std::uint32_t v) {
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}

bool fitsPalette(const IndexedPicture& p) {
    if (p.palette.empty() || p.palette.size() > 16 || p.width <= 0 || p.height <= 0 ||
        p.pixels.size() != std::size_t(p.width) * std::size_t(p.height))
        return false;
    return std::all_of(p.pixels.begin(), p.pixels.end(),
                       [&](std::uint8_t i) { return i < p.palette.size(); });
}

QByteArray writeWith(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    return image.isNull() || !writer.write(image) ? QByteArray() : bytes;
}

int appendToArray(GifFileType* gif, const GifByteType* bytes, int n) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), n);
    return n;
}

} // namespace

QImage IndexedPicture::toImage() const {
    QImage image(width, height, QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.begin() + std::ptrdiff_t(y * width), width, image.scanLine(y));
    return image;
}

QByteArray encodeGif(const QImage& source) {
    if (source.isNull())
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    std::vector<QRgb> colours;
    std::unordered_map<QRgb, GifByteType> index;
    std::vector<GifByteType> pixels;
    pixels.reserve(std::size_t(image.width() * image.height()));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            auto [it, added] = index.try_emplace(c, GifByteType(colours.size()));
            if (added) {
                if (colours.size() == 256)
                    return {};
                colours.push_back(c);
            }
            pixels.push_back(it->second);
        }
    }
    // giflib wants a colour table of 2^k entries; the rest stay black.
    int tableBits = 1;
    while ((1u << tableBits) < colours.size())
        ++tableBits;
    ColorMapObject* map = GifMakeMapObject(1 << tableBits, nullptr);
    if (!map)
        return {};
    for (std::size_t i = 0; i < colours.size(); ++i)
        map->Colors[i] = {GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                          GifByteType(qBlue(colours[i]))};

    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendToArray, &error);
    bool ok = gif != nullptr;
    if (ok) {
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, image.width(), image.height(), tableBits, 0, map) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < image.height(); ++y)
            ok = EGifPutLine(gif, pixels.data() + std::ptrdiff_t(y * image.width()),
                             image.width()) == GIF_OK;
        ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    }
    GifFreeMapObject(map);
    return ok ? out : QByteArray();
}

QByteArray encodeBmp24(const QImage& image) {
    // Qt writes every image that is not indexed as 24 bits a pixel. The
    // resolution is the file's only other variable: 96 dots per inch.
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    rgb.setDotsPerMeterX(3780);
    rgb.setDotsPerMeterY(3780);
    return writeWith(rgb, "bmp");
}

QByteArray encodePng(const IndexedPicture& p) {
    return fitsPalette(p) ? writeWith(p.toImage(), "png") : QByteArray();
}

// Written by hand: Qt's ICO writer (the only one at hand) writes 32-bit
// images only, and the Windows resource compiler and old shells want the
// 16-colour icon this is.
QByteArray encodeIco4(const IndexedPicture& p) {
    if (!fitsPalette(p) || p.width > 256 || p.height > 256)
        return {};
    // Rows of 4-bit pixels, bottom row first, each padded to 4 bytes, left
    // pixel in the high nibble; then the AND mask, all 0 (opaque).
    const int stride = ((p.width + 1) / 2 + 3) & ~3;
    QByteArray xorRows;
    for (int y = p.height - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < p.width; ++x)
            row[x / 2] = char(row[x / 2] | (p.at(x, y) << (x % 2 == 0 ? 4 : 0)));
        xorRows += row;
    }
    const int maskStride = ((p.width + 7) / 8 + 3) & ~3;
    const QByteArray andMask(maskStride * p.height, '\0');
    const std::uint32_t imageSize = std::uint32_t(xorRows.size() + andMask.size());

    QByteArray out;
    putLe16(out, 0); // reserved
    putLe16(out, 1); // an icon, not a cursor
    putLe16(out, 1); // one image
    out.append(char(p.width == 256 ? 0 : p.width));
    out.append(char(p.height == 256 ? 0 : p.height));
    out.append(char(16)); // colours in the palette
    out.append('\0');
    putLe16(out, 1); // planes
    putLe16(out, 4); // bits a pixel
    putLe32(out, 40 + 16 * 4 + imageSize);
    putLe32(out, 6 + 16); // the image follows this one-entry directory

    // BITMAPINFOHEADER; an icon's counts the mask too: twice the height.
    putLe32(out, 40);
    putLe32(out, std::uint32_t(p.width));
    putLe32(out, std::uint32_t(2 * p.height));
    putLe16(out, 1); // planes
    putLe16(out, 4); // bits a pixel
    putLe32(out, 0); // uncompressed
    putLe32(out, imageSize);
    putLe32(out, 3780); // 96 dots per inch, in dots per metre
    putLe32(out, 3780);
    putLe32(out, 16); // colours used
    putLe32(out, 0);  // all important
    for (int i = 0; i < 16; ++i) {
        const QRgb c = i < int(p.palette.size()) ? p.palette[std::size_t(i)] : 0;
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    return out + xorRows + andMask;
}
