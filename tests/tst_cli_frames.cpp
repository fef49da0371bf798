// framewright-cli's frame commands on generated clips and image sequences.

#include "TestMedia.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result runCli(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(FRAMEWRIGHT_CLI_PATH), args);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

int indexInPng(const QString &path)
{
    return testmedia::readIndex(cv::imread(QFile::encodeName(path).toStdString()));
}

}  // namespace

class TestCliFrames : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;      // MJPEG AVI, 40 frames of 160 x 120 at 25 fps
    QString sequence;  // one image of a 30-image PNG sequence

private Q_SLOTS:
    void initTestCase();
    void probe_data();
    void probe();
    void frame_data();
    void frame();
    void frames_steps_data();
    void frames_steps();
    void frames_quietAndDump();
    void failures_data();
    void failures();
};

void TestCliFrames::initTestCase()
{
    QVERIFY(dir.isValid());
    if (!testmedia::haveFfmpeg())
        QSKIP("the ffmpeg program is needed to make test clips");
    QString error;
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("clip.avi");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3")};
    options.frames = 40;
    options.width = 160;
    options.height = 120;
    options.fps = 25;
    const auto path = testmedia::writeClip(dir.path(), options, &error);
    QVERIFY2(path, qPrintable(error));
    clip = *path;
    const QStringList images = testmedia::writeImageSequence(dir.path(), QStringLiteral("img"), 1, 30,
                                                             QStringLiteral("png"));
    sequence = images.at(4);
}

void TestCliFrames::probe_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("images");
    QTest::addColumn<QString>("expected");
    QTest::newRow("capture") << QStringLiteral("capture") << false
                             << QStringLiteral("frames=40\nfps=25\nwidth=160\nheight=120\n");
    QTest::newRow("ffmpeg") << QStringLiteral("ffmpeg") << false
                            << QStringLiteral("frames=40\nfps=25\nwidth=160\nheight=120\n");
    QTest::newRow("auto") << QStringLiteral("auto") << false
                          << QStringLiteral("frames=40\nfps=25\nwidth=160\nheight=120\n");
    // An image sequence knows its size only once an image was read.
    QTest::newRow("images") << QStringLiteral("auto") << true << QStringLiteral("frames=30\nfps=25\nwidth=0\nheight=0\n");
}

void TestCliFrames::probe()
{
    QFETCH(QString, source);
    QFETCH(bool, images);
    QFETCH(QString, expected);
    const Result result = runCli({QStringLiteral("probe"), images ? sequence : clip, QStringLiteral("--source"), source});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);
}

void TestCliFrames::frame_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("pipeline");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("capture, plain") << QStringLiteral("capture") << 17 << QStringList{} << 160 << 120;
    QTest::newRow("ffmpeg, plain") << QStringLiteral("ffmpeg") << 17 << QStringList{} << 160 << 120;
    QTest::newRow("ffmpeg, last frame") << QStringLiteral("ffmpeg") << 39 << QStringList{} << 160 << 120;
    QTest::newRow("rotated") << QStringLiteral("ffmpeg") << 5 << QStringList{QStringLiteral("--rotate"), QStringLiteral("1")}
                             << 120 << 160;
    QTest::newRow("upsampled and cropped")
        << QStringLiteral("capture") << 9
        << QStringList{QStringLiteral("--upsample"), QStringLiteral("1"), QStringLiteral("--crop"),
                       QStringLiteral("0,0,0.5,0.25")}
        << 320 << 120;
}

void TestCliFrames::frame()
{
    QFETCH(QString, source);
    QFETCH(int, index);
    QFETCH(QStringList, pipeline);
    QFETCH(int, width);
    QFETCH(int, height);
    const QString out = dir.filePath(QStringLiteral("frame-%1-%2.png").arg(source).arg(index));
    const Result result = runCli(QStringList{QStringLiteral("frame"), clip, QString::number(index), QStringLiteral("-o"),
                                             out, QStringLiteral("--source"), source}
                                 + pipeline);
    QCOMPARE(result.exitCode, 0);
    // Every source reports the 1-based number of the frame it delivered.
    QCOMPARE(result.out, QStringLiteral("position=%1\n").arg(index + 1));
    const cv::Mat picture = cv::imread(QFile::encodeName(out).toStdString());
    QCOMPARE(picture.cols, width);
    QCOMPARE(picture.rows, height);
    if (pipeline.isEmpty())
        QCOMPARE(testmedia::readIndex(picture), index);
}

void TestCliFrames::frames_steps_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("positions");
    const QList<int> back = {21, 20, 19, 18};
    const QList<int> tens = {4, 14, 24, 34};
    for (const char *source : {"capture", "ffmpeg"}) {
        QTest::addRow("%s, forward", source) << QString::fromLatin1(source)
                                             << QStringList{QStringLiteral("--start"), QStringLiteral("10"),
                                                            QStringLiteral("--count"), QStringLiteral("3")}
                                             << QList<int>{11, 12, 13};
        QTest::addRow("%s, one back", source) << QString::fromLatin1(source)
                                              << QStringList{QStringLiteral("--start"), QStringLiteral("20"),
                                                             QStringLiteral("--count"), QStringLiteral("4"),
                                                             QStringLiteral("--step"), QStringLiteral("-1")}
                                              << back;
        QTest::addRow("%s, ten forward", source) << QString::fromLatin1(source)
                                                 << QStringList{QStringLiteral("--start"), QStringLiteral("3"),
                                                                QStringLiteral("--count"), QStringLiteral("4"),
                                                                QStringLiteral("--step"), QStringLiteral("10")}
                                                 << tens;
    }
    QTest::newRow("images, one back") << QStringLiteral("images")
                                      << QStringList{QStringLiteral("--start"), QStringLiteral("5"),
                                                     QStringLiteral("--count"), QStringLiteral("3"),
                                                     QStringLiteral("--step"), QStringLiteral("-1")}
                                      << QList<int>{6, 5, 4};
}

void TestCliFrames::frames_steps()
{
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(QList<int>, positions);
    const QString file = source == QLatin1String("images") ? sequence : clip;
    const QString dump = dir.filePath(QStringLiteral("dump-") + QString::fromLatin1(QTest::currentDataTag()));
    const Result result = runCli(QStringList{QStringLiteral("frames"), file, QStringLiteral("--source"), source,
                                             QStringLiteral("--dump"), dump}
                                 + options);
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), positions.size());
    static const QRegularExpression line(QStringLiteral("^position=(\\d+) hash=[0-9a-f]{16}$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = line.match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        QCOMPARE(match.captured(1).toInt(), positions.at(i));
        // The picture is the frame the position names (images are numbered from 1 on disk).
        const int expected = source == QLatin1String("images") ? positions.at(i) : positions.at(i) - 1;
        QCOMPARE(indexInPng(QDir(dump).filePath(QStringLiteral("%1.png").arg(i, 6, 10, QLatin1Char('0')))), expected);
    }
}

void TestCliFrames::frames_quietAndDump()
{
    const Result result = runCli({QStringLiteral("frames"), clip, QStringLiteral("--count"), QStringLiteral("40"),
                                  QStringLiteral("--quiet")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^frames=40 seconds=\\d+\\.\\d{3}\\n$")).match(result.out).hasMatch(),
             qPrintable(result.out));
}

void TestCliFrames::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    const QString missing = QStringLiteral("/nonexistent/clip.mp4");
    QTest::newRow("probe, missing file") << QStringList{QStringLiteral("probe"), missing} << 1;
    QTest::newRow("frame, missing file") << QStringList{QStringLiteral("frame"), missing, QStringLiteral("0"),
                                                        QStringLiteral("-o"), QStringLiteral("/tmp/x.png")}
                                         << 1;
    QTest::newRow("frame, no output") << QStringList{QStringLiteral("frame"), missing, QStringLiteral("0")} << 2;
    QTest::newRow("frame, bad rotation") << QStringList{QStringLiteral("frame"), missing, QStringLiteral("0"),
                                                        QStringLiteral("-o"), QStringLiteral("x.png"),
                                                        QStringLiteral("--rotate"), QStringLiteral("6")}
                                         << 2;
    QTest::newRow("frame, crop outside") << QStringList{QStringLiteral("frame"), missing, QStringLiteral("0"),
                                                        QStringLiteral("-o"), QStringLiteral("x.png"),
                                                        QStringLiteral("--crop"), QStringLiteral("0.5,0,0.6,1")}
                                         << 2;
    QTest::newRow("frames, unknown source") << QStringList{QStringLiteral("frames"), missing, QStringLiteral("--source"),
                                                           QStringLiteral("vlc")}
                                            << 2;
    QTest::newRow("frames, step 0") << QStringList{QStringLiteral("frames"), missing, QStringLiteral("--step"),
                                                   QStringLiteral("0")}
                                    << 2;
}

void TestCliFrames::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const Result result = runCli(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.out.isEmpty());
    QVERIFY(!result.err.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliFrames)
#include "tst_cli_frames.moc"
