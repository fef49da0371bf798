// Tests of the capture frame source on clips generated at test time, one per
// codec and container, whose every frame shows its own index: counts, reading
// in order, exact seeks and steps, the loop at the end, and the frame count
// read from an AVI file's main header.

#include "AviGrabber.h"
#include "TestMedia.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <random>

namespace {

constexpr int kFrames = 120;
constexpr int kFps = 25;
constexpr int kWidth = 160;
constexpr int kHeight = 128;

QStringList args(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *arg : list)
        result << QString::fromLatin1(arg);
    return result;
}

struct ClipFormat
{
    const char *row;
    const char *file;
    QStringList codecArgs;
    bool audioFirst = false;
    // How far the count may be off: containers without a stored count give
    // one estimated from their duration.
    int countSlack = 0;
};

std::vector<ClipFormat> clipFormats()
{
    const QStringList h264 = args({"-c:v", "libx264", "-preset", "veryfast", "-bf", "3", "-g", "24", "-pix_fmt",
                                   "yuv420p"});
    const QStringList vp9 = args({"-c:v", "libvpx-vp9", "-speed", "8", "-b:v", "300k", "-g", "24", "-auto-alt-ref",
                                  "1", "-lag-in-frames", "16"});
    return {
        {"H.264 with B-frames in MP4", "h264.mp4", h264},
        {"H.265 in MP4", "h265.mp4",
         args({"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error:bframes=3", "-g", "24",
               "-pix_fmt", "yuv420p"})},
        {"MJPEG, full range, in AVI", "mjpeg.avi", args({"-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-q:v", "3"})},
        {"MPEG-4 with B-frames in AVI", "mpeg4.avi", args({"-c:v", "mpeg4", "-q:v", "3", "-g", "24", "-bf", "2"})},
        {"VP9 with hidden frames in WebM", "vp9.webm", vp9},
        {"VP9 in MKV", "vp9.mkv", vp9},
        {"audio stream first, H.264 in MP4", "audio-first.mp4", h264, true},
        // In these the capture's own seeks near the start land on a later
        // key frame.
        {"H.264 in MPEG-TS", "h264.ts",
         args({"-c:v", "libx264", "-preset", "veryfast", "-bf", "3", "-g", "48", "-pix_fmt", "yuv420p"})},
        {"MPEG-2 in MPEG-PS", "mpeg2.mpg", args({"-c:v", "mpeg2video", "-bf", "2", "-g", "24", "-q:v", "3"}), false,
         1},
        // Written as a live stream: no duration, no index, no count.
        {"live-written MKV without duration", "live.mkv", h264 + args({"-live", "1"})},
    };
}

// The index shown by the next delivered frame; -2 when the caller's image was
// left untouched, -1 when it was emptied or shows no index.
int readNext(AviGrabber &grabber)
{
    cv::Mat image(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    const uchar *before = image.data;
    grabber >> image;
    if (!image.empty() && image.data == before)
        return -2;
    return testmedia::readIndex(image);
}

QByteArray littleEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

// The start of an AVI file: RIFF header, "LIST" "hdrl" and a main header
// whose dwTotalFrames is `totalFrames`, followed by no stream at all.
QByteArray fakeAvi(quint32 totalFrames, const char *riff = "RIFF", const char *form = "AVI ",
                   const char *mainChunk = "avih")
{
    QByteArray bytes;
    bytes += riff;
    bytes += littleEndian(1000);
    bytes += form;
    bytes += "LIST";
    bytes += littleEndian(68);
    bytes += "hdrl";
    bytes += mainChunk;
    bytes += littleEndian(56);
    bytes += littleEndian(40000); // dwMicroSecPerFrame, at 32
    bytes += littleEndian(0);     // dwMaxBytesPerSec
    bytes += littleEndian(0);     // dwPaddingGranularity
    bytes += littleEndian(0x10);  // dwFlags
    bytes += littleEndian(totalFrames); // dwTotalFrames, at 48
    bytes += QByteArray(36, '\0');
    return bytes;
}

// Redirects the standard output into a file while alive.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString &path)
        : path(path)
    {
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (saved >= 0 && fd >= 0)
            ::dup2(fd, STDOUT_FILENO);
        if (fd >= 0)
            ::close(fd);
    }
    ~StdoutCapture() { finish(); }
    QByteArray finish()
    {
        if (saved >= 0) {
            std::fflush(stdout);
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
            saved = -1;
        }
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString path;
    int saved = -1;
};

} // namespace

class TestAviGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void reportsCountRateAndSize_data() { addClipRows(); }
    void reportsCountRateAndSize();
    void readsEveryFrameInOrder_data() { addClipRows(); }
    void readsEveryFrameInOrder();
    void loopsAtTheEnd_data() { addClipRows(); }
    void loopsAtTheEnd();
    void seeksToRandomFrames_data() { addClipRows(); }
    void seeksToRandomFrames();
    void seeksBackwardsThroughTheStart_data() { addClipRows(); }
    void seeksBackwardsThroughTheStart();
    void stepsLikeTheWindow_data() { addClipRows(); }
    void stepsLikeTheWindow();
    void skipsAtTheEdges_data();
    void skipsAtTheEdges();
    void overstatedCountEndsAtTheLastFrame_data();
    void overstatedCountEndsAtTheLastFrame();

    void countFromAviHeader_data();
    void countFromAviHeader();
    void emptyPathGivesEmptySource();
    void closedSourceDeliversNothing();

private:
    void addClipRows();
    QString clip(const char *file);

    QTemporaryDir dir;
    QHash<QString, QString> clips;  // file name -> path
    QHash<QString, QString> errors; // file name -> why it could not be made
};

void TestAviGrabber::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(testmedia::haveFfmpeg(), "the ffmpeg program is needed to generate the test clips");

    std::vector<ClipFormat> formats = clipFormats();
    formats.push_back({"", "audio-first.mkv", args({"-c:v", "libx264", "-preset", "veryfast", "-bf", "3", "-g",
                                                     "24", "-pix_fmt", "yuv420p"}),
                       true});
    for (const ClipFormat &format : formats) {
        testmedia::ClipSpec spec;
        spec.fileName = QString::fromLatin1(format.file);
        spec.codecArgs = format.codecArgs;
        spec.frames = kFrames;
        spec.width = kWidth;
        spec.height = kHeight;
        spec.fps = kFps;
        spec.audioFirst = format.audioFirst;
        QString error;
        if (const std::optional<QString> path = testmedia::writeClip(dir.path(), spec, &error))
            clips.insert(spec.fileName, *path);
        else
            errors.insert(spec.fileName, error);
    }
}

void TestAviGrabber::addClipRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("countSlack");
    for (const ClipFormat &format : clipFormats())
        QTest::newRow(format.row) << QString::fromLatin1(format.file) << format.countSlack;
}

QString TestAviGrabber::clip(const char *file)
{
    const QString name = QString::fromLatin1(file);
    if (!clips.contains(name))
        qWarning("%s could not be generated: %s", file, qPrintable(errors.value(name)));
    return clips.value(name);
}

void TestAviGrabber::reportsCountRateAndSize()
{
    QFETCH(QString, file);
    QFETCH(int, countSlack);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    QVERIFY2(std::abs(grabber.getFrameCount() - kFrames) <= countSlack,
             qPrintable(QStringLiteral("%1 frames").arg(grabber.getFrameCount())));
    QCOMPARE(grabber.getFps(), float(kFps));
    QCOMPARE(grabber.getSize().width, kWidth);
    QCOMPARE(grabber.getSize().height, kHeight);
    QCOMPARE(grabber.getPosition(), 0);
}

void TestAviGrabber::readsEveryFrameInOrder()
{
    QFETCH(QString, file);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int count = grabber.getFrameCount();
    for (int i = 0; i < count; ++i) {
        QCOMPARE(readNext(grabber), i);
        QCOMPARE(grabber.getPosition(), i + 1);
    }
}

void TestAviGrabber::loopsAtTheEnd()
{
    QFETCH(QString, file);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int count = grabber.getFrameCount();
    grabber.seek(count - 1);
    QCOMPARE(readNext(grabber), count - 1);
    QCOMPARE(grabber.getPosition(), count);
    QCOMPARE(readNext(grabber), 0);
    QCOMPARE(grabber.getPosition(), 1);
    QCOMPARE(readNext(grabber), 1);

    // A seek past the end stops at the frame count, where reading loops too.
    grabber.seek(count + 50);
    QCOMPARE(grabber.getPosition(), count);
    QCOMPARE(readNext(grabber), 0);
    QCOMPARE(grabber.getPosition(), 1);
}

void TestAviGrabber::seeksToRandomFrames()
{
    QFETCH(QString, file);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int count = grabber.getFrameCount();
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> target(0, count - 1);
    for (int i = 0; i < 30; ++i) {
        const int index = target(random);
        grabber.seek(index);
        QCOMPARE(grabber.getPosition(), index);
        QCOMPARE(readNext(grabber), index);
        QCOMPARE(grabber.getPosition(), index + 1);
        // Reading on continues from there.
        QCOMPARE(readNext(grabber), index + 1 < count ? index + 1 : 0);
    }
}

// Every frame of the first two key-frame intervals, each reached by a seek
// backwards: where a container cannot seek into its first interval the
// capture lands on the next key frame.
void TestAviGrabber::seeksBackwardsThroughTheStart()
{
    QFETCH(QString, file);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    for (int index = 60; index >= 0; --index) {
        grabber.seek(index);
        QCOMPARE(readNext(grabber), index);
        QCOMPARE(grabber.getPosition(), index + 1);
    }
}

void TestAviGrabber::stepsLikeTheWindow()
{
    QFETCH(QString, file);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int count = grabber.getFrameCount();
    // The window stands just after the frame on display: one frame back is
    // skip(-2), ten back skip(-11), ten forward skip(9); each is followed by
    // a read. The forward steps run into the end and stop at the last frame.
    const int steps[] = {-2, -2, -2, 9, 9, -11, -2, 9, -11, -11, -11, -11, -11, -11, -2, 9, 9, 9, 9, 9, 9,
                         9,  9,  9,  9, 9, 9,   9,  9, 9,   -2,  -2,  9,   -11, -2};
    grabber.seek(60);
    QCOMPARE(readNext(grabber), 60);
    for (const int step : steps) {
        const int expected = std::clamp(grabber.getPosition() + step, 0, count - 1);
        grabber.skip(step);
        QCOMPARE(grabber.getPosition(), expected);
        QCOMPARE(readNext(grabber), expected);
        QCOMPARE(grabber.getPosition(), expected + 1);
    }
}

void TestAviGrabber::skipsAtTheEdges_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("readFrame");         // frame read first; negative: counted from the end
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("expectedPosition");  // after the skip; negative: counted from the end
    QTest::addColumn<int>("expectedFrame");     // read next; negative: counted from the end

    for (const ClipFormat &format : clipFormats()) {
        const QString file = QString::fromLatin1(format.file);
        const auto row = [&format](const char *what) -> QTestData & {
            return QTest::addRow("%s: %s", format.row, what);
        };
        row("skip(-1) after frame 10 reads it again") << file << 10 << -1 << 10 << 10;
        row("skip(+1) at position 11 drops frame 11") << file << 10 << 1 << 12 << 12;
        row("skip(0) changes nothing") << file << 40 << 0 << 41 << 41;
        row("skip(+100) near the end stops at the last frame") << file << -6 << 100 << -1 << -1;
        row("skip(-100) near the start stops at frame 0") << file << 5 << -100 << 0 << 0;
        row("skip(-11) from the last frame") << file << -1 << -11 << -11 << -11;
    }
}

void TestAviGrabber::skipsAtTheEdges()
{
    QFETCH(QString, file);
    QFETCH(int, readFrame);
    QFETCH(int, delta);
    QFETCH(int, expectedPosition);
    QFETCH(int, expectedFrame);
    const QString path = clip(qPrintable(file));
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int count = grabber.getFrameCount();
    const auto fromEnd = [count](int index) { return index < 0 ? count + index : index; };
    grabber.seek(fromEnd(readFrame));
    QCOMPARE(readNext(grabber), fromEnd(readFrame));
    grabber.skip(delta);
    QCOMPARE(grabber.getPosition(), fromEnd(expectedPosition));
    QCOMPARE(readNext(grabber), fromEnd(expectedFrame));
    QCOMPARE(grabber.getPosition(), fromEnd(expectedFrame) + 1);
}

void TestAviGrabber::overstatedCountEndsAtTheLastFrame_data()
{
    QTest::addColumn<int>("seekTo"); // -1: read from the start

    QTest::newRow("reading on from the last real frame") << -1;
    QTest::newRow("seeking to the last real frame") << kFrames - 1;
    QTest::newRow("seeking into the overstated tail") << kFrames + 2;
}

// With an audio stream that outlasts the video, a Matroska file's duration
// promises a few frames more than there are.
void TestAviGrabber::overstatedCountEndsAtTheLastFrame()
{
    QFETCH(int, seekTo);
    const QString path = clip("audio-first.mkv");
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    const int reported = grabber.getFrameCount();
    QVERIFY2(reported > kFrames, qPrintable(QStringLiteral("the container now tells %1 frames").arg(reported)));

    if (seekTo < 0) {
        for (int i = 0; i < kFrames; ++i)
            QCOMPARE(readNext(grabber), i);
    } else if (seekTo < kFrames) {
        grabber.seek(seekTo);
        QCOMPARE(readNext(grabber), seekTo);
    } else {
        grabber.seek(seekTo);
    }
    // No empty frame at the end: the true end is found and reading loops.
    QCOMPARE(readNext(grabber), 0);
    QCOMPARE(grabber.getPosition(), 1);
    QCOMPARE(grabber.getFrameCount(), kFrames);
    grabber.skip(1000);
    QCOMPARE(grabber.getPosition(), kFrames - 1);
    QCOMPARE(readNext(grabber), kFrames - 1);
}

void TestAviGrabber::countFromAviHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("expectedCount");

    QByteArray notRiff = fakeAvi(1234);
    notRiff.replace(0, 4, "JUNK");
    QTest::newRow("AVI main header telling 1234 frames") << fakeAvi(1234) << true << 1234;
    QTest::newRow("same bytes without RIFF") << notRiff << true << 0;
    QTest::newRow("RIFF WAVE file") << fakeAvi(1234, "RIFF", "WAVE") << true << 0;
    QTest::newRow("RIFF AVI whose first chunk is not avih") << fakeAvi(1234, "RIFF", "AVI ", "strh") << true << 0;
    QTest::newRow("AVI header telling 0 frames") << fakeAvi(0) << true << 0;
    QTest::newRow("count beyond the signed range") << fakeAvi(0xffffffffu) << true << 2147483647;
    QTest::newRow("file shorter than the header") << fakeAvi(1234).left(50) << true << 0;
    QTest::newRow("empty file") << QByteArray() << true << 0;
    QTest::newRow("missing file") << QByteArray() << false << 0;
}

void TestAviGrabber::countFromAviHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exists);
    QFETCH(int, expectedCount);

    const QString path = dir.filePath(QStringLiteral("fake ä.avi"));
    QFile::remove(path);
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }
    const std::string name = QFile::encodeName(path).toStdString();

    StdoutCapture capture(dir.filePath(QStringLiteral("stdout.txt")));
    AviGrabber grabber(name);
    const QByteArray printed = capture.finish();

    QCOMPARE(grabber.getFrameCount(), expectedCount);
    const QByteArray message = exists ? QByteArray() : QByteArray("cannot open input file ") + name.c_str() + '\n';
    QCOMPARE(printed, message);
    // The capture cannot open such a file: the size falls back, reads empty
    // the caller's image and still advance.
    QCOMPARE(grabber.getSize().width, 800);
    QCOMPARE(grabber.getSize().height, 448);
    QCOMPARE(readNext(grabber), -1);
    QCOMPARE(grabber.getPosition(), 1);
}

void TestAviGrabber::emptyPathGivesEmptySource()
{
    AviGrabber grabber(std::string{});
    QCOMPARE(grabber.getFrameCount(), 0);
    QCOMPARE(grabber.getFps(), 0.0f);
    QCOMPARE(grabber.getSize().width, 0);
    QCOMPARE(grabber.getSize().height, 0);
    QCOMPARE(readNext(grabber), -2);
    grabber.skip(5);
    QCOMPARE(grabber.getPosition(), 0);
}

void TestAviGrabber::closedSourceDeliversNothing()
{
    const QString path = clip("h264.mp4");
    if (path.isEmpty())
        QSKIP("encoder not available");

    AviGrabber grabber(QFile::encodeName(path).toStdString());
    QCOMPARE(readNext(grabber), 0);
    grabber.close();
    QCOMPARE(readNext(grabber), -2);
    QCOMPARE(grabber.getPosition(), 1);
    grabber.close();
    QCOMPARE(grabber.getFrameCount(), kFrames);
}

QTEST_GUILESS_MAIN(TestAviGrabber)
#include "tst_avigrabber.moc"
