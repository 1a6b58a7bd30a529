// Writers for the other picture files this project ships. Each writes every
// byte itself (no timestamps, no library defaults), so a picture always
// becomes the same file on every machine.
#pragma once

#include <QByteArray>
#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

/// A picture whose pixels are indexes into a palette of at most 16 colours.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; ///< row by row, top row first
    std::vector<QRgb> palette;

    std::uint8_t at(int x, int y) const { return pixels[std::size_t(y * width + x)]; }
    void set(int x, int y, std::uint8_t index) { pixels[std::size_t(y * width + x)] = index; }
    QImage toImage() const;
};

/// Windows BMP, 24 bits a pixel, the 54-byte header, rows bottom-up.
QByteArray encodeBmp24(const QImage& image);

/// PNG, palette colour type at 4 bits a pixel, deflate in stored blocks:
/// the icon is only 32 × 32, and stored blocks keep the bytes independent of
/// any zlib version. Empty when the picture has more than 16 colours.
QByteArray encodePng4(const IndexedPicture& picture);

/// Windows .ico with one 4-bit image and an all-opaque mask. Empty when the
/// picture has more than 16 colours or is larger than 256 × 256.
QByteArray encodeIco4(const IndexedPicture& picture);
