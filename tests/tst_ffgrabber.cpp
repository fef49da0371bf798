// Tests of the FFmpeg frame source on clips generated at test time, one per
// codec and container, whose every frame shows its own index.

#include "FFGrabber.h"
#include "TestClips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <random>

using testmedia::kClipFrames;

using testmedia::readNext;

namespace {

int endMessages = 0; // "video ended!" messages seen by countEnds
void countEnds(QtMsgType, const QMessageLogContext &, const QString &message)
{
    endMessages += message == QLatin1String("video ended!");
}

}  // namespace

class TestFFGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(testmedia::haveFfmpeg(), "ffmpeg is needed to generate the test clips"); }

    void readsEveryFrameInOrder_data() { addClipRows(); }
    void readsEveryFrameInOrder()
    {
        QFETCH(QString, file);
        FFGrabber grabber(testmedia::clipPath(file));
        QCOMPARE(grabber.getFrameCount(), kClipFrames);
        QCOMPARE(qRound(grabber.getFps() * 100), testmedia::kClipFps * 100);
        QCOMPARE(grabber.getSize().width, testmedia::kClipWidth);
        QCOMPARE(grabber.getSize().height, testmedia::kClipHeight);
        QCOMPARE(grabber.getPosition(), 0);
        for (int i = 0; i < kClipFrames; ++i) {
            cv::Mat image;
            grabber >> image;
            QCOMPARE(image.size(), cv::Size(testmedia::kClipWidth, testmedia::kClipHeight));
            QCOMPARE(image.type(), CV_8UC3);
            QCOMPARE(testmedia::readIndex(image), i);
            QCOMPARE(grabber.getPosition(), i + 1);
        }
        // At the end the caller's image and the position stay, and the end is
        // logged once however often it is read.
        endMessages = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countEnds);
        cv::Mat last(4, 4, CV_8UC3, cv::Scalar(7, 8, 9));
        const cv::Mat kept = last;
        grabber >> last;
        grabber >> last;
        qInstallMessageHandler(previous);
        QCOMPARE(last.data, kept.data);
        QCOMPARE(last.at<cv::Vec3b>(0, 0), cv::Vec3b(7, 8, 9));
        QCOMPARE(grabber.getPosition(), kClipFrames);
        QCOMPARE(endMessages, 1);
    }
    void seeksToFrames_data() { addClipRows(); }
    void seeksToFrames()
    {
        QFETCH(QString, file);
        FFGrabber grabber(testmedia::clipPath(file));
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> frame(0, kClipFrames - 1);
        for (int i = 0; i < 25; ++i) {
            const int target = i == 0 ? kClipFrames - 1 : frame(random);
            grabber.seek(target);
            QCOMPARE(grabber.getPosition(), target);
            QCOMPARE(readNext(grabber), target);
            QCOMPARE(grabber.getPosition(), target + 1);
            if (target + 1 < kClipFrames && i % 3 == 0)
                QCOMPARE(readNext(grabber), target + 1);
        }
        // Around the key frames at 24 and 48 (open GOPs, containers indexing
        // decoding times) and at the end of the file, each by a freshly opened
        // source that no cache helps.
        QList<int> targets;
        for (int target = 15; target <= 55; ++target)
            targets << target;
        targets << kClipFrames - 3 << kClipFrames - 2 << kClipFrames - 1;
        // Every picture the same as reading from the start gives, whatever the
        // seek left undecoded on the way.
        std::vector<cv::Mat> inOrder(kClipFrames);
        FFGrabber sequential(testmedia::clipPath(file));
        for (cv::Mat &image : inOrder)
            sequential >> image;
        for (const int target : targets) {
            FFGrabber fresh(testmedia::clipPath(file));
            fresh.seek(target);
            cv::Mat image;
            fresh >> image;
            QCOMPARE(testmedia::readIndex(image), target);
            QCOMPARE(cv::norm(image, inOrder[size_t(target)], cv::NORM_INF), 0.0);
            if (target + 1 < kClipFrames)
                QCOMPARE(readNext(fresh), target + 1);
        }
    }
    // Reading on one thread (as exports do) gives the same pictures, and a
    // switch in mid-read goes on where the read was.
    void decodingThreadsChangeNoPicture_data() { addClipRows(); }
    void decodingThreadsChangeNoPicture()
    {
        QFETCH(QString, file);
        std::vector<cv::Mat> inOrder(kClipFrames);
        FFGrabber sequential(testmedia::clipPath(file));
        for (cv::Mat &image : inOrder)
            sequential >> image;

        FFGrabber single(testmedia::clipPath(file), 1);
        for (int i = 0; i < kClipFrames; ++i) {
            cv::Mat image;
            single >> image;
            QCOMPARE(cv::norm(image, inOrder[size_t(i)], cv::NORM_INF), 0.0);
        }

        FFGrabber switching(testmedia::clipPath(file));
        const int switchAt = kClipFrames / 3;
        const auto readOn = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                cv::Mat image;
                switching >> image;
                if (switching.getPosition() != i + 1 || image.empty()
                    || cv::norm(image, inOrder[size_t(i)], cv::NORM_INF) != 0.0)
                    return i;
            }
            return -1;
        };
        QCOMPARE(readOn(0, switchAt), -1);
        QCOMPARE(switching.setDecodingThreads(1), FFGrabber::defaultDecodingThreads());
        QCOMPARE(switching.setDecodingThreads(1), 1);  // no change, no new decoder
        QCOMPARE(readOn(switchAt, 2 * switchAt), -1);
        QCOMPARE(switching.setDecodingThreads(0), 1);
        QCOMPARE(readOn(2 * switchAt, kClipFrames), -1);
        switching.seek(3);
        QCOMPARE(readOn(3, 6), -1);
    }

    void stepsLikeTheWindow_data() { addClipRows(); }
    // The window stands just after the frame on display: one frame back is
    // skip(-2), ten forward skip(9). Frames served from the cache are the very
    // pictures a fresh decoder gives.
    void stepsLikeTheWindow()
    {
        QFETCH(QString, file);
        FFGrabber grabber(testmedia::clipPath(file));
        grabber.seek(70);
        QCOMPARE(readNext(grabber), 70);
        for (int expected = 69; expected >= 0; --expected) {
            grabber.skip(-2);
            QCOMPARE(grabber.getPosition(), expected);
            cv::Mat image;
            grabber >> image;
            QCOMPARE(testmedia::readIndex(image), expected);
            QCOMPARE(grabber.getPosition(), expected + 1);
            if (expected >= 45 && expected < 60) {
                FFGrabber fresh(testmedia::clipPath(file));
                fresh.seek(expected);
                cv::Mat decoded;
                fresh >> decoded;
                QCOMPARE(cv::norm(image, decoded, cv::NORM_INF), 0.0);
            }
        }
        for (int shown = 0; shown < 80; shown += 10) {
            grabber.skip(9);
            QCOMPARE(grabber.getPosition(), shown + 10);
            QCOMPARE(readNext(grabber), shown + 10);
        }
        grabber.skip(9);  // 81 + 9 = the frame count: stops at the last frame
        QCOMPARE(grabber.getPosition(), kClipFrames - 1);
        QCOMPARE(readNext(grabber), kClipFrames - 1);
        QTest::ignoreMessage(QtDebugMsg, "video ended!");
        QCOMPARE(readNext(grabber), -2);
        QCOMPARE(grabber.lastRead(), ReadResult::EndOfStream);
        QVERIFY(grabber.errorString().isEmpty());
        grabber.skip(-11);
        QCOMPARE(readNext(grabber), 79);
    }
    void clampsSkipsToTheVideo_data()
    {
        QTest::addColumn<int>("shown");     // frame on display before the step
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("position");  // after the step
        QTest::addColumn<int>("delivered"); // read next, -2 for none
        QTest::newRow("exactly to the first frame") << 30 << -31 << 0 << 0;
        QTest::newRow("one before the start") << 30 << -32 << 0 << 0;
        QTest::newRow("one back from the first frame") << 0 << -2 << 0 << 0;
        QTest::newRow("no step") << 30 << 0 << 31 << 31;
        QTest::newRow("to the last frame") << 30 << kClipFrames - 32 << kClipFrames - 1 << kClipFrames - 1;
        QTest::newRow("to the frame count") << 30 << kClipFrames - 31 << kClipFrames - 1 << kClipFrames - 1;
        QTest::newRow("far past the end") << 30 << 1000 << kClipFrames - 1 << kClipFrames - 1;
    }
    void clampsSkipsToTheVideo()
    {
        QFETCH(int, shown);
        QFETCH(int, delta);
        QFETCH(int, position);
        QFETCH(int, delivered);
        FFGrabber grabber(testmedia::clipPath(QStringLiteral("h264.mp4")));
        grabber.seek(shown);
        QCOMPARE(readNext(grabber), shown);
        grabber.skip(delta);
        QCOMPARE(grabber.getPosition(), position);
        QCOMPARE(readNext(grabber), delivered);
    }
    void keepsBlackAndWhiteLevels_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bit");         // block of frame 15 measured (bits 0-3 white, the rest black)
        QTest::addColumn<double>("expected"); // the level drawn
        QTest::addColumn<double>("misread");  // the level when the range is taken wrongly
        // Full range read as limited is stretched; limited read as full is washed out.
        QTest::newRow("full-range MJPEG, black") << QStringLiteral("mjpeg.avi") << 8 << 16.0 << 0.0;
        QTest::newRow("full-range MJPEG, white") << QStringLiteral("mjpeg.avi") << 0 << 240.0 << 255.0;
        QTest::newRow("limited-range H.264, black") << QStringLiteral("h264.mp4") << 8 << 16.0 << 30.0;
        QTest::newRow("limited-range H.264, white") << QStringLiteral("h264.mp4") << 0 << 240.0 << 222.0;
    }
    void keepsBlackAndWhiteLevels()
    {
        QFETCH(QString, file);
        QFETCH(int, bit);
        QFETCH(double, expected);
        QFETCH(double, misread);
        FFGrabber grabber(testmedia::clipPath(file));
        grabber.seek(15);
        cv::Mat image, grey;
        grabber >> image;
        QCOMPARE(testmedia::readIndex(image), 15);
        const int bw = image.cols / 4, bh = image.rows / 4;
        cv::cvtColor(image(cv::Rect((bit % 4) * bw + bw * 3 / 8, (bit / 4) * bh + bh * 3 / 8, bw / 4, bh / 4)), grey,
                     cv::COLOR_BGR2GRAY);
        const double level = cv::mean(grey)[0];
        QVERIFY2(std::abs(level - expected) <= 4.0, qPrintable(QString::number(level)));
        QVERIFY2(std::abs(level - expected) < std::abs(level - misread), qPrintable(QString::number(level)));
    }
    void cacheStaysWithinItsBound_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("frames"); // of a clip read through; 0: none
        QTest::newRow("small frames: the frame bound") << 320 << 240 << 64 << 90;
        QTest::newRow("720p: 64 frames fit in 256 MiB") << 1280 << 720 << 64 << 0;
        QTest::newRow("1080p: the memory bound") << 1920 << 1080 << 43 << 48;
        QTest::newRow("2160p: the memory bound") << 3840 << 2160 << 10 << 0;
        QTest::newRow("a frame larger than the budget") << 10000 << 10000 << 0 << 0;
        QTest::newRow("unknown size") << 0 << 0 << 0 << 0;
    }
    void cacheStaysWithinItsBound()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, capacity);
        QFETCH(int, frames);
        const size_t byteLimit = size_t(256) << 20;
        const size_t frameBytes = size_t(width) * size_t(height) * 3;
        QCOMPARE(FFGrabber::cacheCapacity(width, height), size_t(capacity));
        if (frames == 0)
            return;
        QTemporaryDir dir;
        testmedia::ClipOptions options{QStringLiteral("bound.mp4"), {}, frames, width, height};
        options.codecArgs = QStringLiteral("-c:v libx264 -preset ultrafast -pix_fmt yuv420p").split(QLatin1Char(' '));
        QString error;
        const std::optional<QString> clip = testmedia::writeClip(dir.path(), options, &error);
        QVERIFY2(clip.has_value(), qPrintable(error));
        FFGrabber grabber(*clip);
        for (int i = 0; i < frames; ++i) {
            QCOMPARE(readNext(grabber), i);
            QVERIFY(grabber.cachedFrames() <= size_t(capacity));
            QVERIFY(grabber.cachedBytes() <= byteLimit);
        }
        // More frames read than fit leave the cache full, not over-full.
        QCOMPARE(grabber.cachedFrames(), size_t(capacity));
        // Kept as decoded 4:2:0 pictures: at least 1.5 bytes a pixel, below BGR's 3.
        QVERIFY(grabber.cachedBytes() >= size_t(capacity) * frameBytes / 2);
        QVERIFY(grabber.cachedBytes() < size_t(capacity) * frameBytes);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> frame(0, frames - 1);
        for (int i = 0; i < 10; ++i) {
            const int target = frame(random);
            grabber.seek(target);
            QCOMPARE(readNext(grabber), target);
            QVERIFY(grabber.cachedFrames() <= size_t(capacity));
            QVERIFY(grabber.cachedBytes() <= size_t(capacity) * frameBytes);
        }
        grabber.close();
        QCOMPARE(grabber.cachedFrames(), size_t(0));
        QCOMPARE(grabber.cachedBytes(), size_t(0));
    }
    void cacheLimitIsHonoured_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("kept");  // frames cached after reading on
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("three") << 3 << 3;
        QTest::newRow("above the bound: the bound") << 1000 << 64;
    }
    void cacheLimitIsHonoured()
    {
        QFETCH(int, limit);
        QFETCH(int, kept);
        QTemporaryDir dir;
        testmedia::ClipOptions options{QStringLiteral("limit.mp4"), {}, 80, 160, 120};
        options.codecArgs = QStringLiteral("-c:v libx264 -preset ultrafast -g 10").split(QLatin1Char(' '));
        QString error;
        const std::optional<QString> clip = testmedia::writeClip(dir.path(), options, &error);
        QVERIFY2(clip.has_value(), qPrintable(error));
        FFGrabber grabber(*clip);
        QCOMPARE(grabber.setCacheLimit(size_t(limit)), FFGrabber::cacheCapacity(160, 120));
        for (int i = 0; i < 70; ++i) {
            QCOMPARE(readNext(grabber), i);
            QVERIFY(grabber.cachedFrames() <= size_t(kept));
        }
        QCOMPARE(grabber.cachedFrames(), size_t(kept));
        // Steps back and seeks stay exact whatever is cached.
        for (const int target : {68, 12, 40, 39}) {
            grabber.seek(target);
            QCOMPARE(readNext(grabber), target);
        }
        QCOMPARE(grabber.setCacheLimit(64), size_t(kept));
    }

    void unusableFileDeliversNothing_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // written unless null; "audio": silence; "close": a closed clip
        QTest::newRow("missing file") << QStringLiteral("missing.mp4") << QByteArray();
        QTest::newRow("a directory") << QStringLiteral("folder.mp4") << QByteArray("dir");
        QTest::newRow("truncated clip") << QStringLiteral("truncated.mp4") << QByteArray("truncate");
        QTest::newRow("empty file") << QStringLiteral("empty.mp4") << QByteArray("");
        QTest::newRow("text file") << QStringLiteral("text.mp4") << QByteArray("Splits:120:300:450|\nFps:29.97\n");
        QTest::newRow("audio without video") << QStringLiteral("audio.wav") << QByteArray("audio");
        QTest::newRow("closed clip") << testmedia::clipPath(QStringLiteral("h264.mp4")) << QByteArray("close");
    }
    void unusableFileDeliversNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString file = content == "close" ? fileName : dir.filePath(fileName);
        if (content == "audio") {
            const QStringList args = QStringLiteral("-loglevel error -f lavfi -i anullsrc=r=8000:cl=mono -t 1").split(' ');
            QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), args + QStringList{file}), 0);
        } else if (content == "dir") {
            QVERIFY(QDir(dir.path()).mkdir(fileName));
        } else if (content == "truncate") {
            // The header of a clip without its frames.
            QFile clip(testmedia::clipPath(QStringLiteral("h264.ts")));
            QVERIFY(clip.open(QIODevice::ReadOnly));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(clip.read(600));
        } else if (!content.isNull() && content != "close") {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        FFGrabber grabber(file);
        if (content == "close") {
            QCOMPARE(readNext(grabber), 0);
            QVERIFY(grabber.cachedFrames() > 0);
            grabber.close();
            grabber.close();
        }
        QVERIFY(!grabber.isOpen());
        // Why, naming the file, unless the program itself closed it.
        if (content != "close")
            QVERIFY2(grabber.errorString().contains(QFileInfo(file).fileName()), qPrintable(grabber.errorString()));
        QCOMPARE(grabber.getFrameCount(), 0);
        QCOMPARE(grabber.getSize().width, 0);
        QCOMPARE(grabber.getSize().height, 0);
        QCOMPARE(grabber.getFps(), 0.0f);
        QCOMPARE(grabber.cachedFrames(), size_t(0));
        cv::Mat image(4, 4, CV_8UC3, cv::Scalar(10, 20, 30));
        const uchar *before = image.data;
        grabber >> image;
        grabber.seek(5);
        grabber >> image;
        grabber.skip(3);
        grabber >> image;
        QCOMPARE(image.data, before);
        QCOMPARE(image.at<cv::Vec3b>(3, 3), cv::Vec3b(10, 20, 30));
        QCOMPARE(grabber.lastRead(), ReadResult::Error);
        QCOMPARE(grabber.getPosition(), 0);
        QCOMPARE(grabber.cachedFrames(), size_t(0));
    }

    void skipsOnlyWhatNoFrameNeeds_data()
    {
        QTest::addColumn<QStringList>("codecArgs");
        // One key frame for the whole clip: seeks far into it decode only the
        // frames others refer to until shortly before the target.
        QTest::newRow("H.264, B-pyramid") << QStringLiteral("-c:v libx264 -preset veryfast -bf 3 -b-pyramid normal "
                                                            "-g 120 -sc_threshold 0 -pix_fmt yuv420p")
                                                 .split(QLatin1Char(' '));
        QTest::newRow("H.265") << QStringLiteral("-c:v libx265 -preset ultrafast -x265-params "
                                                 "log-level=error:bframes=3:keyint=120:scenecut=0 -pix_fmt yuv420p")
                                      .split(QLatin1Char(' '));
        QTest::newRow("MPEG-4 Part 2 in MKV") << QStringLiteral("-c:v mpeg4 -q:v 3 -bf 2 -g 120").split(QLatin1Char(' '));
    }
    // A fresh source seeking anywhere gives the very picture that reading
    // from the start gives, and so do the frames just before it.
    void skipsOnlyWhatNoFrameNeeds()
    {
        QFETCH(QStringList, codecArgs);
        QTemporaryDir dir;
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("long-gop.mkv");
        options.codecArgs = codecArgs;
        options.frames = 120;
        options.width = testmedia::kClipWidth;
        options.height = testmedia::kClipHeight;
        QString error;
        const std::optional<QString> clip = testmedia::writeClip(dir.path(), options, &error);
        QVERIFY2(clip, qPrintable(error));
        std::vector<cv::Mat> inOrder(size_t(options.frames));
        FFGrabber sequential(*clip);
        for (cv::Mat &image : inOrder)
            sequential >> image;
        for (const int target : {119, 100, 77, 61, 45}) {
            FFGrabber fresh(*clip);
            fresh.seek(target);
            for (int shown = target; shown > target - 3; --shown) {
                cv::Mat image;
                fresh >> image;
                QCOMPARE(testmedia::readIndex(image), shown);
                QCOMPARE(cv::norm(image, inOrder[size_t(shown)], cv::NORM_INF), 0.0);
                fresh.skip(-2);
            }
        }
    }
    void detectsVariableFrameRate_data()
    {
        QTest::addColumn<QString>("file");      // a clip of the table, or generated here when `varying`
        QTest::addColumn<bool>("varying");
        for (const testmedia::ClipRow &row : testmedia::clipRows())
            if (!row.captureOnly)
                QTest::newRow(row.name) << row.options.fileName << false;
        // Every third frame shown twice as long; MKV stores times in milliseconds.
        QTest::newRow("every third frame longer, MKV") << QStringLiteral("vfr.mkv") << true;
        QTest::newRow("every third frame longer, MP4") << QStringLiteral("vfr.mp4") << true;
    }
    void detectsVariableFrameRate()
    {
        QFETCH(QString, file);
        QFETCH(bool, varying);
        QTemporaryDir dir;
        QString path = testmedia::clipPath(file);
        if (varying) {
            path = dir.filePath(file);
            const QStringList args = QStringLiteral("-loglevel error -f lavfi -i testsrc2=size=160x128:rate=30 "
                                                    "-frames:v 90 -vf setpts=(N+floor(N/3))/30/TB "
                                                    "-fps_mode passthrough -c:v libx264 -bf 3")
                                         .split(QLatin1Char(' '));
            QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), args + QStringList{path}), 0);
        }
        FFGrabber grabber(path);
        QVERIFY(grabber.isOpen());
        QCOMPARE(grabber.hasVariableFrameRate(), varying);
        // The check reads ahead; the first frame is still the first delivered.
        cv::Mat image;
        grabber >> image;
        QCOMPARE(grabber.lastRead(), ReadResult::Delivered);
        QCOMPARE(grabber.getPosition(), 1);
    }

private:
    static void addClipRows()
    {
        QTest::addColumn<QString>("file");
        for (const testmedia::ClipRow &row : testmedia::clipRows())
            if (!row.captureOnly)
                QTest::newRow(row.name) << row.options.fileName;
    }
};

QTEST_GUILESS_MAIN(TestFFGrabber)
#include "tst_ffgrabber.moc"
