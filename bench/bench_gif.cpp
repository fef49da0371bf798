// Benchmark of the animated GIF export against the ffmpeg program's
// two-pass palette GIF, on the same 300 frames of a generated 1080p30 clip
// (ffmpeg's moving test picture with its colour bars and gradients):
//
//  - time: the whole export (open the source, decode, scale to 480 wide,
//    quantise, write) against
//    ffmpeg -vf "scale=480:-1:flags=bicubic,split[a][b];[a]palettegen[p];[b][p]paletteuse"
//    (the program's wall time, start-up included), medians of three runs
//    each, taking turns;
//  - file size of both GIFs;
//  - PSNR of both GIFs' decoded frames (FFmpeg's GIF decoder) against the
//    source frames scaled to 480 wide with OpenCV's bicubic filter (the
//    export's own scaling, so its figure carries no scaling difference;
//    ffmpeg's carries the small difference between the two bicubic filters);
//  - peak memory (VmHWM) of the export of 60 and of 300 frames, each in a
//    process of its own: flat in the number of frames means no frame list.
//
//   bench_gif [--keep DIR]        (--memory N FILE OUT: internal, one export)
//
// Build in release mode for meaningful numbers.

#include "FFGrabber.h"
#include "FrameSources.h"
#include "FramePipeline.h"
#include "GifDecode.h"
#include "GifExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kFrames = 300;
constexpr int kWidth = 480;
constexpr int kHeight = 270;
constexpr int kDelay = 3;
constexpr int kRounds = 3;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Peak resident memory of this process in KiB, from /proc/self/status.
long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool run(const QString &program, const QStringList &args, double *seconds = nullptr, QByteArray *out = nullptr)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    const bool ok = process.waitForFinished(900000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (seconds)
        *seconds = double(timer.nsecsElapsed()) / 1e9;
    if (out)
        *out = process.readAllStandardOutput();
    if (!ok)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    return ok;
}

GifExportResult exportGif(const QString &clip, int frames, const QString &out)
{
    // Opened as the window and the command line open the source of a GIF export.
    const std::unique_ptr<FrameGrabber> source =
        CreateFrameSource(clip, FrameSourceKind::Ffmpeg, false, FrameSourceUse::ReadingThrough);
    FramePipeline pipeline;
    GifExportSettings settings;
    settings.width = kWidth;
    settings.frameCount = frames;
    settings.delay = kDelay;
    return ExportAnimatedGif(*source, 0, pipeline, PipelineSettings(), out, settings);
}

// PSNR (dB) of `decoded` against `reference` over all frames and channels.
double psnr(const std::vector<cv::Mat> &reference, const std::vector<cv::Mat> &decoded)
{
    double squared = 0.0;
    double samples = 0.0;
    const size_t n = std::min(reference.size(), decoded.size());
    for (size_t i = 0; i < n; ++i) {
        if (reference[i].size() != decoded[i].size())
            return 0.0;
        cv::Mat difference;
        cv::absdiff(reference[i], decoded[i], difference);
        difference.convertTo(difference, CV_64F);
        squared += cv::sum(difference.mul(difference))[0] + cv::sum(difference.mul(difference))[1]
                   + cv::sum(difference.mul(difference))[2];
        samples += double(difference.total()) * 3.0;
    }
    if (samples == 0.0)
        return 0.0;
    const double mse = squared / samples;
    return mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();

    // One export in this process, for its peak memory.
    if (const qsizetype memoryArg = args.indexOf(QStringLiteral("--memory")); memoryArg > 0 && memoryArg + 3 < args.size()) {
        const GifExportResult result = exportGif(args.at(memoryArg + 2), args.at(memoryArg + 1).toInt(), args.at(memoryArg + 3));
        if (!result.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(result.error));
            return 1;
        }
        std::printf("%ld\n", peakKiB());
        return 0;
    }

    QTemporaryDir temporary;
    const qsizetype keepArg = args.indexOf(QStringLiteral("--keep"));
    const QString dir = keepArg > 0 && keepArg + 1 < args.size() ? args.at(keepArg + 1) : temporary.path();
    const QString clip = dir + QStringLiteral("/gif_1080p.mp4");
    if (!QFileInfo::exists(clip)) {
        std::printf("generating a 1080p30 H.264 clip of %d frames...\n", kFrames);
        std::fflush(stdout);
        if (!run(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc2=size=1920x1080:rate=30"), QStringLiteral("-frames:v"),
                  QString::number(kFrames), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                  QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"),
                  QStringLiteral("yuv420p"), QStringLiteral("-y"), clip}))
            return 1;
    }

    const QString ours = dir + QStringLiteral("/ours.gif");
    const QString theirs = dir + QStringLiteral("/ffmpeg.gif");
    // Our export and ffmpeg's take turns, and the medians count: on a shared
    // machine a single run of either moves by a fifth from run to run.
    std::vector<double> ourRuns;
    std::vector<double> ffmpegRuns;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const GifExportResult result = exportGif(clip, kFrames, ours);
        ourRuns.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (!result.ok() || result.width != kWidth || result.height != kHeight) {
            std::fprintf(stderr, "the export failed: %s\n", qPrintable(result.error));
            return 1;
        }
        double seconds = 0.0;
        if (!run(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-i"), clip, QStringLiteral("-frames:v"), QString::number(kFrames),
                  QStringLiteral("-vf"),
                  QStringLiteral("scale=%1:-1:flags=bicubic,split[a][b];[a]palettegen[p];[b][p]paletteuse").arg(kWidth),
                  QStringLiteral("-y"), theirs},
                 &seconds))
            return 1;
        ffmpegRuns.push_back(seconds);
    }
    const double ourSeconds = median(ourRuns);
    const double ffmpegSeconds = median(ffmpegRuns);

    // The reference: the source frames, scaled as the export scales them, in RGB.
    std::vector<cv::Mat> reference;
    {
        FFGrabber source(clip);
        cv::Mat frame;
        for (int i = 0; i < kFrames; ++i) {
            source >> frame;
            if (source.lastRead() != ReadResult::Delivered)
                break;
            cv::Mat scaled;
            cv::resize(frame, scaled, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_CUBIC);
            cv::cvtColor(scaled, scaled, cv::COLOR_BGR2RGB);
            reference.push_back(scaled);
        }
    }
    QString error;
    const auto ourFrames = testmedia::decodeGif(ours, &error);
    const auto theirFrames = testmedia::decodeGif(theirs, &error);
    if (!ourFrames || !theirFrames) {
        std::fprintf(stderr, "cannot decode a GIF: %s\n", qPrintable(error));
        return 1;
    }

    double small = 0.0;
    double large = 0.0;
    QByteArray out;
    const QString self = QCoreApplication::applicationFilePath();
    const QString scratch = dir + QStringLiteral("/memory.gif");
    if (run(self, {QStringLiteral("--memory"), QStringLiteral("60"), clip, scratch}, nullptr, &out))
        small = out.trimmed().toDouble() / 1024.0;
    if (run(self, {QStringLiteral("--memory"), QString::number(kFrames), clip, scratch}, nullptr, &out))
        large = out.trimmed().toDouble() / 1024.0;

    std::printf("\nanimated GIF, %d frames of 1920x1080 at %dx%d\n", kFrames, kWidth, kHeight);
    std::printf("                     time      size       PSNR   frames\n");
    std::printf("  export:         %6.2f s  %7.2f MB  %6.2f dB  %4zu\n", ourSeconds,
                double(QFileInfo(ours).size()) / 1e6, psnr(reference, *ourFrames), ourFrames->size());
    std::printf("  ffmpeg 2-pass:  %6.2f s  %7.2f MB  %6.2f dB  %4zu\n", ffmpegSeconds,
                double(QFileInfo(theirs).size()) / 1e6, psnr(reference, *theirFrames), theirFrames->size());
    std::printf("  time ratio:     %6.2f    (target < 0.50; medians of %d interleaved runs)\n",
                ffmpegSeconds > 0 ? ourSeconds / ffmpegSeconds : 0.0, kRounds);
    std::printf("  runs, export:  ");
    for (const double seconds : ourRuns)
        std::printf(" %.2f", seconds);
    std::printf(" s\n  runs, ffmpeg:  ");
    for (const double seconds : ffmpegRuns)
        std::printf(" %.2f", seconds);
    std::printf(" s\n");
    std::printf("  peak memory of the export: %.1f MiB for 60 frames, %.1f MiB for %d frames\n", small, large, kFrames);
    return 0;
}
