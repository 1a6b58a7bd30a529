#include "gifwriter.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kMaxCodeBits = 12;
// The table is reset before it takes code 4095: some decoders mishandle the
// last code of a full table, and giflib stops at the same point.
constexpr int kLastUsableCode = (1 << kMaxCodeBits) - 1;

void putWord(QByteArray& out, int value) {
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// Packs variable-width codes least significant bit first and cuts the stream
// into the data sub-blocks of at most 255 bytes that GIF wants.
class CodeWriter {
public:
    explicit CodeWriter(QByteArray& out) : out_(out) {}

    void put(int code, int width) {
        bits_ |= std::uint32_t(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            byte(std::uint8_t(bits_ & 0xFF));
            bits_ >>= 8;
            count_ -= 8;
        }
    }

    void finish() {
        if (count_ > 0)
            byte(std::uint8_t(bits_ & 0xFF));
        flushBlock();
        out_.append('\0'); // block terminator
    }

private:
    void byte(std::uint8_t b) {
        block_.push_back(b);
        if (block_.size() == 255)
            flushBlock();
    }
    void flushBlock() {
        if (block_.empty())
            return;
        out_.append(char(block_.size()));
        out_.append(reinterpret_cast<const char*>(block_.data()), qsizetype(block_.size()));
        block_.clear();
    }

    QByteArray& out_;
    std::vector<std::uint8_t> block_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

void compress(const std::vector<std::uint8_t>& pixels, int minCodeSize, QByteArray& out,
              GifStats& stats) {
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    const int firstFree = clearCode + 2;

    // The code of each string in the table, keyed by (code of the string
    // without its last pixel, last pixel).
    std::unordered_map<std::uint32_t, std::uint16_t> table;
    table.reserve(std::size_t(1) << kMaxCodeBits);
    int width = minCodeSize + 1;
    int next = firstFree;
    CodeWriter writer(out);

    auto reset = [&] {
        writer.put(clearCode, width);
        ++stats.clearCodes;
        table.clear();
        width = minCodeSize + 1;
        next = firstFree;
    };
    // The decoder adds its table entry one code later than the encoder and
    // widens its codes as soon as that entry no longer fits; the encoder
    // follows by widening when the code it has just taken needs one more bit.
    auto widenFor = [&](int code) {
        if (code == (1 << width) && width < kMaxCodeBits)
            ++width;
    };

    reset();
    int current = pixels.front();
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const int pixel = pixels[i];
        const std::uint32_t key = std::uint32_t(current) << 8 | std::uint32_t(pixel);
        if (const auto found = table.find(key); found != table.end()) {
            current = found->second;
            continue;
        }
        writer.put(current, width);
        if (next >= kLastUsableCode) {
            reset();
        } else {
            table.emplace(key, std::uint16_t(next));
            widenFor(next);
            ++next;
        }
        current = pixel;
    }
    writer.put(current, width);
    // The decoder takes one more entry on reading that last code, and may
    // widen before it reads the end code.
    widenFor(next);
    writer.put(endCode, width);
    writer.finish();
}

} // namespace

QByteArray encodeGif(const QImage& source, GifStats* stats) {
    if (source.isNull())
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    if (w > 0xFFFF || h > 0xFFFF)
        return {};

    std::vector<QRgb> palette;
    std::unordered_map<QRgb, std::uint8_t> index;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb colour = line[x] | 0xFF000000u;
            auto found = index.find(colour);
            if (found == index.end()) {
                if (palette.size() == 256)
                    return {};
                found = index.emplace(colour, std::uint8_t(palette.size())).first;
                palette.push_back(colour);
            }
            pixels.push_back(found->second);
        }
    }

    int tableBits = 1; // the table holds 2^tableBits entries
    while ((1u << tableBits) < palette.size())
        ++tableBits;
    const int minCodeSize = tableBits < 2 ? 2 : tableBits; // GIF's smallest

    QByteArray out("GIF89a");
    putWord(out, w);
    putWord(out, h);
    // global table present, colour resolution and table size both tableBits
    out.append(char(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)));
    out.append('\0'); // background colour index
    out.append('\0'); // square pixels
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < int(palette.size()) ? palette[std::size_t(i)] : 0;
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }

    out.append(char(0x2C)); // image descriptor: whole screen, no local table
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, w);
    putWord(out, h);
    out.append('\0');
    out.append(char(minCodeSize));

    GifStats local;
    local.colours = int(palette.size());
    compress(pixels, minCodeSize, out, local);
    out.append(char(0x3B)); // trailer
    if (stats)
        *stats = local;
    return out;
}
