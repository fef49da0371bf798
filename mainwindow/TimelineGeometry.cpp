#include "TimelineGeometry.h"

#include <algorithm>

int MinuteStep(int pixelsPerHour, double labelWidth)
{
    const double p = pixelsPerHour;
    const double w = labelWidth;
    if (p > 120 * w)
        return 1;
    if (p > 60 * w)
        return 2;
    if (p > 40 * w)
        return 3;
    if (p > 20 * w)
        return 6;
    if (p > 12 * w)
        return 10;
    if (p > 8 * w)
        return 15;
    if (p > 6 * w)
        return 20;
    if (p > 4 * w)
        return 30;
    return 60;
}

SecondTicks SecondSubdivision(int pixelsPerMinute, double labelWidth)
{
    const double q = pixelsPerMinute;
    const double w = labelWidth;
    if (q > 120 * w)
        return {60, 1};
    if (q > 60 * w)
        return {30, 2};
    if (q > 40 * w)
        return {20, 3};
    if (q > 20 * w)
        return {10, 6};
    if (q > 12 * w)
        return {6, 10};
    if (q > 8 * w)
        return {4, 15};
    if (q > 6 * w)
        return {3, 20};
    if (q > 4 * w)
        return {2, 30};
    return {1, 60};
}

int32_t TimelineSeekFrame(double u, int32_t totalFrames)
{
    if (u > 1)
        u = 1;
    auto f = static_cast<int32_t>(static_cast<float>(totalFrames) * static_cast<float>(u));
    if (f < 1)
        f = 0;
    if (f > totalFrames - 1)
        f = std::max(totalFrames - 1, 0);
    return f;
}

bool LabelFits(int textWidth, int textHeight, int blockWidth, int blockHeight)
{
    return textWidth + 2 <= blockWidth && textHeight <= blockHeight;
}
