// Fuzz target for the GIF encoder: frame sizes and contents come from the
// input. Every file is read back by a small GIF reader of its own (not the
// encoder's code), and each decoded screen must show what the encoder
// chose; any difference aborts.
//
// Input: byte 0 -> width 1..48, byte 1 -> height 1..48, byte 2 -> frames
// 1..4, byte 3 -> how much of each frame repeats the previous one; the rest
// are pixel colours, reused cyclically.

#include "ByteSink.h"
#include "GifEncoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Hands the bytes to a vector that outlives the writer.
class VectorSink : public ByteSink
{
public:
    explicit VectorSink(std::vector<uint8_t> &out)
        : out(out)
    {
    }

protected:
    QString writeBytes(const uint8_t *data, size_t size) override
    {
        out.insert(out.end(), data, data + size);
        return QString();
    }

private:
    std::vector<uint8_t> &out;
};

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "fuzz_gifencoder: %s\n", what);
    std::abort();
}

class Reader
{
public:
    explicit Reader(const std::vector<uint8_t> &bytes)
        : bytes(bytes)
    {
    }
    uint8_t byte()
    {
        if (at >= bytes.size())
            fault("the file ends early");
        return bytes[at++];
    }
    unsigned little16()
    {
        const unsigned low = byte();
        return low | (unsigned(byte()) << 8);
    }
    std::vector<uint8_t> subBlocks()
    {
        std::vector<uint8_t> data;
        while (const uint8_t length = byte())
            for (int i = 0; i < length; ++i)
                data.push_back(byte());
        return data;
    }
    bool atEnd() const { return at == bytes.size(); }

private:
    const std::vector<uint8_t> &bytes;
    size_t at = 0;
};

// GIF's LZW, decoded the textbook way: codes grow when the next free code
// reaches the width's limit, a clear code starts over.
std::vector<uint8_t> decodeLzw(const std::vector<uint8_t> &data, int minimumCodeSize, size_t expected)
{
    const unsigned clear = 1u << minimumCodeSize;
    const unsigned endCode = clear + 1;
    std::vector<std::vector<uint8_t>> table;
    const auto reset = [&] {
        table.assign(clear + 2, {});
        for (unsigned i = 0; i < clear; ++i)
            table[i] = {uint8_t(i)};
    };
    reset();
    int codeSize = minimumCodeSize + 1;
    size_t bit = 0;
    int previous = -1;
    std::vector<uint8_t> out;
    for (;;) {
        if (bit + size_t(codeSize) > data.size() * 8)
            fault("the image data ends without an end code");
        unsigned code = 0;
        for (int i = 0; i < codeSize; ++i, ++bit)
            code |= unsigned((data[bit / 8] >> (bit % 8)) & 1u) << i;
        if (code == clear) {
            reset();
            codeSize = minimumCodeSize + 1;
            previous = -1;
            continue;
        }
        if (code == endCode)
            break;
        std::vector<uint8_t> entry;
        if (code < table.size() && (code < clear || code > endCode)) {
            entry = table[code];
        } else if (code == table.size() && previous >= 0) {
            entry = table[size_t(previous)];
            entry.push_back(table[size_t(previous)][0]);
        } else {
            fault("a code that is not in the dictionary");
        }
        out.insert(out.end(), entry.begin(), entry.end());
        if (previous >= 0 && table.size() < 4096) {
            std::vector<uint8_t> added = table[size_t(previous)];
            added.push_back(entry[0]);
            table.push_back(added);
        }
        if (table.size() == (size_t(1) << codeSize) && codeSize < 12)
            ++codeSize;
        previous = int(code);
    }
    if (out.size() != expected)
        fault("the image data holds the wrong number of pixels");
    return out;
}

// Reads the file and checks each frame's screen against `screens`.
void check(const std::vector<uint8_t> &file, int width, int height, const std::vector<std::vector<uint8_t>> &screens)
{
    Reader in(file);
    const char signature[] = "GIF89a";
    for (int i = 0; i < 6; ++i)
        if (in.byte() != uint8_t(signature[i]))
            fault("no GIF89a signature");
    if (int(in.little16()) != width || int(in.little16()) != height)
        fault("the screen size is not the frames' size");
    const uint8_t flags = in.byte();
    in.byte();
    in.byte();
    if (flags & 0x80)
        for (int i = 0; i < 3 * (2 << (flags & 7)); ++i)
            in.byte();
    const size_t pixels = size_t(width) * size_t(height);
    std::vector<uint8_t> screen(pixels * 3, 0);
    size_t frame = 0;
    int transparent = -1;
    for (;;) {
        const uint8_t introducer = in.byte();
        if (introducer == 0x3B)
            break;
        if (introducer == 0x21) {
            const uint8_t label = in.byte();
            const std::vector<uint8_t> data = in.subBlocks();
            if (label == 0xF9) {
                if (data.size() != 4)
                    fault("a graphic control extension of the wrong size");
                transparent = (data[0] & 1) ? data[3] : -1;
            }
            continue;
        }
        if (introducer != 0x2C)
            fault("an unknown block");
        const unsigned left = in.little16();
        const unsigned top = in.little16();
        if (left != 0 || top != 0 || int(in.little16()) != width || int(in.little16()) != height)
            fault("a frame that does not cover the screen");
        const uint8_t imageFlags = in.byte();
        if (!(imageFlags & 0x80))
            fault("a frame without its own colour table");
        std::vector<uint8_t> table(size_t(3) * size_t(2 << (imageFlags & 7)));
        for (uint8_t &value : table)
            value = in.byte();
        const int minimumCodeSize = in.byte();
        const std::vector<uint8_t> indices = decodeLzw(in.subBlocks(), minimumCodeSize, pixels);
        if (frame == 0 && transparent >= 0)
            for (const uint8_t index : indices)
                if (index == transparent)
                    fault("the first frame has transparent pixels");
        for (size_t i = 0; i < pixels; ++i) {
            if (int(indices[i]) == transparent)
                continue;
            std::memcpy(&screen[i * 3], &table[size_t(indices[i]) * 3], 3);
        }
        if (frame >= screens.size())
            fault("more frames than were written");
        for (size_t i = 0; i < pixels; ++i)
            if (std::memcmp(&screen[i * 3], &screens[frame][i * 4], 3) != 0)
                fault("a decoded pixel differs from the encoder's choice");
        ++frame;
    }
    if (frame != screens.size() || !in.atEnd())
        fault("the frame count or the file end is wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const int width = 1 + data[0] % 48;
    const int height = 1 + data[1] % 48;
    const int frames = 1 + data[2] % 4;
    const int repeated = data[3] % 5;  // in fifths of a frame
    const uint8_t *colours = data + 4;
    const size_t colourCount = size - 4;
    const size_t pixels = size_t(width) * size_t(height);

    std::vector<uint8_t> file;
    gif::GifWriter writer;
    if (!writer.begin(std::make_unique<VectorSink>(file), width, height, data[4] % 3))
        fault("begin failed");
    std::vector<std::vector<uint8_t>> screens;
    std::vector<uint8_t> image(pixels * 4, 0);
    size_t next = 0;
    for (int f = 0; f < frames; ++f) {
        const size_t kept = f == 0 ? 0 : pixels * size_t(repeated) / 5;
        for (size_t i = kept; i < pixels; ++i) {
            for (int c = 0; c < 4; ++c)
                image[i * 4 + size_t(c)] = colours[next++ % colourCount];
        }
        if (!writer.writeFrame(image.data(), width, height, 7))
            fault("a frame failed");
        screens.push_back(writer.previousPixels());
    }
    if (!writer.end())
        fault("end failed");
    check(file, width, height, screens);
    return 0;
}
