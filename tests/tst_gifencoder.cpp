// The GIF encoder, stage by stage (changed pixels, palette, nearest-entry
// search, LZW, bit packing, container) and as a whole: files decoded by
// FFmpeg's GIF decoder must show, pixel for pixel, what the encoder chose.

#include "BoundedQueue.h"
#include "ByteSink.h"
#include "media/FileSizeLimit.h"
#include "GifDecode.h"
#include "GifEncoder.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <map>
#include <random>
#include <thread>

using namespace gif;

namespace {

struct Code
{
    uint32_t code;
    int bits;
};

class CodeRecorder : public CodeWriter
{
public:
    void writeCode(uint32_t code, int bits) override { codes.push_back({code, bits}); }
    std::vector<Code> codes;
};

// RGBA pixels from (r, g, b) triples.
std::vector<uint8_t> rgba(std::initializer_list<std::array<int, 3>> colours)
{
    std::vector<uint8_t> pixels;
    for (const auto &c : colours)
        pixels.insert(pixels.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), 255});
    return pixels;
}

// A frame with structure and noise: a gradient, a block that moves with
// `t`, and seeded noise in one corner.
std::vector<uint8_t> testFrame(int width, int height, int t, unsigned seed, bool allNoise = false)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4, 255);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
            p[0] = uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = uint8_t((x + y) * 4);
            if (x >= t * 3 && x < t * 3 + 10 && y >= 5 && y < 15) {
                p[0] = 250;
                p[1] = 20;
                p[2] = uint8_t(30 + t);
            }
            if (allNoise || (x < width / 4 && y < height / 4)) {
                p[0] = uint8_t(random());
                p[1] = uint8_t(random());
                p[2] = uint8_t(random());
            }
        }
    }
    return pixels;
}

using testmedia::FileSizeLimit;

}  // namespace

class TestGifEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void header_data();
    void header();
    void changedPixels();
    void singleColourFrame();
    void identicalFrame_isFullyTransparent();
    void nearestEntry_matchesExhaustiveSearch();
    void onePixelImage_exactCodes();
    void dictionaryResetsAfter3838Strings();
    void dictionaryAnswersAsAMap();
    void bitPacking_data();
    void bitPacking();
    void firstFrame_hasNoTransparency();
    void roundTrip_decoderShowsWhatEncoderChose_data();
    void roundTrip_decoderShowsWhatEncoderChose();
    void refusals();
    void fullDisk_reportsFailure();
    void halvesOnTwoThreads_writeTheSameBytes();
};

void TestGifEncoder::header_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("loops");
    QTest::newRow("delay 30: loops for ever") << 30 << true;
    QTest::newRow("delay 0: no looping extension") << 0 << false;
}

void TestGifEncoder::header()
{
    QFETCH(int, delay);
    QFETCH(bool, loops);
    MemoryByteSink sink;
    WriteHeader(sink, 300, 0x1234, delay);
    std::vector<uint8_t> expected = {'G', 'I', 'F', '8', '9', 'a', 0x2C, 0x01, 0x34, 0x12, 0xF0, 0, 0,
                                     0,   0,   0,   0,   0,   0};
    const std::vector<uint8_t> looping = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                          'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    if (loops)
        expected.insert(expected.end(), looping.begin(), looping.end());
    QCOMPARE(sink.bytes(), expected);
}

void TestGifEncoder::changedPixels()
{
    const std::vector<uint8_t> previous = rgba({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
    std::vector<uint8_t> frame = rgba({{1, 2, 3}, {4, 5, 7}, {7, 8, 9}, {0, 11, 12}});
    frame[3] = 17;  // a different fourth byte alone is no change
    std::vector<uint8_t> working;
    QCOMPARE(SelectChangedPixels(frame.data(), previous.data(), 4, false, working), size_t(2));
    QCOMPARE(working, rgba({{4, 5, 7}, {0, 11, 12}}));
    QCOMPARE(SelectChangedPixels(frame.data(), previous.data(), 4, true, working), size_t(4));
    QCOMPARE(working, frame);
}

void TestGifEncoder::singleColourFrame()
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 500; ++i)
        pixels.insert(pixels.end(), {90, 140, 200, 255});
    const std::vector<uint8_t> frame = pixels;
    Palette palette;
    BuildPalette(pixels.data(), 500, 8, palette);
    int reached = 0;
    for (size_t e = 1; e < 256; ++e) {
        const bool black = palette.r[e] == 0 && palette.g[e] == 0 && palette.b[e] == 0;
        const bool colour = palette.r[e] == 90 && palette.g[e] == 140 && palette.b[e] == 200;
        QVERIFY2(black || colour, qPrintable(QStringLiteral("entry %1").arg(e)));
        reached += colour;
    }
    QVERIFY(reached > 1);
    std::vector<uint8_t> previous(frame.size(), 0);
    MapPixels(frame.data(), 500, true, palette, previous.data());
    const uint8_t index = previous[3];
    QVERIFY(index != 0);
    for (size_t i = 0; i < 500; ++i) {
        QCOMPARE(previous[i * 4 + 3], index);
        QCOMPARE(previous[i * 4 + 2], uint8_t(200));
    }
}

void TestGifEncoder::identicalFrame_isFullyTransparent()
{
    const int width = 16;
    const int height = 8;
    const std::vector<uint8_t> frame = testFrame(width, height, 1, 7);
    auto sink = std::make_unique<MemoryByteSink>();
    MemoryByteSink *memory = sink.get();
    GifWriter writer;
    QVERIFY(writer.begin(std::move(sink), width, height, 10));
    QVERIFY(writer.writeFrame(frame.data(), width, height, 10));
    const std::vector<uint8_t> colours = writer.previousPixels();
    const size_t before = memory->bytes().size();
    QVERIFY(writer.writeFrame(frame.data(), width, height, 10));

    for (size_t i = 0; i < size_t(width * height); ++i) {
        QCOMPARE(writer.previousPixels()[i * 4 + 3], uint8_t(0));
        QCOMPARE(writer.previousPixels()[i * 4], colours[i * 4]);  // the colour on screen stays
    }
    // Control extension, descriptor, a table of 256 black entries, minimum code size 8.
    const std::vector<uint8_t> &bytes = memory->bytes();
    const std::vector<uint8_t> frameHeader(bytes.begin() + qsizetype(before), bytes.begin() + qsizetype(before) + 19);
    QCOMPARE(frameHeader, std::vector<uint8_t>({0x21, 0xF9, 4, 0x05, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 16, 0, 8, 0, 0x87,
                                                0}));
    for (size_t k = 0; k < 768; ++k)
        QCOMPARE(bytes[before + 18 + k], uint8_t(0));
    QCOMPARE(bytes[before + 18 + 768], uint8_t(8));
    QVERIFY(writer.end());
}

void TestGifEncoder::nearestEntry_matchesExhaustiveSearch()
{
    // With every leaf reached, pruning at the split planes must never lose
    // the nearest entry (by the sum of absolute differences).
    std::mt19937 random(20261207);
    for (int round = 0; round < 3; ++round) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 4000; ++i) {
            // Clustered colours, as frames have them, plus spread ones.
            const int base = (i % 7) * 36;
            pixels.insert(pixels.end(), {uint8_t(base + random() % 40), uint8_t(random() % 256),
                                         uint8_t(round == 2 ? 128 : base + random() % 20), 255});
        }
        Palette palette;
        BuildPalette(pixels.data(), 4000, 8, palette);
        for (int probe = 0; probe < 3000; ++probe) {
            const int r = int(random() % 256);
            const int g = int(random() % 256);
            const int b = int(random() % 256);
            int best = 1000000;
            for (size_t e = 1; e < 256; ++e)
                best = std::min(best, std::abs(r - palette.r[e]) + std::abs(g - palette.g[e])
                                          + std::abs(b - palette.b[e]));
            const size_t found = size_t(NearestEntry(palette, r, g, b));
            QVERIFY(found >= 1 && found <= 255);
            const int difference = std::abs(r - palette.r[found]) + std::abs(g - palette.g[found])
                                   + std::abs(b - palette.b[found]);
            QCOMPARE(difference, best);
        }
    }
}

void TestGifEncoder::onePixelImage_exactCodes()
{
    // One pixel of a colour: every split sends it right, to entry 255.
    const std::vector<uint8_t> pixel = rgba({{12, 34, 56}});
    auto sink = std::make_unique<MemoryByteSink>();
    MemoryByteSink *memory = sink.get();
    GifWriter writer;
    QVERIFY(writer.begin(std::move(sink), 1, 1, 5));
    QVERIFY(writer.writeFrame(pixel.data(), 1, 1, 5));
    QCOMPARE(writer.previousPixels(), std::vector<uint8_t>({12, 34, 56, 255}));

    CodeRecorder recorder;
    const uint8_t index = writer.previousPixels()[3];
    CompressIndices(&index, 1, 8, recorder);
    QCOMPARE(recorder.codes.size(), size_t(4));
    const uint32_t expected[4] = {256, 255, 256, 257};
    for (size_t i = 0; i < 4; ++i) {
        QCOMPARE(recorder.codes[i].code, expected[i]);
        QCOMPARE(recorder.codes[i].bits, 9);
    }
    // Those four 9-bit codes, least significant bit first, in one sub-block.
    const std::vector<uint8_t> &bytes = memory->bytes();
    const std::vector<uint8_t> tail(bytes.end() - 7, bytes.end());
    QCOMPARE(tail, std::vector<uint8_t>({5, 0x00, 0xFF, 0x01, 0x0C, 0x08, 0}));
    // Its table: entry 255 holds the colour, entry 0 is black.
    const size_t table = bytes.size() - 7 - 1 - 768;
    QCOMPARE(bytes[table + 255 * 3], uint8_t(12));
    QCOMPARE(bytes[table + 255 * 3 + 2], uint8_t(56));
    QCOMPARE(bytes[table], uint8_t(0));
    QVERIFY(writer.end());
}

void TestGifEncoder::dictionaryResetsAfter3838Strings()
{
    // Seeded random indices make a new string almost at every code.
    std::mt19937 random(5);
    const size_t count = 20000;
    std::vector<uint8_t> indices(count);
    for (uint8_t &index : indices)
        index = uint8_t(random());
    CodeRecorder recorder;
    CompressIndices(indices.data(), count, 8, recorder);
    const std::vector<Code> &codes = recorder.codes;
    QCOMPARE(codes.front().code, 256u);
    size_t reset = 0;
    for (size_t i = 1; i < codes.size() && !reset; ++i)
        if (codes[i].code == 256)
            reset = i;
    QCOMPARE(reset, size_t(1 + 3838));
    QCOMPARE(codes[reset].bits, 12);
    QCOMPARE(codes[reset - 1].bits, 12);
    QCOMPARE(codes[reset + 1].bits, 9);
    // Widths grow by one exactly when the next code would not fit.
    QCOMPARE(codes[255].bits, 9);
    QCOMPARE(codes[256].bits, 10);
    QCOMPARE(codes[1 + 255 + 512].bits, 11);
    QCOMPARE(codes[1 + 255 + 512 + 1024].bits, 12);
    QCOMPARE(codes.back().code, 257u);
    QCOMPARE(codes.back().bits, 9);
}

void TestGifEncoder::dictionaryAnswersAsAMap()
{
    // Full loads (3838 strings between two clears), strings that share their
    // code or their value, and clears in between, against a plain map.
    std::mt19937 random(7);
    LzwDictionary dictionary;
    for (int round = 0; round < 4; ++round) {
        std::map<std::pair<uint32_t, uint8_t>, uint16_t> expected;
        uint16_t next = 258;
        while (next < 4096) {
            uint32_t code = 0;
            uint8_t value = 0;
            switch (round) {
            case 0: code = random() % 4096; value = uint8_t(random()); break;
            case 1: code = random() % 4096; value = 0; break;         // one value, many codes
            case 2: code = 300; value = uint8_t(random()); break;      // one code, many values
            default: code = next - 1; value = uint8_t(random() % 3); break;  // chains, as runs make them
            }
            if (expected.count({code, value}))
                continue;
            expected[{code, value}] = next;
            dictionary.add(code, value, next);
            ++next;
            if (round == 2 && expected.size() == 256)
                break;
        }
        for (const auto &[key, code] : expected)
            QCOMPARE(dictionary.find(key.first, key.second), code);
        for (int probe = 0; probe < 20000; ++probe) {
            const uint32_t code = random() % 4096;
            const uint8_t value = uint8_t(random());
            const auto found = expected.find({code, value});
            QCOMPARE(dictionary.find(code, value), found == expected.end() ? uint16_t(0) : found->second);
        }
        dictionary.clear();
        for (const auto &[key, code] : expected)
            QCOMPARE(dictionary.find(key.first, key.second), uint16_t(0));
    }
}

void TestGifEncoder::bitPacking_data()
{
    QTest::addColumn<QList<int>>("codes");  // code, bits, code, bits, ...
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("three bits, padded") << QList<int>{5, 3} << QByteArray("\x01\x05", 2);
    QTest::newRow("codes across bytes") << QList<int>{0x1FF, 9, 0, 9, 1, 2}
                                        << QByteArray("\x03\xFF\x01\x04", 4);
    QTest::newRow("nothing") << QList<int>{} << QByteArray();
}

void TestGifEncoder::bitPacking()
{
    QFETCH(QList<int>, codes);
    QFETCH(QByteArray, expected);
    MemoryByteSink sink;
    BitPacker packer(sink);
    for (qsizetype i = 0; i + 1 < codes.size(); i += 2)
        packer.writeCode(uint32_t(codes[i]), codes[i + 1]);
    packer.finish();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sink.bytes().data()), qsizetype(sink.bytes().size())),
             expected);

    // 300 whole bytes: one full sub-block of 255, then 45.
    MemoryByteSink longSink;
    BitPacker longPacker(longSink);
    for (uint32_t i = 0; i < 300; ++i)
        longPacker.writeCode(i & 0xff, 8);
    longPacker.finish();
    const std::vector<uint8_t> &bytes = longSink.bytes();
    QCOMPARE(bytes.size(), size_t(1 + 255 + 1 + 45));
    QCOMPARE(bytes[0], uint8_t(255));
    QCOMPARE(bytes[255], uint8_t(254));
    QCOMPARE(bytes[256], uint8_t(45));
    QCOMPARE(bytes[257], uint8_t(255));  // i = 255
    QCOMPARE(bytes[258], uint8_t(0));    // i = 256
}

void TestGifEncoder::firstFrame_hasNoTransparency()
{
    // Black pixels too: entry 0 is never a nearest colour.
    std::vector<uint8_t> frame = testFrame(20, 10, 0, 3);
    for (size_t i = 0; i < 40; ++i)
        frame[i * 4] = frame[i * 4 + 1] = frame[i * 4 + 2] = 0;
    GifWriter writer;
    QVERIFY(writer.begin(std::make_unique<MemoryByteSink>(), 20, 10, 0));
    QVERIFY(writer.writeFrame(frame.data(), 20, 10, 0));
    for (size_t i = 0; i < 200; ++i)
        QVERIFY2(writer.previousPixels()[i * 4 + 3] != 0, qPrintable(QStringLiteral("pixel %1").arg(i)));
    QVERIFY(writer.end());
}

void TestGifEncoder::roundTrip_decoderShowsWhatEncoderChose_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("allNoise");
    QTest::newRow("moving block over noise, 64 x 48, 6 frames") << 64 << 48 << 6 << false;
    // About 20,000 strings a frame: several dictionary resets.
    QTest::newRow("noise all over, 211 x 97") << 211 << 97 << 3 << true;
    QTest::newRow("one column") << 1 << 40 << 3 << false;
    QTest::newRow("one pixel") << 1 << 1 << 2 << false;
}

void TestGifEncoder::roundTrip_decoderShowsWhatEncoderChose()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frames);
    QFETCH(bool, allNoise);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("round.gif"));
    GifWriter writer;
    QVERIFY2(writer.begin(path, width, height, 20), qPrintable(writer.errorString()));
    std::vector<std::vector<uint8_t>> shown;
    for (int t = 0; t < frames; ++t) {
        // Frame 2 repeats frame 1: a fully transparent frame in the middle.
        const std::vector<uint8_t> frame = testFrame(width, height, t == 2 ? 1 : t, unsigned(t == 2 ? 1 : t), allNoise);
        QVERIFY(writer.writeFrame(frame.data(), width, height, 20));
        shown.push_back(writer.previousPixels());
    }
    QVERIFY2(writer.end(), qPrintable(writer.errorString()));

    QString error;
    const auto decoded = testmedia::decodeGif(path, &error);
    QVERIFY2(decoded, qPrintable(error));
    QCOMPARE(decoded->size(), size_t(frames));
    for (int t = 0; t < frames; ++t) {
        const cv::Mat &image = decoded->at(size_t(t));
        QCOMPARE(image.cols, width);
        QCOMPARE(image.rows, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t *want = &shown[size_t(t)][(size_t(y) * size_t(width) + size_t(x)) * 4];
                const cv::Vec3b got = image.at<cv::Vec3b>(y, x);
                if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2])
                    QFAIL(qPrintable(QStringLiteral("frame %1 pixel (%2, %3): decoded %4,%5,%6, encoder chose %7,%8,%9")
                                         .arg(t).arg(x).arg(y)
                                         .arg(got[0]).arg(got[1]).arg(got[2])
                                         .arg(want[0]).arg(want[1]).arg(want[2])));
            }
        }
    }
}

void TestGifEncoder::refusals()
{
    const std::vector<uint8_t> frame = testFrame(4, 4, 0, 1);
    GifWriter closed;
    QVERIFY(!closed.writeFrame(frame.data(), 4, 4, 10));
    QVERIFY(!closed.end());

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/x.gif"));
    GifWriter unwritable;
    QVERIFY(!unwritable.begin(missing, 4, 4, 10));
    QVERIFY2(unwritable.errorString().contains(QStringLiteral("x.gif")), qPrintable(unwritable.errorString()));
    QVERIFY(!unwritable.isOpen());

    GifWriter writer;
    QVERIFY(!writer.begin(std::make_unique<MemoryByteSink>(), 0, 4, 10));
    QVERIFY(!writer.begin(std::make_unique<MemoryByteSink>(), 4, 70000, 10));
    QVERIFY(writer.begin(std::make_unique<MemoryByteSink>(), 4, 4, 10));
    QVERIFY(!writer.writeFrame(frame.data(), 4, 3, 10));  // the size begin was given is the size
    QVERIFY(!writer.writeFrame(frame.data(), 4, 4, 10, 4));
    QVERIFY(writer.writeFrame(frame.data(), 4, 4, 10));
    QVERIFY(writer.end());
}

void TestGifEncoder::fullDisk_reportsFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.gif"));
    const int width = 120;
    const int height = 90;
    bool frameFailed = false;
    bool ended = true;
    QString reason;
    {
        FileSizeLimit limit(6000);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        GifWriter writer;
        QVERIFY(writer.begin(path, width, height, 10));
        for (int t = 0; t < 8 && !frameFailed; ++t) {
            const std::vector<uint8_t> frame = testFrame(width, height, t, unsigned(t + 10));
            frameFailed = !writer.writeFrame(frame.data(), width, height, 10);
        }
        ended = writer.end();
        reason = writer.errorString();
    }
    // The buffered stream may only notice when it is flushed: either the
    // frame or the end says so, and the end never calls the file complete.
    QVERIFY(!ended);
    QVERIFY2(reason.contains(QStringLiteral("full.gif")), qPrintable(reason));
}

void TestGifEncoder::halvesOnTwoThreads_writeTheSameBytes()
{
    // Mapping on one thread and compressing on another, as the export does,
    // writes the bytes writeFrame writes: moving blocks, a repeated frame
    // (fully transparent) and noise with several dictionary resets.
    const int width = 150;
    const int height = 90;
    std::vector<std::vector<uint8_t>> frames;
    for (int t = 0; t < 7; ++t)
        frames.push_back(testFrame(width, height, t == 3 ? 2 : t, unsigned(t == 3 ? 2 : t), t == 5));

    auto wholeSink = std::make_unique<MemoryByteSink>();
    const MemoryByteSink *whole = wholeSink.get();
    GifWriter reference;
    QVERIFY(reference.begin(std::move(wholeSink), width, height, 4));
    for (const auto &frame : frames)
        QVERIFY(reference.writeFrame(frame.data(), width, height, 4));

    auto halvesSink = std::make_unique<MemoryByteSink>();
    const MemoryByteSink *halves = halvesSink.get();
    GifWriter writer;
    QVERIFY(writer.begin(std::move(halvesSink), width, height, 4));
    BoundedQueue<MappedFrame> mapped(2);
    int written = 0;
    std::thread compressor([&] {
        while (std::optional<MappedFrame> frame = mapped.pop())
            written += writer.writeMapped(*frame) ? 1 : 0;
    });
    QString reason;
    for (const auto &frame : frames) {
        MappedFrame next;
        QVERIFY2(writer.mapFrame(frame.data(), width, height, 4, next, &reason), qPrintable(reason));
        QCOMPARE(next.indices.size(), size_t(width * height));
        mapped.push(std::move(next));
    }
    mapped.close();
    compressor.join();
    QCOMPARE(written, int(frames.size()));
    // Compared before end(), which hands the sinks back (they go with it).
    QCOMPARE(halves->bytes().size(), whole->bytes().size());
    QVERIFY(halves->bytes() == whole->bytes());
    QVERIFY(writer.end());
    QVERIFY(reference.end());

    // The halves refuse what writeFrame refuses.
    GifWriter closed;
    MappedFrame frame;
    QVERIFY(!closed.mapFrame(frames[0].data(), width, height, 4, frame, &reason));
    QVERIFY(!reason.isEmpty());
    QVERIFY(!closed.writeMapped(frame));
    GifWriter open;
    QVERIFY(open.begin(std::make_unique<MemoryByteSink>(), width, height, 4));
    QVERIFY(!open.mapFrame(frames[0].data(), width, height - 1, 4, frame, &reason));
    QVERIFY(reason.contains(QString::number(height - 1)));
    frame.indices.assign(10, 1);
    QVERIFY(!open.writeMapped(frame));  // indices of another size
    QVERIFY(open.end());
}

QTEST_GUILESS_MAIN(TestGifEncoder)
#include "tst_gifencoder.moc"
