// SPDX-License-Identifier: MIT
// The picture files this project ships, written by well-kept libraries where
// one writes the form needed: GIF through giflib, BMP and PNG through Qt's
// image writers. Each gives the same bytes for the same pixels, run after run.
#pragma once

#include <QByteArray>
#include <QImage>

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
    /// The picture as an 8-bit indexed image with its own palette.
    QImage toImage() const;
};

/// Single-frame GIF89a, its colour table built from the image's own colours
/// in the order they first appear (row by row). Alpha is ignored. Empty when
/// the image is null or has more than 256 colours.
QByteArray encodeGif(const QImage& image);

/// Windows BMP, 24 bits a pixel.
QByteArray encodeBmp24(const QImage& image);

/// PNG with the picture's own palette (of at most 16 colours), 8 bits a
/// pixel. Empty when the picture has more than 16 colours.
QByteArray encodePng(const IndexedPicture& picture);

/// Windows .ico with one 4-bit image and an all-opaque mask. Empty when the
/// picture has more than 16 colours or is larger than 256 × 256.
QByteArray encodeIco4(const IndexedPicture& picture);
