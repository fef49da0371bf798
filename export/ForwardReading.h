#pragma once

#include "FFGrabber.h"
#include "FrameGrabber.h"

#include <cstddef>

// While it lives, an FFmpeg source reads for an export that goes through the
// frames once, forward: it keeps none of the frames it decodes (the cache,
// kept for stepping back, up to 256 MiB, would only hold memory) and, with
// Decoding::OneThread, decodes on a single thread, for an export whose own
// threads already keep every core busy. The source's settings come back after.
class ForwardReading
{
public:
    enum class Decoding { AsSet, OneThread };

    explicit ForwardReading(FrameGrabber &source, Decoding decoding = Decoding::AsSet)
        : grabber_(dynamic_cast<FFGrabber *>(&source))
    {
        if (!grabber_)
            return;
        previousCache_ = grabber_->setCacheLimit(0);
        if (decoding == Decoding::OneThread)
            previousThreads_ = grabber_->setDecodingThreads(1);
    }
    ~ForwardReading()
    {
        if (!grabber_)
            return;
        grabber_->setCacheLimit(previousCache_);
        if (previousThreads_ > 0)
            grabber_->setDecodingThreads(previousThreads_);
    }
    ForwardReading(const ForwardReading &) = delete;
    ForwardReading &operator=(const ForwardReading &) = delete;

private:
    FFGrabber *grabber_ = nullptr;
    size_t previousCache_ = 0;
    int previousThreads_ = 0;  // 0: the thread count was left alone
};
