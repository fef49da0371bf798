#pragma once

#include <cstdint>

// Scale of the timeline's ruler: how many minutes a labelled minute tick
// stands for, and how a minute is subdivided into second ticks, chosen from
// the pixels per hour / per minute and the width of a two-digit label.

// Minutes between labelled minute ticks (1, 2, 3, 6, 10, 15, 20, 30 or 60).
int MinuteStep(int pixelsPerHour, double labelWidth);

struct SecondTicks
{
    int count = 1;  // ticks per minute
    int unit = 60;  // seconds between ticks
};
SecondTicks SecondSubdivision(int pixelsPerMinute, double labelWidth);

// Frame (0-based) that a click at fraction `u` of the timeline's width seeks
// to: clamped to [0, totalFrames - 1].
int32_t TimelineSeekFrame(double u, int32_t totalFrames);

// Whether a label of `textWidth` x `textHeight` pixels fits inside a block of
// `blockWidth` x `blockHeight` with a pixel to spare on each side.
bool LabelFits(int textWidth, int textHeight, int blockWidth, int blockHeight);
