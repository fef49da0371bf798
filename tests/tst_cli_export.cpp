// framewright-cli export, run as a program on a generated clip whose frames
// show their index, with a splits file beside it.

#include "FrameSources.h"
#include "TestMedia.h"
#include "media/CliRun.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(QList<int>)

namespace {

using Result = testmedia::CliResult;
using testmedia::runCli;

QList<int> span(int from, int to)  // inclusive, either way
{
    QList<int> list;
    for (int i = from;; i += from <= to ? 1 : -1) {
        list << i;
        if (i == to)
            break;
    }
    return list;
}

}  // namespace

class TestCliExport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;      // 40 frames of 160 x 128 at 30 fps, H.264, with a splits file
    QString unmarked;  // the same clip without a splits file

    QString out(const QString &name) const { return dir.filePath(name); }

private Q_SLOTS:
    void initTestCase();
    void writes_data();
    void writes();
    void badUsage_data();
    void badUsage();
    void failures_data();
    void failures();
};

void TestCliExport::initTestCase()
{
    QVERIFY(dir.isValid());
    if (!testmedia::haveFfmpeg())
        QSKIP("the ffmpeg program is needed to make the test clip");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("clip.mp4");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264")};
    options.frames = 40;
    options.width = 160;
    options.height = 128;
    options.fps = 30;
    QString error;
    clip = testmedia::writeClip(dir.path(), options, &error).value_or(QString());
    QVERIFY2(!clip.isEmpty(), qPrintable(error));
    unmarked = dir.filePath(QStringLiteral("unmarked.mp4"));
    QVERIFY(QFile::copy(clip, unmarked));
    // Solve 1: three marks; solve 2: one mark.
    QFile splits(clip + QStringLiteral(".splits.txt"));
    QVERIFY(splits.open(QIODevice::WriteOnly));
    QVERIFY(splits.write("Splits:10:20:30|Splits:5|\n") > 0);
}

void TestCliExport::writes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("line");  // after "frames=N " up to the output name
    QTest::addColumn<QList<int>>("indices");

    QTest::newRow("whole video") << QStringList{} << QStringLiteral("size=160x128 codec=h264 fps=25") << span(0, 39);
    QTest::newRow("solve") << QStringList{QStringLiteral("--range"), QStringLiteral("solve:1")}
                           << QStringLiteral("size=160x128 codec=h264 fps=25") << span(10, 29);
    QTest::newRow("split reversed, half size, source rate")
        << QStringList{QStringLiteral("--range"), QStringLiteral("split:1:2"), QStringLiteral("--reverse"),
                       QStringLiteral("--size"), QStringLiteral("1"), QStringLiteral("--fps"), QStringLiteral("source")}
        << QStringLiteral("size=80x64 codec=h264 fps=30") << span(29, 20);
    QTest::newRow("rotated, fixed width") << QStringList{QStringLiteral("--rotate"), QStringLiteral("1"),
                                                         QStringLiteral("--size"), QStringLiteral("5")}
                                          << QStringLiteral("size=480x600 codec=h264 fps=25") << QList<int>{};
}

void TestCliExport::writes()
{
    QFETCH(QStringList, options);
    QFETCH(QString, line);
    QFETCH(QList<int>, indices);
    const QString output = out(QStringLiteral("out.mp4"));
    const Result result = runCli(QStringList{QStringLiteral("export"), clip, QStringLiteral("-o"), output} + options);
    QCOMPARE(result.exitCode, 0);
    // No progress line: standard error is not a terminal here.
    QCOMPARE(result.err, QString());
    const int frames = indices.isEmpty() ? 40 : int(indices.size());
    QCOMPARE(result.out, QStringLiteral("frames=%1 %2 output=%3\n").arg(frames).arg(line, output));

    const auto written = CreateFrameSource(output, FrameSourceKind::Ffmpeg);
    QVERIFY(written->isOpen());
    QCOMPARE(written->getFrameCount(), frames);
    if (indices.isEmpty())
        return;  // a rotated picture shows no index grid
    QList<int> read;
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame;
        *written >> frame;
        read << testmedia::readIndex(frame);
    }
    QCOMPARE(read, indices);
}

void TestCliExport::badUsage_data()
{
    QTest::addColumn<QStringList>("args");  // after "export"; CLIP stands for the clip
    QTest::addColumn<QString>("reason");
    const QString o = QStringLiteral("-o");
    const QString mp4 = QStringLiteral("x.mp4");
    const QString clipArg = QStringLiteral("CLIP");
    QTest::newRow("no file") << QStringList{o, mp4} << QStringLiteral("export takes one file");
    QTest::newRow("two files") << QStringList{clipArg, clipArg, o, mp4} << QStringLiteral("export takes one file");
    QTest::newRow("no output") << QStringList{clipArg} << QStringLiteral("export needs -o OUT.mp4");
    QTest::newRow("size 7") << QStringList{clipArg, o, mp4, QStringLiteral("--size"), QStringLiteral("7")}
                            << QStringLiteral("--size takes");
    QTest::newRow("fps 30") << QStringList{clipArg, o, mp4, QStringLiteral("--fps"), QStringLiteral("30")}
                            << QStringLiteral("--fps takes 25 or source");
    QTest::newRow("solve 0") << QStringList{clipArg, o, mp4, QStringLiteral("--range"), QStringLiteral("solve:0")}
                             << QStringLiteral("--range takes");
    QTest::newRow("split without K") << QStringList{clipArg, o, mp4, QStringLiteral("--range"), QStringLiteral("split:1")}
                                     << QStringLiteral("--range takes");
    QTest::newRow("split 0") << QStringList{clipArg, o, mp4, QStringLiteral("--range"), QStringLiteral("split:1:0")}
                             << QStringLiteral("--range takes");
    QTest::newRow("range without value") << QStringList{clipArg, o, mp4, QStringLiteral("--range")}
                                         << QStringLiteral("--range needs a value");
    QTest::newRow("bad rotation") << QStringList{clipArg, o, mp4, QStringLiteral("--rotate"), QStringLiteral("6")}
                                  << QStringLiteral("bad value \"6\" for --rotate");
    QTest::newRow("frames option") << QStringList{clipArg, o, mp4, QStringLiteral("--start"), QStringLiteral("3")}
                                   << QStringLiteral("unknown option \"--start\"");
}

void TestCliExport::badUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    args.replaceInStrings(QStringLiteral("CLIP"), clip);
    const Result result = runCli(QStringList{QStringLiteral("export")} + args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(QStringLiteral("framewright-cli: ") + reason), qPrintable(result.err));
    QVERIFY(result.err.contains(QLatin1String("Usage:")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("x.mp4")));
}

void TestCliExport::failures_data()
{
    QTest::addColumn<QString>("input");  // CLIP, UNMARKED or a path
    QTest::addColumn<QString>("output"); // in the test directory; CLIP: the input itself
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("reason");
    const QString range = QStringLiteral("--range");
    QTest::newRow("missing input") << QStringLiteral("no-such.mp4") << QStringLiteral("a.mp4") << QStringList{}
                                   << QStringLiteral("no such file");
    QTest::newRow("no splits file") << QStringLiteral("UNMARKED") << QStringLiteral("a.mp4")
                                    << QStringList{range, QStringLiteral("solve:1")} << QStringLiteral("there is no");
    QTest::newRow("no such solve") << QStringLiteral("CLIP") << QStringLiteral("a.mp4")
                                   << QStringList{range, QStringLiteral("solve:3")}
                                   << QStringLiteral("no solve 3 in");
    QTest::newRow("one mark") << QStringLiteral("CLIP") << QStringLiteral("a.mp4")
                              << QStringList{range, QStringLiteral("solve:2")}
                              << QStringLiteral("solve 2 has fewer than two marks");
    QTest::newRow("no such split") << QStringLiteral("CLIP") << QStringLiteral("a.mp4")
                                   << QStringList{range, QStringLiteral("split:1:3")}
                                   << QStringLiteral("solve 1 has no split 3: it has 3 marks");
    QTest::newRow("unwritable output") << QStringLiteral("CLIP") << QStringLiteral("no/dir/a.mp4") << QStringList{}
                                       << QStringLiteral("cannot create");
    QTest::newRow("output is the input") << QStringLiteral("CLIP") << QStringLiteral("CLIP") << QStringList{}
                                         << QStringLiteral("is the video being exported");
}

void TestCliExport::failures()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QStringList, options);
    QFETCH(QString, reason);
    const auto resolve = [&](const QString &name) {
        if (name == QLatin1String("CLIP"))
            return clip;
        if (name == QLatin1String("UNMARKED"))
            return unmarked;
        return out(name);
    };
    const QString outputPath = resolve(output);
    const Result result = runCli(QStringList{QStringLiteral("export"), resolve(input), QStringLiteral("-o"), outputPath}
                                 + options);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.startsWith(QStringLiteral("framewright-cli: ")), qPrintable(result.err));
    QVERIFY2(result.err.contains(reason), qPrintable(result.err));
    QVERIFY(!result.err.contains(QLatin1String("Usage:")));
    QCOMPARE(result.out, QString());
    if (output != QLatin1String("CLIP"))
        QVERIFY(!QFileInfo::exists(outputPath));
}

QTEST_GUILESS_MAIN(TestCliExport)
#include "tst_cli_export.moc"
