// Benchmark of the text recognition: the engine's start (first use), one
// recognition of a 300 x 100 timer selection and of a whole 1080p frame
// (medians of several runs), and how long the window's thread is kept from
// its events while a 1080p frame is read on the worker thread (the longest
// gap between ticks of a 5 ms timer).
//
//   bench_ocr [--keep DIR]
//
// The pictures are drawn with DejaVu Sans by the ffmpeg program. Build in
// release mode for meaningful numbers.

#include "OcrRunner.h"
#include "TextRecognition.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// A white picture with `filter`'s texts, read back as BGR; empty on failure.
cv::Mat draw(const QString &path, int width, int height, const QString &filter)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("color=c=white:s=%1x%2:d=1").arg(width).arg(height), QStringLiteral("-vf"), filter,
                  QStringLiteral("-frames:v"), QStringLiteral("1"), path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return {};
    }
    return cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
}

QString text(const QString &words, int x, int y, int size)
{
    return QStringLiteral("drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf:text='%1':x=%2:y=%3:"
                          "fontsize=%4:fontcolor=black")
        .arg(words)
        .arg(x)
        .arg(y)
        .arg(size);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTemporaryDir temporary;
    const qsizetype keepArg = args.indexOf(QStringLiteral("--keep"));
    const QString dir = keepArg > 0 && keepArg + 1 < args.size() ? args.at(keepArg + 1) : temporary.path();

    // A stackmat-like timer, and a 1080p frame with the timer, a scramble
    // line and a caption in it.
    const cv::Mat timer = draw(dir + QStringLiteral("/timer.png"), 300, 100, text(QStringLiteral("12.345"), 30, 20, 56));
    const cv::Mat frame = draw(dir + QStringLiteral("/frame.png"), 1920, 1080,
                               text(QStringLiteral("12.345"), 760, 480, 120) + QLatin1Char(',')
                                   + text(QStringLiteral("R U R2 F2 D L2 B U2"), 200, 120, 60)
                                   + QLatin1Char(',') + text(QStringLiteral("Round 1  Solve 3"), 200, 900, 48));
    if (timer.empty() || frame.empty())
        return 1;

    std::vector<double> starts;
    std::vector<double> timerRuns;
    std::vector<double> frameRuns;
    QString timerText;
    QString frameText;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        TextRecognizer recognizer;
        QString error;
        if (!recognizer.start(QCoreApplication::applicationDirPath(), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        starts.push_back(msSince(clock));
        clock.restart();
        timerText = recognizer.recognise(timer);
        timerRuns.push_back(msSince(clock));
        clock.restart();
        frameText = recognizer.recognise(frame);
        frameRuns.push_back(msSince(clock));
    }

    // The window's side: the runner reads the 1080p frame on its worker while
    // this thread runs its event loop.
    OcrRunner runner(QCoreApplication::applicationDirPath());
    double longestGap = 0.0;
    double runnerMs = 0.0;
    {
        QEventLoop loop;
        QElapsedTimer clock;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, msSince(sinceTick));
            sinceTick.restart();
        });
        QObject::connect(&runner, &OcrRunner::recognised, &loop, &QEventLoop::quit);
        QObject::connect(&runner, &OcrRunner::failed, &loop, &QEventLoop::quit);
        clock.start();
        sinceTick.start();
        tick.start();
        runner.recognise(frame);
        loop.exec();
        runnerMs = msSince(clock);
    }

    std::printf("text recognition (Tesseract %s, \"eng\"), medians of %d runs\n", TextRecognizer::engineVersion().constData(), kRuns);
    std::printf("  engine start (first use):         %8.1f ms\n", median(starts));
    std::printf("  300 x 100 timer selection:        %8.1f ms   read \"%s\"\n", median(timerRuns), qPrintable(timerText));
    std::printf("  whole 1920 x 1080 frame:          %8.1f ms   read \"%s\"\n", median(frameRuns), qPrintable(frameText));
    std::printf("  window thread during a 1080p read on the worker (first use, %.0f ms):\n", runnerMs);
    std::printf("    longest gap between 5 ms timer ticks: %.1f ms\n", longestGap);
    return 0;
}
