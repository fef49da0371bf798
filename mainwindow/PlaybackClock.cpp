#include "PlaybackClock.h"

#include <algorithm>
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
    // A short delay (a slow frame, a busy moment) is made up by the frames
    // after it, so the average rate stays exact. After a longer one the
    // schedule goes on from now: a stall is not followed by a burst of
    // frames racing to catch up.
    const int64_t allowedLagNs = std::max(periodNs_, kAllowedLagNs);
    if (nowNs - nextDueNs_ > allowedLagNs)
        nextDueNs_ = nowNs;
}

double PlaybackRate(double videoFps, double speed)
{
    if (!std::isfinite(videoFps) || videoFps <= 0.0 || !std::isfinite(speed) || speed <= 0.0)
        return 0.0;
    return videoFps * speed;
}
