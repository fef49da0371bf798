// Benchmark of the MP4 video export on a generated 1080p30 H.264 clip (moving
// noise over the index pictures, 12 Mbit/s, as bench_ffgrabber makes it):
//
//  1. frames per second of an export of the first N frames (default 300) at
//     the "Unchanged" size, H.264 (libx264, preset veryfast, CRF 23) and
//     MPEG-4 part 2, against the ffmpeg program re-encoding the same frames
//     with libx264 -preset veryfast (its own -benchmark real time, so process
//     start-up is not counted); the same run, one after another;
//  2. peak resident memory (VmHWM) of an export of N / 3 and of N frames, each
//     in a fresh process, to show that it does not grow with the range.
//
//   bench_export_mp4 [--clip FILE] [--keep DIR] [--frames N]
//
// --clip measures an existing clip (at least N frames); --keep writes the
// generated clip into DIR and leaves it there. Build in release mode.

#include "TestMedia.h"
#include "VideoExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

// VmHWM of this process in kB, or -1.
long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression line(QStringLiteral("^VmHWM:\\s+(\\d+) kB"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

// Child: exports frames [0, frames) of `clip` to `out`, prints the figures.
int runChild(const QString &clip, int frames, const QString &codec, const QString &out)
{
    videoexport::ExportSettings settings;
    settings.outputPath = out;
    settings.range = {0, frames};
    settings.codecs = {codec == QLatin1String("mpeg4") ? Mp4Codec::Mpeg4 : Mp4Codec::H264};
    FramePipeline pipeline;
    QElapsedTimer timer;
    timer.start();
    const videoexport::ExportResult result =
        videoexport::exportVideoFile(clip, FrameSourceKind::Ffmpeg, false, pipeline, settings);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!result.ok) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("seconds=%.3f frames=%lld codec=%s hwm_kb=%ld\n", seconds, static_cast<long long>(result.framesWritten),
                qPrintable(mp4CodecName(result.codec)), peakResidentKb());
    return 0;
}

struct ChildFigures
{
    double seconds = 0;
    long hwmKb = -1;
    QString codec;
};

std::optional<ChildFigures> child(const QString &clip, int frames, const QString &codec, const QString &out)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--child"), clip, QString::number(frames), codec, out});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s", process.readAllStandardError().constData());
        return std::nullopt;
    }
    static const QRegularExpression figures(QStringLiteral("seconds=([0-9.]+) frames=\\d+ codec=(\\w+) hwm_kb=(-?\\d+)"));
    const QRegularExpressionMatch match = figures.match(QString::fromLatin1(process.readAllStandardOutput()));
    if (!match.hasMatch())
        return std::nullopt;
    return ChildFigures{match.captured(1).toDouble(), match.captured(3).toLong(), match.captured(2)};
}

// The ffmpeg program's -benchmark real time for re-encoding the frames, or nullopt.
std::optional<double> ffmpegSeconds(const QString &clip, int frames, const QString &out)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-benchmark"),
                   QStringLiteral("-y"), QStringLiteral("-i"), clip, QStringLiteral("-frames:v"), QString::number(frames),
                   QStringLiteral("-an"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                   QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), out});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return std::nullopt;
    static const QRegularExpression rtime(QStringLiteral("rtime=([0-9.]+)s"));
    const QRegularExpressionMatch match = rtime.match(QString::fromLatin1(process.readAllStandardError()));
    return match.hasMatch() ? std::optional<double>(match.captured(1).toDouble()) : std::nullopt;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 6 && args.at(1) == QLatin1String("--child"))
        return runChild(args.at(2), args.at(3).toInt(), args.at(4), args.at(5));

    int frames = 300;
    if (const qsizetype at = args.indexOf(QStringLiteral("--frames")); at > 0 && at + 1 < args.size())
        frames = std::max(3, args.at(at + 1).toInt());
    QTemporaryDir dir;
    QString clip;
    if (const qsizetype at = args.indexOf(QStringLiteral("--clip")); at > 0 && at + 1 < args.size()) {
        clip = args.at(at + 1);
    } else {
        const qsizetype keep = args.indexOf(QStringLiteral("--keep"));
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("bench_export_1080p.mp4");
        options.width = 1920;
        options.height = 1080;
        options.fps = 30.0;
        options.frames = frames;
        options.codecArgs = {QStringLiteral("-vf"), QStringLiteral("noise=alls=24:allf=t"), QStringLiteral("-c:v"),
                             QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
                             QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-b:v"),
                             QStringLiteral("12M"), QStringLiteral("-maxrate"), QStringLiteral("12M"),
                             QStringLiteral("-bufsize"), QStringLiteral("24M")};
        QString error;
        const std::optional<QString> written =
            testmedia::writeClip(keep > 0 && keep + 1 < args.size() ? args.at(keep + 1) : dir.path(), options, &error);
        if (!written) {
            std::fprintf(stderr, "cannot make the clip: %s\n", qPrintable(error));
            return 1;
        }
        clip = *written;
    }
    const QString out = dir.filePath(QStringLiteral("out.mp4"));
    std::printf("clip %s, %d frames at 1920 x 1080, \"Unchanged\" size\n", qPrintable(clip), frames);

    const std::optional<ChildFigures> h264 = child(clip, frames, QStringLiteral("h264"), out);
    const std::optional<double> peer = ffmpegSeconds(clip, frames, dir.filePath(QStringLiteral("peer.mp4")));
    const std::optional<ChildFigures> mpeg4 = child(clip, frames, QStringLiteral("mpeg4"), out);
    const std::optional<ChildFigures> shortRun = child(clip, frames / 3, QStringLiteral("h264"), out);
    if (!h264 || !peer || !mpeg4 || !shortRun) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double peerFps = frames / *peer;
    const auto line = [&](const char *what, double seconds) {
        std::printf("  %-44s %7.1f fps  (%.2fx ffmpeg)\n", what, frames / seconds, frames / seconds / peerFps);
    };
    std::printf("export speed:\n");
    line(qPrintable(QStringLiteral("export, codec %1").arg(h264->codec)), h264->seconds);
    line(qPrintable(QStringLiteral("export, codec %1").arg(mpeg4->codec)), mpeg4->seconds);
    std::printf("  %-44s %7.1f fps\n", "ffmpeg -c:v libx264 -preset veryfast", peerFps);
    std::printf("peak resident memory (VmHWM) of the export process, codec %s:\n", qPrintable(h264->codec));
    std::printf("  %5d frames: %ld kB\n  %5d frames: %ld kB\n", frames / 3, shortRun->hwmKb, frames, h264->hwmKb);
    return 0;
}
