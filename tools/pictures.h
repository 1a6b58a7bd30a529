// SPDX-License-Identifier: MIT
// The pictures of the panel, drawn pixel by pixel so that every run on every
// machine gives the same pixels: the switch in its two positions, the status
// lamp for a low and a high pin, and the main window's icon.
#pragma once

#include "imagefiles.h"

#include <QImage>
#include <QString>

#include <array>

/// Side of a switch or lamp picture: it fills its 375-twip place exactly.
constexpr int kPlaceSize = 25;
/// Side of the window icon.
constexpr int kIconSize = 32;

/// The standard 16-colour VGA palette, in its usual order.
extern const std::array<QRgb, 16> kVgaPalette;

enum VgaColour : std::uint8_t {
    VgaBlack = 0,
    VgaBlue = 1,
    VgaCyan = 3,
    VgaYellow = 14,
};

QImage drawSwitch(bool on);
QImage drawLamp(bool high);
/// 32 × 32 in the VGA palette: yellow, framed by a blue line outside and a
/// cyan line inside, "Printer" small above "Port" large, in black.
IndexedPicture drawIcon();

/// The files the panel uses, with their names.
struct PictureFile {
    const char* name;
    QByteArray bytes;
};
std::vector<PictureFile> pictureFiles();

/// Writes every file of pictureFiles() into `folder`; on failure returns false
/// and says which file and why in `error`.
bool writePictures(const QString& folder, QString* error);
