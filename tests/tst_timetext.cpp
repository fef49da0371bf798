// Tests of the time texts: the frame time, the split list rows and the mapping
// of a double-clicked split list row to a mark.
#include "TimeText.h"

#include <QTest>

#include <limits>

using Rows = QList<QString>;
using Colours = QList<int>;

namespace {

constexpr int kColourCount = 12;

} // namespace

class TestTimeText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeString_data();
    void timeString();
    void splitListRows_data();
    void splitListRows();
    void markIndexForListRow_data();
    void markIndexForListRow();
};

void TestTimeText::timeString_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("expected");

    const double nan = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("frame 0") << 0 << 30.0 << QStringLiteral("00:00:000 (0)");
    // 3.1666... s rounds up; 5.2 s is not shown as 5.199.
    QTest::newRow("frame 95 at 30 rounds up") << 95 << 30.0 << QStringLiteral("00:03:167 (95)");
    QTest::newRow("frame 156 at 30 is 5.200") << 156 << 30.0 << QStringLiteral("00:05:200 (156)");
    QTest::newRow("last frame of a second") << 29 << 30.0 << QStringLiteral("00:00:967 (29)");
    QTest::newRow("one minute") << 1500 << 25.0 << QStringLiteral("01:00:000 (1500)");
    // 62 min 5 s: the hour is dropped, 2 minutes remain.
    QTest::newRow("hour dropped") << 111750 << 30.0 << QStringLiteral("02:05:000 (111750)");
    // The exact NTSC rates: 100 / 29.97 = 3.3367 s; 10 minutes of 29.97 fps
    // (17982 frames) are 10:00:000, where a truncated rate of 29 read 10:20.
    QTest::newRow("29.97 exact") << 100 << 29.97 << QStringLiteral("00:03:337 (100)");
    QTest::newRow("29.97, ten minutes") << 17982 << 29.97 << QStringLiteral("10:00:000 (17982)");
    QTest::newRow("59.94 exact") << 59 << 59.94 << QStringLiteral("00:00:984 (59)");
    QTest::newRow("exactly 1 fps") << 61 << 1.0 << QStringLiteral("01:01:000 (61)");
    // Half a millisecond rounds up into the next second.
    QTest::newRow("rounds into the next second") << 1999 << 2000.0 << QStringLiteral("00:01:000 (1999)");
    QTest::newRow("large frame numbers") << 1000001 << 30.0 << QStringLiteral("15:33:367 (1000001)");
    QTest::newRow("negative frame reads as 0") << -3 << 30.0 << QStringLiteral("00:00:000 (-3)");

    QTest::newRow("0.5 fps") << 3 << 0.5 << QStringLiteral("00:06:000 (3)");
    QTest::newRow("0.25 fps, minutes") << 100 << 0.25 << QStringLiteral("06:40:000 (100)");
    QTest::newRow("0.25 fps, hour dropped") << 1000 << 0.25 << QStringLiteral("06:40:000 (1000)");
    QTest::newRow("0.3 fps, milliseconds") << 1 << 0.3 << QStringLiteral("00:03:333 (1)");

    QTest::newRow("zero fps") << 95 << 0.0 << QStringLiteral("--:--:--- (95)");
    QTest::newRow("negative fps") << 95 << -30.0 << QStringLiteral("--:--:--- (95)");
    QTest::newRow("NaN fps") << 7 << nan << QStringLiteral("--:--:--- (7)");
}

void TestTimeText::timeString()
{
    QFETCH(int, frame);
    QFETCH(double, fps);
    QFETCH(QString, expected);

    QCOMPARE(TimeString(frame, fps), expected);
}

void TestTimeText::splitListRows_data()
{
    QTest::addColumn<QList<int>>("marks");
    QTest::addColumn<double>("fps");
    QTest::addColumn<Rows>("texts");
    QTest::addColumn<Colours>("colours");

    QTest::newRow("no marks") << QList<int>{} << 30.0 << Rows{} << Colours{};
    QTest::newRow("one mark, no total") << QList<int>{100} << 30.0
                                        << Rows{QStringLiteral("0: 00:03:333 (100)")} << Colours{1};
    QTest::newRow("two marks")
        << QList<int>{100, 160} << 30.0
        << Rows{QStringLiteral("0: 00:03:333 (100)"), QStringLiteral("1: 00:05:333 (160)\t61f (2.033s)"),
                QStringLiteral("Total:\t\t61f (2.033s)")}
        << Colours{1, 2, -1};
    QTest::newRow("two equal marks")
        << QList<int>{50, 50} << 25.0
        << Rows{QStringLiteral("0: 00:02:000 (50)"), QStringLiteral("1: 00:02:000 (50)\t1f (0.040s)"),
                QStringLiteral("Total:\t\t1f (0.040s)")}
        << Colours{1, 2, -1};
    QTest::newRow("three marks")
        << QList<int>{10, 40, 100} << 30.0
        << Rows{QStringLiteral("0: 00:00:333 (10)"), QStringLiteral("1: 00:01:333 (40)\t31f (1.033s)"),
                QStringLiteral("2: 00:03:333 (100)\t61f (2.033s)"), QStringLiteral("Total:\t\t91f (3.033s)")}
        << Colours{1, 2, 3, -1};
    // Times and lengths both divide by the exact rate: 1023 / 29.97 = 34.134 s.
    // 1024 / 29.97 = 34.1675008..., which single precision stores as
    // 34.1674995..., so three decimals give 34.167.
    QTest::newRow("29.97 fps in single precision")
        << QList<int>{0, 1023} << 29.97
        << Rows{QStringLiteral("0: 00:00:000 (0)"), QStringLiteral("1: 00:34:134 (1023)\t1024f (34.167s)"),
                QStringLiteral("Total:\t\t1024f (34.167s)")}
        << Colours{1, 2, -1};
    QTest::newRow("unsorted pasted marks")
        << QList<int>{60, 30} << 30.0
        << Rows{QStringLiteral("0: 00:02:000 (60)"), QStringLiteral("1: 00:01:000 (30)\t-29f (-0.967s)"),
                QStringLiteral("Total:\t\t-29f (-0.967s)")}
        << Colours{1, 2, -1};

    // Twelve marks: the colour index wraps to 0 on the last mark.
    QList<int> twelve;
    Rows twelveTexts;
    Colours twelveColours;
    for (int i = 0; i < 12; ++i) {
        twelve << 30 * i;
        QString text = QStringLiteral("%1: 00:%2:000 (%3)")
                           .arg(i)
                           .arg(i, 2, 10, QLatin1Char('0'))
                           .arg(30 * i);
        if (i > 0)
            text += QStringLiteral("\t31f (1.033s)");
        twelveTexts << text;
        twelveColours << (i + 1) % 12;
    }
    twelveTexts << QStringLiteral("Total:\t\t331f (11.033s)");
    twelveColours << -1;
    QTest::newRow("colours wrap") << twelve << 30.0 << twelveTexts << twelveColours;
}

void TestTimeText::splitListRows()
{
    QFETCH(QList<int>, marks);
    QFETCH(double, fps);
    QFETCH(Rows, texts);
    QFETCH(Colours, colours);

    const std::vector<SplitListRow> rows = SplitListRows(Marks(marks.begin(), marks.end()), fps, kColourCount);
    Rows gotTexts;
    Colours gotColours;
    for (const SplitListRow &row : rows) {
        gotTexts << row.text;
        gotColours << row.colourIndex;
    }
    QCOMPARE(gotTexts, texts);
    QCOMPARE(gotColours, colours);
}

void TestTimeText::markIndexForListRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("markCount");
    QTest::addColumn<int>("expected");

    QTest::newRow("first mark") << 0 << 4 << 3 << 0;
    QTest::newRow("last mark") << 2 << 4 << 3 << 2;
    QTest::newRow("total row jumps to last mark") << 3 << 4 << 3 << 2;
    QTest::newRow("total row of two marks") << 2 << 3 << 2 << 1;
    QTest::newRow("single mark") << 0 << 1 << 1 << 0;
    // With two rows or fewer the last row is not taken for a total row.
    QTest::newRow("two rows, last is a mark") << 1 << 2 << 2 << 1;
    QTest::newRow("two rows, one mark") << 1 << 2 << 1 << -1;
    QTest::newRow("no row") << -1 << 4 << 3 << -1;
    QTest::newRow("past the total row") << 4 << 4 << 3 << -1;
    QTest::newRow("empty list") << 0 << 0 << 0 << -1;
}

void TestTimeText::markIndexForListRow()
{
    QFETCH(int, row);
    QFETCH(int, rowCount);
    QFETCH(int, markCount);
    QFETCH(int, expected);

    QCOMPARE(MarkIndexForListRow(row, rowCount, markCount), expected);
}

QTEST_APPLESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
