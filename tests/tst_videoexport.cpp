// MP4 video export: output sizes, ranges, the export loop and its failures,
// on a generated clip whose frames show their index.

#include "FFGrabber.h"
#include "FileSizeLimit.h"
#include "FrameSources.h"
#include "Mp4Writer.h"
#include "TestMedia.h"
#include "VideoExport.h"

#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>

#include <cerrno>
#include <cstring>

using namespace videoexport;

Q_DECLARE_METATYPE(std::vector<int32_t>)
Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(QList<int>)
Q_DECLARE_METATYPE(Mp4Codec)

namespace {

constexpr int kFrames = 40;
constexpr int kWidth = 160;
constexpr int kHeight = 128;

// What a written file holds, read back through the FFmpeg source.
struct Written
{
    QList<int> indices;  // the index each frame shows (-1: none)
    cv::Size size;
    double fps = 0;
    int count = -1;      // the container's frame count
};

Written readBack(const QString &path)
{
    Written written;
    const auto source = CreateFrameSource(path, FrameSourceKind::Ffmpeg);
    if (!source->isOpen())
        return written;
    written.size = cv::Size(source->getSize().width, source->getSize().height);
    written.fps = source->getFps();
    written.count = source->getFrameCount();
    for (int i = 0; i < written.count; ++i) {
        cv::Mat frame;
        *source >> frame;
        written.indices << testmedia::readIndex(frame);
    }
    return written;
}

QList<int> span(int from, int to)  // from .. to inclusive, either way
{
    QList<int> list;
    for (int i = from;; i += from <= to ? 1 : -1) {
        list << i;
        if (i == to)
            break;
    }
    return list;
}

// The first video stream's `entries` as ffprobe reads them from the file.
QMap<QString, QString> ffprobeStream(const QString &path, const QString &entries)
{
    QMap<QString, QString> values;
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                            QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                            QStringLiteral("stream=") + entries, QStringLiteral("-of"),
                                            QStringLiteral("default=nw=1"), path});
    if (!probe.waitForFinished(30000))
        return values;
    for (const QString &line : QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1).trimmed());
    }
    return values;
}

QString ffprobeCodec(const QString &path)
{
    return ffprobeStream(path, QStringLiteral("codec_name")).value(QStringLiteral("codec_name"));
}

// Whether FFmpeg's libraries here have the libx264 encoder (the ffmpeg
// program uses the same libraries).
bool haveLibx264()
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-encoders")});
    if (!ffmpeg.waitForFinished(30000))
        return false;
    return QString::fromUtf8(ffmpeg.readAllStandardOutput()).contains(QLatin1String(" libx264 "));
}

// The system's text for "file too large", as FFmpeg's av_strerror gives it.
QString fileTooLarge()
{
    return QString::fromLocal8Bit(std::strerror(EFBIG));
}

}  // namespace

class TestVideoExport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;  // H.264 MP4, kFrames frames of kWidth x kHeight at 30 fps
    FramePipeline pipeline;  // no models loaded: entries 3 to 6 leave frames unscaled

    ExportSettings settingsFor(const QString &name) const
    {
        ExportSettings settings;
        settings.outputPath = dir.filePath(name);
        settings.range = {0, kFrames};
        return settings;
    }

private Q_SLOTS:
    void initTestCase();
    void sizes_data();
    void sizes();
    void resolutionEntriesShowWrittenSize();
    void ranges_data();
    void ranges();
    void exports_data();
    void exports();
    void codecs();
    void cancelAfterFirstFrame();
    void emptyRangeWritesFileWithoutFrames();
    void failures_data();
    void failures();
    void fullDiskIsReported();
    void writtenStreams_data();
    void writtenStreams();
    void fullDiskFailsWhileWriting();
    void writerRefuses();
    void sourceCacheDuringExport_data();
    void sourceCacheDuringExport();
};

void TestVideoExport::initTestCase()
{
    QVERIFY(dir.isValid());
    if (!testmedia::haveFfmpeg())
        QSKIP("the ffmpeg program is needed to make the test clip");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("clip.mp4");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-g"), QStringLiteral("10")};
    options.frames = kFrames;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = 30;
    QString error;
    clip = testmedia::writeClip(dir.path(), options, &error).value_or(QString());
    QVERIFY2(!clip.isEmpty(), qPrintable(error));
}

void TestVideoExport::sizes_data()
{
    QTest::addColumn<cv::Size>("source");
    QTest::addColumn<int>("upsample");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QRectF>("crop");  // empty: no crop
    QTest::addColumn<int>("resolution");
    QTest::addColumn<cv::Size>("expected");

    const cv::Size hd(1920, 1080);
    QTest::newRow("fixed width 800") << hd << 0 << 0 << QRectF() << 4 << cv::Size(800, 450);
    QTest::newRow("90 CW then half") << hd << 0 << 1 << QRectF() << 1 << cv::Size(540, 960);
    QTest::newRow("90 CCW unchanged") << hd << 0 << 2 << QRectF() << 0 << cv::Size(1080, 1920);
    QTest::newRow("180 keeps sides") << hd << 0 << 3 << QRectF() << 0 << hd;
    QTest::newRow("fixed width 1200") << hd << 0 << 0 << QRectF() << 3 << cv::Size(1200, 675);
    QTest::newRow("fixed width 480") << hd << 0 << 0 << QRectF() << 5 << cv::Size(480, 270);
    QTest::newRow("fixed height truncates") << hd << 0 << 0 << QRectF() << 6 << cv::Size(1422, 800);
    QTest::newRow("quarter truncates") << cv::Size(1001, 703) << 0 << 0 << QRectF() << 2 << cv::Size(250, 175);
    QTest::newRow("crop after rotation") << hd << 0 << 1 << QRectF(0.1, 0.2, 0.5, 0.25) << 0 << cv::Size(540, 480);
    QTest::newRow("crop truncates") << cv::Size(333, 111) << 0 << 0 << QRectF(0, 0, 0.5, 0.5) << 0 << cv::Size(166, 55);
    QTest::newRow("crop clipped to frame") << cv::Size(200, 100) << 0 << 0 << QRectF(0.75, 0, 0.5, 1) << 0
                                           << cv::Size(50, 100);
    QTest::newRow("4x bilinear") << cv::Size(160, 120) << 1 << 0 << QRectF() << 0 << cv::Size(640, 480);
    QTest::newRow("4x cubic, crop, half") << cv::Size(160, 120) << 2 << 0 << QRectF(0, 0, 0.5, 0.5) << 1
                                          << cv::Size(160, 120);
    QTest::newRow("8x model entry") << cv::Size(160, 120) << 5 << 0 << QRectF() << 0 << cv::Size(1280, 960);
    QTest::newRow("unknown source size") << cv::Size(0, 0) << 0 << 0 << QRectF() << 4 << cv::Size(0, 0);
    QTest::newRow("unknown resolution entry") << hd << 0 << 0 << QRectF() << 7 << cv::Size(0, 0);
}

void TestVideoExport::sizes()
{
    QFETCH(cv::Size, source);
    QFETCH(int, upsample);
    QFETCH(int, rotation);
    QFETCH(QRectF, crop);
    QFETCH(int, resolution);
    QFETCH(cv::Size, expected);

    PipelineSettings settings;
    settings.upsample = upsample;
    settings.rotation = rotation;
    settings.applyCrop = !crop.isEmpty();
    if (settings.applyCrop)
        settings.crop = crop;
    const cv::Size frame = pipelineFrameSize({source.width, source.height}, settings);
    QCOMPARE(resolutionSize(frame, resolution), expected);
    // The pipeline itself must agree wherever it can run without a model.
    if (!source.empty() && upsample <= 2) {
        const cv::Mat processed = pipeline.process(cv::Mat(source, CV_8UC3, cv::Scalar::all(90)), settings);
        QCOMPARE(processed.size(), frame);
    }
}

void TestVideoExport::resolutionEntriesShowWrittenSize()
{
    const QList<ResolutionEntry> entries = resolutionEntries(cv::Size(1921, 1081));
    QCOMPARE(entries.size(), kResolutionCount);
    // Odd sides are trimmed to even ones in the file, and the entries say so.
    QCOMPARE(entries[0].text, QStringLiteral("Unchanged (1920 x 1080)"));
    QCOMPARE(entries[0].size, cv::Size(1920, 1080));
    QCOMPARE(entries[1].text, QStringLiteral("Half size (960 x 540)"));
    QCOMPARE(entries[4].text, QStringLiteral("Fixed Width (800 x 450)"));
    QCOMPARE(entries[6].text, QStringLiteral("Fixed Height (1420 x 800)"));  // 1421 before trimming
}

void TestVideoExport::ranges_data()
{
    QTest::addColumn<std::vector<int32_t>>("marks");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");

    const QStringList whole{QStringLiteral("Entire Video")};
    const QStringList three = whole + QStringList{QStringLiteral("1st to last split"), QStringLiteral("Split 1"),
                                                  QStringLiteral("Split 2")};
    const std::vector<int32_t> marks{10, 25, 31};
    QTest::newRow("no marks, entire") << std::vector<int32_t>{} << 0 << whole << qint64(0) << qint64(100);
    QTest::newRow("one mark, first to last is whole")
        << std::vector<int32_t>{10} << 1 << whole << qint64(0) << qint64(100);
    QTest::newRow("entire") << marks << 0 << three << qint64(0) << qint64(100);
    QTest::newRow("first to last") << marks << 1 << three << qint64(10) << qint64(31);
    QTest::newRow("split 1") << marks << 2 << three << qint64(10) << qint64(25);
    QTest::newRow("split 2") << marks << 3 << three << qint64(25) << qint64(31);
    QTest::newRow("split past the marks is whole") << marks << 4 << three << qint64(0) << qint64(100);
    QTest::newRow("marks out of order")
        << std::vector<int32_t>{30, 20} << 2 << whole + QStringList{QStringLiteral("1st to last split"),
                                                                   QStringLiteral("Split 1")}
        << qint64(30) << qint64(20);
    QTest::newRow("equal marks")
        << std::vector<int32_t>{20, 20} << 1 << whole + QStringList{QStringLiteral("1st to last split"),
                                                                   QStringLiteral("Split 1")}
        << qint64(20) << qint64(20);
}

void TestVideoExport::ranges()
{
    QFETCH(std::vector<int32_t>, marks);
    QFETCH(int, index);
    QFETCH(QStringList, entries);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QCOMPARE(rangeEntries(marks), entries);
    const FrameRange range = exportRange(index, marks, 100);
    QCOMPARE(range.start, start);
    QCOMPARE(range.end, end);
}

void TestVideoExport::exports_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<int>("resolution");
    QTest::addColumn<int>("upsample");
    QTest::addColumn<QRectF>("crop");
    QTest::addColumn<double>("fps");
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<QList<int>>("indices");

    const cv::Size full(kWidth, kHeight);
    // Split 1 of marks {12, 20}: frames 19 down to 12, one seek each.
    QTest::newRow("split reversed") << qint64(12) << qint64(20) << true << 0 << 0 << QRectF() << 25.0 << full
                                    << span(19, 12);
    QTest::newRow("normal, half size, source rate") << qint64(5) << qint64(15) << false << 1 << 0 << QRectF() << 30.0
                                                    << cv::Size(80, 64) << span(5, 14);
    QTest::newRow("range past the end is clipped") << qint64(36) << qint64(60) << false << 0 << 0 << QRectF()
                                                   << 25.0 << full << span(36, 39);
    // No model is loaded: the frames stay 160 x 128 and must be scaled to the 640 x 512 the writer expects.
    QTest::newRow("missing model, unchanged size") << qint64(0) << qint64(3) << false << 0 << 3 << QRectF() << 25.0
                                                   << cv::Size(640, 512) << span(0, 2);
    // 160 * 0.50625 = 81 columns: the file gets 80.
    QTest::newRow("odd crop trimmed") << qint64(7) << qint64(9) << true << 0 << 0 << QRectF(0, 0, 0.50625, 1)
                                      << 25.0 << cv::Size(80, kHeight) << QList<int>{-1, -1};
}

void TestVideoExport::exports()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, reverse);
    QFETCH(int, resolution);
    QFETCH(int, upsample);
    QFETCH(QRectF, crop);
    QFETCH(double, fps);
    QFETCH(cv::Size, size);
    QFETCH(QList<int>, indices);

    ExportSettings settings = settingsFor(QStringLiteral("out.mp4"));
    settings.range = {start, end};
    settings.reverse = reverse;
    settings.resolution = resolution;
    settings.pipeline.upsample = upsample;
    settings.pipeline.applyCrop = !crop.isEmpty();
    if (settings.pipeline.applyCrop)
        settings.pipeline.crop = crop;
    settings.fps = fps;
    QList<qint64> progress;
    const ExportResult result =
        exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings, [&](int64_t done, int64_t total) {
            progress << done;
            return total == indices.size();
        });
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(!result.cancelled);
    QCOMPARE(result.framesWritten, indices.size());
    QCOMPARE(progress.size(), indices.size());
    QCOMPARE(progress.last(), indices.size());
    QCOMPARE(result.size, size);

    const Written written = readBack(settings.outputPath);
    QCOMPARE(written.count, indices.size());
    QCOMPARE(written.size, size);
    QCOMPARE(written.fps, fps);
    if (indices.first() >= 0) {
        QCOMPARE(written.indices, indices);
    } else {
        // A cropped picture shows no index grid; its frames are only counted.
        QCOMPARE(written.indices.size(), indices.size());
    }
}

void TestVideoExport::codecs()
{
    // H.264 is asked for first, and given wherever libx264 is there.
    ExportSettings settings = settingsFor(QStringLiteral("default.mp4"));
    settings.range = {0, 2};
    ExportResult result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(ffprobeCodec(settings.outputPath), mp4CodecName(result.codec));
    if (haveLibx264())
        QCOMPARE(result.codec, Mp4Codec::H264);
    else
        qWarning("FFmpeg has no libx264 here; the export fell back to MPEG-4 Visual");

    settings.outputPath = dir.filePath(QStringLiteral("mpeg4.mp4"));
    settings.codecs = {Mp4Codec::Mpeg4};
    result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.codec, Mp4Codec::Mpeg4);
    QCOMPARE(ffprobeCodec(settings.outputPath), QStringLiteral("mpeg4"));
    QCOMPARE(readBack(settings.outputPath).indices, span(0, 1));
}

void TestVideoExport::cancelAfterFirstFrame()
{
    ExportSettings settings = settingsFor(QStringLiteral("cancelled.mp4"));
    settings.reverse = true;
    const ExportResult result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings,
                                                [](int64_t, int64_t) { return false; });
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.cancelled);
    QCOMPARE(result.framesWritten, 1);
    QCOMPARE(result.framesAsked, kFrames);
    QCOMPARE(readBack(settings.outputPath).indices, QList<int>{kFrames - 1});
}

void TestVideoExport::emptyRangeWritesFileWithoutFrames()
{
    ExportSettings settings = settingsFor(QStringLiteral("empty.mp4"));
    settings.range = {20, 10};  // marks out of order
    int calls = 0;
    const ExportResult result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings,
                                                [&](int64_t, int64_t) { return ++calls > 0; });
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.framesWritten, 0);
    QCOMPARE(result.framesAsked, 0);
    QCOMPARE(calls, 0);
    QVERIFY(QFileInfo(settings.outputPath).size() > 0);
}

void TestVideoExport::failures_data()
{
    QTest::addColumn<QString>("output");  // relative to the test directory
    QTest::addColumn<int>("resolution");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing directory") << QStringLiteral("no/such/dir/out.mp4") << 0 << QStringLiteral("cannot create");
    QTest::newRow("a directory") << QString() << 0 << QStringLiteral("cannot create");
    QTest::newRow("over the source") << QStringLiteral("clip.mp4") << 0 << QStringLiteral("is the video being exported");
    QTest::newRow("unknown resolution") << QStringLiteral("x.mp4") << 9 << QStringLiteral("no resolution entry 9");
}

void TestVideoExport::failures()
{
    QFETCH(QString, output);
    QFETCH(int, resolution);
    QFETCH(QString, reason);
    ExportSettings settings = settingsFor(output);
    settings.resolution = resolution;
    const qint64 sourceBytes = QFileInfo(clip).size();
    const ExportResult result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(reason), qPrintable(result.error));
    QCOMPARE(QFileInfo(clip).size(), sourceBytes);
}

void TestVideoExport::fullDiskIsReported()
{
    ExportSettings settings = settingsFor(QStringLiteral("full.mp4"));
    settings.resolution = 0;
    settings.pipeline.upsample = 1;  // 640 x 512 frames: far more than the limit below
    ExportResult result;
    {
        testmedia::FileSizeLimit limit(16 * 1024);
        if (!limit.active())
            QSKIP("cannot limit the file size");
        result = exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings);
    }
    QVERIFY(!result.ok);
    // The reason is the system's, for the file being written.
    QVERIFY2(result.error.contains(settings.outputPath), qPrintable(result.error));
    QVERIFY2(result.error.contains(fileTooLarge()), qPrintable(result.error));
    QVERIFY(!QFileInfo::exists(settings.outputPath));
}

void TestVideoExport::writtenStreams_data()
{
    QTest::addColumn<Mp4Codec>("codec");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("rate");  // as ffprobe gives the average frame rate

    QTest::newRow("h264 25") << Mp4Codec::H264 << 25.0 << QStringLiteral("h264") << QStringLiteral("avc1")
                             << QStringLiteral("25/1");
    QTest::newRow("h264 NTSC") << Mp4Codec::H264 << 30000.0 / 1001.0 << QStringLiteral("h264")
                               << QStringLiteral("avc1") << QStringLiteral("30000/1001");
    QTest::newRow("h264 12.5") << Mp4Codec::H264 << 12.5 << QStringLiteral("h264") << QStringLiteral("avc1")
                               << QStringLiteral("25/2");
    QTest::newRow("mpeg4 30") << Mp4Codec::Mpeg4 << 30.0 << QStringLiteral("mpeg4") << QStringLiteral("mp4v")
                              << QStringLiteral("30/1");
    QTest::newRow("mpeg4 NTSC 60") << Mp4Codec::Mpeg4 << 60000.0 / 1001.0 << QStringLiteral("mpeg4")
                                   << QStringLiteral("mp4v") << QStringLiteral("60000/1001");
}

void TestVideoExport::writtenStreams()
{
    QFETCH(Mp4Codec, codec);
    QFETCH(double, fps);
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QFETCH(QString, rate);
    if (codec == Mp4Codec::H264 && !haveLibx264())
        QSKIP("FFmpeg has no libx264 here");

    const QString path = dir.filePath(QStringLiteral("stream.mp4"));
    constexpr int frames = 6;
    Mp4Writer writer;
    QVERIFY2(writer.open(path, cv::Size(kWidth, kHeight), fps, {codec}), qPrintable(writer.errorString()));
    QCOMPARE(writer.codec(), codec);
    for (int i = 0; i < frames; ++i)
        QVERIFY2(writer.write(testmedia::indexFrame(i, kWidth, kHeight)), qPrintable(writer.errorString()));
    QVERIFY2(writer.finish(), qPrintable(writer.errorString()));
    QCOMPARE(writer.framesWritten(), frames);

    const QMap<QString, QString> stream =
        ffprobeStream(path, QStringLiteral("codec_name,codec_tag_string,pix_fmt,avg_frame_rate,nb_frames"));
    QCOMPARE(stream.value(QStringLiteral("codec_name")), name);
    QCOMPARE(stream.value(QStringLiteral("codec_tag_string")), tag);
    QCOMPARE(stream.value(QStringLiteral("pix_fmt")), QStringLiteral("yuv420p"));
    QCOMPARE(stream.value(QStringLiteral("avg_frame_rate")), rate);
    QCOMPARE(stream.value(QStringLiteral("nb_frames")), QString::number(frames));
    // Frames in order, pictures intact through the colour conversions.
    QCOMPARE(readBack(path).indices, span(0, frames - 1));
}

void TestVideoExport::fullDiskFailsWhileWriting()
{
    // Noise hardly compresses: every frame adds tens of kilobytes, far past
    // the limit long before the last frame. The write that meets the full
    // disk fails, not only the end of the file.
    constexpr int frames = 120;
    const cv::Size size(320, 240);
    const QString path = dir.filePath(QStringLiteral("noise.mp4"));
    cv::Mat noise(size, CV_8UC3);
    cv::RNG rng(7);
    Mp4Writer writer;
    int failedAt = -1;
    {
        testmedia::FileSizeLimit limit(64 * 1024);
        if (!limit.active())
            QSKIP("cannot limit the file size");
        QVERIFY2(writer.open(path, size, 25.0), qPrintable(writer.errorString()));
        for (int i = 0; i < frames && failedAt < 0; ++i) {
            rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
            if (!writer.write(noise))
                failedAt = i;
        }
        QVERIFY2(failedAt > 0, "every frame was taken although the disk was full");
        QCOMPARE(writer.framesWritten(), failedAt);
        const QString reason = writer.errorString();
        QVERIFY2(reason.contains(path) && reason.contains(fileTooLarge()), qPrintable(reason));
        // Once failed, the writer stays failed, with the first reason.
        QVERIFY(!writer.write(noise));
        QVERIFY(!writer.finish());
        QCOMPARE(writer.errorString(), reason);
        QCOMPARE(writer.framesWritten(), failedAt);
    }
    QVERIFY(!writer.isOpen());
}

void TestVideoExport::writerRefuses()
{
    const QString path = dir.filePath(QStringLiteral("refused.mp4"));
    Mp4Writer writer;
    QVERIFY(!writer.write(testmedia::indexFrame(0, kWidth, kHeight)));
    QVERIFY(!writer.open(path, cv::Size(kWidth + 1, kHeight), 25.0));
    QVERIFY(!writer.open(path, cv::Size(kWidth, kHeight), 0.0));
    QVERIFY(!writer.open(path, cv::Size(kWidth, kHeight), 25.0, {}));
    QVERIFY2(writer.errorString().contains(QLatin1String("no codec")), qPrintable(writer.errorString()));
    QVERIFY(!QFileInfo::exists(path));

    QVERIFY2(writer.open(path, cv::Size(kWidth, kHeight), 25.0), qPrintable(writer.errorString()));
    // Frames of another size or type are refused, and do not break the file.
    QVERIFY(!writer.write(testmedia::indexFrame(0, kWidth / 2, kHeight)));
    cv::Mat grey(kHeight, kWidth, CV_8UC1, cv::Scalar(0));
    QVERIFY(!writer.write(grey));
    QVERIFY2(writer.write(testmedia::indexFrame(3, kWidth, kHeight)), qPrintable(writer.errorString()));
    QVERIFY2(writer.finish(), qPrintable(writer.errorString()));
    QCOMPARE(writer.framesWritten(), 1);
    QVERIFY(!writer.write(testmedia::indexFrame(4, kWidth, kHeight)));
    QCOMPARE(readBack(path).indices, QList<int>{3});
}

void TestVideoExport::sourceCacheDuringExport_data()
{
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<bool>("cached");  // whether the source caches frames meanwhile
    QTest::newRow("forward reads each frame once: no cache") << false << false;
    QTest::newRow("reversed seeks to each frame: cached") << true << true;
}

void TestVideoExport::sourceCacheDuringExport()
{
    QFETCH(bool, reverse);
    QFETCH(bool, cached);
    FFGrabber source(clip);
    QVERIFY(source.isOpen());
    ExportSettings settings = settingsFor(QStringLiteral("cache.mp4"));
    settings.range = {10, 30};
    settings.reverse = reverse;
    size_t most = 0;
    const ExportResult result = exportVideo(source, pipeline, settings, [&](int64_t, int64_t) {
        most = std::max(most, source.cachedFrames());
        return true;
    });
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(most > 0, cached);
    // The source's own bound is back.
    QCOMPARE(source.setCacheLimit(0), FFGrabber::cacheCapacity(kWidth, kHeight));
}

QTEST_GUILESS_MAIN(TestVideoExport)
#include "tst_videoexport.moc"
