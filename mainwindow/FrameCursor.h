#pragma once

#include "FramePipeline.h"
#include "PlaybackClock.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>

class FrameGrabber;

// The player: owns the frame source and the position in it, and turns every
// move (a step, a jump, a seek, a playback tick, a change of the processing)
// into the one sequence "position the source, drop the raw frame, read,
// process, show". Widget-free: it announces a new picture with frameShown()
// and leaves drawing to whoever listens.
//
// Frame numbers: `currentFrame` is what the source's getPosition() reports
// after the frame on display was read, i.e. its 1-based number (0 before
// anything was read); a frame index (as seek() takes) is 0-based.
class FrameCursor : public QObject
{
    Q_OBJECT

public:
    explicit FrameCursor(QObject *parent = nullptr);
    ~FrameCursor() override;

    // Replaces the frame source (closing the old one) and moves to the start:
    // `currentFrame` 0, nothing read yet, `totalFrames` from the source. The
    // playing or paused state carries over. Null closes the source.
    void setSource(std::unique_ptr<FrameGrabber> source);
    FrameGrabber *source() const { return grabber.get(); }
    bool hasSource() const { return grabber != nullptr; }

    // The processing every shown frame goes through. Changing it re-processes
    // the frame on display (and shows it) without reading a new one while paused.
    void setProcessing(const PipelineSettings &settings);
    const PipelineSettings &processing() const { return settings; }
    // The pipeline with its super-resolution models (never null).
    FramePipeline &pipeline() { return *framePipeline; }

    int32_t currentFrame = 0;
    int32_t totalFrames = 0;
    bool paused = true;
    // While paused: the frame asked for was read (or could not be), nothing
    // more to fetch until the next move.
    bool frameShown = false;
    cv::Mat rawFrame;
    // Output of the pipeline for the frame on display; may share pixels with
    // `rawFrame`: read-only.
    cv::Mat processedFrame;
    // Held while a frame is read, processed and published.
    QMutex frameMutex;

    // Reads the frame asked for (or the next while playing), processes it and
    // announces it. Does nothing without a source; returns whether a new
    // picture was published.
    bool showFrame();
    // Shows the frame on display again with the current processing (or the
    // next frame while playing).
    void refresh();

    // The four steps of the buttons and keys: -10, -1, +1, +10 frames. One
    // frame back or forward pauses; ten frames keep playing or paused.
    // Back 10 needs currentFrame >= 11, back 1 needs currentFrame >= 2;
    // forward 10 near the end stops at the last frame.
    void step(int frames);
    // Shows frame index `frameIndex` (0-based, clamped to the video); keeps
    // playing or paused (timeline and split-list seeks).
    void seekToIndex(int32_t frameIndex);
    // Pauses and shows the frame numbered `frameNumber` (1-based, clamped to
    // the video): go to frame and the jumps to split marks.
    void jumpToFrame(int32_t frameNumber);

    void togglePlayback();
    void setPaused(bool paused);
    // Playback rate in frames per second; 0 plays as fast as frames come.
    void setPlaybackRate(double framesPerSecond);
    double playbackRate() const { return rate; }
    // Id of the running playback timer, -1 while none runs (paused, or no source).
    int32_t playTimerId = -1;

Q_SIGNALS:
    // A new picture is in `processedFrame` for `currentFrame`.
    void pictureChanged();
    // Processing failed; the previous picture stays. Reported once per reason.
    void processingFailed(const QString &reason);
    // The source could not read or decode the frame asked for (the end of
    // the stream is no failure): the previous picture stays and playback
    // stops there. Reported once per reason until a frame is read again or
    // the source changes; `reason` is one sentence naming the file.
    void readFailed(const QString &reason);
    // Playback started or stopped.
    void pausedChanged(bool paused);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void scheduleNextTick();
    void stopTimer();

    std::unique_ptr<FrameGrabber> grabber;
    std::unique_ptr<FramePipeline> framePipeline;
    PipelineSettings settings;
    PlaybackClock clock;
    QElapsedTimer monotonic;
    double rate = 0.0;
    QString lastError;
    QString lastReadError;
};
