// The analyser's charts: the summary statistics behind the box plots, and
// pixels proving that the box, the median, the marked value, the scatter
// points and the ring's segments land where the drawing rules put them; the
// same pictures written by framewright-cli db --charts.

#include "Charts.h"
#include "media/CliRun.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using charts::Chart;
using charts::ChartData;
using cube::SolveRecord;

namespace {

SolveRecord record(float time, float tps = 0.0f, int moves = 0, std::array<float, 4> shares = {})
{
    SolveRecord r;
    r.time = time;
    r.tps = tps;
    r.moveCount = moves;
    r.stepShares = shares;
    return r;
}

ChartData dataOf(const std::vector<SolveRecord> &records, int current = -1)
{
    ChartData data;
    data.records = &records;
    for (size_t i = 0; i < records.size(); ++i)
        data.listed.push_back(int32_t(i));
    data.current = current;
    return data;
}

// The colour at logical (x, y), whatever the picture's pixel ratio.
QColor at(const QImage &image, qreal x, qreal y)
{
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(int(x * ratio), int(y * ratio));
}

bool near(const QColor &a, const QColor &b, int tolerance = 24)
{
    return a.alpha() > 200 && std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Whether a pixel of about `colour` lies within `radius` of (x, y).
bool colourAround(const QImage &image, qreal x, qreal y, const QColor &colour, int radius = 2)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (near(at(image, x + dx, y + dy), colour))
                return true;
    return false;
}

int countColour(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixelColor(x, y), colour, 4))
                ++count;
    return count;
}

const QColor kTimesFill(0x80, 0xA0, 0xFF);

}  // namespace

class TestCharts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void summaryStatistics_data();
    void summaryStatistics();
    void timesBoxPlot_boxMedianAndMarkedValue_data();
    void timesBoxPlot_boxMedianAndMarkedValue();
    void slowSolve_leftOutOfTheBoxKeptInTheScatter();
    void ring_segmentsAndMarkedShares();
    void ring_withoutCfopSolves_saysSo();
    void scatter_withoutPoints_drawsOnlyTheTitle();
    void summaries_drawTheSamePictures();
    void cli_writesTheSamePictures();
    void cli_refusals_data();
    void cli_refusals();
};

void TestCharts::summaryStatistics_data()
{
    QTest::addColumn<std::vector<float>>("values");
    // largest, upper quartile, median, lower quartile, smallest, mean, deviation
    QTest::addColumn<std::vector<float>>("expected");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("10 to 13: k = 4, h = 2") << std::vector<float>{13, 10, 12, 11}
                                            << std::vector<float>{13, 12.5f, 11.5f, 10.5f, 10, 11.5f, std::sqrt(1.25f)};
    QTest::newRow("1 to 9: k = 9, h = 4") << std::vector<float>{9, 1, 8, 2, 7, 3, 6, 4, 5}
                                          << std::vector<float>{9, 6.5f, 5, 2.5f, 1, 5, std::sqrt(60.0f / 9)};
    QTest::newRow("1 to 6: k = 6, h = 3, odd") << std::vector<float>{6, 5, 4, 3, 2, 1}
                                               << std::vector<float>{6, 5, 3.5f, 2, 1, 3.5f, std::sqrt(17.5f / 6)};
    QTest::newRow("one value") << std::vector<float>{7.25f} << std::vector<float>{7.25f, 7.25f, 7.25f, 7.25f, 7.25f, 7.25f, 0};
    QTest::newRow("three values: quartiles are the ends") << std::vector<float>{3, 1, 2}
                                                          << std::vector<float>{3, 3, 2, 1, 1, 2, std::sqrt(2.0f / 3)};
    QTest::newRow("empty") << std::vector<float>{} << std::vector<float>{0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("NaN takes no part") << std::vector<float>{4, nan, 2} << std::vector<float>{4, 4, 3, 2, 2, 3, 1};
    QTest::newRow("all equal: nothing is an outlier") << std::vector<float>{5, 5, 5, 5}
                                                      << std::vector<float>{5, 5, 5, 5, 5, 5, 0};
    // Twenty solves at 5 and one at 19: 19 lies more than three deviations
    // above the mean, so the order statistics leave it out; mean and
    // deviation keep it.
    std::vector<float> slow(20, 5.0f);
    slow.push_back(19.0f);
    const float mean = (20 * 5.0f + 19.0f) / 21;
    const float deviation = std::sqrt((20 * (5 - mean) * (5 - mean) + (19 - mean) * (19 - mean)) / 21);
    QTest::newRow("a slow solve is left out of the box") << slow << std::vector<float>{5, 5, 5, 5, 5, mean, deviation};
}

void TestCharts::summaryStatistics()
{
    QFETCH(std::vector<float>, values);
    QFETCH(std::vector<float>, expected);
    const charts::SummaryStatistics s = charts::summaryStatistics(values);
    const float got[7] = {s.largest, s.upperQuartile, s.median, s.lowerQuartile, s.smallest, s.mean, s.deviation};
    for (int i = 0; i < 7; ++i)
        QVERIFY2(std::abs(got[i] - expected[size_t(i)]) < 1e-4f,
                 qPrintable(QStringLiteral("statistic %1: %2, expected %3").arg(i).arg(got[i]).arg(expected[size_t(i)])));
}

void TestCharts::timesBoxPlot_boxMedianAndMarkedValue_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ordinary screen") << qreal(1.0);
    QTest::newRow("high-density screen") << qreal(2.0);
}

void TestCharts::timesBoxPlot_boxMedianAndMarkedValue()
{
    QFETCH(qreal, ratio);
    // Times 10 to 13 on 0..20 at width 250: x(v) = v / 20 * 240, so the box
    // runs from x(10.5) = 126 to x(12.5) = 150, the median at x(11.5) = 138,
    // the whiskers' middle line at y = 25; the placeholder time is left out.
    const std::vector<SolveRecord> records = {record(13), record(10), record(12), record(11),
                                              record(cube::kPlaceholderTime)};
    ChartData data = dataOf(records, 2);  // the solve of 12 s is marked: x(12) = 144
    data.devicePixelRatio = ratio;
    const QImage image = charts::drawChart(Chart::Times, data, 250);
    QCOMPARE(image.size(), QSize(qRound(250 * ratio), qRound(60 * ratio)));
    QCOMPARE(image.devicePixelRatio(), ratio);

    QVERIFY(near(at(image, 131, 18), kTimesFill));           // inside the box, left of the median
    QVERIFY(near(at(image, 147, 33), kTimesFill));           // inside, right of the marked line
    QCOMPARE(at(image, 110, 18).alpha(), 0);                 // left of the box: nothing
    QCOMPARE(at(image, 160, 18).alpha(), 0);                 // right of it
    QVERIFY(colourAround(image, 138, 15, Qt::black, 1));     // the median line
    QVERIFY(colourAround(image, 144, 15, Qt::white, 1));     // the marked value's line
    QVERIFY(!colourAround(image, 135, 15, Qt::white, 1));    // ... only there
    QVERIFY(colourAround(image, 123, 25, Qt::black, 1));     // the lower whisker's line
    QVERIFY(colourAround(image, 120, 17, Qt::black, 1));     // its end at x(10)
    QCOMPARE(at(image, 123, 18).alpha(), 0);                 // a whisker, not a box

    // Without a marked solve there is no white line.
    data.current = -1;
    const QImage unmarked = charts::drawChart(Chart::Times, data, 250);
    QVERIFY(!colourAround(unmarked, 144, 15, Qt::white, 1));
}

void TestCharts::slowSolve_leftOutOfTheBoxKeptInTheScatter()
{
    // Twenty solves at 5 s and 3 tps, one at 19 s and 3 tps.
    std::vector<SolveRecord> records(20, record(5, 3, 40));
    records.push_back(record(19, 3, 40));
    const ChartData data = dataOf(records);
    const QImage times = charts::drawChart(Chart::Times, data, 250);
    // x(19) = 228: no whisker there; the collapsed box stands at x(5) = 60.
    QVERIFY(!colourAround(times, 228, 25, Qt::black, 3));
    QVERIFY(colourAround(times, 60, 25, Qt::black, 1));
    // The scatter plot (250 x 187) puts it at x = 210 * 19 / 20 + 20 = 219.5,
    // y = 167 - 147 * 3 / 15 = 137.6: a ring of radius 4 in the chart colour.
    const QImage scatter = charts::drawChart(Chart::TimeTps, data, 250);
    QCOMPARE(scatter.size(), QSize(250, 187));
    const QColor colour(0x30, 0xC0, 0xF0);
    QVERIFY(colourAround(scatter, 219.5 + 4, 137.6, colour, 1));
    QVERIFY(colourAround(scatter, 219.5 - 4, 137.6, colour, 1));
    QVERIFY(!colourAround(scatter, 219.5, 137.6, colour, 1));  // a ring, not a disc
    QVERIFY(colourAround(scatter, 20 + 210 * 5 / 20.0 + 4, 137.6, colour, 1));  // the others at 5 s
    // The plot area is white where nothing is drawn.
    QVERIFY(near(at(scatter, 150, 60), Qt::white, 4));
}

void TestCharts::ring_segmentsAndMarkedShares()
{
    // Average shares 1/2, 1/4, 1/8, 1/8: Cross covers the right half from the
    // top, F2L the bottom left quarter, OLL and PLL an eighth each above it.
    const std::array<float, 4> shares = {0.5f, 0.25f, 0.125f, 0.125f};
    const std::vector<SolveRecord> records = {record(8, 4, 50, shares), record(9, 4, 50, shares),
                                              record(7, 4, 50, {}) /* not CFOP: no part */};
    const ChartData data = dataOf(records, 0);
    const QImage ring = charts::drawChart(Chart::CfopSplits, data, 250);
    QCOMPARE(ring.size(), QSize(250, 250));
    const qreal cx = 125;
    const qreal cy = 125;
    const qreal radius = 115;  // (250 - 20) / 2
    const auto point = [&](qreal clockwiseFromTop, qreal r) {
        const qreal a = qDegreesToRadians(clockwiseFromTop);
        return QPointF(cx + r * std::sin(a), cy - r * std::cos(a));
    };
    const std::array<QColor, 12> &palette = charts::palette();
    const struct
    {
        qreal angle;
        QColor colour;
    } samples[] = {{20, palette[2]}, {160, palette[2]}, {200, palette[3]}, {250, palette[3]},
                   {280, palette[4]}, {290, palette[4]}, {330, palette[5]}, {350, palette[5]}};
    // Near the outer edge, away from the labels and the marked discs.
    for (const auto &sample : samples) {
        const QPointF p = point(sample.angle, 0.97 * radius);
        QVERIFY2(near(at(ring, p.x(), p.y()), sample.colour),
                 qPrintable(QStringLiteral("at %1 degrees: %2").arg(sample.angle).arg(at(ring, p.x(), p.y()).name())));
    }
    // The hole in the middle stays empty.
    QCOMPARE(at(ring, cx, cy).alpha(), 0);
    // The marked solve's shares end at 1/2, 3/4, 7/8 and 1 of the way round:
    // a disc of radius 8 on the outer edge, in the segment's colour.
    const QPointF first = point(180, radius);
    QVERIFY(near(at(ring, first.x() - 3, first.y()), palette[2]));
    const QPointF second = point(270, radius);
    QVERIFY(near(at(ring, second.x(), second.y() - 3), palette[3]));
}

void TestCharts::ring_withoutCfopSolves_saysSo()
{
    const std::vector<SolveRecord> records = {record(8, 4, 50), record(cube::kPlaceholderTime, 0, 0, {0.5f, 0.5f, 0, 0})};
    const QImage ring = charts::drawChart(Chart::CfopSplits, dataOf(records, 0), 250);
    for (size_t i = 2; i < 6; ++i)
        QCOMPARE(countColour(ring, charts::palette()[i]), 0);
    // White text in the middle band, the title apart.
    int white = 0;
    for (int y = 110; y < 140; ++y)
        for (int x = 60; x < 190; ++x)
            white += near(ring.pixelColor(x, y), Qt::white, 40) ? 1 : 0;
    QVERIFY(white > 30);
}

void TestCharts::scatter_withoutPoints_drawsOnlyTheTitle()
{
    const std::vector<SolveRecord> records = {record(cube::kPlaceholderTime, 3, 40), record(6, 0, 0)};
    const QImage scatter = charts::drawChart(Chart::TimeMoveCount, dataOf(records), 250);
    for (int y = 25; y < scatter.height(); ++y)
        for (int x = 0; x < scatter.width(); ++x)
            QCOMPARE(scatter.pixelColor(x, y).alpha(), 0);
    int title = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x)
            title += scatter.pixelColor(x, y).alpha() > 0 ? 1 : 0;
    QVERIFY(title > 20);
}

void TestCharts::summaries_drawTheSamePictures()
{
    // Kept summaries (what the window keeps while only the marked solve
    // moves) give the pictures worked out from the records each time.
    std::vector<SolveRecord> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(record(4.0f + float(i % 13) * 0.9f, 2.0f + float(i % 7), 30 + i, {0.2f, 0.5f, 0.15f, 0.15f}));
    records.push_back(record(cube::kPlaceholderTime, 0, 0));
    ChartData plain = dataOf(records, 3);
    ChartData kept = plain;
    kept.summarise();
    QVERIFY(kept.summaries);
    for (const int current : {3, 17, -1}) {
        plain.current = kept.current = current;
        for (const Chart chart : charts::kCharts)
            QVERIFY2(charts::drawChart(chart, kept, 250) == charts::drawChart(chart, plain, 250),
                     qPrintable(charts::chartTitle(chart)));
    }
}

void TestCharts::cli_writesTheSamePictures()
{
    QTemporaryDir dir;
    const QString database = QStringLiteral(FRAMEWRIGHT_TEST_DATA "/small.csv");
    const testmedia::CliResult result = testmedia::runCli(
        {QStringLiteral("db"), database, QStringLiteral("--charts"), dir.path(), QStringLiteral("--current"),
         QStringLiteral("1")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    for (const Chart chart : charts::kCharts) {
        const QImage written(dir.filePath(charts::chartFileName(chart)));
        QVERIFY2(!written.isNull(), qPrintable(charts::chartFileName(chart)));
        QCOMPARE(written.size(), charts::chartSize(chart, 250));
    }
    // The marked solve's line in the times chart: the list's second row is
    // the 7.5 s solve (5.2 s comes first), x = 7.5 / 20 * 240 = 90.
    const QImage times(dir.filePath(QStringLiteral("times.png")));
    QVERIFY(colourAround(times, 90, 15, Qt::white, 1));
}

void TestCharts::cli_refusals_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a row past the list") << QStringList{QStringLiteral("--charts"), QStringLiteral("@DIR"),
                                                        QStringLiteral("--current"), QStringLiteral("4")}
                                         << 1 << "no row 4";
    QTest::newRow("--current without --charts") << QStringList{QStringLiteral("--current"), QStringLiteral("0"),
                                                               QStringLiteral("--list")}
                                                << 2 << "--charts";
    QTest::newRow("a row that is no number") << QStringList{QStringLiteral("--charts"), QStringLiteral("@DIR"),
                                                            QStringLiteral("--current"), QStringLiteral("x")}
                                             << 2 << "--current";
}

void TestCharts::cli_refusals()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    options.replaceInStrings(QStringLiteral("@DIR"), dir.path());
    const testmedia::CliResult result = testmedia::runCli(
        QStringList{QStringLiteral("db"), QStringLiteral(FRAMEWRIGHT_TEST_DATA "/small.csv")} + options);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(reason), qPrintable(result.err));
}

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
