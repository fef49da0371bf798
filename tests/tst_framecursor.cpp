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
#include <opencv2/imgproc.hpp>

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
    QList<int> skips;
    bool closed = false;
};

// What a read at index `index` delivers: a picture (possibly empty or
// unusable), or nullopt to leave the caller's frame untouched.
using FrameMaker = std::function<std::optional<cv::Mat>(int index)>;

std::optional<cv::Mat> indexPicture(int index) { return testmedia::indexFrame(index, 64, 48); }

// A video of `frames` index frames: seek and skip move the position (clamped
// to 0..frames, as the real sources do), a read delivers the frame at the
// position and advances, and nothing is delivered past the end.
class FakeSource : public FrameGrabber
{
public:
    FakeSource(int frames, std::shared_ptr<SourceLog> log, FrameMaker maker = indexPicture)
        : frames(frames), log(std::move(log)), maker(std::move(maker))
    {
    }

    FrameSize getSize() override { return {64, 48}; }
    int32_t getFrameCount() override { return frames; }
    FakeSource &operator>>(cv::Mat &frame) override
    {
        ++log->attempts;
        if (position < 0 || position >= frames)
            return *this;
        const std::optional<cv::Mat> picture = maker(position);
        if (!picture)
            return *this;
        frame = *picture;
        ++position;
        ++log->reads;
        return *this;
    }
    void seek(int32_t frameIndex) override
    {
        log->seeks.append(frameIndex);
        position = std::clamp(frameIndex, 0, frames);
    }
    void skip(int32_t delta) override
    {
        log->skips.append(delta);
        position = std::clamp(position + delta, 0, frames);
    }
    float getFps() override { return 30.0f; }
    int32_t getPosition() override { return position; }
    void close() override { log->closed = true; }

    int frames;
    int position = 0;
    std::shared_ptr<SourceLog> log;
    FrameMaker maker;
};

// The index the picture on display shows (-1 for none or not an index frame).
int shownIndex(const FrameCursor &cursor) { return testmedia::readIndex(cursor.processedFrame); }

// A player on a fake video of `frames` frames.
struct Player
{
    explicit Player(int frames = 50, FrameMaker maker = indexPicture)
        : log(std::make_shared<SourceLog>())
    {
        cursor.setSource(std::make_unique<FakeSource>(frames, log, std::move(maker)));
    }
    FakeSource &source() { return *static_cast<FakeSource *>(cursor.source()); }

    FrameCursor cursor;
    std::shared_ptr<SourceLog> log;
};

} // namespace

class TestFrameCursor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A new source starts at the beginning with nothing read and an empty
    // picture announced; the old source is closed.
    void setSourceResets()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        QCOMPARE(cursor.totalFrames, 50);
        QCOMPARE(cursor.currentFrame, 0);
        QVERIFY(cursor.hasSource());
        QCOMPARE(player.log->attempts, 0);
        cursor.jumpToFrame(20);
        QCOMPARE(shownIndex(cursor), 19);

        auto second = std::make_shared<SourceLog>();
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        bool emptyWhenAnnounced = false;
        connect(&cursor, &FrameCursor::pictureChanged, this,
                [&] { emptyWhenAnnounced = cursor.processedFrame.empty() && cursor.currentFrame == 0; });
        cursor.setSource(std::make_unique<FakeSource>(7, second));
        QVERIFY2(player.log->closed, "the old source was not closed");
        QCOMPARE(pictures.count(), 1);
        QVERIFY2(emptyWhenAnnounced, "the picture announced for a new source is not empty at frame 0");
        QCOMPARE(cursor.currentFrame, 0);
        QCOMPARE(cursor.totalFrames, 7);
        QVERIFY(cursor.processedFrame.empty());
        QVERIFY(cursor.rawFrame.empty());
        QCOMPARE(second->attempts, 0);

        // The first refresh shows the first frame.
        cursor.refresh();
        QCOMPARE(cursor.currentFrame, 1);
        QCOMPARE(shownIndex(cursor), 0);

        // No source: nothing to show, every move does nothing.
        cursor.setSource(nullptr);
        QVERIFY(second->closed);
        QVERIFY(!cursor.hasSource());
        QCOMPARE(cursor.totalFrames, 0);
        QCOMPARE(cursor.currentFrame, 0);
        QVERIFY(cursor.processedFrame.empty());
        QCOMPARE(pictures.count(), 3);
        QVERIFY(!cursor.showFrame());
        cursor.step(1);
        cursor.seekToIndex(3);
        cursor.jumpToFrame(3);
        cursor.refresh();
        QCOMPARE(pictures.count(), 3);
        QCOMPARE(cursor.currentFrame, 0);
    }

    // While paused the frame asked for is read once; showing it again only
    // re-processes it.
    void readsOnceWhilePaused()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        QVERIFY(cursor.showFrame());
        QCOMPARE(player.log->reads, 1);
        QCOMPARE(cursor.currentFrame, 1);
        QCOMPARE(shownIndex(cursor), 0);
        QVERIFY2(cursor.frameShown, "the frame on display does not count as shown");

        for (int i = 0; i < 3; ++i) {
            QVERIFY(cursor.showFrame());
            cursor.refresh();
        }
        QCOMPARE(player.log->attempts, 1);
        QCOMPARE(cursor.currentFrame, 1);
        QCOMPARE(shownIndex(cursor), 0);
        QCOMPARE(pictures.count(), 7);
    }

    // The four steps and their guards: where each lands, what it reads,
    // whether it pauses.
    void step_data()
    {
        QTest::addColumn<int>("start");     // frame on display before (0: nothing yet)
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("expected");  // frame on display after
        QTest::addColumn<int>("moved");     // pictures announced (and frames read); -1: either
        QTest::addColumn<bool>("pausedAfter");

        // Paused.
        QTest::newRow("+1 from 5") << 5 << false << 1 << 6 << 1 << true;
        QTest::newRow("-1 from 5") << 5 << false << -1 << 4 << 1 << true;
        QTest::newRow("+10 from 5") << 5 << false << 10 << 15 << 1 << true;
        QTest::newRow("-10 from 15") << 15 << false << -10 << 5 << 1 << true;
        QTest::newRow("-10 from 11, the first it allows") << 11 << false << -10 << 1 << 1 << true;
        QTest::newRow("-10 from 10 refused") << 10 << false << -10 << 10 << 0 << true;
        QTest::newRow("-10 from 1 refused") << 1 << false << -10 << 1 << 0 << true;
        QTest::newRow("-1 from 2, the first it allows") << 2 << false << -1 << 1 << 1 << true;
        QTest::newRow("-1 from 1 refused") << 1 << false << -1 << 1 << 0 << true;
        QTest::newRow("+1 before anything was read") << 0 << false << 1 << 1 << 1 << true;
        QTest::newRow("+10 before anything was read") << 0 << false << 10 << 10 << 1 << true;
        QTest::newRow("-1 before anything was read refused") << 0 << false << -1 << 0 << 0 << true;
        QTest::newRow("+1 to the last frame") << 49 << false << 1 << 50 << 1 << true;
        QTest::newRow("+1 on the last frame stays") << 50 << false << 1 << 50 << -1 << true;
        QTest::newRow("+10 to the last frame") << 40 << false << 10 << 50 << 1 << true;
        QTest::newRow("+10 past the end stops at the last frame") << 45 << false << 10 << 50 << 1 << true;
        QTest::newRow("-10 from the last frame") << 50 << false << -10 << 40 << 1 << true;
        // Playing: one frame pauses, ten keep playing.
        QTest::newRow("+1 while playing pauses") << 20 << true << 1 << 21 << 1 << true;
        QTest::newRow("-1 while playing pauses") << 20 << true << -1 << 19 << 1 << true;
        QTest::newRow("+10 while playing keeps playing") << 20 << true << 10 << 30 << 1 << false;
        QTest::newRow("-10 while playing keeps playing") << 20 << true << -10 << 10 << 1 << false;
        QTest::newRow("-10 refused while playing keeps playing") << 8 << true << -10 << 8 << 0 << false;
    }

    void step()
    {
        QFETCH(int, start);
        QFETCH(bool, playing);
        QFETCH(int, frames);
        QFETCH(int, expected);
        QFETCH(int, moved);
        QFETCH(bool, pausedAfter);

        Player player(50);
        FrameCursor &cursor = player.cursor;
        if (start > 0)
            cursor.jumpToFrame(start);
        QCOMPARE(cursor.currentFrame, start);
        if (playing)
            cursor.setPaused(false);  // no event loop runs: no tick moves on
        const int before = shownIndex(cursor);
        const int reads = player.log->reads;
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);

        cursor.step(frames);
        QCOMPARE(cursor.currentFrame, expected);
        if (moved >= 0) {
            QCOMPARE(pictures.count(), moved);
            QCOMPARE(player.log->reads - reads, moved);
        }
        QCOMPARE(shownIndex(cursor), moved == 0 ? before : expected - 1);
        QCOMPARE(cursor.paused, pausedAfter);
        QCOMPARE(cursor.playTimerId != -1, !pausedAfter);
        cursor.setPaused(true);
    }

    // Timeline and split-list seeks: 0-based, clamped, play state kept.
    void seekToIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("expected");  // frame number on display

        QTest::newRow("first") << 0 << false << 1;
        QTest::newRow("middle") << 24 << false << 25;
        QTest::newRow("last") << 49 << false << 50;
        QTest::newRow("past the end") << 50 << false << 50;
        QTest::newRow("far past the end") << 100000 << false << 50;
        QTest::newRow("negative") << -3 << false << 1;
        QTest::newRow("while playing keeps playing") << 30 << true << 31;
        QTest::newRow("past the end while playing") << 77 << true << 50;
    }

    void seekToIndex()
    {
        QFETCH(int, index);
        QFETCH(bool, playing);
        QFETCH(int, expected);
        Player player(50);
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(10);
        if (playing)
            cursor.setPaused(false);
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        QSignalSpy pauses(&cursor, &FrameCursor::pausedChanged);
        const qsizetype seeks = player.log->seeks.size();
        cursor.seekToIndex(index);
        QCOMPARE(cursor.currentFrame, expected);
        QCOMPARE(shownIndex(cursor), expected - 1);
        QCOMPARE(pictures.count(), 1);
        QCOMPARE(pauses.count(), 0);
        QCOMPARE(cursor.paused, !playing);
        // Sought once to the clamped index (playing on from the last frame
        // then goes back to the start).
        QVERIFY(player.log->seeks.size() > seeks);
        QCOMPARE(player.log->seeks.at(seeks), expected - 1);
        cursor.setPaused(true);
    }

    // Go to frame and the mark jumps: 1-based, clamped, always paused.
    void jumpToFrame_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("expected");

        QTest::newRow("first") << 1 << false << 1;
        QTest::newRow("middle") << 25 << false << 25;
        QTest::newRow("last") << 50 << false << 50;
        QTest::newRow("past the end: last") << 51 << false << 50;
        QTest::newRow("a mark beyond the video") << 9999 << false << 50;
        QTest::newRow("frame 0: first") << 0 << false << 1;
        QTest::newRow("negative: first") << -7 << false << 1;
        QTest::newRow("while playing: pauses") << 33 << true << 33;
    }

    void jumpToFrame()
    {
        QFETCH(int, frame);
        QFETCH(bool, playing);
        QFETCH(int, expected);
        Player player(50);
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(10);
        if (playing)
            cursor.setPaused(false);
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        QSignalSpy pauses(&cursor, &FrameCursor::pausedChanged);
        cursor.jumpToFrame(frame);
        QCOMPARE(cursor.currentFrame, expected);
        QCOMPARE(shownIndex(cursor), expected - 1);
        QCOMPARE(pictures.count(), 1);
        QVERIFY(cursor.paused);
        QCOMPARE(cursor.playTimerId, -1);
        QCOMPARE(pauses.count(), playing ? 1 : 0);
    }

    // A change of the processing re-processes the frame on display without
    // reading the source again.
    void setProcessingReprocesses_data()
    {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");

        QTest::newRow("180 degrees") << 3 << 64 << 48;
        QTest::newRow("90 degrees clockwise") << 1 << 48 << 64;
        QTest::newRow("flip horizontal") << 4 << 64 << 48;
    }

    void setProcessingReprocesses()
    {
        QFETCH(int, rotation);
        QFETCH(int, width);
        QFETCH(int, height);
        Player player(50);
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(14);
        const int attempts = player.log->attempts;
        const cv::Mat original = cursor.processedFrame.clone();
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);

        PipelineSettings settings;
        settings.rotation = rotation;
        cursor.setProcessing(settings);
        QCOMPARE(cursor.processing().rotation, rotation);
        QCOMPARE(pictures.count(), 1);
        QCOMPARE(player.log->attempts, attempts);
        QCOMPARE(cursor.currentFrame, 14);
        QCOMPARE(cursor.processedFrame.cols, width);
        QCOMPARE(cursor.processedFrame.rows, height);

        cv::Mat expected;
        switch (rotation) {
        case 1: cv::rotate(original, expected, cv::ROTATE_90_CLOCKWISE); break;
        case 3: cv::rotate(original, expected, cv::ROTATE_180); break;
        default: cv::flip(original, expected, 1); break;
        }
        QVERIFY2(cv::norm(cursor.processedFrame, expected, cv::NORM_INF) == 0, "the picture is not the turned frame");
        // The raw frame is not touched by the processing.
        QCOMPARE(testmedia::readIndex(cursor.rawFrame), 13);

        // Back to no processing: the original picture again, still no read.
        cursor.setProcessing(PipelineSettings());
        QCOMPARE(shownIndex(cursor), 13);
        QCOMPARE(player.log->attempts, attempts);
        QCOMPARE(pictures.count(), 2);
    }

    void togglePlaybackTimer()
    {
        Player player(50);
        FrameCursor &cursor = player.cursor;
        QSignalSpy pauses(&cursor, &FrameCursor::pausedChanged);
        QCOMPARE(cursor.playTimerId, -1);
        cursor.togglePlayback();
        QVERIFY(!cursor.paused);
        QVERIFY2(cursor.playTimerId != -1, "playing without a timer");
        QCOMPARE(pauses.count(), 1);
        QCOMPARE(pauses.last().at(0).toBool(), false);
        cursor.togglePlayback();
        QVERIFY(cursor.paused);
        QCOMPARE(cursor.playTimerId, -1);
        QCOMPARE(pauses.count(), 2);
        QCOMPARE(pauses.last().at(0).toBool(), true);
        // Asking for the state it is in announces nothing.
        cursor.setPaused(true);
        QCOMPARE(pauses.count(), 2);

        // The play state carries over a change of source, and so does the timer.
        cursor.setPaused(false);
        cursor.setSource(std::make_unique<FakeSource>(5, player.log));
        QVERIFY(!cursor.paused);
        QVERIFY2(cursor.playTimerId != -1, "playback stopped with the new source");
        cursor.setSource(nullptr);
        QCOMPARE(cursor.playTimerId, -1);
        cursor.setPaused(true);
    }

    // As fast as frames come: every frame in order, then from the start again.
    void playbackUnlimitedWraps()
    {
        Player player(5);
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(0);
        QList<int> shown;
        QList<int> pictures;
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] {
            shown.append(cursor.currentFrame);
            pictures.append(shownIndex(cursor));
        });
        cursor.togglePlayback();
        QTRY_VERIFY2(shown.size() >= 12, qPrintable(QStringLiteral("only %1 frames played").arg(shown.size())));
        cursor.setPaused(true);
        const QList<int> expected{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2};
        QCOMPARE(shown.mid(0, 12), expected);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(pictures.at(i), expected.at(i) - 1);

        // Paused, the timer is gone and nothing more is shown.
        const qsizetype count = shown.size();
        QCOMPARE(cursor.playTimerId, -1);
        QCoreApplication::processEvents();
        QCOMPARE(shown.size(), count);
    }

    // At 100 fps no more frames are shown than the rate allows.
    void playbackRateLimits()
    {
        Player player(1000);
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(100.0);
        QCOMPARE(cursor.playbackRate(), 100.0);
        int shown = 0;
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] { ++shown; });
        QElapsedTimer elapsed;
        elapsed.start();
        cursor.togglePlayback();
        QTest::qWait(300);
        cursor.setPaused(true);
        const qint64 ms = elapsed.elapsed();
        // One frame at once, then one every 10 ms, with slack for timers.
        const qint64 allowed = ms / 10 + 5;
        QVERIFY2(shown <= allowed, qPrintable(QStringLiteral("%1 frames in %2 ms at 100 fps").arg(shown).arg(ms)));
        QVERIFY2(shown >= 1, "nothing played");
        QCOMPARE(cursor.currentFrame, shown);
    }

    // The rate can change while playing; the timer keeps running.
    void playbackRateChangeWhilePlaying()
    {
        Player player(1000);
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(2.0);  // one frame at once, the next after 500 ms
        int shown = 0;
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] { ++shown; });
        cursor.togglePlayback();
        QTRY_VERIFY(shown >= 1);
        const int before = shown;
        cursor.setPlaybackRate(0.0);
        QVERIFY(cursor.playTimerId != -1);
        QTRY_VERIFY2(shown >= before + 20, qPrintable(QStringLiteral("%1 frames after going unlimited").arg(shown - before)));
        cursor.setPaused(true);
    }

    // A source that promises frames but delivers none while paused: the
    // previous picture stays, and it is not asked again until the position changes.
    void sourceDeliversNothing()
    {
        bool deliver = true;
        Player player(50, [&deliver](int index) -> std::optional<cv::Mat> {
            if (!deliver)
                return std::nullopt;
            return testmedia::indexFrame(index, 64, 48);
        });
        FrameCursor &cursor = player.cursor;
        cursor.jumpToFrame(5);
        QCOMPARE(shownIndex(cursor), 4);

        deliver = false;
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        cursor.jumpToFrame(9);
        QCOMPARE(pictures.count(), 0);
        QCOMPARE(shownIndex(cursor), 4);
        const int attempts = player.log->attempts;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!cursor.showFrame());
            cursor.refresh();
        }
        QVERIFY2(player.log->attempts == attempts,
                 qPrintable(QStringLiteral("%1 more reads of a source that delivers nothing")
                                .arg(player.log->attempts - attempts)));
        QCOMPARE(shownIndex(cursor), 4);
        QCOMPARE(pictures.count(), 0);

        // A move asks again, and shows what is delivered then.
        deliver = true;
        cursor.jumpToFrame(12);
        QCOMPARE(pictures.count(), 1);
        QCOMPARE(shownIndex(cursor), 11);
        QCOMPARE(cursor.currentFrame, 12);
    }

    // A source whose reads fail while playing wraps to the start, as after
    // the last frame.
    void playbackWrapsWhenSourceEndsEarly()
    {
        // Counts 20 frames but delivers only the first 3.
        Player player(20, [](int index) -> std::optional<cv::Mat> {
            if (index >= 3)
                return std::nullopt;
            return testmedia::indexFrame(index, 64, 48);
        });
        FrameCursor &cursor = player.cursor;
        cursor.setPlaybackRate(0);
        QList<int> shown;
        connect(&cursor, &FrameCursor::pictureChanged, this, [&] { shown.append(shownIndex(cursor)); });
        cursor.togglePlayback();
        QTRY_VERIFY2(shown.size() >= 7, qPrintable(QStringLiteral("only %1 frames played").arg(shown.size())));
        cursor.setPaused(true);
        QCOMPARE(shown.mid(0, 7), (QList<int>{0, 1, 2, 0, 1, 2, 0}));
    }

    // Frames the pipeline cannot process: the previous picture stays and
    // each reason is reported once, again only after a frame succeeded.
    void processingFailedOncePerReason()
    {
        // Frame index 1 and 2: two 16-bit channels; 3: three dimensions.
        Player player(50, [](int index) -> std::optional<cv::Mat> {
            if (index == 1 || index == 2)
                return cv::Mat(48, 64, CV_16UC2, cv::Scalar(1000, 2000));
            if (index == 3) {
                const int sizes[] = {4, 4, 4};
                return cv::Mat(3, sizes, CV_8UC1, cv::Scalar(7));
            }
            return testmedia::indexFrame(index, 64, 48);
        });
        FrameCursor &cursor = player.cursor;
        QSignalSpy failures(&cursor, &FrameCursor::processingFailed);
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        cursor.jumpToFrame(1);
        QCOMPARE(shownIndex(cursor), 0);
        QCOMPARE(pictures.count(), 1);

        cursor.jumpToFrame(2);  // two channels
        QCOMPARE(failures.count(), 1);
        const QString twoChannels = failures.at(0).at(0).toString();
        QVERIFY2(!twoChannels.isEmpty(), "no reason given");
        QCOMPARE(pictures.count(), 1);
        QCOMPARE(shownIndex(cursor), 0);

        // The same frame again, and the next with the same fault: no new report.
        cursor.refresh();
        cursor.setProcessing(PipelineSettings());
        cursor.jumpToFrame(3);
        QCOMPARE(failures.count(), 1);
        QCOMPARE(pictures.count(), 1);

        cursor.jumpToFrame(4);  // three dimensions: another reason
        QCOMPARE(failures.count(), 2);
        QVERIFY2(failures.at(1).at(0).toString() != twoChannels,
                 qPrintable(QStringLiteral("same reason for another fault: %1").arg(twoChannels)));
        QCOMPARE(shownIndex(cursor), 0);

        cursor.jumpToFrame(5);  // fine
        QCOMPARE(shownIndex(cursor), 4);
        QCOMPARE(pictures.count(), 2);
        cursor.jumpToFrame(2);  // two channels again after a success: reported again
        QCOMPARE(failures.count(), 3);
        QCOMPARE(failures.at(2).at(0).toString(), twoChannels);
        QCOMPARE(shownIndex(cursor), 4);
    }

    // A read that empties the frame counts as nothing delivered, not as a
    // processing fault.
    void emptyFrameIsNoFault()
    {
        Player player(50, [](int index) -> std::optional<cv::Mat> {
            if (index == 6)
                return cv::Mat();
            return testmedia::indexFrame(index, 64, 48);
        });
        FrameCursor &cursor = player.cursor;
        QSignalSpy failures(&cursor, &FrameCursor::processingFailed);
        cursor.jumpToFrame(3);
        QSignalSpy pictures(&cursor, &FrameCursor::pictureChanged);
        cursor.jumpToFrame(7);
        QCOMPARE(failures.count(), 0);
        QCOMPARE(pictures.count(), 0);
        QCOMPARE(shownIndex(cursor), 2);
    }
};

QTEST_MAIN(TestFrameCursor)

#include "tst_framecursor.moc"
