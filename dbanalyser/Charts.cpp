#include "Charts.h"

#include "SolveList.h"

#include <QCoreApplication>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace charts {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Charts", text);
}

QPen pen(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

QFont boldFont(int points)
{
    QFont font;
    font.setPointSize(points);
    font.setWeight(QFont::Bold);
    return font;
}

// A transparent picture of `size` logical pixels at `ratio`.
QImage blankPicture(QSize size, qreal ratio)
{
    ratio = ratio > 0.0 ? ratio : 1.0;
    QImage image(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

// Units of the box plots' labels: 0 seconds, 1 turns per second, 2 moves.
QString valueLabel(float value, int unit)
{
    switch (unit) {
    case 0:
        return db::fixedText(value, 3) + QStringLiteral("s");
    case 1:
        return db::fixedText(value, 1) + QStringLiteral(" tps");
    default:
        return db::fixedText(value, 1) + QStringLiteral(" moves");
    }
}

void drawBoxPlot(QPainter &painter, int w, int h, const SummaryStatistics &s, float lo, float hi, int unit,
                 std::optional<float> marked)
{
    const auto x = [&](float v) { return qreal(v - lo) / qreal(hi - lo) * (w - 10); };
    const qreal middle = (h - 30) * 0.5 + 10;
    painter.drawRect(QRectF(QPointF(x(s.upperQuartile), 10), QPointF(x(s.lowerQuartile), h - 20)));
    painter.drawLine(QPointF(x(s.median), 10), QPointF(x(s.median), h - 20));
    painter.drawLine(QPointF(x(s.largest), middle - 10), QPointF(x(s.largest), middle + 10));
    painter.drawLine(QPointF(x(s.smallest), middle - 10), QPointF(x(s.smallest), middle + 10));
    painter.drawLine(QPointF(x(s.largest), middle), QPointF(x(s.upperQuartile), middle));
    painter.drawLine(QPointF(x(s.smallest), middle), QPointF(x(s.lowerQuartile), middle));
    if (unit >= 0) {
        painter.setFont(boldFont(10));
        painter.drawText(QRectF(x(s.median) - 10, h - 20, 20, 20), Qt::AlignCenter | Qt::TextDontClip,
                         valueLabel(s.median, unit));
    }
    if (marked) {
        painter.setPen(pen(Qt::white, 3));
        painter.drawLine(QPointF(x(*marked), 10), QPointF(x(*marked), h - 20));
        painter.drawText(QRectF(x(*marked) - 10, h - 20, 20, 20), Qt::AlignCenter | Qt::TextDontClip,
                         valueLabel(*marked, unit));
    }
}

void drawScatterPlot(QPainter &painter, int w, int h, const std::vector<std::array<float, 2>> &points,
                     const AxisRanges &r, std::optional<std::array<float, 2>> marked)
{
    if (points.empty())
        return;
    const QColor colour = painter.brush().color();
    painter.fillRect(QRectF(20, 20, w - 40, h - 40), Qt::white);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(20, 20, w - 40, h - 40));

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(pen(Qt::black, 0.5));
    painter.setFont(boldFont(10));
    for (int i = 0; i <= 5; ++i) {
        const qreal t = i / 5.0;
        const qreal x = (w - 40) * t + 20;
        painter.drawLine(QPointF(x, 20), QPointF(x, h - 20));
        painter.drawText(QRectF(x - 5, h - 20, 10, 40), Qt::AlignTop | Qt::AlignHCenter | Qt::TextDontClip,
                         db::fixedText(r.xLow + (r.xHigh - r.xLow) * t, 0));
    }
    for (int i = 0; i <= 5; ++i) {
        const qreal t = i / 5.0;
        const qreal y = (h - 20) - (h - 40) * t;
        painter.drawLine(QPointF(20, y), QPointF(w - 20, y));
        painter.drawText(QRectF(0, y - 5, 20, 10), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip,
                         db::fixedText(r.yLow + (r.yHigh - r.yLow) * t, 0));
    }

    painter.setRenderHint(QPainter::Antialiasing, true);
    const auto place = [&](const std::array<float, 2> &p, qreal *u, qreal *v) {
        *u = qreal(p[0] - r.xLow) / qreal(r.xHigh - r.xLow);
        *v = qreal(p[1] - r.yLow) / qreal(r.yHigh - r.yLow);
        return QPointF((w - 40) * *u + 20, (h - 20) - (h - 40) * *v);
    };
    // One ring, drawn once and stamped at every point rounded to the device
    // pixel (half a device pixel off at most), each place once: with 100,000
    // solves an antialiased circle per solve took most of a second, and most
    // of them fall on places already drawn.
    const qreal ratio = painter.device()->devicePixelRatioF();
    const int side = qCeil(12 * ratio) | 1;  // odd: the centre is a pixel's centre
    QImage ring(side, side, QImage::Format_ARGB32_Premultiplied);
    ring.fill(Qt::transparent);
    {
        QPainter stamp(&ring);
        stamp.setRenderHint(QPainter::Antialiasing, true);
        stamp.scale(ratio, ratio);
        stamp.setPen(pen(colour, 2));
        stamp.drawEllipse(QPointF(side / 2.0 / ratio, side / 2.0 / ratio), 4, 4);
    }
    ring.setDevicePixelRatio(ratio);
    const int deviceWidth = qCeil(w * ratio) + 1;
    std::vector<bool> stamped(size_t(deviceWidth) * size_t(qCeil(h * ratio) + 1), false);
    for (const auto &p : points) {
        qreal u = 0;
        qreal v = 0;
        const QPointF centre = place(p, &u, &v);
        if (u > 1 || v > 1 || !(u == u) || !(v == v))
            continue;
        const int x = qRound(centre.x() * ratio);
        const int y = qRound(centre.y() * ratio);
        if (x < 0 || y < 0 || x >= deviceWidth || size_t(y) * size_t(deviceWidth) + size_t(x) >= stamped.size()) {
            painter.setPen(pen(colour, 2));  // off the picture's grid: drawn as it is
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, 4, 4);
            continue;
        }
        const size_t at = size_t(y) * size_t(deviceWidth) + size_t(x);
        if (stamped[at])
            continue;
        stamped[at] = true;
        painter.drawImage(QPointF((x - side / 2) / ratio, (y - side / 2) / ratio), ring);
    }
    if (marked) {
        qreal u = 0;
        qreal v = 0;
        const QPointF centre = place(*marked, &u, &v);
        painter.setPen(pen(Qt::black, 1));
        painter.setBrush(Qt::red);
        if (u <= 1 && v < 1)
            painter.drawEllipse(centre, 7, 7);
    }
}

void drawRing(QPainter &painter, int w, int h, const std::vector<float> &shares, const QStringList &names,
              int precision, const std::vector<float> &marked)
{
    const int radius = (std::min(w, h) - 20) / 2;
    const QPointF centre(w / 2, h / 2);
    const qreal inner = radius / 2.0;
    double total = 0.0;
    for (const float share : shares)
        total += share;
    if (!(total > 0.0))
        return;
    const QRectF outerRect(10, 10, 2 * radius, 2 * radius);
    const QRectF innerRect(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner);
    const auto onCircle = [&](qreal r, qreal degrees) {
        const qreal a = qDegreesToRadians(degrees);
        return QPointF(centre.x() + r * std::cos(a), centre.y() - r * std::sin(a));
    };
    const std::array<QColor, 12> &colours = palette();

    double before = 0.0;
    std::vector<std::pair<QPointF, QString>> labels;
    for (size_t i = 0; i < shares.size(); ++i) {
        const double f = shares[i] / total;
        const qreal start = 90.0 - before * 360.0;
        const qreal sweep = -f * 360.0;
        QPainterPath path;
        const QPointF first = onCircle(inner, start);
        path.moveTo(first);
        path.arcTo(outerRect, start, sweep);
        const QPointF end = onCircle(radius - 0.5, start + sweep);
        path.lineTo(end);
        path.arcTo(innerRect, start + sweep, -sweep);
        path.lineTo(first);
        painter.setPen(pen(Qt::black, 2));
        painter.setBrush(colours[(i + 2) % colours.size()]);
        painter.drawPath(path);

        const qreal theta = 2 * std::numbers::pi * (before + f / 2) - std::numbers::pi / 2;
        const QString name = i < size_t(names.size()) ? names.at(qsizetype(i)) : QString::number(i + 1);
        labels.emplace_back(QPointF(centre.x() + 0.75 * radius * std::cos(theta),
                                    centre.y() + 0.75 * radius * std::sin(theta)),
                            QStringLiteral("%1\n%2%").arg(name, db::fixedText(f * 100.0, precision)));
        before += f;
    }
    painter.setFont(boldFont(14));
    painter.setPen(Qt::white);
    for (const auto &[anchor, text] : labels)
        painter.drawText(QRectF(anchor.x() - 10, anchor.y() - 10, 20, 20), Qt::AlignCenter | Qt::TextDontClip, text);

    double markedTotal = 0.0;
    for (const float share : marked)
        markedTotal += share;
    if (marked.empty() || !(markedTotal > 0.0))
        return;
    painter.setFont(boldFont(10));
    double upTo = 0.0;
    for (size_t j = 0; j < marked.size(); ++j) {
        const double f = marked[j] / markedTotal;
        upTo += f;
        const qreal theta = 2 * std::numbers::pi * upTo - std::numbers::pi / 2;
        const QPointF at(centre.x() + radius * std::cos(theta), centre.y() + radius * std::sin(theta));
        painter.setPen(pen(Qt::black, 1));
        painter.setBrush(colours[(j + 2) % colours.size()]);
        painter.drawEllipse(at, 8, 8);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(at.x() - 10, at.y() + 8, 20, 20), Qt::AlignTop | Qt::AlignHCenter | Qt::TextDontClip,
                         QStringLiteral("%1%").arg(db::fixedText(f * 100.0, precision)));
    }
}

// With no CFOP solve to average: the ring's outline and a sentence in it.
void drawEmptyRing(QPainter &painter, int w, int h)
{
    const int radius = (std::min(w, h) - 20) / 2;
    const QPointF centre(w / 2, h / 2);
    painter.setPen(pen(QColor(0x80, 0x80, 0x80), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    painter.drawEllipse(centre, radius / 2.0, radius / 2.0);
    painter.setFont(boldFont(10));
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, tr("no CFOP solves"));
}

bool hasTime(const cube::SolveRecord &r)
{
    return r.time != cube::kPlaceholderTime;
}

}  // namespace

const std::array<QColor, 12> &palette()
{
    static const std::array<QColor, 12> colours = {
        QColor(0x1a, 0x13, 0x33), QColor(0x26, 0x29, 0x49), QColor(0x04, 0x54, 0x59), QColor(0x08, 0x73, 0x53),
        QColor(0x15, 0xc2, 0x86), QColor(0xab, 0xd9, 0x6d), QColor(0xfb, 0xbf, 0x54), QColor(0xee, 0x6b, 0x3b),
        QColor(0xec, 0x0f, 0x47), QColor(0xa0, 0x2c, 0x5d), QColor(0x70, 0x04, 0x60), QColor(0x02, 0x2c, 0x7a)};
    return colours;
}

SummaryStatistics summaryStatistics(const std::vector<float> &values)
{
    SummaryStatistics s;
    if (values.empty())
        return s;
    double sum = 0.0;
    int n = 0;
    for (const float v : values) {
        if (!std::isnan(v)) {
            sum += v;
            ++n;
        }
    }
    const double mean = n > 0 ? sum / n : 0.0;
    double squares = 0.0;
    for (const float v : values)
        if (!std::isnan(v))
            squares += (v - mean) * (v - mean);
    const double deviation = n > 0 ? std::sqrt(squares / n) : 0.0;
    if (values.size() < 2) {
        const float v = values.front();
        s.largest = s.upperQuartile = s.median = s.lowerQuartile = s.smallest = s.mean = v;
        s.deviation = 0.0f;
        return s;
    }
    s.mean = float(mean);
    s.deviation = float(deviation);
    std::vector<float> kept;
    kept.reserve(values.size());
    for (const float v : values)
        if (!std::isnan(v) && (deviation == 0.0 || v - mean < 3.0 * deviation))
            kept.push_back(v);
    if (kept.empty())
        return s;
    std::sort(kept.begin(), kept.end());
    const size_t k = kept.size();
    s.smallest = kept.front();
    s.largest = kept.back();
    s.median = k % 2 == 1 ? kept[k / 2] : (kept[k / 2 - 1] + kept[k / 2]) / 2.0f;
    const size_t half = k / 2;
    if (k < 4) {
        s.lowerQuartile = s.smallest;
        s.upperQuartile = s.largest;
    } else if (half % 2 == 1) {
        s.lowerQuartile = kept[half / 2];
        s.upperQuartile = kept[3 * half / 2];
    } else {
        s.lowerQuartile = (kept[half / 2 - 1] + kept[half / 2]) / 2.0f;
        s.upperQuartile = (kept[3 * half / 2 - 1] + kept[3 * half / 2]) / 2.0f;
    }
    return s;
}

const cube::SolveRecord *ChartData::currentRecord() const
{
    if (!records || current < 0 || size_t(current) >= listed.size())
        return nullptr;
    const int32_t index = listed[size_t(current)];
    return index >= 0 && size_t(index) < records->size() ? &(*records)[size_t(index)] : nullptr;
}

QString chartTitle(Chart chart)
{
    switch (chart) {
    case Chart::Times:
        return QStringLiteral("TIMES");
    case Chart::Tps:
        return QStringLiteral("TPS");
    case Chart::MoveCount:
        return QStringLiteral("MOVE COUNT");
    case Chart::CfopSplits:
        return QStringLiteral("CFOP splits");
    case Chart::TimeTps:
        return QStringLiteral("TIME / TPS");
    case Chart::TimeMoveCount:
        return QStringLiteral("TIME / MOVE COUNT");
    }
    return {};
}

QString chartFileName(Chart chart)
{
    switch (chart) {
    case Chart::Times:
        return QStringLiteral("times.png");
    case Chart::Tps:
        return QStringLiteral("tps.png");
    case Chart::MoveCount:
        return QStringLiteral("movecount.png");
    case Chart::CfopSplits:
        return QStringLiteral("cfop-splits.png");
    case Chart::TimeTps:
        return QStringLiteral("time-tps.png");
    case Chart::TimeMoveCount:
        return QStringLiteral("time-movecount.png");
    }
    return {};
}

QSize chartSize(Chart chart, int width)
{
    switch (chart) {
    case Chart::Times:
    case Chart::Tps:
    case Chart::MoveCount:
        return {width, 60};
    case Chart::CfopSplits:
        return {width, width};
    case Chart::TimeTps:
    case Chart::TimeMoveCount:
        return {width, int(width * 0.75)};
    }
    return {};
}

AxisRanges chartRanges(Chart chart)
{
    switch (chart) {
    case Chart::Times:
        return {0, 20, 0, 0};
    case Chart::Tps:
        return {0, 15, 0, 0};
    case Chart::MoveCount:
        return {0, 100, 0, 0};
    case Chart::CfopSplits:
        return {};
    case Chart::TimeTps:
        return {0, 20, 0, 15};
    case Chart::TimeMoveCount:
        return {0, 20, 0, 100};
    }
    return {};
}

std::vector<float> boxValues(Chart chart, const ChartData &data)
{
    std::vector<float> values;
    if (!data.records)
        return values;
    values.reserve(data.listed.size());
    for (const int32_t index : data.listed) {
        if (index < 0 || size_t(index) >= data.records->size())
            continue;
        const cube::SolveRecord &r = (*data.records)[size_t(index)];
        if (chart == Chart::Times && hasTime(r))
            values.push_back(r.time);
        else if (chart == Chart::Tps && r.tps != 0.0f)
            values.push_back(r.tps);
        else if (chart == Chart::MoveCount && r.moveCount > 15)
            values.push_back(float(r.moveCount));
    }
    return values;
}

std::vector<std::array<float, 2>> scatterPoints(Chart chart, const ChartData &data)
{
    std::vector<std::array<float, 2>> points;
    if (!data.records)
        return points;
    for (const int32_t index : data.listed) {
        if (index < 0 || size_t(index) >= data.records->size())
            continue;
        const cube::SolveRecord &r = (*data.records)[size_t(index)];
        if (!hasTime(r))
            continue;
        if (chart == Chart::TimeTps && r.tps != 0.0f)
            points.push_back({r.time, r.tps});
        else if (chart == Chart::TimeMoveCount && r.moveCount != 0)
            points.push_back({r.time, float(r.moveCount)});
    }
    return points;
}

std::optional<std::array<float, 4>> averageCfopShares(const ChartData &data)
{
    if (!data.records)
        return std::nullopt;
    std::array<double, 4> sums{};
    int count = 0;
    for (const int32_t index : data.listed) {
        if (index < 0 || size_t(index) >= data.records->size())
            continue;
        const cube::SolveRecord &r = (*data.records)[size_t(index)];
        if (!hasTime(r) || r.stepShares[0] == 0.0f)
            continue;
        for (size_t i = 0; i < 4; ++i)
            sums[i] += r.stepShares[i];
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    std::array<float, 4> averages{};
    for (size_t i = 0; i < 4; ++i)
        averages[i] = float(sums[i] / count);
    return averages;
}

ChartSummaries summarise(const ChartData &data)
{
    ChartSummaries summaries;
    summaries.boxes[0] = summaryStatistics(boxValues(Chart::Times, data));
    summaries.boxes[1] = summaryStatistics(boxValues(Chart::Tps, data));
    summaries.boxes[2] = summaryStatistics(boxValues(Chart::MoveCount, data));
    summaries.scatters[0] = scatterPoints(Chart::TimeTps, data);
    summaries.scatters[1] = scatterPoints(Chart::TimeMoveCount, data);
    summaries.cfopShares = averageCfopShares(data);
    return summaries;
}

void ChartData::summarise()
{
    summaries.reset();
    summaries = std::make_shared<const ChartSummaries>(charts::summarise(*this));
}

QImage drawChart(Chart chart, const ChartData &data, int width)
{
    // Worked out here only when the caller keeps no summaries.
    std::optional<ChartSummaries> own;
    if (!data.summaries)
        own = summarise(data);
    const ChartSummaries &summaries = data.summaries ? *data.summaries : *own;

    const QSize size = chartSize(chart, width);
    QImage image = blankPicture(size, data.devicePixelRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int w = size.width();
    const int h = size.height();
    const AxisRanges ranges = chartRanges(chart);
    const cube::SolveRecord *current = data.currentRecord();

    switch (chart) {
    case Chart::Times:
    case Chart::Tps:
    case Chart::MoveCount: {
        static const QColor fills[3] = {QColor(0x80, 0xA0, 0xFF), QColor(0xFF, 0xA0, 0x40), QColor(0x80, 0xFF, 0x50)};
        const int unit = chart == Chart::Times ? 0 : chart == Chart::Tps ? 1 : 2;
        std::optional<float> marked;
        if (current)
            marked = unit == 0 ? current->time : unit == 1 ? current->tps : float(current->moveCount);
        painter.setPen(pen(Qt::black, 2));
        painter.setBrush(fills[unit]);
        drawBoxPlot(painter, w, h, summaries.boxes[size_t(unit)], ranges.xLow, ranges.xHigh, unit, marked);
        break;
    }
    case Chart::TimeTps:
    case Chart::TimeMoveCount: {
        std::optional<std::array<float, 2>> marked;
        if (current)
            marked = std::array<float, 2>{current->time,
                                          chart == Chart::TimeTps ? current->tps : float(current->moveCount)};
        painter.setPen(pen(Qt::black, 2));
        painter.setBrush(chart == Chart::TimeTps ? QColor(0x30, 0xC0, 0xF0) : QColor(0xF0, 0xC0, 0xF0));
        drawScatterPlot(painter, w, h, summaries.scatters[chart == Chart::TimeTps ? 0 : 1], ranges, marked);
        break;
    }
    case Chart::CfopSplits: {
        const std::optional<std::array<float, 4>> &averages = summaries.cfopShares;
        if (!averages) {
            drawEmptyRing(painter, w, h);
            break;
        }
        std::vector<float> marked;
        if (current)
            marked.assign(current->stepShares.begin(), current->stepShares.end());
        drawRing(painter, w, h, std::vector<float>(averages->begin(), averages->end()),
                 {QStringLiteral("Cross"), QStringLiteral("F2L"), QStringLiteral("OLL"), QStringLiteral("PLL")}, 0,
                 marked);
        break;
    }
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setFont(QFont());
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, w, h), Qt::AlignLeft | Qt::AlignTop, chartTitle(chart));
    painter.end();
    return image;
}

}  // namespace charts
