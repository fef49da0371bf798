#include "PlaybackClock.h"

#include <cmath>

void PlaybackClock::start(int64_t nowNs, double framesPerSecond)
{
    periodNs_ = (std::isfinite(framesPerSecond) && framesPerSecond > 0.0)
                    ? static_cast<int64_t>(std::llround(1e9 / framesPerSecond))
                    : 0;
    // The first frame is due at once; the rate counts from it.
    nextDueNs_ = nowNs;
}

int PlaybackClock::msUntilDue(int64_t nowNs) const
{
    if (periodNs_ <= 0 || nowNs >= nextDueNs_)
        return 0;
    const int64_t waitNs = nextDueNs_ - nowNs;
    return static_cast<int>((waitNs + 999999) / 1000000);
}

void PlaybackClock::frameShown(int64_t nowNs)
{
    if (periodNs_ <= 0) {
        nextDueNs_ = nowNs;
        return;
    }
    nextDueNs_ += periodNs_;
    // Behind by more than the frame just shown: the next one is due at once
    // and the schedule goes on from now. The debt is never more than one
    // frame, so a stall is not followed by a burst, and a decoder slower
    // than the rate plays as fast as it can instead of waiting.
    if (nextDueNs_ < nowNs)
        nextDueNs_ = nowNs;
}

double PlaybackRate(double videoFps, double speed)
{
    if (!std::isfinite(videoFps) || videoFps <= 0.0 || !std::isfinite(speed) || speed <= 0.0)
        return 0.0;
    return videoFps * speed;
}
