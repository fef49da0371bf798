#pragma once

#include <QString>

#include <algorithm>
#include <cstdint>

namespace cv {
class Mat;
}

// Size of the delivered frames in pixels; 0 x 0 when the source cannot tell.
struct FrameSize
{
    int32_t width = 0;
    int32_t height = 0;
};

// What the last read did.
enum class ReadResult {
    Delivered,   // a frame was delivered
    EndOfStream, // nothing left at this position: past the last frame
    Error,       // the file could not be read or decoded here (see errorString())
};

// The out-of-range rule below, for a target index and a frame count.
inline int32_t ClampFrameTarget(int64_t target, int32_t frameCount)
{
    if (frameCount > 0)
        target = std::min<int64_t>(target, frameCount - 1);
    return int32_t(std::clamp<int64_t>(target, 0, INT32_MAX));
}

// A source of video frames: a decoded video file or a numbered image sequence.
//
// Frames are 8-bit, 3-channel BGR images. Every source numbers frames alike:
// seek(n) makes the next read deliver the frame of 0-based index n, and after
// a read getPosition() is the 1-based number of the frame just delivered
// (its index + 1), which is what a split mark stores.
//
// Out-of-range positions, the same rule in every source: seek() and skip()
// raise a target below 0 to 0 and lower a target at or past the frame count
// to the last frame (count - 1). A count of 0 means "none" to the capture
// and image sources (the position stays 0) and "unknown" to the FFmpeg
// source (only the lower bound applies). Reads are not bounded by the count: a source whose count was an
// estimate delivers the frames past it (and corrects its count). After the
// last frame was read (position = count), the next read either reports
// EndOfStream (FFmpeg source) or starts again at frame 0 (capture and image
// sources, which loop).
//
// A source that failed to open stays usable: isOpen() is false,
// errorString() says why, it reports 0 frames and 0 x 0 and delivers
// nothing. Sources never throw.
class FrameGrabber
{
public:
    virtual ~FrameGrabber() = default;

    virtual FrameSize getSize() { return {}; }
    virtual int32_t getFrameCount() { return 0; }
    // Delivers the next frame into `frame` and advances. When nothing could be
    // read `frame` is left as it was (the capture source empties it) and
    // lastRead() tells the end of the stream from an error.
    virtual FrameGrabber &operator>>(cv::Mat &frame) { (void)frame; return *this; }
    // Positions the source so that the next read delivers frame `frameIndex` (0-based).
    virtual void seek(int32_t frameIndex) = 0;
    // Moves the position by `delta` frames, clamped as above.
    virtual void skip(int32_t delta) = 0;
    // Nominal frames per second; 0 when unknown.
    virtual float getFps() { return 0.0f; }
    virtual int32_t getPosition() { return 0; }
    // Releases the file or decoder; the object stays valid until destroyed.
    virtual void close() {}

    // Whether the input could be opened and has something to deliver.
    virtual bool isOpen() const { return false; }
    // Why the source could not be opened or the last read failed; empty
    // when nothing went wrong. One sentence, for the user.
    virtual QString errorString() const { return {}; }
    // The outcome of the last operator>> (Delivered before any read).
    virtual ReadResult lastRead() const { return ReadResult::Delivered; }
    // Whether the frames' durations vary (a variable frame rate video): times
    // computed as frame / FPS are then approximate.
    virtual bool hasVariableFrameRate() const { return false; }
};
