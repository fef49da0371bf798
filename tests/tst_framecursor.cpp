// Tests of the player: positioning the source, reading each frame once,
// re-processing the frame on display, steps, seeks and jumps, playback and
// its rate, and how a source that delivers nothing or a frame the pipeline
// cannot take is handled.
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/core.hpp>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace {

// What a fake source was asked to do; it outlives the source, which the
// player owns.
struct SourceLog
{
    int attempts = 0;  // operator>> calls
    int reads = 0;     // frames delivered
    QList<int> seeks;
    bool closed = false;
};

// What a read at index `index` delivers, or nullopt to leave the frame untouched.
using FrameMaker = std::function<std::optional<cv::Mat>(int index)>;

std::optional<cv::Mat> indexPicture(int index) { return testmedia::indexFrame(index, 64, 48); }

// A video of `frames` index frames: seek and skip clamp the position to
// 0..frames (as the real sources do), nothing is delivered past the end.
struct FakeSource : FrameGrabber
{
    FakeSource(int frames, std::shared_ptr<SourceLog> log, FrameMaker maker = indexPicture)
        : frames(frames), log(std::move(log)), maker(std::move(maker)) {}
    int32_t getFrameCount() override { return frames; }
    FakeSource &operator>>(cv::Mat &frame) override
    {
        ++log->attempts;
        const std::optional<cv::Mat> picture = position < frames ? maker(position) : std::nullopt;
        if (picture) {
            frame = *picture;
            ++position;
            ++log->reads;
        }
        return *this;
    }
    void seek(int32_t frameIndex) override
    {
        log->seeks.append(frameIndex);
        position = std::clamp(frameIndex, 0, frames);
    }
    void skip(int32_t delta) override { position = std::clamp(position + delta, 0, frames); }
    int32_t getPosition() override { return position; }
    void close() override { log->closed = true; }

    int frames, position = 0;
    std::shared_ptr<SourceLog> log;
    FrameMaker maker;
};

// The index the picture on display shows (-1 for none or not an index frame).
int shownIndex(const FrameCursor &cursor) { return testmedia::readIndex(cursor.processedFrame); }

enum Move { Step, Seek, Jump };

// A player on a fake video of `frames` frames.
struct Player
{
    explicit Player(int frames = 50, FrameMaker maker = indexPicture) : log(std::make_shared<SourceLog>())
    {
        cursor.setSource(std::make_unique<FakeSource>(frames, log, std::move(maker)));
    }
    FrameCursor cursor;
    std::shared_ptr<SourceLog> log;
};

} // namespace

class TestFrameCursor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A new source closes the old one and starts at frame 0 with nothing read
    // and an empty picture announced; without a source every move does nothing.
    void setSourceResets()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(20);
        auto second = std::make_shared<SourceLog>();
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        bool emptyWhenAnnounced = false;
        connect(&cursor, &FrameCursor::pictureChanged, this,
                [&] { emptyWhenAnnounced = cursor.processedFrame.empty() && cursor.currentFrame == 0; });
        cursor.setSource(std::make_unique<FakeSource>(7, second));
        QVERIFY2(player.log->closed, "the old source was not closed");
        QCOMPARE(pictures.count(), 1);
        QVERIFY(emptyWhenAnnounced);
        QCOMPARE(cursor.totalFrames, 7);
        QCOMPARE(second->attempts, 0);
        cursor.refresh();
        QCOMPARE(shownIndex(cursor), 0);

        cursor.setSource(nullptr);
        QVERIFY(second->closed);
        QCOMPARE(cursor.totalFrames, 0);
        QVERIFY(!cursor.showFrame());
        cursor.step(1);
        cursor.seekToIndex(3);
        cursor.jumpToFrame(3);
        QCOMPARE(pictures.count(), 3);
        QCOMPARE(cursor.currentFrame, 0);
    }

    // The four steps and their guards, timeline seeks (0-based, play state
    // kept) and jumps to a frame or a mark (1-based, always paused): where
    // each lands, what it reads, whether it pauses.
    void move_data()
    {
        QTest::addColumn<int>("move");
        QTest::addColumn<int>("argument");  // frames to step, index to seek to, frame to jump to
        QTest::addColumn<int>("start");     // frame on display before (0: nothing yet)
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("expected");  // frame on display after
        QTest::addColumn<int>("moved");     // pictures announced (and frames read); -1: either
        QTest::addColumn<bool>("pausedAfter");

        const auto row = [](const char *name, Move move, int argument, int start, bool playing, int expected,
                            int moved, bool pausedAfter) {
            QTest::newRow(name) << int(move) << argument << start << playing << expected << moved << pausedAfter;
        };
        row("+1 before anything was read", Step, 1, 0, false, 1, 1, true);
        row("+1 on the last frame stays", Step, 1, 50, false, 50, -1, true);
        row("+10 to the last frame", Step, 10, 40, false, 50, 1, true);
        row("+10 past the end stops at the last frame", Step, 10, 45, false, 50, 1, true);
        row("-10 from 11, the first it allows", Step, -10, 11, false, 1, 1, true);
        row("-10 from 10 refused", Step, -10, 10, false, 10, 0, true);
        row("-1 from 2, the first it allows", Step, -1, 2, false, 1, 1, true);
        row("-1 from 1 refused", Step, -1, 1, false, 1, 0, true);
        // Playing: one frame pauses, ten keep playing.
        row("+1 while playing pauses", Step, 1, 20, true, 21, 1, true);
        row("-1 while playing pauses", Step, -1, 20, true, 19, 1, true);
        row("+10 while playing keeps playing", Step, 10, 20, true, 30, 1, false);

        row("seek to the first", Seek, 0, 10, false, 1, 1, true);
        row("seek past the end", Seek, 50, 10, false, 50, 1, true);
        row("seek to a negative index", Seek, -3, 10, false, 1, 1, true);
        row("seek while playing keeps playing", Seek, 30, 10, true, 31, 1, false);
        row("jump to the last", Jump, 50, 10, false, 50, 1, true);
        row("jump past the end", Jump, 51, 10, false, 50, 1, true);
        row("jump to frame 0: the first", Jump, 0, 10, false, 1, 1, true);
        row("jump while playing pauses", Jump, 33, 10, true, 33, 1, true);
    }

    // A frame count estimated from the duration may be short: a single step
    // reads on past it, ten frames stop at the last counted one.
    void stepsPastAnEstimatedCount()
    {
        FrameCursor cursor;
        auto log = std::make_shared<SourceLog>();
        auto source = std::make_unique<FakeSource>(55, log);
        cursor.setSource(std::move(source));
        cursor.totalFrames = 50;  // what the estimate said
        cursor.jumpToFrame(50);
        cursor.step(1);
        QCOMPARE(cursor.currentFrame, 51);
        QCOMPARE(shownIndex(cursor), 50);
        cursor.jumpToFrame(45);
        cursor.step(10);
        QCOMPARE(cursor.currentFrame, 50);
        QCOMPARE(shownIndex(cursor), 49);
    }

    void move()
    {
        QFETCH(int, move);
        QFETCH(int, argument);
        QFETCH(int, start);
        QFETCH(bool, playing);
        QFETCH(int, expected);
        QFETCH(int, moved);
        QFETCH(bool, pausedAfter);
        Player player(50);
        FrameCursor &cursor = player.cursor;
        if (start > 0)
            cursor.jumpToFrame(start);
        if (playing)
            cursor.setPaused(false);  // no event loop runs: no tick moves on
        const int before = shownIndex(cursor);
        const int reads = player.log->reads;
        const qsizetype seeks = player.log->seeks.size();
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        QSignalSpy pauses(&cursor, &FrameCursor::pausedChanged);

        if (move == Step)
            cursor.step(argument);
        else if (move == Seek)
            cursor.seekToIndex(argument);
        else
            cursor.jumpToFrame(argument);
        QCOMPARE(cursor.currentFrame, expected);
        if (moved >= 0) {
            QCOMPARE(pictures.count(), moved);
            QCOMPARE(player.log->reads - reads, moved);
        }
        QCOMPARE(shownIndex(cursor), moved == 0 ? before : expected - 1);
        // Seeks and jumps position the source at the clamped index.
        if (move != Step)
            QCOMPARE(player.log->seeks.value(seeks, -1), expected - 1);
        QCOMPARE(cursor.paused, pausedAfter);
        QCOMPARE(cursor.playTimerId != -1, !pausedAfter);
        QCOMPARE(pauses.count(), playing && pausedAfter ? 1 : 0);
        cursor.setPaused(true);
    }

    // A change of the processing re-processes the frame on display without
    // reading the source again.
    void setProcessingReprocesses()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(14);
        const int attempts = player.log->attempts;
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);

        PipelineSettings settings;
        settings.rotation = 1;  // 90 degrees clockwise
        cursor.setProcessing(settings);
        QCOMPARE(pictures.count(), 1);
        QCOMPARE(player.log->attempts, attempts);
        QCOMPARE(QSize(cursor.processedFrame.cols, cursor.processedFrame.rows), QSize(48, 64));
        QCOMPARE(testmedia::readIndex(cursor.rawFrame), 13);

        cursor.setProcessing(PipelineSettings());
        QCOMPARE(shownIndex(cursor), 13);
        QCOMPARE(player.log->attempts, attempts);
        QCOMPARE(cursor.currentFrame, 14);
    }

    // Playing runs a timer and carries over a change of source; asking for
    // the state it is in announces nothing.
    void playStateAndTimer()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        QSignalSpy pauses(&cursor, &FrameCursor::pausedChanged);
        cursor.togglePlayback();
        cursor.setPaused(false);
        QVERIFY2(cursor.playTimerId != -1, "playing without a timer");
        cursor.setSource(std::make_unique<FakeSource>(5, player.log));
        QVERIFY2(!cursor.paused && cursor.playTimerId != -1, "playback stopped with the new source");
        cursor.togglePlayback();
        QCOMPARE(cursor.playTimerId, -1);
        QCOMPARE(pauses.count(), 2);
        QCOMPARE(pauses.at(1).at(0).toBool(), true);
        cursor.setPaused(false);
        cursor.setSource(nullptr);
        QCOMPARE(cursor.playTimerId, -1);
    }

    // As fast as frames come: every frame in order, then from the start
    // again; a source that stops delivering before its count wraps the same way.
    void playbackWraps_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("delivered");
        QTest::addColumn<QList<int>>("expected");  // indices shown

        QTest::newRow("after the last frame") << 5 << 5 << QList<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1};
        QTest::newRow("source ends early") << 20 << 3 << QList<int>{0, 1, 2, 0, 1, 2, 0};
    }

    void playbackWraps()
    {
        QFETCH(int, frames);
        QFETCH(int, delivered);
        QFETCH(QList<int>, expected);
        Player player(frames, [delivered](int index) -> std::optional<cv::Mat> {
            return index < delivered ? indexPicture(index) : std::nullopt;
        });
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(0);
        QList<int> shown;
        QList<int> numbers;  // the frame number announced with each picture
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] {
            shown.append(shownIndex(cursor));
            numbers.append(cursor.currentFrame - 1);
        });
        cursor.togglePlayback();
        QTRY_VERIFY2(shown.size() >= expected.size(), qPrintable(QStringLiteral("%1 frames played").arg(shown.size())));
        cursor.setPaused(true);
        QCOMPARE(shown.mid(0, expected.size()), expected);
        QCOMPARE(numbers, shown);
        const qsizetype count = shown.size();
        QCoreApplication::processEvents();
        QCOMPARE(shown.size(), count);
    }

    // At 2 fps one frame is shown at once and the next after 500 ms; the rate
    // can change while playing.
    void playbackRate()
    {
        Player player(1000);
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(2.0);
        int shown = 0;
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] { ++shown; });
        QElapsedTimer elapsed;
        elapsed.start();
        cursor.togglePlayback();
        QTest::qWait(300);
        const qint64 ms = elapsed.elapsed();
        QVERIFY2(shown >= 1 && shown <= ms / 500 + 1, qPrintable(QStringLiteral("%1 frames in %2 ms").arg(shown).arg(ms)));
        QCOMPARE(cursor.currentFrame, shown);
        cursor.setPlaybackRate(0.0);
        QTRY_VERIFY2(shown >= 20, qPrintable(QStringLiteral("%1 frames after going unlimited").arg(shown)));
        cursor.setPaused(true);
    }

    // While paused the frame asked for is read once; showing it again only
    // re-processes and announces it. A source that delivered nothing keeps
    // the previous picture and is not asked again until the position changes.
    void pausedReadsOnce()
    {
        bool deliver = true;
        Player player(50, [&deliver](int index) { return deliver ? indexPicture(index) : std::nullopt; });
        FrameCursor &cursor = player.cursor;
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(cursor.showFrame());
            cursor.refresh();
        }
        QCOMPARE(player.log->attempts, 1);
        QCOMPARE(pictures.count(), 6);
        QCOMPARE(shownIndex(cursor), 0);

        cursor.jumpToFrame(5);
        deliver = false;
        cursor.jumpToFrame(9);
        const int attempts = player.log->attempts;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!cursor.showFrame());
            cursor.refresh();
        }
        QVERIFY2(player.log->attempts == attempts,
                 qPrintable(QStringLiteral("%1 more reads of a source that delivers nothing").arg(player.log->attempts - attempts)));
        QCOMPARE(shownIndex(cursor), 4);
        QCOMPARE(pictures.count(), 7);

        deliver = true;
        cursor.jumpToFrame(12);
        QCOMPARE(pictures.count(), 8);
        QCOMPARE(shownIndex(cursor), 11);
    }

    // Frames the pipeline cannot process keep the previous picture; each
    // reason is reported once, again only after a frame succeeded. An empty
    // frame counts as nothing delivered, not as a fault.
    void processingFailedOncePerReason()
    {
        // Indices 1 and 2: two 16-bit channels; 3: three dimensions; 6: empty.
        Player player(50, [](int index) -> std::optional<cv::Mat> {
            const int sizes[] = {4, 4, 4};
            switch (index) {
            case 1: case 2: return cv::Mat(48, 64, CV_16UC2, cv::Scalar(1000, 2000));
            case 3: return cv::Mat(3, sizes, CV_8UC1, cv::Scalar(7));
            case 6: return cv::Mat();
            default: return indexPicture(index);
            }
        });
        FrameCursor &cursor = player.cursor;
        QSignalSpy failures(&cursor, &FrameCursor::processingFailed);
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        cursor.jumpToFrame(1);
        cursor.jumpToFrame(2);  // two channels
        QCOMPARE(failures.count(), 1);
        const QString twoChannels = failures.at(0).at(0).toString();
        QVERIFY2(!twoChannels.isEmpty(), "no reason given");
        QCOMPARE(shownIndex(cursor), 0);

        // The same frame again, and the next with the same fault: no new report.
        cursor.refresh();
        cursor.setProcessing(PipelineSettings());
        cursor.jumpToFrame(3);
        QCOMPARE(failures.count(), 1);

        cursor.jumpToFrame(4);  // three dimensions: another reason
        QCOMPARE(failures.count(), 2);
        const QString threeDimensions = failures.at(1).at(0).toString();
        QVERIFY2(threeDimensions != twoChannels, "the same reason for another fault");
        QCOMPARE(pictures.count(), 1);

        cursor.jumpToFrame(5);  // fine
        cursor.jumpToFrame(7);  // empty
        QCOMPARE(failures.count(), 2);
        QCOMPARE(pictures.count(), 2);
        QCOMPARE(shownIndex(cursor), 4);
        cursor.jumpToFrame(4);  // the last reason again, after a success: reported again
        QCOMPARE(failures.count(), 3);
        QCOMPARE(failures.at(2).at(0).toString(), threeDimensions);
    }
};

QTEST_MAIN(TestFrameCursor)

#include "tst_framecursor.moc"
