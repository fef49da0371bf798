#pragma once

#include "FrameGrabber.h"

#include <QString>

#include <cstddef>
#include <memory>

// Frame source decoding a video file with FFmpeg, frame-exact: after seek(n)
// the next read delivers exactly the frame of 0-based index n, whatever the
// codec's reordering (B-frames) or key-frame spacing, and the delayed pictures
// at the end of the file are delivered too. Frames are identified by their
// presentation time stamps. A bounded cache of recently decoded frames makes
// short backward steps cheap.
//
// Opening decodes the first picture, so a file that holds no decodable frame
// is reported as not open (isOpen(), errorString()).
//
// Numbering: after a read getPosition() is the 1-based number of the frame
// just delivered (its 0-based index + 1); after seek(n), before the next read,
// it is n. Either way the source "stands just after" the frame on display, so
// skip(-2) shows the previous frame and skip(9) the tenth one ahead.
//
// Delivered images share their pixels with the cache: treat them as read-only
// (copy before drawing into them).
class FFGrabber : public FrameGrabber
{
public:
    // `decodingThreads` as for setDecodingThreads (0: the default).
    explicit FFGrabber(const QString &path, int decodingThreads = 0);
    ~FFGrabber() override;

    FrameSize getSize() override;
    // The stream's stored frame count (nb_frames); when the container stores
    // none, the stream's duration (or, without one, the container's) times
    // r_frame_rate, rounded to the nearest frame.
    int32_t getFrameCount() override;
    FFGrabber &operator>>(cv::Mat &frame) override;
    void seek(int32_t frameIndex) override;
    void skip(int32_t delta) override;
    float getFps() override;
    int32_t getPosition() override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    ReadResult lastRead() const override;
    // Decided when the file is opened, from the presentation times of its
    // first frames (up to kRateProbeFrames): variable when a frame's duration
    // differs from the typical one by more than 1 % (and more than the
    // container's time-stamp resolution).
    bool hasVariableFrameRate() const override;
    static constexpr int kRateProbeFrames = 300;

    // Introspection of the decoded-frame cache, for tests and measurements:
    // the frames it holds and their bytes (converted images and decoded
    // pictures not yet converted).
    size_t cachedFrames() const;
    size_t cachedBytes() const;
    // How many decoded frames of `width` x `height` the cache keeps at most:
    // 64, or fewer when 64 such BGR frames would exceed 256 MiB.
    static size_t cacheCapacity(int width, int height);
    // Bounds the cache from now on to `frames` decoded frames, at most
    // cacheCapacity() of the video's size (the bound a source starts with).
    // A reader that only goes forward, as an export does, needs none: 0
    // keeps no frame. Returns the bound it replaces (0 when not open).
    size_t setCacheLimit(size_t frames);
    // Decodes with `threads` frame threads from now on (0: the default,
    // about twice the cores, which keeps the cores busy while stepping).
    // When other threads already keep every core busy, as an export's do,
    // one thread decodes the same frames with a fifth less work, and opens
    // in a fraction of the time (no per-thread buffers to set up). The
    // decoder is opened again: the next read seeks. Returns the count it
    // replaces (0 when not open); a decoder that cannot be opened again keeps
    // the old one.
    int setDecodingThreads(int threads);
    static int defaultDecodingThreads();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
