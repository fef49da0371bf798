// Splits file writer and reader, atomic replacement, clipboard text.

#include "SplitsFile.h"
#include "media/FileSizeLimit.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

Q_DECLARE_METATYPE(Marks)
Q_DECLARE_METATYPE(std::vector<Marks>)
Q_DECLARE_METATYPE(SplitsFileContent::Crop)

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

using testmedia::FileSizeLimit;

}  // namespace

class TestSplitsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesExactBytes_data();
    void writesExactBytes();
    void readsFile_data();
    void readsFile();
    void cropLine_data();
    void cropLine();
    void rotationAndFps_data();
    void rotationAndFps();
    void roundTrip();
    void hostileInput_noCrashAndBounded();
    void hugeLines();
    void atomicWrite_replacesFile();
    void atomicWrite_failedWriteKeepsOldFile();
    void atomicWrite_unwritablePathsFail();
    void splitsPath_data();
    void splitsPath();
    void clipboardText_data();
    void clipboardText();
    void clipboardParse_data();
    void clipboardParse();
};

void TestSplitsFile::writesExactBytes_data()
{
    QTest::addColumn<std::vector<Marks>>("solves");
    QTest::addColumn<Marks>("working");
    QTest::addColumn<QRectF>("crop");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QByteArray>("expected");

    const QRectF full(0, 0, 1, 1);
    QTest::newRow("two solves")
        << std::vector<Marks>{{120, 300, 450}, {900, 1020}} << Marks{} << full << 30.0 << 0
        << QByteArray("Splits:120:300:450|Splits:900:1020|\nFps:30\nRotate:0\n");
    QTest::newRow("one empty solve") << std::vector<Marks>{{}} << Marks{} << full << 30.0 << 0
                                     << QByteArray("Splits|\nFps:30\nRotate:0\n");
    QTest::newRow("empty solve between") << std::vector<Marks>{{1}, {}, {3}} << Marks{} << full << 25.0 << 1
                                         << QByteArray("Splits:1|Splits|Splits:3|\nFps:25\nRotate:1\n");
    QTest::newRow("no solves, working marks") << std::vector<Marks>{} << Marks{5, 6, 7} << full << 30.0 << 0
                                              << QByteArray("Splits:5:6:7\nFps:30\nRotate:0\n");
    QTest::newRow("nothing at all") << std::vector<Marks>{} << Marks{} << full << 30.0 << 0
                                    << QByteArray("Splits\nFps:30\nRotate:0\n");
    QTest::newRow("working marks ignored when solves exist")
        << std::vector<Marks>{{1}} << Marks{9} << full << 30.0 << 0
        << QByteArray("Splits:1|\nFps:30\nRotate:0\n");
    QTest::newRow("quarter crop") << std::vector<Marks>{{10}} << Marks{} << QRectF(0.25, 0.25, 0.5, 0.5)
                                  << 30.0 << 0
                                  << QByteArray("Splits:10|\nCrop:0.25:0.25:0.5:0.5\nFps:30\nRotate:0\n");
    QTest::newRow("almost full crop is kept")
        << std::vector<Marks>{{10}} << Marks{} << QRectF(0, 0, 1, 0.999999) << 30.0 << 0
        << QByteArray("Splits:10|\nCrop:0:0:1:0.999999\nFps:30\nRotate:0\n");
    QTest::newRow("crop six significant digits")
        << std::vector<Marks>{{10}} << Marks{} << QRectF(1.0 / 3, 0.1, 0.123456789, 0.5) << 30.0 << 0
        << QByteArray("Splits:10|\nCrop:0.333333:0.1:0.123457:0.5\nFps:30\nRotate:0\n");
    QTest::newRow("ntsc rate") << std::vector<Marks>{{1}} << Marks{} << full << 29.97 << 0
                               << QByteArray("Splits:1|\nFps:29.97\nRotate:0\n");
    QTest::newRow("film rate") << std::vector<Marks>{{1}} << Marks{} << full << 23.976 << 0
                               << QByteArray("Splits:1|\nFps:23.976\nRotate:0\n");
    QTest::newRow("lowest rate") << std::vector<Marks>{{1}} << Marks{} << full << 0.01 << 0
                                 << QByteArray("Splits:1|\nFps:0.01\nRotate:0\n");
    QTest::newRow("highest rate, flip vertical") << std::vector<Marks>{{1}} << Marks{} << full << 999.0 << 5
                                                 << QByteArray("Splits:1|\nFps:999\nRotate:5\n");
    QTest::newRow("extreme marks")
        << std::vector<Marks>{{INT_MIN, -1, 0, INT_MAX}} << Marks{} << full << 30.0 << 0
        << QByteArray("Splits:-2147483648:-1:0:2147483647|\nFps:30\nRotate:0\n");
}

void TestSplitsFile::writesExactBytes()
{
    QFETCH(std::vector<Marks>, solves);
    QFETCH(Marks, working);
    QFETCH(QRectF, crop);
    QFETCH(double, fps);
    QFETCH(int, rotation);
    QFETCH(QByteArray, expected);
    QCOMPARE(SplitsFileText(solves, working, {crop, fps, rotation}), expected);
}

void TestSplitsFile::readsFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("hasSolves");
    QTest::addColumn<std::vector<Marks>>("solves");

    QTest::newRow("two solves") << QByteArray("Splits:120:300:450|Splits:900:1020|\nFps:30\nRotate:0\n")
                                << true << std::vector<Marks>{{120, 300, 450}, {900, 1020}};
    QTest::newRow("trailing bar adds no solve") << QByteArray("Splits:1:2|\n") << true
                                                << std::vector<Marks>{{1, 2}};
    QTest::newRow("empty solve") << QByteArray("Splits|\n") << true << std::vector<Marks>{{}};
    QTest::newRow("bare Splits") << QByteArray("Splits\n") << true << std::vector<Marks>{{}};
    QTest::newRow("no bar: working marks") << QByteArray("Splits:5:6:7\n") << true
                                           << std::vector<Marks>{{5, 6, 7}};
    QTest::newRow("order kept") << QByteArray("Splits:30:10:20|") << true << std::vector<Marks>{{30, 10, 20}};
    QTest::newRow("junk field is 0") << QByteArray("Splits:12:abc:7|") << true
                                     << std::vector<Marks>{{12, 0, 7}};
    QTest::newRow("empty field is 0") << QByteArray("Splits:12::7|") << true << std::vector<Marks>{{12, 0, 7}};
    QTest::newRow("blank parts skipped") << QByteArray("Splits:1|  |Splits:2|") << true
                                         << std::vector<Marks>{{1}, {2}};
    QTest::newRow("first field ignored") << QByteArray("Splits:1|Whatever:2|") << true
                                         << std::vector<Marks>{{1}, {2}};
    QTest::newRow("out of range numbers are 0")
        << QByteArray("Splits:99999999999:2147483647:-2147483648:2147483648|") << true
        << std::vector<Marks>{{0, INT_MAX, INT_MIN, 0}};
    QTest::newRow("CRLF line ends") << QByteArray("Splits:1:2|\r\nFps:25\r\n") << true
                                    << std::vector<Marks>{{1, 2}};
    QTest::newRow("lower-case header is not splits") << QByteArray("splits:1:2|\nFps:25\n") << false
                                                     << std::vector<Marks>{};
    QTest::newRow("empty file") << QByteArray() << false << std::vector<Marks>{};
}

void TestSplitsFile::readsFile()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, hasSolves);
    QFETCH(std::vector<Marks>, solves);
    const SplitsFileContent content = ParseSplitsText(text);
    QCOMPARE(content.hasSolves, hasSolves);
    QCOMPARE(content.solves, solves);
}

void TestSplitsFile::cropLine_data()
{
    QTest::addColumn<QByteArray>("cropLine");
    QTest::addColumn<SplitsFileContent::Crop>("kind");
    QTest::addColumn<QRectF>("crop");

    using Crop = SplitsFileContent::Crop;
    QTest::newRow("absent") << QByteArray() << Crop::Absent << QRectF();
    QTest::newRow("plain") << QByteArray("Crop:0.25:0.25:0.5:0.5\n") << Crop::Present
                           << QRectF(0.25, 0.25, 0.5, 0.5);
    QTest::newRow("four fields") << QByteArray("Crop:0.25:0.25:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("six fields") << QByteArray("Crop:0:0:0.5:0.5:1\n") << Crop::Ignored << QRectF();
    QTest::newRow("text value") << QByteArray("Crop:a:0:0.5:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("nan") << QByteArray("Crop:nan:0:0.5:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("infinite") << QByteArray("Crop:0:0:inf:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("overflowing float") << QByteArray("Crop:0:0:1e300:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("zero width") << QByteArray("Crop:0.5:0.5:0:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("negative size") << QByteArray("Crop:0.5:0.5:-0.2:0.5\n") << Crop::Ignored << QRectF();
    QTest::newRow("negative origin clamped") << QByteArray("Crop:-0.5:-1:0.5:0.25\n") << Crop::Present
                                             << QRectF(0, 0, 0.5, 0.25);
    QTest::newRow("too wide clamped") << QByteArray("Crop:0.5:0.75:2:0.5\n") << Crop::Present
                                      << QRectF(0.5, 0.75, 0.5, 0.25);
    QTest::newRow("origin outside frame") << QByteArray("Crop:1.5:0:0.5:0.5\n") << Crop::Ignored << QRectF();
}

void TestSplitsFile::cropLine()
{
    QFETCH(QByteArray, cropLine);
    QFETCH(SplitsFileContent::Crop, kind);
    QFETCH(QRectF, crop);
    // The frame rate and rotation after the crop line are read in every case.
    const SplitsFileContent content = ParseSplitsText("Splits:1|\n" + cropLine + "Fps:25\nRotate:3\n");
    QCOMPARE(content.cropLine, kind);
    if (kind == SplitsFileContent::Crop::Present) {
        // Values are read in single precision.
        QVERIFY2(qAbs(content.crop.x() - crop.x()) < 1e-6, qPrintable(QString::number(content.crop.x())));
        QVERIFY2(qAbs(content.crop.y() - crop.y()) < 1e-6, qPrintable(QString::number(content.crop.y())));
        QVERIFY2(qAbs(content.crop.width() - crop.width()) < 1e-6,
                 qPrintable(QString::number(content.crop.width())));
        QVERIFY2(qAbs(content.crop.height() - crop.height()) < 1e-6,
                 qPrintable(QString::number(content.crop.height())));
        QVERIFY(content.crop.right() <= 1.0 && content.crop.bottom() <= 1.0);
    }
    QCOMPARE(content.fps, std::optional<double>(25.0));
    QCOMPARE(content.rotation, std::optional<int>(3));
}

void TestSplitsFile::rotationAndFps_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<double>>("fps");
    QTest::addColumn<std::optional<int>>("rotation");

    using F = std::optional<double>;
    using R = std::optional<int>;
    QTest::newRow("both") << QByteArray("Splits\nFps:29.97\nRotate:4\n") << F(29.97f) << R(4);
    QTest::newRow("no rotate line") << QByteArray("Splits\nFps:50\n") << F(50) << R();
    QTest::newRow("rotate without fps line") << QByteArray("Splits\nRotate:2\n") << F() << R();
    QTest::newRow("fps junk reads 0") << QByteArray("Splits\nFps:abc\nRotate:1\n") << F(0) << R(1);
    QTest::newRow("fps infinite ignored") << QByteArray("Splits\nFps:inf\nRotate:1\n") << F() << R(1);
    QTest::newRow("rotate too large") << QByteArray("Splits\nFps:30\nRotate:6\n") << F(30) << R();
    QTest::newRow("rotate negative") << QByteArray("Splits\nFps:30\nRotate:-1\n") << F(30) << R();
    QTest::newRow("rotate junk reads 0") << QByteArray("Splits\nFps:30\nRotate:x\n") << F(30) << R(0);
    QTest::newRow("bad first line, rest read") << QByteArray("garbage\nFps:24\nRotate:5\n") << F(24) << R(5);
    QTest::newRow("crop then end of file") << QByteArray("Splits\nCrop:0:0:0.5:0.5") << F() << R();
    QTest::newRow("unknown second line stops fps") << QByteArray("Splits\nHello\nFps:24\n") << F() << R();
}

void TestSplitsFile::rotationAndFps()
{
    QFETCH(QByteArray, text);
    QFETCH(std::optional<double>, fps);
    QFETCH(std::optional<int>, rotation);
    const SplitsFileContent content = ParseSplitsText(text);
    QCOMPARE(content.fps, fps);
    QCOMPARE(content.rotation, rotation);
}

void TestSplitsFile::roundTrip()
{
    const std::vector<Marks> solves = {{120, 300, 450}, {}, {900, 900, 1020}, {-5}};
    const SplitsSettings settings{QRectF(0.125, 0.2, 0.5, 0.75), 59.94, 3};
    const QByteArray text = SplitsFileText(solves, {}, settings);
    const SplitsFileContent content = ParseSplitsText(text);
    QVERIFY(content.hasSolves);
    QCOMPARE(content.solves, solves);
    QCOMPARE(content.cropLine, SplitsFileContent::Crop::Present);
    QVERIFY(qAbs(content.crop.x() - 0.125) < 1e-6 && qAbs(content.crop.y() - 0.2) < 1e-6);
    QVERIFY(qAbs(content.crop.width() - 0.5) < 1e-6 && qAbs(content.crop.height() - 0.75) < 1e-6);
    QVERIFY(content.fps && qAbs(*content.fps - 59.94) < 1e-4);
    QCOMPARE(content.rotation, std::optional<int>(3));

    // Writing what was read gives the same bytes back.
    SplitsSettings again{content.crop, *content.fps, *content.rotation};
    QCOMPARE(SplitsFileText(content.solves, {}, again), text);
}

void TestSplitsFile::hostileInput_noCrashAndBounded()
{
    QRandomGenerator random(20261206);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(int(random.bounded(1, 4096)), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        if (round % 2)
            bytes.prepend("Splits:");
        const SplitsFileContent content = ParseSplitsText(bytes);
        if (content.cropLine == SplitsFileContent::Crop::Present) {
            QVERIFY(content.crop.left() >= 0 && content.crop.top() >= 0);
            QVERIFY(content.crop.right() <= 1 && content.crop.bottom() <= 1);
            QVERIFY(content.crop.width() > 0 && content.crop.height() > 0);
        }
        if (content.rotation)
            QVERIFY(*content.rotation >= 0 && *content.rotation < kRotationCount);
        if (content.fps)
            QVERIFY(std::isfinite(*content.fps));
    }
}

void TestSplitsFile::hugeLines()
{
    const int tenMegabytes = 10 * 1024 * 1024;
    {
        const SplitsFileContent content = ParseSplitsText(QByteArray(tenMegabytes, 'x') + "\nFps:24\n");
        QVERIFY(!content.hasSolves);
        QCOMPARE(content.fps, std::optional<double>(24));
    }
    {
        // One enormous number.
        const SplitsFileContent content = ParseSplitsText("Splits:" + QByteArray(tenMegabytes, '9') + "|\n");
        QCOMPARE(content.solves, (std::vector<Marks>{{0}}));
    }
    {
        QByteArray line = "Splits";
        for (int i = 0; i < 1'000'000; ++i)
            line += ":7";
        const SplitsFileContent content = ParseSplitsText(line + "|Splits:1|\n");
        QCOMPARE(content.solves.size(), size_t(2));
        QCOMPARE(content.solves[0].size(), size_t(1'000'000));
        QCOMPARE(content.solves[1], Marks{1});
    }
}

void TestSplitsFile::atomicWrite_replacesFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.mp4.splits.txt"));
    QVERIFY(writeRaw(path, "old contents that are longer than the new ones\n"));
    QString error;
    QVERIFY2(WriteFileAtomically(path, "Splits|\n", &error), qPrintable(error));
    QCOMPARE(readAll(path), QByteArray("Splits|\n"));
    // No temporary files are left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.mp4.splits.txt")});
}

void TestSplitsFile::atomicWrite_failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.mp4.splits.txt"));
    const QByteArray old = "Splits:1:2|\nFps:30\nRotate:0\n";
    QVERIFY(writeRaw(path, old));

    // A full disk, as the process sees it: writes beyond 64 bytes fail.
    QByteArray large = "Splits";
    for (int i = 0; i < 10000; ++i)
        large += ':' + QByteArray::number(i);
    bool written = true;
    QString error;
    {
        FileSizeLimit limit(64);
        QVERIFY(limit.active());
        written = WriteFileAtomically(path, large, &error);
    }
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.mp4.splits.txt")});
}

void TestSplitsFile::atomicWrite_unwritablePathsFail()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY(!WriteFileAtomically(dir.filePath(QStringLiteral("missing/dir/a.splits.txt")), "x", &error));
    QVERIFY(!error.isEmpty());

    // A directory in the way is not replaced.
    const QString blocked = dir.filePath(QStringLiteral("b.splits.txt"));
    QVERIFY(QDir().mkpath(blocked));
    QVERIFY(!WriteFileAtomically(blocked, "x", &error));
    QVERIFY(QFileInfo(blocked).isDir());
}

void TestSplitsFile::splitsPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("video") << QStringLiteral("/v/a.mp4") << QStringLiteral("/v/a.mp4.splits.txt");
    QTest::newRow("already splits") << QStringLiteral("/v/a.mp4.splits.txt") << QStringLiteral("/v/a.mp4.splits.txt");
    QTest::newRow("case matters") << QStringLiteral("/v/a.SPLITS.TXT") << QStringLiteral("/v/a.SPLITS.TXT.splits.txt");
    QTest::newRow("empty") << QString() << QStringLiteral(".splits.txt");
}

void TestSplitsFile::splitsPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(SplitsPathFor(path), expected);
}

void TestSplitsFile::clipboardText_data()
{
    QTest::addColumn<Marks>("marks");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << Marks{} << QString();
    QTest::newRow("two") << Marks{120, 300} << QStringLiteral("120\n300\n");
    QTest::newRow("negative") << Marks{-1, 0} << QStringLiteral("-1\n0\n");
}

void TestSplitsFile::clipboardText()
{
    QFETCH(Marks, marks);
    QFETCH(QString, expected);
    QCOMPARE(MarksClipboardText(marks), expected);
    QCOMPARE(ParseClipboardMarks(expected), marks);
}

void TestSplitsFile::clipboardParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Marks>("expected");
    QTest::newRow("junk line skipped") << QStringLiteral("12\nabc\n7\n") << Marks{12, 7};
    QTest::newRow("order kept") << QStringLiteral("30\n10\n20") << Marks{30, 10, 20};
    QTest::newRow("empty") << QString() << Marks{};
    QTest::newRow("no numbers") << QStringLiteral("hello\nworld") << Marks{};
    QTest::newRow("decimals and hex are not marks") << QStringLiteral("3.5\n0x10\n1e3\n4") << Marks{4};
    QTest::newRow("signs") << QStringLiteral("+5\n-3") << Marks{5, -3};
    QTest::newRow("too large") << QStringLiteral("2147483648\n1") << Marks{1};
}

void TestSplitsFile::clipboardParse()
{
    QFETCH(QString, text);
    QFETCH(Marks, expected);
    QCOMPARE(ParseClipboardMarks(text), expected);
}

QTEST_GUILESS_MAIN(TestSplitsFile)
#include "tst_splitsfile.moc"
