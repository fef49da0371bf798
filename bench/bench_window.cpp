// Benchmark of the main window at work (offscreen):
//  1. playback with "Limit Playback Rate" unchecked on a generated 1080p
//     H.264 clip, default image settings: frames shown per second through the
//     real window, for the capture source and the FFmpeg source, against the
//     FFmpeg source's raw sequential reading rate measured in the same run;
//  2. playback with the limit checked: frames per second against the FPS
//     box (30, 60, 29.97) and the playback speed (1x, 0.5x);
//  3. the timeline's painting with 50 solves of 10 marks on a 1-hour video.
//
//  4. with --screen-latency, instead: the time from a key press (XTest) to
//     the new picture on a real X server's screen, for one step forward and
//     one step back, both frame sources (see ScreenLatency.h).
//
//   QT_QPA_PLATFORM=offscreen bench_window [--clip FILE]
//   xvfb-run -a -s "-screen 0 1920x1200x24" bench_window --screen-latency [--clip FILE]
//
// Run in a release build.

#include "DisplayWidget.h"
#include "FFGrabber.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "FramePipeline.h"
#include "Framewright.h"
#include "ScreenLatency.h"
#include "SolveModel.h"
#include "TestMedia.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

class WindowBenchmark
{
public:
    struct Playback
    {
        bool ffmpeg = true;
        bool limited = false;  // "Limit Playback Rate"
        double fps = 30.0;     // the FPS box, when limited
        int speedIndex = 3;    // 1x
        int frames = 400;      // stop after this many frames ...
        int milliseconds = 60000;  // ... or this long
    };

    // Frames shown per second while playing `clip`, counted from the first
    // frame shown (a second later when limited) so that start-up costs do
    // not count.
    static double playbackRate(const QString &clip, const Playback &how)
    {
        Framewright window;
        window.ui->ffgrabberCheck->setChecked(how.ffmpeg);
        window.ui->autosaveCheck->setChecked(false);
        window.OpenVideo(clip);
        window.resize(1280, 800);
        window.show();
        window.ui->playbackRateCheck->setChecked(how.limited);
        if (how.limited) {
            window.ui->fpsSpin->setValue(how.fps);
            window.ui->playbackSpeedCombo->setCurrentIndex(how.speedIndex);
        }
        QCoreApplication::processEvents();
        // Every picture the player publishes counts, even two within one
        // pass of the event loop.
        int shown = 0;
        QObject::connect(window.player.get(), &FrameCursor::pictureChanged, [&shown] { ++shown; });
        window.on_pauseButton_clicked();
        // The first frames after opening decode more slowly (the decoder's
        // threads start up): a second of warming up before counting.
        QElapsedTimer timer;
        timer.start();
        while (shown == 0 || (how.limited && timer.elapsed() < 1000))
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        timer.start();
        shown = 0;
        while (shown < how.frames && timer.elapsed() < how.milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        window.on_pauseButton_clicked();
        return shown / seconds;
    }

    // Where a played frame's time goes: read, process, pixmap, repaint (ms per frame).
    static void breakdown(const QString &clip)
    {
        Framewright window;
        window.ui->ffgrabberCheck->setChecked(true);
        window.ui->autosaveCheck->setChecked(false);
        window.OpenVideo(clip);
        window.resize(1280, 800);
        window.show();
        QCoreApplication::processEvents();
        double read = 0, process = 0, pixmap = 0, paint = 0;
        const int frames = 200;
        QElapsedTimer timer;
        for (int i = 0; i < frames; ++i) {
            timer.start();
            *window.player->source() >> window.player->rawFrame;
            read += double(timer.nsecsElapsed()) / 1e6;
            timer.start();
            window.player->processedFrame =
                window.player->pipeline().process(window.player->rawFrame, window.CurrentPipelineSettings());
            process += double(timer.nsecsElapsed()) / 1e6;
            timer.start();
            window.ui->displayWidget->setFrame(window.player->processedFrame, false);
            pixmap += double(timer.nsecsElapsed()) / 1e6;
            timer.start();
            window.ui->displayWidget->repaint();
            window.ui->timelineWidget->repaint();
            paint += double(timer.nsecsElapsed()) / 1e6;
        }
        std::printf("per frame: read %.2f ms, process %.2f ms, pixmap %.2f ms, repaint %.2f ms\n", read / frames,
                    process / frames, pixmap / frames, paint / frames);
    }

    // Milliseconds per paint of the timeline with 50 solves of 10 marks on a 1-hour video at 30 fps.
    static double timelinePaint(const QString &clip)
    {
        Framewright window;
        window.ui->autosaveCheck->setChecked(false);
        window.OpenVideo(clip);
        window.ui->fpsSpin->setValue(30.0);
        window.player->totalFrames = 30 * 3600;
        std::vector<Marks> solves;
        for (int s = 0; s < 50; ++s) {
            Marks marks;
            for (int m = 0; m < 10; ++m)
                marks.push_back(s * 2000 + m * 150);
            solves.push_back(marks);
        }
        window.model->appendSolves(solves);
        window.ResetSolveCombo(50, 0);
        window.resize(1280, 800);
        window.show();
        QCoreApplication::processEvents();
        QWidget *timeline = window.ui->timelineWidget;
        QPixmap target(timeline->size());
        const int runs = 200;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < runs; ++i)
            timeline->render(&target);
        return double(timer.nsecsElapsed()) / 1e6 / runs;
    }
};

int main(int argc, char *argv[])
{
    // The screen latency is measured where the user looks: on a real X
    // server, never the offscreen platform.
    const bool screenLatency = std::any_of(argv + 1, argv + argc,
                                           [](const char *arg) { return std::strcmp(arg, "--screen-latency") == 0; });
    if (screenLatency) {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            std::fprintf(stderr, "--screen-latency needs an X server, e.g. xvfb-run -a -s \"-screen 0 1920x1200x24\"\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    QString clip;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--clip"));
    QTemporaryDir dir;
    if (at >= 0 && at + 1 < args.size()) {
        clip = args.at(at + 1);
    } else {
        std::printf("generating a 1080p H.264 clip (600 frames, GOP 250, B-frames)...\n");
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("play.mp4");
        options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                          QStringLiteral("veryfast"), QStringLiteral("-bf"), QStringLiteral("3"),
                          QStringLiteral("-g"), QStringLiteral("250"), QStringLiteral("-pix_fmt"),
                          QStringLiteral("yuv420p")};
        options.frames = 600;
        options.width = 1920;
        options.height = 1080;
        QString error;
        const auto path = testmedia::writeClip(dir.path(), options, &error);
        if (!path) {
            std::fprintf(stderr, "cannot write the clip: %s\n", qPrintable(error));
            return 1;
        }
        clip = *path;
    }

    if (screenLatency)
        return runScreenLatency(clip) ? 0 : 1;

    // Raw sequential reading through the FFmpeg source.
    double raw = 0;
    {
        FFGrabber grabber(clip);
        const int frames = std::min(grabber.getFrameCount(), 500);
        QElapsedTimer timer;
        timer.start();
        cv::Mat image;
        for (int i = 0; i < frames; ++i)
            grabber >> image;
        raw = frames / (double(timer.nsecsElapsed()) / 1e9);
    }
    WindowBenchmark::Playback unlimited;
    unlimited.ffmpeg = false;
    const double capture = WindowBenchmark::playbackRate(clip, unlimited);
    unlimited.ffmpeg = true;
    const double ffmpeg = WindowBenchmark::playbackRate(clip, unlimited);
    std::printf("FFmpeg source, raw sequential reading:   %7.1f frames/s\n", raw);
    std::printf("window playback, capture source:         %7.1f frames/s (%.0f %% of raw)\n", capture,
                100.0 * capture / raw);
    std::printf("window playback, FFmpeg source:          %7.1f frames/s (%.0f %% of raw)\n", ffmpeg,
                100.0 * ffmpeg / raw);
    for (const auto &[fps, speed] : {std::pair{30.0, 3}, std::pair{60.0, 3}, std::pair{29.97, 3}, std::pair{30.0, 2}}) {
        std::printf("limited playback, FPS box %5.2f, speed %-5s %7.2f frames/s\n", fps,
                    speed == 3 ? "1x:" : "0.5x:",
                    WindowBenchmark::playbackRate(clip, {true, true, fps, speed, 100000, 4000}));
    }
    WindowBenchmark::breakdown(clip);
    std::printf("timeline paint, 50 solves x 10 marks, 1 h: %7.3f ms\n", WindowBenchmark::timelinePaint(clip));
    return 0;
}
