#include "FrameCursor.h"

#include "FrameGrabber.h"
#include "Navigation.h"

#include <QTimerEvent>

FrameCursor::FrameCursor(QObject *parent)
    : QObject(parent)
    , framePipeline(std::make_unique<FramePipeline>())
{
    monotonic.start();
}

FrameCursor::~FrameCursor()
{
    stopTimer();
    if (grabber)
        grabber->close();
}

void FrameCursor::setSource(std::unique_ptr<FrameGrabber> source)
{
    stopTimer();
    {
        const QMutexLocker locker(&frameMutex);
        if (grabber)
            grabber->close();
        grabber = std::move(source);
        totalFrames = grabber ? grabber->getFrameCount() : 0;
        currentFrame = 0;
        frameShown = false;
        rawFrame.release();
        processedFrame.release();
        lastError.clear();
        lastReadError.clear();
    }
    Q_EMIT pictureChanged();
    if (!paused) {
        clock.start(monotonic.nsecsElapsed(), rate);
        scheduleNextTick();
    }
}

void FrameCursor::setProcessing(const PipelineSettings &newSettings)
{
    settings = newSettings;
    refresh();
}

bool FrameCursor::showFrame()
{
    if (!grabber)
        return false;
    bool readError = false;
    bool newReadError = false;
    bool newProcessingError = false;
    bool shown = false;
    {
        const QMutexLocker locker(&frameMutex);
        if (!paused)
            rawFrame.release();  // playing: always the next frame
        // While paused a frame is read only when one was asked for: a source
        // that delivered nothing is not asked again until the next move.
        bool read = false;
        if (rawFrame.empty() && !(paused && frameShown)) {
            *grabber >> rawFrame;
            read = true;
        }
        if (rawFrame.empty()) {
            if (read && grabber->lastRead() == ReadResult::Error) {
                QString reason = grabber->errorString();
                if (reason.isEmpty())
                    reason = tr("A frame of the video cannot be read.");
                readError = true;
                newReadError = reason != lastReadError;
                lastReadError = reason;
                // Wrapping to the start would pass the failure off as the
                // end of the video and run into it again on every round.
                frameShown = true;
            } else if (!paused) {
                // The source has nothing more although its count promised
                // more frames: playback wraps as it does after the last one.
                grabber->seek(0);
            } else {
                frameShown = true;  // keep the picture; do not retry on every tick
            }
        } else {
            lastReadError.clear();
            QString error;
            cv::Mat processed = framePipeline->process(rawFrame, settings, &error);
            if (processed.empty()) {
                if (paused)
                    frameShown = true;
                newProcessingError = error != lastError;
                lastError = error;
            } else {
                lastError.clear();
                processedFrame = processed;
                currentFrame = grabber->getPosition();
                if (!paused && (currentFrame < 0 || currentFrame >= totalFrames))
                    grabber->seek(0);  // playback wraps to the start after the last frame
                if (paused)
                    frameShown = true;
                shown = true;
            }
        }
    }
    // Announced outside the lock: listeners may move the player.
    if (readError) {
        // Playback stops on a frame that cannot be read.
        setPaused(true);
        if (newReadError)
            Q_EMIT readFailed(lastReadError);
    }
    if (newProcessingError)
        Q_EMIT processingFailed(lastError);
    if (shown)
        Q_EMIT pictureChanged();
    return shown;
}

void FrameCursor::refresh()
{
    showFrame();
}

void FrameCursor::step(int frames)
{
    if (!grabber)
        return;
    if ((frames == -10 && currentFrame < 11) || (frames == -1 && currentFrame < 2))
        return;
    // The source stands just after the frame on display, so the offsets are
    // one more than the visible step backwards and one less forwards.
    rawFrame.release();
    frameShown = false;
    if (frames != 1)
        grabber->skip(frames - 1);
    currentFrame = grabber->getPosition();
    if (frames < 0 && currentFrame < 0) {
        grabber->seek(0);
        currentFrame = grabber->getPosition();
    } else if (frames == 10 && totalFrames > 0 && currentFrame >= totalFrames) {
        // The skip stopped at the end, where the read would deliver nothing
        // and the counter would name a frame that is not on display: stop at
        // the last frame. (A single step reads on, so that frames past an
        // estimated count stay reachable.)
        grabber->seek(totalFrames - 1);
        currentFrame = grabber->getPosition();
    }
    if (frames == -1 || frames == 1)
        setPaused(true);
    refresh();
}

void FrameCursor::seekToIndex(int32_t frameIndex)
{
    if (!grabber)
        return;
    const int32_t index = SeekIndexForFrame(frameIndex + 1, totalFrames);
    currentFrame = index;
    grabber->seek(index);
    rawFrame.release();
    frameShown = false;
    refresh();
}

void FrameCursor::jumpToFrame(int32_t frameNumber)
{
    if (!grabber)
        return;
    setPaused(true);
    rawFrame.release();
    frameShown = false;
    grabber->seek(SeekIndexForFrame(frameNumber, totalFrames));
    currentFrame = grabber->getPosition();
    refresh();
}

void FrameCursor::togglePlayback()
{
    setPaused(!paused);
}

void FrameCursor::setPaused(bool pause)
{
    if (pause == paused)
        return;
    paused = pause;
    if (paused) {
        stopTimer();
    } else {
        frameShown = false;
        clock.start(monotonic.nsecsElapsed(), rate);
        scheduleNextTick();
    }
    Q_EMIT pausedChanged(paused);
}

void FrameCursor::setPlaybackRate(double framesPerSecond)
{
    rate = framesPerSecond;
    if (!paused) {
        clock.start(monotonic.nsecsElapsed(), rate);
        scheduleNextTick();
    }
}

void FrameCursor::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != playTimerId) {
        QObject::timerEvent(event);
        return;
    }
    stopTimer();
    if (paused || !grabber)
        return;
    if (clock.due(monotonic.nsecsElapsed())) {
        showFrame();
        clock.frameShown(monotonic.nsecsElapsed());
    }
    scheduleNextTick();
}

void FrameCursor::scheduleNextTick()
{
    stopTimer();
    if (paused || !grabber)
        return;
    const int delay = clock.msUntilDue(monotonic.nsecsElapsed());
    playTimerId = startTimer(delay, Qt::PreciseTimer);
}

void FrameCursor::stopTimer()
{
    if (playTimerId != -1) {
        killTimer(playTimerId);
        playTimerId = -1;
    }
}
