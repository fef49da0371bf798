// The animated GIF export, called directly and through framewright-cli gif,
// on generated clips whose frames show their own index.

#include "FrameSources.h"
#include "GifDecode.h"
#include "GifExport.h"
#include "TestMedia.h"
#include "media/CliRun.h"
#include "media/FileSizeLimit.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Result = testmedia::CliResult;
using testmedia::runCli;

// The indices the frames of the GIF at `path` show; empty if it cannot be decoded.
QList<int> gifIndices(const QString &path, QSize *size = nullptr)
{
    const auto frames = testmedia::decodeGif(path);
    QList<int> indices;
    if (!frames)
        return indices;
    for (const cv::Mat &rgb : *frames) {
        if (size)
            *size = QSize(rgb.cols, rgb.rows);
        indices << testmedia::readIndex(rgb);  // grey blocks read the same in RGB and BGR
    }
    return indices;
}

bool hasLoopingExtension(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("NETSCAPE2.0");
}

}  // namespace

class TestGifExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void height_data();
    void height();
    void extension_data();
    void extension();
    void exportFrames_data();
    void exportFrames();
    void cancel_leavesValidShorterFile();
    void failures_reportReason();
    void cli_data();
    void cli();
    void cliUsage_data();
    void cliUsage();

private:
    QTemporaryDir dir;
    QString clip;  // 40 frames, 160 x 120
};

void TestGifExport::initTestCase()
{
    QVERIFY(dir.isValid());
    if (!testmedia::haveFfmpeg())
        QSKIP("the ffmpeg program is needed to make test clips");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("clip.avi");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3")};
    options.frames = 40;
    options.width = 160;
    options.height = 120;
    QString error;
    const auto path = testmedia::writeClip(dir.path(), options, &error);
    QVERIFY2(path, qPrintable(error));
    clip = *path;
}

void TestGifExport::height_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("frameHeight");
    QTest::addColumn<int>("height");
    QTest::newRow("1920 x 1080 at 200: 112.5 truncated") << 200 << 1920 << 1080 << 112;
    QTest::newRow("portrait 1080 x 1920 at 2000") << 2000 << 1080 << 1920 << 3555;
    QTest::newRow("same width") << 160 << 160 << 120 << 120;
    QTest::newRow("a very flat frame has no rows") << 50 << 2000 << 10 << 0;
    QTest::newRow("no frame") << 200 << 0 << 0 << 0;
}

void TestGifExport::height()
{
    QFETCH(int, width);
    QFETCH(int, frameWidth);
    QFETCH(int, frameHeight);
    QFETCH(int, height);
    QCOMPARE(GifHeightFor(width, frameWidth, frameHeight), height);
}

void TestGifExport::extension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/v/solve.mp4-export" << "/v/solve.mp4-export.gif";
    QTest::newRow("already .gif") << "/v/solve.mp4-export.gif" << "/v/solve.mp4-export.gif";
    QTest::newRow("upper-case GIF is not .gif") << "/v/a.GIF" << "/v/a.GIF.gif";
}

void TestGifExport::extension()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(WithGifExtension(path), expected);
}

void TestGifExport::exportFrames_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QSize>("size");
    QTest::newRow("one frame") << 7 << 1 << 160 << 0 << QList<int>{7} << QSize(160, 120);
    QTest::newRow("past the last frame it goes on from the first")
        << 37 << 6 << 160 << 0 << QList<int>{37, 38, 39, 0, 1, 2} << QSize(160, 120);
    QTest::newRow("scaled to half") << 10 << 3 << 80 << 0 << QList<int>{10, 11, 12} << QSize(80, 60);
    QTest::newRow("the height follows the processed frame (90 degrees)")
        << 0 << 2 << 120 << 1 << QList<int>{} << QSize(120, 160);
}

void TestGifExport::exportFrames()
{
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(int, width);
    QFETCH(int, rotation);
    QFETCH(QList<int>, indices);
    QFETCH(QSize, size);
    const auto source = CreateFrameSource(clip, FrameSourceKind::Ffmpeg);
    QVERIFY(source->isOpen());
    FramePipeline pipeline;
    PipelineSettings processing;
    processing.rotation = rotation;
    GifExportSettings settings;
    settings.width = width;
    settings.frameCount = count;
    const QString path = dir.filePath(QStringLiteral("export.gif"));
    QList<int> progress;
    const GifExportResult result = ExportAnimatedGif(*source, start, pipeline, processing, path, settings,
                                                     [&](int done, int total) {
                                                         progress << done;
                                                         return total == count;
                                                     });
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.framesWritten, count);
    QVERIFY(!result.cancelled);
    QCOMPARE(QSize(result.width, result.height), size);
    QCOMPARE(progress.size(), count);
    QCOMPARE(progress.last(), count);
    QSize decodedSize;
    const QList<int> decoded = gifIndices(path, &decodedSize);
    QCOMPARE(decoded.size(), count);
    QCOMPARE(decodedSize, size);
    if (!indices.isEmpty())
        QCOMPARE(decoded, indices);
    QVERIFY(hasLoopingExtension(path));
}

void TestGifExport::cancel_leavesValidShorterFile()
{
    const auto source = CreateFrameSource(clip, FrameSourceKind::Ffmpeg);
    FramePipeline pipeline;
    GifExportSettings settings;
    settings.width = 160;
    settings.frameCount = 10;
    const QString path = dir.filePath(QStringLiteral("cancelled.gif"));
    const GifExportResult result = ExportAnimatedGif(*source, 4, pipeline, PipelineSettings(), path, settings,
                                                     [](int done, int) { return done < 2; });
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY(result.cancelled);
    QCOMPARE(result.framesWritten, 2);
    QCOMPARE(gifIndices(path), (QList<int>{4, 5}));
}

void TestGifExport::failures_reportReason()
{
    const auto source = CreateFrameSource(clip, FrameSourceKind::Ffmpeg);
    FramePipeline pipeline;
    GifExportSettings settings;
    settings.width = 160;
    settings.frameCount = 20;

    const QString unwritable = dir.filePath(QStringLiteral("no/such/dir/x.gif"));
    GifExportResult result = ExportAnimatedGif(*source, 0, pipeline, PipelineSettings(), unwritable, settings);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(QStringLiteral("x.gif")), qPrintable(result.error));
    QCOMPARE(result.framesWritten, 0);

    const QString full = dir.filePath(QStringLiteral("full.gif"));
    {
        testmedia::FileSizeLimit limit(20000);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        result = ExportAnimatedGif(*source, 0, pipeline, PipelineSettings(), full, settings);
    }
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(QStringLiteral("full.gif")), qPrintable(result.error));
    QVERIFY(result.framesWritten < 20);
}

void TestGifExport::cli_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("stdoutLine");
    QTest::addColumn<QList<int>>("indices");
    QTest::newRow("defaults: 10 frames from 0 at width 200")
        << QStringList{} << "frames=10 width=200 height=150" << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("start, count, width, delay")
        << QStringList{QStringLiteral("--start"), QStringLiteral("30"), QStringLiteral("--count"), QStringLiteral("3"),
                       QStringLiteral("--width"), QStringLiteral("160"), QStringLiteral("--delay"), QStringLiteral("7")}
        << "frames=3 width=160 height=120" << QList<int>{30, 31, 32};
    QTest::newRow("pipeline options: a quarter turn")
        << QStringList{QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--width"), QStringLiteral("120"),
                       QStringLiteral("--rotate"), QStringLiteral("2")}
        << "frames=2 width=120 height=160" << QList<int>{};
}

void TestGifExport::cli()
{
    QFETCH(QStringList, options);
    QFETCH(QString, stdoutLine);
    QFETCH(QList<int>, indices);
    const QString out = dir.filePath(QStringLiteral("cli.gif"));
    QFile::remove(out);
    const Result result = runCli(QStringList{QStringLiteral("gif"), clip, QStringLiteral("-o"), out} + options);
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(result.out.trimmed(), stdoutLine);
    QVERIFY2(!result.err.contains(QStringLiteral("\r")), "progress lines only go to a terminal");
    const QList<int> decoded = gifIndices(out);
    if (!indices.isEmpty())
        QCOMPARE(decoded, indices);
    else
        QVERIFY(!decoded.isEmpty());
}

void TestGifExport::cliUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    const QString out = QStringLiteral("/tmp/framewright-never-written.gif");
    QTest::newRow("no output") << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP")} << 2 << "-o";
    QTest::newRow("width 0") << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP"), QStringLiteral("-o"), out,
                                            QStringLiteral("--width"), QStringLiteral("0")}
                             << 2 << "--width";
    QTest::newRow("delay not a number")
        << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP"), QStringLiteral("-o"), out,
                       QStringLiteral("--delay"), QStringLiteral("x")}
        << 2 << "--delay";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP"), QStringLiteral("-o"),
                                                   out, QStringLiteral("--fast")}
                                    << 2 << "--fast";
    QTest::newRow("missing file") << QStringList{QStringLiteral("gif"), QStringLiteral("/no/such/clip.avi"),
                                                 QStringLiteral("-o"), out}
                                  << 1 << "clip.avi";
    QTest::newRow("start past the end") << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP"),
                                                       QStringLiteral("-o"), out, QStringLiteral("--start"),
                                                       QStringLiteral("40")}
                                        << 1 << "no frame 40";
    QTest::newRow("output cannot be created")
        << QStringList{QStringLiteral("gif"), QStringLiteral("CLIP"), QStringLiteral("-o"),
                       QStringLiteral("/no/such/dir/out.gif")}
        << 1 << "out.gif";
}

void TestGifExport::cliUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    args.replaceInStrings(QStringLiteral("CLIP"), clip);
    const Result result = runCli(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(reason), qPrintable(result.err));
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/framewright-never-written.gif")));
}

QTEST_GUILESS_MAIN(TestGifExport)
#include "tst_gifexport.moc"
