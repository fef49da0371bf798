#pragma once

#include "ByteSink.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// An animated GIF89a writer: every frame gets its own 256-colour palette,
// cut from the colours of the pixels that changed since the previous frame;
// unchanged pixels become transparent, so a frame carries only what changed.
// The stages are free functions so that each can be checked on its own;
// GifWriter strings them together.
namespace gif {

// Bits per palette index; the only depth the writer uses.
inline constexpr int kBitDepth = 8;

// A frame's palette and the balanced k-d tree over it. The tree is stored
// heap-fashion: node 1 is the root, the children of node n are 2n and 2n+1;
// nodes 1 .. 2^bitDepth - 1 are inner nodes, the implicit leaves
// 2^bitDepth .. 2^(bitDepth+1) - 1 stand for the entries 0 .. 2^bitDepth - 1.
// Entry 0 is black and the transparent index; it is never chosen as a
// nearest colour.
struct Palette
{
    int bitDepth = kBitDepth;
    std::array<uint8_t, 256> r{};
    std::array<uint8_t, 256> g{};
    std::array<uint8_t, 256> b{};
    std::array<uint8_t, 256> treeSplitElt{};  // component an inner node splits on: 0 red, 1 green, 2 blue
    std::array<uint8_t, 256> treeSplit{};     // the value it splits at
};

// Pixels are 4 bytes, R, G, B and a fourth byte (ignored in images; the
// written palette index in `previousFrame`).
inline constexpr size_t kPixelBytes = 4;

// The pixels of `frame` that take part in its palette, copied into `working`
// (4 bytes each): all of them for the first frame, otherwise only those whose
// R, G or B differs from the colour `previousFrame` holds for them, in order.
// Returns their number.
size_t SelectChangedPixels(const uint8_t *frame, const uint8_t *previousFrame, size_t pixelCount, bool firstFrame,
                           std::vector<uint8_t> &working);

// Builds a palette of 2^bitDepth entries (bitDepth 1..8) from `count` pixels
// by median-cut splitting of their colour space; `pixels` is reordered. A
// palette built from no pixels is all black.
void BuildPalette(uint8_t *pixels, size_t count, int bitDepth, Palette &palette);

// The index (1 .. 2^bitDepth - 1) of the entry nearest to (r, g, b) by the sum
// of absolute differences, found through the k-d tree; on equal differences
// the entry met first in the search stays.
int NearestEntry(const Palette &palette, int r, int g, int b);

// Maps every pixel of `frame` to an index and records the result in
// `previousFrame`: a pixel unchanged from the previous frame (not on the
// first frame) keeps its stored colour and gets index 0, every other pixel
// gets its nearest entry's colour and index.
void MapPixels(const uint8_t *frame, size_t pixelCount, bool firstFrame, const Palette &palette,
               uint8_t *previousFrame);

// Receives LZW codes, least significant bit first, `bits` wide.
class CodeWriter
{
public:
    virtual ~CodeWriter() = default;
    virtual void writeCode(uint32_t code, int bits) = 0;
};

// The LZW dictionary: for (code, value), the code of that code's string
// followed by the value, 0 while not in the dictionary. Kept as an
// open-addressing hash table of 8192 slots (32 KiB, at most 3838 of them in
// use between two clear codes) rather than a 4096 x 256 code tree: the same
// answers, but the table stays in the processor's cache where the 2 MiB tree
// missed it on most lookups.
class LzwDictionary
{
public:
    LzwDictionary();
    uint16_t find(uint32_t code, uint8_t value) const
    {
        const uint32_t key = code << 8 | value;
        for (uint32_t slot = hash(key);; slot = (slot + 1) & kMask) {
            const uint32_t entry = table[slot];
            if (entry == 0)
                return 0;
            if (entry >> 12 == key)
                return uint16_t(entry & 0xfff);
        }
    }
    // `newCode` (1 .. 4095) must not be in the dictionary for (code, value) yet.
    void add(uint32_t code, uint8_t value, uint16_t newCode);
    void clear();

private:
    static constexpr uint32_t kSlots = 8192;
    static constexpr uint32_t kMask = kSlots - 1;
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> 19; }

    std::vector<uint32_t> table;  // key << 12 | code; 0 = empty (no code is 0)
};

// Compresses `count` palette indices (at least one) with GIF's variable-width LZW:
// clear code first, a dictionary reset with a clear code whenever the highest
// assigned code reaches 4095, and the last code, a clear code and the end code
// at the end. `dictionary`, when given, is reused (and left in any state).
void CompressIndices(const uint8_t *indices, size_t count, int bitDepth, CodeWriter &out,
                     LzwDictionary *dictionary = nullptr);

// Packs codes into bytes, least significant bit first, and writes them in
// sub-blocks of at most 255 bytes, each after its length byte.
class BitPacker : public CodeWriter
{
public:
    explicit BitPacker(ByteSink &sink)
        : sink(sink)
    {
    }
    void writeCode(uint32_t code, int width) override;
    // Pads the last byte with zero bits and writes the last sub-block, if any.
    void finish();

private:
    void flushChunk();

    ByteSink &sink;
    uint64_t bits = 0;  // pending bits, the oldest lowest
    int bitCount = 0;
    std::array<uint8_t, 255> chunk{};
    size_t chunkCount = 0;
};

// The file header: signature, logical screen descriptor, a two-entry black
// global colour table and, when `delay` is not 0, the extension that makes
// viewers loop for ever.
void WriteHeader(ByteSink &sink, int width, int height, int delay);

// A frame's graphic control extension (leave in place, index 0 transparent,
// `delay` hundredths of a second), image descriptor and local colour table;
// its image data follows.
void WriteFrameHeader(ByteSink &sink, int width, int height, int delay, const Palette &palette);

// A frame with its palette built and its pixels mapped, not yet compressed.
struct MappedFrame
{
    Palette palette;
    std::vector<uint8_t> indices;  // one per pixel, rows top to bottom
    int delay = 0;
};

// Writer state of one file: Closed -> begin -> (writeFrame)* -> end -> Closed.
// A failed write (full disk) makes writeFrame and end return false, with the
// reason in errorString().
class GifWriter
{
public:
    GifWriter();
    ~GifWriter();

    // Creates the file at `path` (or takes `sink`) and writes the header.
    // False, with nothing allocated, if the file cannot be created or the
    // size is outside 1..65535 in either direction.
    bool begin(const QString &path, int width, int height, int delay);
    bool begin(std::unique_ptr<ByteSink> sink, int width, int height, int delay);
    // Encodes one frame of `width` x `height` RGBA pixels (rows top to bottom,
    // no padding; A ignored) with `delay` hundredths of a second. False when
    // the writer is not open, the size differs from begin's, `bitDepth` is not
    // 8, or the output failed.
    bool writeFrame(const uint8_t *rgba, int width, int height, int delay, int bitDepth = kBitDepth);
    // writeFrame in two halves, so that a caller can compress one frame on
    // one thread while the next is mapped on another: mapFrame builds the
    // palette and the indices (and updates previousPixels()); writeMapped
    // compresses and writes them. Each half is called in frame order, and
    // the halves touch disjoint state, so one thread may run each. mapFrame
    // fails (with the reason in `reason`, not in errorString()) for the
    // cases writeFrame refuses before encoding.
    bool mapFrame(const uint8_t *rgba, int width, int height, int delay, MappedFrame &out, QString *reason,
                  int bitDepth = kBitDepth);
    bool writeMapped(const MappedFrame &frame);
    // Writes the trailer and closes the file. False if the writer was not
    // open or any write failed.
    bool end();

    bool isOpen() const { return file != nullptr; }
    QString errorString() const { return error; }
    // Per pixel the colour written for it so far and the index of the last
    // frame (0 = transparent); empty when closed.
    const std::vector<uint8_t> &previousPixels() const { return previousFrame; }

private:
    bool fail(const QString &reason);

    std::unique_ptr<ByteSink> file;
    std::vector<uint8_t> previousFrame;
    bool firstFrame = true;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> working;  // reused between frames
    MappedFrame mapped;            // writeFrame's, reused between frames
    std::unique_ptr<LzwDictionary> dictionary;
    QString error;
};

}  // namespace gif
