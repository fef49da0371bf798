// Tests of the FFmpeg frame source on clips generated at test time, one per
// codec and container, whose every frame shows its own index.

#include "FFGrabber.h"
#include "TestMedia.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <random>

namespace {

constexpr int kFrames = 90;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Collects the Qt log while alive.
class LogCapture
{
public:
    LogCapture() { previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        lines().clear();
    }
    int count(const QString &text) const { return int(lines().count(text)); }

private:
    static QStringList &lines()
    {
        static QStringList captured;
        return captured;
    }
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message) { lines().append(message); }
    QtMessageHandler previous = nullptr;
};

// The index shown by the next frame the source delivers, -1 when the image
// was left unchanged (the caller's image holds a frame that no clip has).
int readNext(FFGrabber &grabber)
{
    cv::Mat image(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    const uchar *before = image.data;
    grabber >> image;
    if (image.data == before)
        return -1;
    return testmedia::readIndex(image);
}

// Mean grey level in the middle of the block that shows bit `bit`.
double blockLevel(const cv::Mat &frame, int bit)
{
    const int bw = frame.cols / 4;
    const int bh = frame.rows / 4;
    const cv::Rect block((bit % 4) * bw, (bit / 4) * bh, bw, bh);
    const cv::Rect centre(block.x + block.width * 3 / 8, block.y + block.height * 3 / 8, block.width / 4,
                          block.height / 4);
    cv::Mat grey;
    cv::cvtColor(frame(centre), grey, cv::COLOR_BGR2GRAY);
    return cv::mean(grey)[0];
}

}  // namespace

class TestFFGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void reportsCountRateAndSize_data() { addClipRows(); }
    void reportsCountRateAndSize();
    void readsEveryFrameInOrder_data() { addClipRows(); }
    void readsEveryFrameInOrder();
    void seeksToRandomFrames_data() { addClipRows(); }
    void seeksToRandomFrames();
    void seeksToEveryFrameAroundKeyFrames_data() { addClipRows(); }
    void seeksToEveryFrameAroundKeyFrames();
    void stepsBackOneFrameAtATime_data() { addClipRows(); }
    void stepsBackOneFrameAtATime();
    void stepsForwardTenFramesAtATime_data() { addClipRows(); }
    void stepsForwardTenFramesAtATime();
    void cachedFramesEqualFreshlyDecodedOnes_data() { addClipRows(); }
    void cachedFramesEqualFreshlyDecodedOnes();

    void clampsSkipsToTheVideo_data();
    void clampsSkipsToTheVideo();
    void keepsBlackAndWhiteLevels_data();
    void keepsBlackAndWhiteLevels();
    void cacheCapacityFollowsFrameSize_data();
    void cacheCapacityFollowsFrameSize();
    void cacheStaysWithinItsBound_data();
    void cacheStaysWithinItsBound();
    void unusableFileDeliversNothing_data();
    void unusableFileDeliversNothing();
    void closeReleasesTheVideo();

private:
    void addClipRows();
    QString clipPath(const QString &name) const { return clips.value(name); }

    QTemporaryDir dir;
    QHash<QString, QString> clips;  // row name -> path
    QStringList clipOrder;
};

void TestFFGrabber::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(testmedia::haveFfmpeg(), "the ffmpeg program is needed to generate the test clips");

    const QStringList x264 = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
                              QStringLiteral("yuv420p"), QStringLiteral("-bf"), QStringLiteral("3"),
                              QStringLiteral("-g"), QStringLiteral("25")};
    const QStringList vp9 = {QStringLiteral("-c:v"), QStringLiteral("libvpx-vp9"), QStringLiteral("-deadline"),
                             QStringLiteral("realtime"), QStringLiteral("-cpu-used"), QStringLiteral("8"),
                             QStringLiteral("-g"), QStringLiteral("25"), QStringLiteral("-crf"), QStringLiteral("30"),
                             QStringLiteral("-b:v"), QStringLiteral("0")};
    struct Clip
    {
        QString row;
        testmedia::ClipSpec spec;
    };
    const auto spec = [](const char *file, const QStringList &args, bool audioFirst = false, int width = kWidth,
                         int height = kHeight, int frames = kFrames) {
        testmedia::ClipSpec s;
        s.fileName = QString::fromLatin1(file);
        s.codecArgs = args;
        s.frames = frames;
        s.width = width;
        s.height = height;
        s.fps = 30.0;
        s.audioFirst = audioFirst;
        return s;
    };
    const QList<Clip> wanted = {
        {QStringLiteral("H.264 with B-frames in MP4"), spec("h264.mp4", x264)},
        {QStringLiteral("H.265 in MP4"),
         spec("h265.mp4", {QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-x265-params"),
                           QStringLiteral("log-level=error"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                           QStringLiteral("-g"), QStringLiteral("25")})},
        {QStringLiteral("full-range MJPEG in AVI"),
         spec("mjpeg.avi", {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-pix_fmt"),
                            QStringLiteral("yuvj420p"), QStringLiteral("-q:v"), QStringLiteral("3")})},
        {QStringLiteral("MPEG-4 in AVI"),
         spec("mpeg4.avi", {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"),
                            QStringLiteral("4"), QStringLiteral("-g"), QStringLiteral("25")})},
        {QStringLiteral("VP9 in WebM"), spec("vp9.webm", vp9)},
        {QStringLiteral("VP9 in MKV"), spec("vp9.mkv", vp9)},
        {QStringLiteral("H.264 after an audio stream in MP4"), spec("audio_first.mp4", x264, true)},
        {QStringLiteral("H.264 in MPEG-TS, time stamps not starting at 0"), spec("h264.ts", x264)},
    };
    for (const Clip &clip : wanted) {
        QString error;
        const std::optional<QString> path = testmedia::writeClip(dir.path(), clip.spec, &error);
        QVERIFY2(path.has_value(), qPrintable(clip.row + QStringLiteral(": ") + error));
        clips.insert(clip.row, *path);
        clipOrder << clip.row;
    }
}

void TestFFGrabber::addClipRows()
{
    QTest::addColumn<QString>("clip");
    for (const QString &row : std::as_const(clipOrder))
        QTest::newRow(qPrintable(row)) << row;
}

void TestFFGrabber::reportsCountRateAndSize()
{
    QFETCH(QString, clip);
    FFGrabber grabber(clipPath(clip));
    QCOMPARE(grabber.getFrameCount(), kFrames);
    QCOMPARE(qRound(grabber.getFps() * 100), 3000);
    QCOMPARE(grabber.getSize().width, kWidth);
    QCOMPARE(grabber.getSize().height, kHeight);
    QCOMPARE(grabber.getPosition(), 0);
}

void TestFFGrabber::readsEveryFrameInOrder()
{
    QFETCH(QString, clip);
    FFGrabber grabber(clipPath(clip));
    for (int i = 0; i < kFrames; ++i) {
        cv::Mat image;
        grabber >> image;
        QVERIFY2(!image.empty(), qPrintable(QStringLiteral("no picture for frame %1").arg(i)));
        QCOMPARE(image.cols, kWidth);
        QCOMPARE(image.rows, kHeight);
        QCOMPARE(image.type(), CV_8UC3);
        QCOMPARE(testmedia::readIndex(image), i);
        QCOMPARE(grabber.getPosition(), i + 1);
    }

    // At the end the caller's image stays, the position stays, and the end is
    // logged once however often it is read.
    LogCapture log;
    cv::Mat last(4, 4, CV_8UC3, cv::Scalar(7, 8, 9));
    const cv::Mat kept = last;
    grabber >> last;
    grabber >> last;
    QCOMPARE(last.data, kept.data);
    QCOMPARE(last.at<cv::Vec3b>(0, 0), cv::Vec3b(7, 8, 9));
    QCOMPARE(grabber.getPosition(), kFrames);
    QCOMPARE(log.count(QStringLiteral("video ended!")), 1);
}

void TestFFGrabber::seeksToRandomFrames()
{
    QFETCH(QString, clip);
    FFGrabber grabber(clipPath(clip));
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> frame(0, kFrames - 1);
    for (int i = 0; i < 25; ++i) {
        const int target = frame(random);
        grabber.seek(target);
        QCOMPARE(grabber.getPosition(), target);
        QCOMPARE(readNext(grabber), target);
        QCOMPARE(grabber.getPosition(), target + 1);
        // The frame after a seek continues in order.
        if (target + 1 < kFrames && i % 3 == 0) {
            QCOMPARE(readNext(grabber), target + 1);
            QCOMPARE(grabber.getPosition(), target + 2);
        }
    }
    // The first and the last frame.
    grabber.seek(kFrames - 1);
    QCOMPARE(readNext(grabber), kFrames - 1);
    grabber.seek(0);
    QCOMPARE(readNext(grabber), 0);
}

// Each clip has a key frame every 25 frames; the frames just before a key
// frame are the hard ones (open GOPs, containers indexing decoding times).
// A freshly opened source per target, so that no cached frame helps.
void TestFFGrabber::seeksToEveryFrameAroundKeyFrames()
{
    QFETCH(QString, clip);
    for (int target = 15; target <= 55; ++target) {
        FFGrabber grabber(clipPath(clip));
        grabber.seek(target);
        QCOMPARE(readNext(grabber), target);
        QCOMPARE(readNext(grabber), target + 1);
    }
}

// As the window's "previous frame" step: the source stands just after the
// frame on display, so skip(-2) shows the frame before it.
void TestFFGrabber::stepsBackOneFrameAtATime()
{
    QFETCH(QString, clip);
    FFGrabber grabber(clipPath(clip));
    grabber.seek(70);
    QCOMPARE(readNext(grabber), 70);
    for (int expected = 69; expected >= 0; --expected) {
        grabber.skip(-2);
        QCOMPARE(grabber.getPosition(), expected);
        QCOMPARE(readNext(grabber), expected);
        QCOMPARE(grabber.getPosition(), expected + 1);
    }
    // Reading on after the steps continues forwards.
    QCOMPARE(readNext(grabber), 1);
    QCOMPARE(readNext(grabber), 2);
}

// As the window's "forward ten" step: skip(9) from just after the frame on
// display shows the tenth frame ahead; past the last frame nothing comes.
void TestFFGrabber::stepsForwardTenFramesAtATime()
{
    QFETCH(QString, clip);
    FFGrabber grabber(clipPath(clip));
    QCOMPARE(readNext(grabber), 0);
    int shown = 0;
    while (shown + 10 < kFrames) {
        grabber.skip(9);
        QCOMPARE(grabber.getPosition(), shown + 10);
        QCOMPARE(readNext(grabber), shown + 10);
        shown += 10;
    }
    QCOMPARE(shown, 80);
    grabber.skip(9);  // 81 + 9 = the frame count: nothing beyond the end
    QCOMPARE(grabber.getPosition(), kFrames);
    QTest::ignoreMessage(QtDebugMsg, "video ended!");
    QCOMPARE(readNext(grabber), -1);
    QCOMPARE(grabber.getPosition(), kFrames);
    grabber.skip(-11);
    QCOMPARE(readNext(grabber), 79);
}

// Frames served from the cache are the very pictures a fresh decoder gives.
void TestFFGrabber::cachedFramesEqualFreshlyDecodedOnes()
{
    QFETCH(QString, clip);
    FFGrabber stepping(clipPath(clip));
    stepping.seek(60);
    cv::Mat image;
    stepping >> image;
    for (int index = 59; index >= 45; --index) {
        stepping.skip(-2);
        stepping >> image;
        FFGrabber fresh(clipPath(clip));
        fresh.seek(index);
        cv::Mat expected;
        fresh >> expected;
        QCOMPARE(testmedia::readIndex(image), index);
        QCOMPARE(cv::norm(image, expected, cv::NORM_INF), 0.0);
    }
}

void TestFFGrabber::clampsSkipsToTheVideo_data()
{
    QTest::addColumn<int>("shown");       // frame on display before the step
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("position");    // getPosition() after the step
    QTest::addColumn<int>("delivered");   // index read next, -1 for none

    QTest::newRow("far before the start") << 30 << -1000 << 0 << 0;
    QTest::newRow("exactly to the first frame") << 30 << -31 << 0 << 0;
    QTest::newRow("one before the start") << 30 << -32 << 0 << 0;
    QTest::newRow("to the last frame") << 30 << kFrames - 32 << kFrames - 1 << kFrames - 1;
    QTest::newRow("to the frame count") << 30 << kFrames - 31 << kFrames << -1;
    QTest::newRow("far past the end") << 30 << 1000 << kFrames << -1;
    QTest::newRow("no step") << 30 << 0 << 31 << 31;
    QTest::newRow("one back from the first frame") << 0 << -2 << 0 << 0;
}

void TestFFGrabber::clampsSkipsToTheVideo()
{
    QFETCH(int, shown);
    QFETCH(int, delta);
    QFETCH(int, position);
    QFETCH(int, delivered);
    FFGrabber grabber(clipPath(QStringLiteral("H.264 with B-frames in MP4")));
    grabber.seek(shown);
    QCOMPARE(readNext(grabber), shown);
    grabber.skip(delta);
    QCOMPARE(grabber.getPosition(), position);
    if (delivered < 0)
        QTest::ignoreMessage(QtDebugMsg, "video ended!");
    QCOMPARE(readNext(grabber), delivered);
}

void TestFFGrabber::keepsBlackAndWhiteLevels_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<int>("bit");           // block of frame 15 measured (bits 0-3 white, the rest black)
    QTest::addColumn<double>("expected");   // the level drawn into the source
    QTest::addColumn<double>("misread");    // the level when the source range is taken wrongly

    // Full-range pictures read as limited range come out stretched: 16 -> 0, 240 -> 255.
    QTest::newRow("full-range MJPEG, black block") << QStringLiteral("full-range MJPEG in AVI") << 8 << 16.0 << 0.0;
    QTest::newRow("full-range MJPEG, white block") << QStringLiteral("full-range MJPEG in AVI") << 0 << 240.0 << 255.0;
    // Limited-range pictures read as full range come out washed out: 16 -> 30, 240 -> 222.
    QTest::newRow("limited-range H.264, black block") << QStringLiteral("H.264 with B-frames in MP4") << 8 << 16.0
                                                      << 30.0;
    QTest::newRow("limited-range H.264, white block") << QStringLiteral("H.264 with B-frames in MP4") << 0 << 240.0
                                                      << 222.0;
}

void TestFFGrabber::keepsBlackAndWhiteLevels()
{
    QFETCH(QString, clip);
    QFETCH(int, bit);
    QFETCH(double, expected);
    QFETCH(double, misread);
    FFGrabber grabber(clipPath(clip));
    grabber.seek(15);
    cv::Mat image;
    grabber >> image;
    QCOMPARE(testmedia::readIndex(image), 15);
    const double level = blockLevel(image, bit);
    QVERIFY2(std::abs(level - expected) <= 4.0, qPrintable(QStringLiteral("level %1").arg(level)));
    QVERIFY2(std::abs(level - expected) < std::abs(level - misread), qPrintable(QStringLiteral("level %1").arg(level)));
}

void TestFFGrabber::cacheCapacityFollowsFrameSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");

    QTest::newRow("small frames: the frame bound") << 320 << 240 << 64;
    QTest::newRow("720p: 64 frames fit in 256 MiB") << 1280 << 720 << 64;
    QTest::newRow("1080p: the memory bound") << 1920 << 1080 << 43;
    QTest::newRow("2160p: the memory bound") << 3840 << 2160 << 10;
    QTest::newRow("a frame larger than the budget") << 10000 << 10000 << 0;
    QTest::newRow("unknown size") << 0 << 0 << 0;
}

void TestFFGrabber::cacheCapacityFollowsFrameSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frames);
    const size_t capacity = FFGrabber::cacheCapacity(width, height);
    QCOMPARE(capacity, size_t(frames));
    QVERIFY(capacity <= 64);
    QVERIFY(capacity * size_t(width) * size_t(height) * 3 <= size_t(256) << 20);
}

void TestFFGrabber::cacheStaysWithinItsBound_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("capacity");

    QTest::newRow("small frames, bounded by count") << 320 << 240 << 90 << 64;
    QTest::newRow("1080p frames, bounded by memory") << 1920 << 1080 << 48 << 43;
}

void TestFFGrabber::cacheStaysWithinItsBound()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frames);
    QFETCH(int, capacity);

    testmedia::ClipSpec spec;
    spec.fileName = QStringLiteral("bound_%1x%2.mp4").arg(width).arg(height);
    spec.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                      QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
    spec.frames = frames;
    spec.width = width;
    spec.height = height;
    QString error;
    const std::optional<QString> path = testmedia::writeClip(dir.path(), spec, &error);
    QVERIFY2(path.has_value(), qPrintable(error));

    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    const size_t byteLimit = size_t(256) << 20;
    FFGrabber grabber(*path);
    QCOMPARE(FFGrabber::cacheCapacity(width, height), size_t(capacity));
    for (int i = 0; i < frames; ++i) {
        cv::Mat image;
        grabber >> image;
        QCOMPARE(testmedia::readIndex(image), i);
        QVERIFY(grabber.cachedFrames() <= size_t(capacity));
        QVERIFY(grabber.cachedBytes() <= byteLimit);
    }
    // Reading more frames than fit leaves the cache full, not over-full.
    QCOMPARE(grabber.cachedFrames(), size_t(capacity));
    QCOMPARE(grabber.cachedBytes(), size_t(capacity) * frameBytes);

    std::mt19937 random(7);
    std::uniform_int_distribution<int> frame(0, frames - 1);
    for (int i = 0; i < 10; ++i) {
        const int target = frame(random);
        grabber.seek(target);
        QCOMPARE(readNext(grabber), target);
        // Pictures passed on the way are kept unconverted, smaller than BGR.
        QVERIFY(grabber.cachedFrames() <= size_t(capacity));
        QVERIFY(grabber.cachedBytes() <= size_t(capacity) * frameBytes);
        QVERIFY(grabber.cachedBytes() <= byteLimit);
    }
    grabber.close();
    QCOMPARE(grabber.cachedFrames(), size_t(0));
    QCOMPARE(grabber.cachedBytes(), size_t(0));
}

void TestFFGrabber::unusableFileDeliversNothing_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");  // written unless null
    QTest::addColumn<bool>("audioOnly");

    QTest::newRow("missing file") << QStringLiteral("missing.mp4") << QByteArray() << false;
    QTest::newRow("empty file") << QStringLiteral("empty.mp4") << QByteArray("") << false;
    QTest::newRow("text file") << QStringLiteral("text.mp4") << QByteArray("Splits:120:300:450|\nFps:29.97\n") << false;
    QTest::newRow("audio without video") << QStringLiteral("audio.wav") << QByteArray() << true;
}

void TestFFGrabber::unusableFileDeliversNothing()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(bool, audioOnly);
    const QString path = dir.filePath(fileName);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    if (audioOnly) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                      QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("anullsrc=r=8000:cl=mono"), QStringLiteral("-t"), QStringLiteral("1"), path});
        QVERIFY(ffmpeg.waitForFinished(30000));
        QCOMPARE(ffmpeg.exitCode(), 0);
    }

    FFGrabber grabber(path);
    QCOMPARE(grabber.getFrameCount(), 0);
    QCOMPARE(grabber.getSize().width, 0);
    QCOMPARE(grabber.getSize().height, 0);
    QCOMPARE(grabber.getFps(), 0.0f);
    QCOMPARE(grabber.getPosition(), 0);

    cv::Mat image(4, 4, CV_8UC3, cv::Scalar(10, 20, 30));
    const uchar *before = image.data;
    grabber >> image;
    grabber.seek(5);
    grabber >> image;
    grabber.skip(3);
    grabber >> image;
    QCOMPARE(image.data, before);
    QCOMPARE(image.at<cv::Vec3b>(3, 3), cv::Vec3b(10, 20, 30));
    QCOMPARE(grabber.cachedFrames(), size_t(0));
}

void TestFFGrabber::closeReleasesTheVideo()
{
    FFGrabber grabber(clipPath(QStringLiteral("H.264 with B-frames in MP4")));
    QCOMPARE(readNext(grabber), 0);
    QVERIFY(grabber.cachedFrames() > 0);
    grabber.close();
    grabber.close();
    QCOMPARE(grabber.getFrameCount(), 0);
    QCOMPARE(grabber.getSize().width, 0);
    QCOMPARE(grabber.getFps(), 0.0f);
    QCOMPARE(grabber.cachedFrames(), size_t(0));
    QCOMPARE(readNext(grabber), -1);
}

QTEST_GUILESS_MAIN(TestFFGrabber)
#include "tst_ffgrabber.moc"
