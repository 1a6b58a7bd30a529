#include "imagefiles.h"

#include <algorithm>

namespace {

void putLe16(QByteArray& out, std::uint32_t v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void putLe32(QByteArray& out, std::uint32_t v) {
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}
void putBe32(QByteArray& out, std::uint32_t v) {
    out.append(char((v >> 24) & 0xFF));
    out.append(char((v >> 16) & 0xFF));
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// The 40-byte BITMAPINFOHEADER shared by .bmp and .ico.
void putInfoHeader(QByteArray& out, int width, int height, int bits, std::uint32_t imageSize,
                   std::uint32_t colours) {
    putLe32(out, 40);
    putLe32(out, std::uint32_t(width));
    putLe32(out, std::uint32_t(height)); // positive: rows stored bottom-up
    putLe16(out, 1);                     // planes
    putLe16(out, std::uint32_t(bits));
    putLe32(out, 0); // BI_RGB, uncompressed
    putLe32(out, imageSize);
    putLe32(out, 3780); // 96 dots per inch, in dots per metre
    putLe32(out, 3780);
    putLe32(out, colours);
    putLe32(out, 0); // all colours important
}

// Rows of 4-bit pixels, bottom row first, each padded to a multiple of 4 bytes.
QByteArray packedRows4(const IndexedPicture& p) {
    const int stride = ((p.width + 1) / 2 + 3) & ~3;
    QByteArray rows;
    for (int y = p.height - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < p.width; ++x) {
            const int shift = (x % 2 == 0) ? 4 : 0; // left pixel in the high nibble
            row[x / 2] = char(row[x / 2] | (p.at(x, y) << shift));
        }
        rows += row;
    }
    return rows;
}

std::uint32_t crc32(const QByteArray& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (char byte : data)
        c = table[(c ^ std::uint8_t(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const QByteArray& data) {
    std::uint32_t a = 1, b = 0;
    for (char byte : data) {
        a = (a + std::uint8_t(byte)) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void putChunk(QByteArray& out, const char* type, const QByteArray& data) {
    putBe32(out, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    out += typed;
    putBe32(out, crc32(typed));
}

bool fitsPalette(const IndexedPicture& p) {
    if (p.palette.empty() || p.palette.size() > 16 || p.width <= 0 || p.height <= 0 ||
        p.pixels.size() != std::size_t(p.width) * std::size_t(p.height))
        return false;
    for (std::uint8_t i : p.pixels)
        if (i >= p.palette.size())
            return false;
    return true;
}

} // namespace

QImage IndexedPicture::toImage() const {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, palette[at(x, y)]);
    return image;
}

QByteArray encodeBmp24(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int stride = (image.width() * 3 + 3) & ~3;
    const std::uint32_t imageSize = std::uint32_t(stride) * std::uint32_t(image.height());
    QByteArray out("BM");
    putLe32(out, 54 + imageSize);
    putLe32(out, 0); // reserved
    putLe32(out, 54);
    putInfoHeader(out, image.width(), image.height(), 24, imageSize, 0);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            row[3 * x] = char(qBlue(c));
            row[3 * x + 1] = char(qGreen(c));
            row[3 * x + 2] = char(qRed(c));
        }
        out += row;
    }
    return out;
}

QByteArray encodePng4(const IndexedPicture& p) {
    if (!fitsPalette(p))
        return {};
    QByteArray out("\x89PNG\r\n\x1a\n", 8);

    QByteArray header;
    putBe32(header, std::uint32_t(p.width));
    putBe32(header, std::uint32_t(p.height));
    header.append(char(4)); // bits a pixel
    header.append(char(3)); // palette colour
    header.append(3, '\0'); // deflate, adaptive filtering, no interlace
    putChunk(out, "IHDR", header);

    QByteArray plte;
    for (QRgb c : p.palette) {
        plte.append(char(qRed(c)));
        plte.append(char(qGreen(c)));
        plte.append(char(qBlue(c)));
    }
    putChunk(out, "PLTE", plte);

    QByteArray raw; // each row: filter type 0, then the packed pixels
    for (int y = 0; y < p.height; ++y) {
        QByteArray row((p.width + 1) / 2 + 1, '\0');
        for (int x = 0; x < p.width; ++x) {
            const int shift = (x % 2 == 0) ? 4 : 0;
            row[1 + x / 2] = char(row[1 + x / 2] | (p.at(x, y) << shift));
        }
        raw += row;
    }
    QByteArray zlib("\x78\x01", 2); // deflate, 32 KiB window, no dictionary
    for (qsizetype at = 0;;) {
        const qsizetype length = std::min<qsizetype>(raw.size() - at, 0xFFFF);
        const bool last = at + length == raw.size();
        zlib.append(char(last ? 1 : 0)); // stored block
        putLe16(zlib, std::uint32_t(length));
        putLe16(zlib, std::uint32_t(~length & 0xFFFF));
        zlib += raw.mid(at, length);
        at += length;
        if (last)
            break;
    }
    putBe32(zlib, adler32(raw));
    putChunk(out, "IDAT", zlib);
    putChunk(out, "IEND", {});
    return out;
}

QByteArray encodeIco4(const IndexedPicture& p) {
    if (!fitsPalette(p) || p.width > 256 || p.height > 256)
        return {};
    const QByteArray xorRows = packedRows4(p);
    const int maskStride = ((p.width + 7) / 8 + 3) & ~3;
    const QByteArray andMask(maskStride * p.height, '\0'); // 0: the pixel is opaque
    const std::uint32_t imageSize = std::uint32_t(xorRows.size() + andMask.size());
    const std::uint32_t resourceSize = 40 + 16 * 4 + imageSize;

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
    putLe32(out, resourceSize);
    putLe32(out, 6 + 16); // the image follows this one-entry directory

    // An icon's header counts the mask too: twice the height.
    putInfoHeader(out, p.width, 2 * p.height, 4, imageSize, 16);
    for (int i = 0; i < 16; ++i) {
        const QRgb c = i < int(p.palette.size()) ? p.palette[std::size_t(i)] : 0;
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    out += xorRows;
    out += andMask;
    return out;
}
