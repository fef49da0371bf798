// Key press to new picture on a real X server's screen, for the main window
// stepping through a 1080p clip (see ScreenLatency.h).
//
//   xvfb-run -a -s "-screen 0 1920x1200x24" build/bench/bench_screen_latency [--clip FILE]
//
// FILE must be a clip whose frames show their index (tests/media); without
// one a 1080p H.264 clip is generated. Run in a release build.

#include "ScreenLatency.h"
#include "TestMedia.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "no DISPLAY: run under an X server, e.g. xvfb-run -a -s \"-screen 0 1920x1200x24\"\n");
        return 1;
    }
    // What the screen shows is the point: never the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "xcb");
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
        std::printf("generating a 1080p H.264 clip (300 frames)...\n");
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("latency.mp4");
        options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                             QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
        options.frames = 300;
        options.width = 1920;
        options.height = 1080;
        options.fps = 30;
        QString error;
        const auto path = testmedia::writeClip(dir.path(), options, &error);
        if (!path) {
            std::fprintf(stderr, "cannot write the clip: %s\n", qPrintable(error));
            return 1;
        }
        clip = *path;
    }
    return runScreenLatency(clip) ? 0 : 1;
}
