#pragma once

#include <cstdint>

// When the next frame of a playing video is due.
//
// Frame n after start() is due at start + n / rate. Frames shown late by up
// to kAllowedLagNs (or one period, if that is longer) are made up by the
// frames after them, so a decoder that keeps up on average plays at exactly
// the rate even if some frames take longer. After a longer delay the next
// frame is due at once and the schedule goes on from then: a stall (a seek)
// is not followed by a burst of frames racing to catch up, and a decoder
// slower than the rate plays as fast as it can. Times are in nanoseconds of
// any monotonic clock.
class PlaybackClock
{
public:
    // Frames per second to play at; a rate that is not a positive finite
    // number means "as fast as frames come" (every frame is due at once).
    void start(int64_t nowNs, double framesPerSecond);
    bool limited() const { return periodNs_ > 0; }
    // Milliseconds to wait from `nowNs` until the next frame is due, rounded
    // up (never early); 0 when it is due or playback is unlimited.
    int msUntilDue(int64_t nowNs) const;
    bool due(int64_t nowNs) const { return nowNs >= nextDueNs_; }
    // A frame was shown at `nowNs`: schedules the next one.
    void frameShown(int64_t nowNs);

    // How far behind its schedule playback may fall and still catch up.
    static constexpr int64_t kAllowedLagNs = 100'000'000;

private:
    int64_t periodNs_ = 0;
    int64_t nextDueNs_ = 0;
};

// The frame rate to play at: the video's frame rate (the FPS box) times the
// chosen speed (0.1x to 2x). The result is what PlaybackClock::start takes.
double PlaybackRate(double videoFps, double speed);

// The speeds offered for playback, slowest first, and the index of 1x.
inline constexpr double kPlaybackSpeeds[] = {0.1, 0.25, 0.5, 1.0, 2.0};
inline constexpr int kNormalSpeedIndex = 3;
