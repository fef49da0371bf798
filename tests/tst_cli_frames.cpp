// framewright-cli's frame commands on generated clips and image sequences.

#include "TestMedia.h"
#include "media/CliRun.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

#include <opencv2/imgcodecs.hpp>

namespace {

using Result = testmedia::CliResult;
using testmedia::runCli;

int indexInPng(const QString &path)
{
    return testmedia::readIndex(cv::imread(QFile::encodeName(path).toStdString()));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs a program to make a test input; its messages on failure.
QString runTool(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    if (out)
        *out = process.readAllStandardOutput();
    return QString();
}

// The per-frame lines of `frames`, by 1-based position.
QHash<int, QString> linesByPosition(const QString &out)
{
    QHash<int, QString> lines;
    static const QRegularExpression line(QStringLiteral("^position=(\\d+) hash=[0-9a-f]{16}$"));
    for (const QString &text : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            lines.insert(match.captured(1).toInt(), text);
    }
    return lines;
}

}  // namespace

class TestCliFrames : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;      // MJPEG AVI, 40 frames of 160 x 120 at 25 fps
    QString sequence;  // one image of a 30-image PNG sequence
    QString variable;  // MJPEG MKV, 40 frames lasting 40 and 80 ms by turns
    QString audio;     // AAC audio in MP4, no video stream
    // The sequential lines of every frame of `clip` and `sequence` per source, by position.
    QHash<QString, QHash<int, QString>> sequential;

private Q_SLOTS:
    void initTestCase();
    void probe_data();
    void probe();
    void unreadable_data();
    void unreadable();
    void pastTheEnd_data();
    void pastTheEnd();
    void frame_data();
    void frame();
    void frames_steps_data();
    void frames_steps();
    void frames_quietAndDump();
    void frames_at_data();
    void frames_at();
    void frames_marks();
    void frames_marksMissing_data();
    void frames_marksMissing();
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

    // The frame times 0, 40, 120, 160, 240 ... ms: every other frame lasts twice as long.
    options.fileName = QStringLiteral("variable.mkv");
    options.codecArgs = {QStringLiteral("-vf"), QStringLiteral("setpts=(N+floor(N/2))/25/TB"),
                         QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                         QStringLiteral("-c:v"), QStringLiteral("mjpeg")};
    const auto variablePath = testmedia::writeClip(dir.path(), options, &error);
    QVERIFY2(variablePath, qPrintable(error));
    variable = *variablePath;
    QByteArray times;
    error = runTool(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"),
                                                QStringLiteral("-select_streams"), QStringLiteral("v"),
                                                QStringLiteral("-show_entries"), QStringLiteral("frame=pts_time"),
                                                QStringLiteral("-of"), QStringLiteral("csv=p=0"), variable},
                    &times);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QSet<int> durations;  // in ms
    const QList<QByteArray> stamps = times.trimmed().split('\n');
    for (qsizetype i = 1; i < stamps.size(); ++i)
        durations.insert(qRound((stamps.at(i).toDouble() - stamps.at(i - 1).toDouble()) * 1000));
    QCOMPARE(durations, (QSet<int>{40, 80}));

    audio = dir.filePath(QStringLiteral("audio.mp4"));
    error = runTool(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                               QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                                               QStringLiteral("-i"), QStringLiteral("anullsrc=r=8000:cl=mono"),
                                               QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-c:a"),
                                               QStringLiteral("aac"), audio});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    for (const char *source : {"capture", "ffmpeg", "images"}) {
        const bool images = qstrcmp(source, "images") == 0;
        const Result result = runCli({QStringLiteral("frames"), images ? sequence : clip, QStringLiteral("--source"),
                                      QString::fromLatin1(source), QStringLiteral("--count"),
                                      QString::number(images ? 30 : 40)});
        QCOMPARE(result.exitCode, 0);
        sequential.insert(QString::fromLatin1(source), linesByPosition(result.out));
        QCOMPARE(sequential.value(QString::fromLatin1(source)).size(), images ? 30 : 40);
    }
}

void TestCliFrames::probe_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("file");  // "clip", "sequence" or "variable"
    QTest::addColumn<QString>("expected");
    const QString constant = QStringLiteral("frames=40\nfps=25\nwidth=160\nheight=120\nvfr=0\n");
    QTest::newRow("capture") << QStringLiteral("capture") << QStringLiteral("clip") << constant;
    QTest::newRow("ffmpeg") << QStringLiteral("ffmpeg") << QStringLiteral("clip") << constant;
    QTest::newRow("auto") << QStringLiteral("auto") << QStringLiteral("clip") << constant;
    // An image sequence knows its size only once an image was read.
    QTest::newRow("images") << QStringLiteral("auto") << QStringLiteral("sequence")
                            << QStringLiteral("frames=30\nfps=25\nwidth=0\nheight=0\nvfr=0\n");
    // Only the last line: the count of a file without a stored one is an estimate.
    QTest::newRow("ffmpeg, variable rate") << QStringLiteral("ffmpeg") << QStringLiteral("variable")
                                           << QStringLiteral("vfr=1\n");
    QTest::newRow("capture, variable rate") << QStringLiteral("capture") << QStringLiteral("variable")
                                            << QStringLiteral("vfr=0\n");
}

void TestCliFrames::probe()
{
    QFETCH(QString, source);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    const QString path = file == QLatin1String("clip") ? clip : file == QLatin1String("sequence") ? sequence : variable;
    const Result result = runCli({QStringLiteral("probe"), path, QStringLiteral("--source"), source});
    QCOMPARE(result.exitCode, 0);
    if (file == QLatin1String("variable")) {
        QVERIFY2(result.out.startsWith(QLatin1String("frames=")), qPrintable(result.out));
        QCOMPARE(result.out.mid(result.out.lastIndexOf(QLatin1String("\nvfr=")) + 1), expected);
    } else {
        QCOMPARE(result.out, expected);
    }
}

void TestCliFrames::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // null: the file does not exist
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("command");  // before the file
    QTest::addColumn<QStringList>("options");  // after the file
    const QList<std::pair<const char *, QByteArray>> inputs = {
        {"text.mp4", QByteArray("not a video\n")},
        {"empty.mp4", QByteArray("")},
        {"missing.mp4", QByteArray()},
        {"audio.mp4", QByteArray("written in initTestCase")},
    };
    const QList<std::pair<QStringList, QStringList>> commands = {
        {{QStringLiteral("probe")}, {}},
        {{QStringLiteral("frame")}, {QStringLiteral("0"), QStringLiteral("-o"), QStringLiteral("unreadable.png")}},
        {{QStringLiteral("frames")}, {}},
        {{QStringLiteral("frames")}, {QStringLiteral("--at"), QStringLiteral("0")}},
    };
    // Every input with every source; the commands take turns, so that each
    // source meets each command.
    const QStringList sources = {QStringLiteral("capture"), QStringLiteral("ffmpeg"), QStringLiteral("images")};
    for (qsizetype s = 0; s < sources.size(); ++s) {
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            const auto &command = commands.at((s + i) % commands.size());
            QTest::addRow("%s, %s, %s", inputs.at(i).first, qPrintable(sources.at(s)),
                          qPrintable((command.first + command.second).join(QLatin1Char(' '))))
                << QString::fromLatin1(inputs.at(i).first) << inputs.at(i).second << sources.at(s) << command.first
                << command.second;
        }
    }
}

void TestCliFrames::unreadable()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, source);
    QFETCH(QStringList, command);
    QFETCH(QStringList, options);
    const QString path = dir.filePath(name);
    if (content.isNull())
        QVERIFY(!QFile::exists(path));
    else if (path != audio)
        QVERIFY(writeFile(path, content));
    const QString out = dir.filePath(QStringLiteral("unreadable.png"));
    options.replaceInStrings(QStringLiteral("unreadable.png"), out);
    const Result result = runCli(command + QStringList{path} + options + QStringList{QStringLiteral("--source"), source});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.out.isEmpty(), qPrintable(result.out));
    // The reason is our last line (the libraries may log before it) and names the file.
    const QString last = result.err.trimmed().split(QLatin1Char('\n')).last();
    QVERIFY2(last.startsWith(QLatin1String("framewright-cli: ")) && last.contains(path), qPrintable(result.err));
    QVERIFY(!QFile::exists(out));
}

void TestCliFrames::pastTheEnd_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("lines");  // on standard output
    QTest::addColumn<QString>("reason");     // the end of standard error
    const QString out = QStringLiteral("past.png");
    // The sources would clamp to the last frame: the count refuses first.
    QTest::newRow("frame 40, ffmpeg")
        << QStringList{QStringLiteral("frame"), QStringLiteral("clip"), QStringLiteral("40"), QStringLiteral("-o"),
                       out, QStringLiteral("--source"), QStringLiteral("ffmpeg")}
        << QStringList{} << QStringLiteral("no frame 40 in \"%1\": it holds frames 0 to 39");
    QTest::newRow("frames from 40, capture")
        << QStringList{QStringLiteral("frames"), QStringLiteral("clip"), QStringLiteral("--start"),
                       QStringLiteral("40"), QStringLiteral("--source"), QStringLiteral("capture")}
        << QStringList{} << QStringLiteral("no frame 40 in \"%1\": it holds frames 0 to 39");
    // The FFmpeg source ends; the capture source would start again at frame 0.
    QTest::newRow("frames over the end, ffmpeg")
        << QStringList{QStringLiteral("frames"), QStringLiteral("clip"), QStringLiteral("--start"), QStringLiteral("38"),
                       QStringLiteral("--count"), QStringLiteral("4"), QStringLiteral("--source"), QStringLiteral("ffmpeg")}
        << QStringList{QStringLiteral("39"), QStringLiteral("40")}
        << QStringLiteral("no frame 40 in \"%1\": the stream ends before it");
    // A decoding failure is told apart from the end of the stream.
    QTest::newRow("frame of an unreadable image")
        << QStringList{QStringLiteral("frame"), QStringLiteral("broken"), QStringLiteral("0"), QStringLiteral("-o"), out}
        << QStringList{} << QStringLiteral("The image %1 cannot be read.");
    QTest::newRow("frames of an unreadable image")
        << QStringList{QStringLiteral("frames"), QStringLiteral("broken")} << QStringList{}
        << QStringLiteral("The image %1 cannot be read.");
}

void TestCliFrames::pastTheEnd()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, lines);
    QFETCH(QString, reason);
    const QString broken = dir.filePath(QStringLiteral("broken0001.png"));
    QVERIFY(writeFile(broken, "not an image\n"));
    const QString file = args.at(1) == QLatin1String("clip") ? clip : broken;
    args[1] = file;
    if (args.contains(QLatin1String("-o")))
        args[args.indexOf(QLatin1String("-o")) + 1] = dir.filePath(args.at(args.indexOf(QLatin1String("-o")) + 1));
    const Result result = runCli(args);
    QCOMPARE(result.exitCode, 1);
    const QHash<int, QString> delivered = linesByPosition(result.out);
    QCOMPARE(result.out.count(QLatin1Char('\n')), lines.size());
    for (const QString &position : lines)
        QCOMPARE(delivered.value(position.toInt()), sequential.value(QStringLiteral("ffmpeg")).value(position.toInt()));
    QVERIFY2(result.err.endsWith(QStringLiteral("framewright-cli: ") + reason.arg(file) + QLatin1Char('\n')),
             qPrintable(result.err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("past.png"))));
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

void TestCliFrames::frames_at_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<int>("exitCode");
    // Backward, forward, the last frame and a repeat, against the sequential reads of the same frames.
    QTest::newRow("capture") << QStringLiteral("capture") << QList<int>{17, 3, 39, 0, 17} << 0;
    QTest::newRow("ffmpeg") << QStringLiteral("ffmpeg") << QList<int>{17, 3, 39, 0, 17} << 0;
    QTest::newRow("images") << QStringLiteral("images") << QList<int>{17, 3, 29, 0, 17} << 0;
    // The targets around a missing one are still delivered.
    QTest::newRow("ffmpeg, past the end") << QStringLiteral("ffmpeg") << QList<int>{5, 40, 7} << 1;
}

void TestCliFrames::frames_at()
{
    QFETCH(QString, source);
    QFETCH(QList<int>, indices);
    QFETCH(int, exitCode);
    const bool images = source == QLatin1String("images");
    const int count = images ? 30 : 40;
    QStringList list;
    for (int index : indices)
        list << QString::number(index);
    const QString dump = dir.filePath(QStringLiteral("at-") + QString::fromLatin1(QTest::currentDataTag()));
    const QStringList args = {QStringLiteral("frames"), images ? sequence : clip, QStringLiteral("--source"), source,
                              QStringLiteral("--at"), list.join(QLatin1Char(','))};
    const Result result = runCli(args + QStringList{QStringLiteral("--dump"), dump});
    QCOMPARE(result.exitCode, exitCode);

    QStringList expected;
    for (qsizetype i = 0; i < indices.size(); ++i) {
        const QString png = QDir(dump).filePath(QStringLiteral("%1.png").arg(i, 6, 10, QLatin1Char('0')));
        if (indices.at(i) >= count) {
            QVERIFY(!QFile::exists(png));
            QVERIFY2(result.err.contains(QStringLiteral("framewright-cli: no frame %1 in").arg(indices.at(i))),
                     qPrintable(result.err));
            continue;
        }
        expected << sequential.value(source).value(indices.at(i) + 1);
        // Images are numbered from 1 on disk.
        QCOMPARE(indexInPng(png), images ? indices.at(i) + 1 : indices.at(i));
    }
    QCOMPARE(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);

    const Result quiet = runCli(args + QStringList{QStringLiteral("--quiet")});
    QCOMPARE(quiet.exitCode, exitCode);
    static const QRegularExpression summary(
        QStringLiteral("^frames=(\\d+) seconds=\\d+\\.\\d{3} median_ms=(\\d+\\.\\d{3}) max_ms=(\\d+\\.\\d{3})\\n$"));
    const QRegularExpressionMatch match = summary.match(quiet.out);
    QVERIFY2(match.hasMatch(), qPrintable(quiet.out));
    QCOMPARE(match.captured(1).toInt(), expected.size());
    QVERIFY(match.captured(2).toDouble() <= match.captured(3).toDouble());
}

void TestCliFrames::frames_marks()
{
    // Three solves, the second without marks; marks in file order, one repeated.
    const QString video = dir.filePath(QStringLiteral("marked.avi"));
    QVERIFY(QFile::copy(clip, video));
    QVERIFY(writeFile(video + QStringLiteral(".splits.txt"), "Splits:5:12|Splits|Splits:40:1:5|\nFps:25\nRotate:0\n"));
    const QList<QList<int>> marks = {{1, 1, 5}, {1, 2, 12}, {3, 1, 40}, {3, 2, 1}, {3, 3, 5}};  // solve, mark, value
    for (const char *source : {"capture", "ffmpeg"}) {
        const QString dump = dir.filePath(QStringLiteral("marks-") + QString::fromLatin1(source));
        const Result result = runCli({QStringLiteral("frames"), video, QStringLiteral("--marks"), QStringLiteral("--source"),
                                      QString::fromLatin1(source), QStringLiteral("--dump"), dump});
        QCOMPARE(result.exitCode, 0);
        QStringList expected;
        for (const QList<int> &mark : marks) {
            // Mark M is the 1-based number of the frame on display: the frame of index M - 1.
            expected << QStringLiteral("solve=%1 mark=%2 ").arg(mark.at(0)).arg(mark.at(1))
                            + sequential.value(QString::fromLatin1(source)).value(mark.at(2));
            QCOMPARE(indexInPng(QDir(dump).filePath(QStringLiteral("solve%1-mark%2.png").arg(mark.at(0)).arg(mark.at(1)))),
                     mark.at(2) - 1);
        }
        QCOMPARE(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
        QCOMPARE(QDir(dump).entryList(QDir::Files).size(), marks.size());
    }
}

void TestCliFrames::frames_marksMissing_data()
{
    QTest::addColumn<QByteArray>("splits");     // null: no splits file
    QTest::addColumn<QStringList>("delivered");  // "solve=S mark=I " of the lines printed
    QTest::addColumn<QList<int>>("frames");     // their mark values
    QTest::addColumn<QStringList>("reasons");    // in standard error
    QTest::newRow("no splits file") << QByteArray() << QStringList{} << QList<int>{}
                                    << QStringList{QStringLiteral(".splits.txt\"")};
    QTest::newRow("solves without marks") << QByteArray("Splits|Splits|\nFps:30\n") << QStringList{} << QList<int>{}
                                          << QStringList{QStringLiteral("no marks in")};
    QTest::newRow("not a splits file") << QByteArray("Crop:0:0:1:1\nFps:30\n") << QStringList{} << QList<int>{}
                                       << QStringList{QStringLiteral("no marks in")};
    // Frame 41 is past the last frame, 0 is no frame number (an unreadable mark reads as 0).
    QTest::newRow("marks without a frame")
        << QByteArray("Splits:3:41:x:7|\n")
        << QStringList{QStringLiteral("solve=1 mark=1 "), QStringLiteral("solve=1 mark=4 ")} << QList<int>{3, 7}
        << QStringList{QStringLiteral("solve 1 mark 2 (frame number 41): no frame 40 in"),
                       QStringLiteral("solve 1 mark 3 (frame number 0): no frame -1 in")};
}

void TestCliFrames::frames_marksMissing()
{
    QFETCH(QByteArray, splits);
    QFETCH(QStringList, delivered);
    QFETCH(QList<int>, frames);
    QFETCH(QStringList, reasons);
    const QString video = dir.filePath(QStringLiteral("missing-%1.avi").arg(QTest::currentDataTag()));
    QVERIFY(QFile::copy(clip, video));
    if (!splits.isNull())
        QVERIFY(writeFile(video + QStringLiteral(".splits.txt"), splits));
    const Result result = runCli({QStringLiteral("frames"), video, QStringLiteral("--marks")});
    QCOMPARE(result.exitCode, 1);
    QStringList expected;
    for (qsizetype i = 0; i < delivered.size(); ++i)
        expected << delivered.at(i) + sequential.value(QStringLiteral("capture")).value(frames.at(i));
    QCOMPARE(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    for (const QString &reason : reasons)
        QVERIFY2(result.err.contains(reason) && result.err.contains(video), qPrintable(result.err));
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
    // Bad usage is told before the file is looked at.
    const auto at = [&](const QStringList &more) {
        return QStringList{QStringLiteral("frames"), missing, QStringLiteral("--at")} + more;
    };
    QTest::newRow("--at, empty") << at({QString()}) << 2;
    QTest::newRow("--at, not a number") << at({QStringLiteral("1,x")}) << 2;
    QTest::newRow("--at, negative") << at({QStringLiteral("3,-1")}) << 2;
    QTest::newRow("--at with --start") << at({QStringLiteral("1"), QStringLiteral("--start"), QStringLiteral("0")}) << 2;
    QTest::newRow("--at with --marks") << at({QStringLiteral("1"), QStringLiteral("--marks")}) << 2;
    QTest::newRow("--marks with --count") << QStringList{QStringLiteral("frames"), missing, QStringLiteral("--marks"),
                                                         QStringLiteral("--count"), QStringLiteral("2")}
                                          << 2;
}

void TestCliFrames::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const Result result = runCli(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith(QLatin1String("framewright-cli: ")), qPrintable(result.err));
}

QTEST_GUILESS_MAIN(TestCliFrames)
#include "tst_cli_frames.moc"
