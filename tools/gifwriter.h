// A small GIF89a encoder: Qt reads GIF but cannot write it, and the switch
// pictures are GIF files.
#pragma once

#include <QByteArray>
#include <QImage>

/// What the LZW stage did; lets a caller (a test) see that the table was reset.
struct GifStats {
    int colours = 0;    ///< entries of the colour table actually used
    int clearCodes = 0; ///< clear codes written, the leading one included
};

/// Encodes `image` as a single-frame GIF89a with a global colour table built
/// from the image's own colours, in the order they first appear (row by row),
/// so the same image always gives the same bytes. Alpha is ignored.
/// Returns an empty array when the image is null or has more than 256 colours.
QByteArray encodeGif(const QImage& image, GifStats* stats = nullptr);
