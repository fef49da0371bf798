#pragma once

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

// A source of video frames: a decoded video file or a numbered image sequence.
//
// Frames are 8-bit, 3-channel BGR images. Every source numbers frames alike:
// seek(n) makes the next read deliver the frame of 0-based index n, and after
// a read getPosition() is the 1-based number of the frame just delivered
// (its index + 1), which is what a split mark stores. A source that failed to
// open stays usable: it reports 0 frames and delivers none. Sources never
// throw.
class FrameGrabber
{
public:
    virtual ~FrameGrabber() = default;

    virtual FrameSize getSize() { return {}; }
    virtual int32_t getFrameCount() { return 0; }
    // Delivers the next frame into `frame` and advances. When nothing could be
    // read `frame` is left as it was (the capture source empties it).
    virtual FrameGrabber &operator>>(cv::Mat &frame) { (void)frame; return *this; }
    // Positions the source so that the next read delivers frame `frameIndex` (0-based).
    virtual void seek(int32_t frameIndex) = 0;
    // Moves the position by `delta` frames, clamped to the source's range.
    virtual void skip(int32_t delta) = 0;
    // Nominal frames per second; 0 when unknown.
    virtual float getFps() { return 0.0f; }
    virtual int32_t getPosition() { return 0; }
    // Releases the file or decoder; the object stays valid until destroyed.
    virtual void close() {}
};
