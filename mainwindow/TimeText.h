#pragma once

#include "SolveModel.h"

#include <QString>

#include <cstdint>
#include <vector>

// Time text of frame `frame` at `fps` frames per second: "MM:SS:mmm (frame)",
// the time frame / fps rounded to the nearest millisecond, e.g. frame 95 at
// 30 fps gives "00:03:167 (95)" and frame 156 "00:05:200 (156)". The exact
// rate is used (29.97 stays 29.97); hours are dropped from the minutes, and a
// negative frame reads as time 0. A rate that is not a positive number gives
// "--:--:--- (frame)".
QString TimeString(int32_t frame, double fps);

// One row of the split list.
struct SplitListRow
{
    QString text;
    // Index into the mark colours, or -1 for the black total row.
    int colourIndex = -1;
};

// Rows of the split list for `marks` at `fps` frames per second: one row per
// mark ("i: time", then the step length in frames and seconds from the second
// mark on) and, for two or more marks, the total row. `colourCount` is the
// number of mark colours; row i uses colour (i + 1) mod colourCount.
std::vector<SplitListRow> SplitListRows(const Marks &marks, double fps, int colourCount);

// Mark index that a double-click on split-list `row` jumps to, or -1 when the
// row names no mark. The total row jumps to the last mark.
int MarkIndexForListRow(int row, int rowCount, int markCount);
