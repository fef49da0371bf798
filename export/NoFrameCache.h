#pragma once

#include "FFGrabber.h"
#include "FrameGrabber.h"

#include <cstddef>

// While it lives, an FFmpeg source keeps none of the frames it decodes: a
// forward export reads each frame once, and the cache (kept for stepping
// back, up to 256 MiB) would only hold memory. The source's bound comes back after.
class NoFrameCache
{
public:
    explicit NoFrameCache(FrameGrabber &source)
        : grabber_(dynamic_cast<FFGrabber *>(&source))
    {
        if (grabber_)
            previous_ = grabber_->setCacheLimit(0);
    }
    ~NoFrameCache()
    {
        if (grabber_)
            grabber_->setCacheLimit(previous_);
    }
    NoFrameCache(const NoFrameCache &) = delete;
    NoFrameCache &operator=(const NoFrameCache &) = delete;

private:
    FFGrabber *grabber_ = nullptr;
    size_t previous_ = 0;
};
