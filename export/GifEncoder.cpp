#include "GifEncoder.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace gif {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("GifWriter", text);
}

void swapPixels(uint8_t *pixels, size_t a, size_t b)
{
    // Whole 4-byte pixels, as one word each.
    uint32_t x;
    uint32_t y;
    std::memcpy(&x, pixels + a * kPixelBytes, kPixelBytes);
    std::memcpy(&y, pixels + b * kPixelBytes, kPixelBytes);
    std::memcpy(pixels + a * kPixelBytes, &y, kPixelBytes);
    std::memcpy(pixels + b * kPixelBytes, &x, kPixelBytes);
}

// Moves the pixels of [left, right) whose `component` is below the pivot's
// before it and returns the pivot's final place. Every second pixel equal to
// the pivot goes to the left side, so that runs of one value split evenly.
size_t partition(uint8_t *pixels, size_t left, size_t right, int component, size_t pivot)
{
    const uint8_t pivotValue = pixels[pivot * kPixelBytes + size_t(component)];
    swapPixels(pixels, pivot, right - 1);
    // Without branches: which side a pixel goes to is as good as random, and
    // mispredicted jumps would cost more than the two stores made for every pixel.
    size_t store = left;
    unsigned toggle = 0;
    for (size_t i = left; i + 1 < right; ++i) {
        uint8_t *at = pixels + i * kPixelBytes;
        uint8_t *atStore = pixels + store * kPixelBytes;
        const uint8_t value = at[component];
        const unsigned equal = value == pivotValue;
        const unsigned moves = unsigned(value < pivotValue) | (equal & toggle);
        toggle ^= equal;
        uint32_t pixel;
        uint32_t stored;
        std::memcpy(&pixel, at, kPixelBytes);
        std::memcpy(&stored, atStore, kPixelBytes);
        const uint32_t mask = 0u - moves;  // all ones when the pixel moves to `store`
        const uint32_t newAt = (stored & mask) | (pixel & ~mask);
        const uint32_t newStored = (pixel & mask) | (stored & ~mask);
        std::memcpy(at, &newAt, kPixelBytes);
        std::memcpy(atStore, &newStored, kPixelBytes);
        store += moves;
    }
    swapPixels(pixels, store, right - 1);
    return store;
}

// Partial quicksort of [left, right) on `component` until the pixel at
// `wanted` has its sorted value, nothing before it greater and nothing after
// it smaller; only the side holding `wanted` is gone into.
void selectMedian(uint8_t *pixels, size_t left, size_t right, int component, size_t wanted)
{
    while (left + 1 < right) {
        const size_t pivot = left + (right - left) / 2;
        const size_t place = partition(pixels, left, right, component, pivot);
        if (place > wanted)
            right = place;
        else if (place < wanted)
            left = place + 1;
        else
            break;
    }
}

void split(uint8_t *pixels, size_t count, int firstEntry, int lastEntry, int splitEntry, int splitDistance, int node,
           Palette &palette)
{
    if (lastEntry <= firstEntry || count == 0)
        return;
    if (lastEntry == firstEntry + 1) {
        // A leaf: the rounded mean colour of its pixels.
        uint64_t sums[3] = {0, 0, 0};
        for (size_t i = 0; i < count; ++i)
            for (int c = 0; c < 3; ++c)
                sums[c] += pixels[i * kPixelBytes + size_t(c)];
        const uint64_t n = count;
        palette.r[size_t(firstEntry)] = uint8_t((sums[0] + n / 2) / n);
        palette.g[size_t(firstEntry)] = uint8_t((sums[1] + n / 2) / n);
        palette.b[size_t(firstEntry)] = uint8_t((sums[2] + n / 2) / n);
        return;
    }

    int minimum[3] = {255, 255, 255};
    int maximum[3] = {0, 0, 0};
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int value = pixels[i * kPixelBytes + size_t(c)];
            minimum[c] = std::min(minimum[c], value);
            maximum[c] = std::max(maximum[c], value);
        }
    }
    const int redRange = maximum[0] - minimum[0];
    const int greenRange = maximum[1] - minimum[1];
    const int blueRange = maximum[2] - minimum[2];
    // Ties go to green before blue, and to green or blue before red.
    int component = 1;
    if (blueRange > greenRange)
        component = 2;
    if (redRange > blueRange && redRange > greenRange)
        component = 0;

    // 64-bit: the product outgrows 32 bits on frames of more than 16 million pixels.
    const size_t leftCount = size_t(uint64_t(count) * uint64_t(splitEntry - firstEntry)
                                    / uint64_t(lastEntry - firstEntry));
    selectMedian(pixels, 0, count, component, leftCount);
    palette.treeSplitElt[size_t(node)] = uint8_t(component);
    palette.treeSplit[size_t(node)] = pixels[leftCount * kPixelBytes + size_t(component)];

    split(pixels, leftCount, firstEntry, splitEntry, splitEntry - splitDistance, splitDistance / 2, 2 * node,
          palette);
    split(pixels + leftCount * kPixelBytes, count - leftCount, splitEntry, lastEntry, splitEntry + splitDistance,
          splitDistance / 2, 2 * node + 1, palette);
}

// The depth-first search of the k-d tree from the root: at each inner node
// the side of the split holding the colour first, the other side after it
// only if the best difference is still greater than the colour's distance to
// the split. Iterative, with the other sides waiting on a stack: the search
// runs for every changed pixel.
int searchNearest(const Palette &palette, const int colour[3])
{
    const int entries = 1 << palette.bitDepth;
    struct Waiting
    {
        int node;
        int distance;  // to the split above it, along its component
    };
    Waiting waiting[16];  // one per level: at most 8
    int depth = 0;
    int bestIndex = 1;
    int bestDifference = 1000000;
    int node = 1;
    for (;;) {
        while (node < entries) {
            const int c = colour[palette.treeSplitElt[size_t(node)] % 3];
            const int s = palette.treeSplit[size_t(node)];
            if (s > c) {
                waiting[depth++] = {2 * node + 1, s - c};
                node = 2 * node;
            } else {
                waiting[depth++] = {2 * node, c - s};
                node = 2 * node + 1;
            }
        }
        if (const int entry = node - entries; entry != 0) {
            const size_t e = size_t(entry);
            const int difference = std::abs(colour[0] - palette.r[e]) + std::abs(colour[1] - palette.g[e])
                                   + std::abs(colour[2] - palette.b[e]);
            if (difference < bestDifference) {
                bestIndex = entry;
                bestDifference = difference;
            }
        }
        do {
            if (depth == 0)
                return bestIndex;
            --depth;
        } while (bestDifference <= waiting[depth].distance);
        node = waiting[depth].node;
    }
}

}  // namespace

size_t SelectChangedPixels(const uint8_t *frame, const uint8_t *previousFrame, size_t pixelCount, bool firstFrame,
                           std::vector<uint8_t> &working)
{
    working.resize(pixelCount * kPixelBytes);
    if (firstFrame) {
        std::memcpy(working.data(), frame, pixelCount * kPixelBytes);
        return pixelCount;
    }
    size_t kept = 0;
    for (size_t i = 0; i < pixelCount; ++i) {
        const uint8_t *pixel = frame + i * kPixelBytes;
        const uint8_t *before = previousFrame + i * kPixelBytes;
        if (pixel[0] != before[0] || pixel[1] != before[1] || pixel[2] != before[2]) {
            std::memcpy(working.data() + kept * kPixelBytes, pixel, kPixelBytes);
            ++kept;
        }
    }
    working.resize(kept * kPixelBytes);
    return kept;
}

void BuildPalette(uint8_t *pixels, size_t count, int bitDepth, Palette &palette)
{
    palette = Palette();
    palette.bitDepth = std::clamp(bitDepth, 1, 8);
    const int entries = 1 << palette.bitDepth;
    split(pixels, count, 1, entries, entries / 2, entries / 4, 1, palette);
    // The node above entries 0 and 1, so that a search can reach entry 1.
    palette.treeSplit[size_t(entries / 2)] = 0;
    palette.treeSplitElt[size_t(entries / 2)] = 0;
    palette.r[0] = palette.g[0] = palette.b[0] = 0;
}

int NearestEntry(const Palette &palette, int r, int g, int b)
{
    const int colour[3] = {r, g, b};
    return searchNearest(palette, colour);
}

void MapPixels(const uint8_t *frame, size_t pixelCount, bool firstFrame, const Palette &palette,
               uint8_t *previousFrame)
{
    // The nearest entry depends on the colour alone: a small direct-mapped
    // cache spares the tree search for colours met before in this frame.
    constexpr size_t kCacheSize = 4096;
    std::vector<uint32_t> cachedColour(kCacheSize, 0);  // colour + 1 << 24; 0 = empty
    std::vector<uint8_t> cachedEntry(kCacheSize, 0);
    for (size_t i = 0; i < pixelCount; ++i) {
        const uint8_t *pixel = frame + i * kPixelBytes;
        uint8_t *stored = previousFrame + i * kPixelBytes;
        if (!firstFrame && pixel[0] == stored[0] && pixel[1] == stored[1] && pixel[2] == stored[2]) {
            stored[3] = 0;
            continue;
        }
        const uint32_t colour = (uint32_t(pixel[0]) << 16 | uint32_t(pixel[1]) << 8 | pixel[2]) | (1u << 24);
        const size_t slot = ((colour * 2654435761u) >> 20) & (kCacheSize - 1);
        if (cachedColour[slot] != colour) {
            cachedColour[slot] = colour;
            cachedEntry[slot] = uint8_t(NearestEntry(palette, pixel[0], pixel[1], pixel[2]));
        }
        const size_t e = cachedEntry[slot];
        stored[0] = palette.r[e];
        stored[1] = palette.g[e];
        stored[2] = palette.b[e];
        stored[3] = uint8_t(e);
    }
}

LzwDictionary::LzwDictionary()
    : table(kSlots, 0)
{
}

void LzwDictionary::add(uint32_t code, uint8_t value, uint16_t newCode)
{
    const uint32_t key = code << 8 | value;
    uint32_t slot = hash(key);
    while (table[slot] != 0)
        slot = (slot + 1) & kMask;
    table[slot] = key << 12 | (newCode & 0xfffu);
}

void LzwDictionary::clear()
{
    std::fill(table.begin(), table.end(), 0u);
}

void CompressIndices(const uint8_t *indices, size_t count, int bitDepth, CodeWriter &out,
                     LzwDictionary *dictionary)
{
    if (count == 0)
        return;
    std::unique_ptr<LzwDictionary> own;
    if (!dictionary) {
        own = std::make_unique<LzwDictionary>();
        dictionary = own.get();
    }
    LzwDictionary &tree = *dictionary;
    tree.clear();
    const uint32_t clearCode = 1u << bitDepth;
    const int minimumCodeSize = bitDepth + 1;
    int codeSize = minimumCodeSize;
    uint32_t highestCode = clearCode + 1;
    int32_t current = -1;

    out.writeCode(clearCode, codeSize);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t value = indices[i];
        if (current < 0) {
            current = value;
            continue;
        }
        if (const uint16_t next = tree.find(uint32_t(current), value)) {
            current = next;
            continue;
        }
        out.writeCode(uint32_t(current), codeSize);
        ++highestCode;
        tree.add(uint32_t(current), value, uint16_t(highestCode));
        if (highestCode >= (1u << codeSize))
            ++codeSize;
        if (highestCode == 4095) {
            out.writeCode(clearCode, codeSize);
            tree.clear();
            codeSize = minimumCodeSize;
            highestCode = clearCode + 1;
        }
        current = value;
    }
    out.writeCode(uint32_t(current), codeSize);
    out.writeCode(clearCode, codeSize);
    out.writeCode(clearCode + 1, minimumCodeSize);
}

void BitPacker::writeCode(uint32_t code, int width)
{
    // Least significant bit first: each code goes above the pending bits.
    bits |= uint64_t(code & ((1u << width) - 1)) << bitCount;
    bitCount += width;
    while (bitCount >= 8) {
        chunk[chunkCount++] = uint8_t(bits & 0xff);
        bits >>= 8;
        bitCount -= 8;
        if (chunkCount == chunk.size())
            flushChunk();
    }
}

void BitPacker::finish()
{
    if (bitCount > 0) {
        chunk[chunkCount++] = uint8_t(bits & 0xff);  // padded with zero bits
        bits = 0;
        bitCount = 0;
    }
    if (chunkCount > 0)
        flushChunk();
}

void BitPacker::flushChunk()
{
    sink.put(uint8_t(chunkCount));
    sink.write(chunk.data(), chunkCount);
    chunkCount = 0;
}

void WriteHeader(ByteSink &sink, int width, int height, int delay)
{
    static const uint8_t signature[] = {'G', 'I', 'F', '8', '9', 'a'};
    sink.write(signature, sizeof signature);
    sink.putLittle16(unsigned(width));
    sink.putLittle16(unsigned(height));
    // Global colour table present, 8-bit colour resolution, not sorted, 2 entries.
    sink.put(0xF0);
    sink.put(0);  // background colour index
    sink.put(0);  // pixel aspect ratio
    static const uint8_t blackEntries[6] = {};
    sink.write(blackEntries, sizeof blackEntries);
    if (delay != 0) {
        static const uint8_t looping[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                          3,    1,    0,  0,   0};
        sink.write(looping, sizeof looping);
    }
}

void WriteFrameHeader(ByteSink &sink, int width, int height, int delay, const Palette &palette)
{
    // Graphic control extension: leave the frame in place, index 0 transparent.
    sink.put(0x21);
    sink.put(0xF9);
    sink.put(4);
    sink.put(0x05);
    sink.putLittle16(unsigned(delay));
    sink.put(0);
    sink.put(0);
    // Image descriptor: the whole screen, with a local colour table.
    sink.put(0x2C);
    sink.putLittle16(0);
    sink.putLittle16(0);
    sink.putLittle16(unsigned(width));
    sink.putLittle16(unsigned(height));
    sink.put(uint8_t(0x80 + palette.bitDepth - 1));
    const size_t entries = size_t(1) << palette.bitDepth;
    std::vector<uint8_t> table(entries * 3, 0);
    for (size_t e = 1; e < entries; ++e) {
        table[e * 3] = palette.r[e];
        table[e * 3 + 1] = palette.g[e];
        table[e * 3 + 2] = palette.b[e];
    }
    sink.write(table.data(), table.size());
}

GifWriter::GifWriter() = default;
GifWriter::~GifWriter() = default;

bool GifWriter::fail(const QString &reason)
{
    error = reason;
    return false;
}

bool GifWriter::begin(const QString &path, int width, int height, int delay)
{
    if (file)
        return fail(tr("A GIF is already being written."));
    if (width < 1 || height < 1 || width > 65535 || height > 65535)
        return fail(tr("A GIF cannot be %1 x %2 pixels.").arg(width).arg(height));
    auto sink = std::make_unique<FileByteSink>(path);
    if (!sink->ok())
        return fail(sink->errorString());
    return begin(std::move(sink), width, height, delay);
}

bool GifWriter::begin(std::unique_ptr<ByteSink> sink, int width, int height, int delay)
{
    if (file)
        return fail(tr("A GIF is already being written."));
    if (!sink)
        return fail(tr("There is no output to write the GIF to."));
    if (width < 1 || height < 1 || width > 65535 || height > 65535)
        return fail(tr("A GIF cannot be %1 x %2 pixels.").arg(width).arg(height));
    if (!sink->ok())
        return fail(sink->errorString());
    error.clear();
    this->width = width;
    this->height = height;
    previousFrame.assign(size_t(width) * size_t(height) * kPixelBytes, 0);
    firstFrame = true;
    file = std::move(sink);
    WriteHeader(*file, width, height, delay);
    if (!file->ok())
        return fail(file->errorString());
    return true;
}

bool GifWriter::writeFrame(const uint8_t *rgba, int width, int height, int delay, int bitDepth)
{
    QString reason;
    if (!mapFrame(rgba, width, height, delay, mapped, &reason, bitDepth))
        return fail(reason);
    return writeMapped(mapped);
}

bool GifWriter::mapFrame(const uint8_t *rgba, int width, int height, int delay, MappedFrame &out, QString *reason,
                         int bitDepth)
{
    const auto refuse = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!file)
        return refuse(tr("No GIF is being written."));
    if (width != this->width || height != this->height || !rgba)
        return refuse(tr("A frame of %1 x %2 pixels cannot go into a GIF of %3 x %4.")
                          .arg(width)
                          .arg(height)
                          .arg(this->width)
                          .arg(this->height));
    if (bitDepth != kBitDepth)
        return refuse(tr("GIF frames are written with %1-bit colour indices, not %2.").arg(kBitDepth).arg(bitDepth));

    const size_t pixelCount = size_t(width) * size_t(height);
    const bool first = firstFrame;
    const size_t changed = SelectChangedPixels(rgba, previousFrame.data(), pixelCount, first, working);
    firstFrame = false;
    BuildPalette(working.data(), changed, bitDepth, out.palette);
    MapPixels(rgba, pixelCount, first, out.palette, previousFrame.data());
    out.indices.resize(pixelCount);
    for (size_t i = 0; i < pixelCount; ++i)
        out.indices[i] = previousFrame[i * kPixelBytes + 3];
    out.delay = delay;
    return true;
}

bool GifWriter::writeMapped(const MappedFrame &frame)
{
    if (!file)
        return fail(tr("No GIF is being written."));
    if (frame.indices.size() != size_t(width) * size_t(height))
        return fail(tr("A mapped frame of %1 pixels cannot go into a GIF of %2 x %3.")
                        .arg(frame.indices.size())
                        .arg(width)
                        .arg(height));
    if (!file->ok())
        return fail(file->errorString());
    WriteFrameHeader(*file, width, height, frame.delay, frame.palette);
    file->put(uint8_t(frame.palette.bitDepth));  // LZW minimum code size
    BitPacker packer(*file);
    if (!dictionary)
        dictionary = std::make_unique<LzwDictionary>();
    CompressIndices(frame.indices.data(), frame.indices.size(), frame.palette.bitDepth, packer, dictionary.get());
    packer.finish();
    file->put(0);  // block terminator
    if (!file->ok())
        return fail(file->errorString());
    return true;
}

bool GifWriter::end()
{
    if (!file)
        return fail(tr("No GIF is being written."));
    file->put(0x3B);
    const bool written = file->finish();
    const QString reason = file->errorString();
    file.reset();
    previousFrame.clear();
    previousFrame.shrink_to_fit();
    working.clear();
    working.shrink_to_fit();
    mapped = MappedFrame();
    dictionary.reset();
    if (!written)
        return fail(reason);
    return true;
}

}  // namespace gif
