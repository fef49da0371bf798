#include "ScreenLatency.h"

#include "Framewright.h"
#include "TestMedia.h"
#include "XInput.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRepetitions = 30;
// A picture not on screen by then counts as not shown (and is left out of the figures).
constexpr int kTimeoutMs = 1500;

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Figures
{
    std::vector<double> ms;
    int missed = 0;

    void add(double value)
    {
        if (value < 0)
            ++missed;
        else
            ms.push_back(value);
    }

    // `counted`: what one value is ("shown", "grabs").
    void print(const char *what, const char *counted = "shown") const
    {
        if (ms.empty()) {
            std::printf("  %-34s never shown within %d ms (%d tries)\n", what, kTimeoutMs, missed);
            return;
        }
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        std::printf("  %-34s median %7.1f ms, max %7.1f ms (%zu %s", what, median, sorted.back(), n, counted);
        if (missed)
            std::printf(", %d not shown within %d ms", missed, kTimeoutMs);
        std::printf(")\n");
    }
};

// What the window shows, read as a person would: the label's frame number and
// the index on the picture the X server has.
class Screen
{
public:
    Screen(Framewright &window, double aspect)
        : window(window)
        , display(window.findChild<QWidget *>(QStringLiteral("displayWidget")))
        , timeLabel(window.findChild<QLabel *>(QStringLiteral("timeLabel")))
        , aspect(aspect)
    {
    }

    bool valid() const { return display && timeLabel; }

    int labelFrame() const
    {
        static const QRegularExpression pattern(QStringLiteral("\\((\\d+)\\)\\s*$"));
        const QRegularExpressionMatch match = pattern.match(timeLabel->text());
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    // The picture is fitted into the display keeping its aspect, at the top left.
    QRect pictureRect() const
    {
        int w = display->width();
        int h = display->height();
        if (w / aspect > h)
            w = int(h * aspect);
        else
            h = int(w / aspect);
        return QRect(display->mapTo(&window, QPoint(0, 0)), QSize(w, h));
    }

    int shownIndex() const
    {
        const QRect r = pictureRect();
        const QImage image = QGuiApplication::primaryScreen()
                                 ->grabWindow(window.winId(), r.x(), r.y(), r.width(), r.height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_BGR888);
        if (image.isNull())
            return -1;
        const cv::Mat view(image.height(), image.width(), CV_8UC3, const_cast<uchar *>(image.constBits()),
                           size_t(image.bytesPerLine()));
        return testmedia::readIndex(view);
    }

private:
    Framewright &window;
    QWidget *display;
    QLabel *timeLabel;
    double aspect;
};

// Milliseconds from the key's press (released at once: the window acts on
// the release) until the screen shows the frame the label then names; -1
// when it does not within kTimeoutMs.
double timeKey(XInput &input, const Screen &screen, unsigned long keysym)
{
    const int before = screen.labelFrame();
    QElapsedTimer timer;
    timer.start();
    input.keyDown(keysym);
    input.keyUp(keysym);
    int expected = -1;
    while (timer.elapsed() < kTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const int label = screen.labelFrame();
        if (label != before)
            expected = label - 1;
        if (expected >= 0 && screen.shownIndex() == expected)
            return double(timer.nsecsElapsed()) / 1e6;
    }
    return -1;
}

bool measureSource(XInput &input, const QString &clip, bool ffmpeg, double aspect)
{
    Framewright window;
    auto *ffmpegCheck = window.findChild<QCheckBox *>(QStringLiteral("ffgrabberCheck"));
    if (!ffmpegCheck) {
        std::fprintf(stderr, "the window has no \"Use funky codecs\" check box (ffgrabberCheck)\n");
        return false;
    }
    ffmpegCheck->setChecked(ffmpeg);
    window.OpenVideo(clip);
    window.resize(1600, 1000);
    window.move(20, 20);
    window.show();
    window.raise();
    window.activateWindow();
    QElapsedTimer wait;
    wait.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed() && window.isActiveWindow())
           && wait.elapsed() < 5000)
        spin(10);
    const Screen screen(window, aspect);
    if (!screen.valid() || !window.isActiveWindow()) {
        std::fprintf(stderr, "the window did not come up with its display and time label\n");
        return false;
    }
    spin(300);
    const QRect picture = screen.pictureRect();
    std::printf("%s, picture %d x %d on screen:\n",
                ffmpeg ? "FFmpeg source (\"Use funky codecs\")" : "capture source (the default)", picture.width(),
                picture.height());

    // Away from the first frame, then one untimed pair.
    for (int i = 0; i < 2; ++i) {
        input.type(XK_e);
        spin(100);
    }
    timeKey(input, screen, XK_d);
    timeKey(input, screen, XK_a);

    Figures forward, back;
    for (int i = 0; i < kRepetitions; ++i) {
        forward.add(timeKey(input, screen, XK_d));
        back.add(timeKey(input, screen, XK_a));
        // A picture that never comes would only repeat the timeout.
        if (forward.ms.empty() && back.ms.empty() && forward.missed >= 5)
            break;
    }
    forward.print("D (step forward):");
    back.print("A (step back right after D):");

    Figures grab;
    for (int i = 0; i < kRepetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        screen.shownIndex();
        grab.add(double(timer.nsecsElapsed()) / 1e6);
    }
    grab.print("grab + read of the picture alone:", "grabs");

    // Nothing is marked, so closing asks nothing.
    return true;
}

}  // namespace

bool runScreenLatency(const QString &clip1080p)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr, "needs the xcb platform on a real X server (e.g. under xvfb-run), not \"%s\"\n",
                     qPrintable(QGuiApplication::platformName()));
        return false;
    }
    XInput input;
    if (!input.isOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(input.error()));
        return false;
    }
    const QSize screen = QGuiApplication::primaryScreen()->size();
    std::printf("key press (XTest) to new picture on the X server's screen, %d repetitions each, screen %d x %d\n",
                kRepetitions, screen.width(), screen.height());
    std::printf("the times include the screen grabs that poll for the picture (one per poll; see the grab alone)\n");
    // The picture keeps the clip's proportions on screen.
    cv::VideoCapture capture(clip1080p.toStdString());
    const double width = capture.get(cv::CAP_PROP_FRAME_WIDTH);
    const double height = capture.get(cv::CAP_PROP_FRAME_HEIGHT);
    capture.release();
    if (!(width > 0 && height > 0)) {
        std::fprintf(stderr, "cannot read the size of \"%s\"\n", qPrintable(clip1080p));
        return false;
    }
    const double aspect = width / height;
    return measureSource(input, clip1080p, false, aspect) && measureSource(input, clip1080p, true, aspect);
}
