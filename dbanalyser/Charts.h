#pragma once

#include "SolveRecord.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The six pictures of the analyser's statistics panel: box plots of the
// times, turns per second and move counts, the average CFOP step shares as a
// ring, and time against TPS and against move count. Drawing needs no widget
// (a QGuiApplication for the fonts is enough), so the command line writes
// the same pictures.
namespace charts {

// The ring's segment colours, in order ("#1a1333" ... "#022c7a").
const std::array<QColor, 12> &palette();

// The box plot's input. Outliers on the high side (three deviations above
// the mean or more) are left out of the five order statistics, not of the
// mean and deviation.
struct SummaryStatistics
{
    float largest = 0.0f;
    float upperQuartile = 0.0f;
    float median = 0.0f;
    float lowerQuartile = 0.0f;
    float smallest = 0.0f;
    float mean = 0.0f;
    float deviation = 0.0f;
};

// NaN values take no part; an empty list gives all zeros.
SummaryStatistics summaryStatistics(const std::vector<float> &values);

struct ChartSummaries;

// What the charts show: the listed solves (indices into `records`, in list
// order), read where they are, and the marked one. The records must outlive
// the data.
struct ChartData
{
    const std::vector<cube::SolveRecord> *records = nullptr;
    std::vector<int32_t> listed;
    int32_t current = -1;  // position in `listed` of the marked solve; -1: none
    // Pictures are drawn this many device pixels per logical pixel, so that
    // they stay sharp on high-density screens.
    qreal devicePixelRatio = 1.0;

    // What the charts draw from the records and the list (box statistics,
    // scatter points, average shares), kept by summarise() so that moving
    // the marked solve only redraws; null: drawChart works them out each time.
    std::shared_ptr<const ChartSummaries> summaries;

    // The marked solve's record, or null.
    const cube::SolveRecord *currentRecord() const;
    // Works out `summaries` for the records and the list as they are now;
    // call it again after either changes.
    void summarise();
};

enum class Chart { Times, Tps, MoveCount, CfopSplits, TimeTps, TimeMoveCount };
inline constexpr std::array<Chart, 6> kCharts = {Chart::Times, Chart::Tps, Chart::MoveCount,
                                                 Chart::CfopSplits, Chart::TimeTps, Chart::TimeMoveCount};

// The chart's title as drawn ("TIMES", "TPS", "MOVE COUNT", "CFOP splits",
// "TIME / TPS", "TIME / MOVE COUNT").
QString chartTitle(Chart chart);
// The file the command line writes it to ("times.png", "tps.png", ...).
QString chartFileName(Chart chart);
// Its size in logical pixels at `width`: W x 60 for the box plots, W x W for
// the ring, W x (W * 3 / 4) for the scatter plots.
QSize chartSize(Chart chart, int width);
// Value ranges of the axes: lower and upper bound across, then up (the box
// plots have only the first pair).
struct AxisRanges
{
    float xLow = 0.0f;
    float xHigh = 0.0f;
    float yLow = 0.0f;
    float yHigh = 0.0f;
};
AxisRanges chartRanges(Chart chart);

// The chart drawn on a transparent picture of chartSize(chart, width) at the
// data's device pixel ratio, title in white at the top left.
QImage drawChart(Chart chart, const ChartData &data, int width);

// The values a box plot or scatter plot shows, for the listed solves that
// pass the chart's inclusion test (times other than the placeholder, TPS
// other than 0, move counts above 15 for the box plot and other than 0 for
// the scatter plot). The ring's are the average shares of the CFOP solves.
std::vector<float> boxValues(Chart chart, const ChartData &data);
std::vector<std::array<float, 2>> scatterPoints(Chart chart, const ChartData &data);
// Average cross, F2L, OLL and PLL shares over the listed solves with a real
// time and a first share other than 0; nullopt when there is none.
std::optional<std::array<float, 4>> averageCfopShares(const ChartData &data);

// Everything the charts draw that does not depend on the marked solve.
struct ChartSummaries
{
    std::array<SummaryStatistics, 3> boxes;                      // Times, Tps, MoveCount
    std::array<std::vector<std::array<float, 2>>, 2> scatters;   // TimeTps, TimeMoveCount
    std::optional<std::array<float, 4>> cfopShares;
};
ChartSummaries summarise(const ChartData &data);

}  // namespace charts
