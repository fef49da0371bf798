#include "TimeText.h"

#include <algorithm>
#include <cmath>

namespace {

QString formatTime(int64_t minutes, int64_t seconds, int64_t ms, int32_t frame)
{
    return QStringLiteral("%1:%2:%3 (%4)")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(ms, 3, 10, QLatin1Char('0'))
        .arg(frame);
}

// Seconds of a step of `frames` frames: computed in double precision and
// rounded to single precision before it is shown.
QString stepSeconds(int64_t frames, double fps)
{
    const float seconds = static_cast<float>(static_cast<double>(frames) / fps);
    return QString::number(static_cast<double>(seconds), 'f', 3);
}

}  // namespace

QString TimeString(int32_t frame, double fps)
{
    if (!(fps > 0.0) || !std::isfinite(fps))
        return QStringLiteral("--:--:--- (%1)").arg(frame);
    // The exact rate (29.97 stays 29.97), rounded to the nearest millisecond:
    // frame 156 at 30 fps is 5.2 s, which truncation would show as 5.199.
    const double exactMs = std::round(static_cast<double>(frame) * 1000.0 / fps);
    const auto totalMs = static_cast<int64_t>(std::clamp(exactMs, 0.0, 1e15));
    const int64_t s = totalMs / 1000;
    // Hours are not shown: the minutes count within the hour.
    return formatTime((s / 60) % 60, s % 60, totalMs % 1000, frame);
}

std::vector<SplitListRow> SplitListRows(const Marks &marks, double fps, int colourCount)
{
    std::vector<SplitListRow> rows;
    rows.reserve(marks.size() + 1);
    for (size_t i = 0; i < marks.size(); ++i) {
        QString text = QStringLiteral("%1: %2").arg(i).arg(TimeString(marks[i], fps));
        if (i > 0) {
            const int64_t length = int64_t(marks[i]) - int64_t(marks[i - 1]) + 1;
            text += QLatin1Char('\t') + QString::number(length) + QLatin1String("f (")
                    + stepSeconds(length, fps) + QLatin1String("s)");
        }
        const int colour = colourCount > 0 ? static_cast<int>((i + 1) % size_t(colourCount)) : -1;
        rows.push_back({text, colour});
    }
    if (marks.size() >= 2) {
        const int64_t total = int64_t(marks.back()) - int64_t(marks.front()) + 1;
        rows.push_back({QLatin1String("Total:\t\t") + QString::number(total) + QLatin1String("f (")
                            + stepSeconds(total, fps) + QLatin1String("s)"),
                        -1});
    }
    return rows;
}

int MarkIndexForListRow(int row, int rowCount, int markCount)
{
    if (rowCount > 2 && row == rowCount - 1)
        row -= 1;
    return (row >= 0 && row < markCount) ? row : -1;
}
