// Tests of the two painting widgets of the main window, by what they show:
// the frame display (picture, crop outlines, time box, fading messages,
// drawing the crop with the mouse) and the timeline (playhead, solves and
// their labels, seeking with the mouse). Everything is rendered offscreen
// and checked pixel by pixel.
#include "DisplayWidget.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "SolveModel.h"
#include "TestMedia.h"
#include "TimelineWidget.h"

#include <QFontMetrics>
#include <QImage>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <opencv2/core.hpp>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// The widget as the user sees it.
QImage render(QWidget &widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A part of a rendered image as a BGR frame, for testmedia::readIndex.
cv::Mat toMat(const QImage &image, const QRect &area)
{
    const QImage part = image.copy(area).convertToFormat(QImage::Format_BGR888);
    cv::Mat wrapped(part.height(), part.width(), CV_8UC3, const_cast<uchar *>(part.constBits()),
                    size_t(part.bytesPerLine()));
    return wrapped.clone();
}

bool isRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; }
bool isWhite(QRgb p) { return qRed(p) >= 245 && qGreen(p) >= 245 && qBlue(p) >= 245; }
bool isBlack(QRgb p) { return qRed(p) <= 40 && qGreen(p) <= 40 && qBlue(p) <= 40; }

// Pixels of `area` for which `test` holds.
int countPixels(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &test)
{
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += test(image.pixel(x, y)) ? 1 : 0;
    return count;
}

bool sameRect(const QRectF &a, const QRectF &b)
{
    return std::abs(a.x() - b.x()) < 1e-6 && std::abs(a.y() - b.y()) < 1e-6 && std::abs(a.width() - b.width()) < 1e-6
           && std::abs(a.height() - b.height()) < 1e-6;
}

QString rectText(const QRectF &r)
{
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString describe(QRgb p) { return QStringLiteral("(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p)); }

cv::Mat uniformFrame(int width, int height, int grey = 128)
{
    return cv::Mat(height, width, CV_8UC3, cv::Scalar(grey, grey, grey));
}

// A shown display of `size` with `frame` on it, in a window of its own.
struct ShownDisplay
{
    ShownDisplay(QSize size, const cv::Mat &picture, bool smooth = true) : frame(picture), widget(&window)
    {
        window.resize(size);
        widget.resize(size);
        window.show();
        widget.setFrame(frame, smooth);
    }
    cv::Mat frame;  // the display shares its pixels
    QWidget window;
    DisplayWidget widget;
};

// A mouse gesture on the display's window, as the window system delivers
// it: the modifiers held go with every event, and the application's
// keyboard state follows them. Ends with a plain move, so that no modifier
// seems held afterwards.
void gesture(ShownDisplay &display, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint from,
             const QList<QPoint> &through, QPoint to)
{
    QWindow *window = display.window.windowHandle();
    QVERIFY(window);
    const auto at = [&](QPoint p) { return display.widget.mapTo(&display.window, p); };
    QTest::mouseEvent(QTest::MousePress, window, button, modifiers, at(from));
    for (const QPoint &p : through)
        QTest::mouseEvent(QTest::MouseMove, window, Qt::NoButton, modifiers, at(p));
    QTest::mouseEvent(QTest::MouseRelease, window, button, modifiers, at(to));
    QTest::mouseEvent(QTest::MouseMove, window, Qt::NoButton, {}, at(to));
}

// A video of `frames` frames for the timeline; the pictures do not matter.
class CountingSource : public FrameGrabber
{
public:
    explicit CountingSource(int frames) : frames(frames) {}
    int32_t getFrameCount() override { return frames; }
    CountingSource &operator>>(cv::Mat &frame) override
    {
        if (position < frames) {
            frame = cv::Mat(8, 8, CV_8UC3, cv::Scalar(0, 0, 0));
            ++position;
        }
        return *this;
    }
    void seek(int32_t frameIndex) override { position = std::clamp(frameIndex, 0, frames); }
    void skip(int32_t delta) override { position = std::clamp(position + delta, 0, frames); }
    int32_t getPosition() override { return position; }

    int frames;
    int position = 0;
};

// Twelve saturated colours, none of them grey or white.
QList<QColor> markColours()
{
    QList<QColor> colours;
    for (int i = 0; i < 12; ++i)
        colours.append(QColor::fromHsv(i * 30, 255, 220));
    return colours;
}

// A timeline of `width` x `height` over a video of `frames` frames with `solves`
// (the first one current unless `current` says otherwise).
struct Timeline
{
    Timeline(int width, int height, int frames, const std::vector<Marks> &solves, int current = 0)
    {
        model.appendSolves(solves);
        if (current != 0)
            model.switchSolve(current);
        if (frames > 0)
            cursor.setSource(std::make_unique<CountingSource>(frames));
        widget.setModel(&model);
        widget.setPlayer(&cursor);
        widget.setFps(30.0);
        widget.setColours(markColours());
        widget.resize(width, height);
        widget.show();
    }
    SolveModel model;
    FrameCursor cursor;
    TimelineWidget widget;
};

// The colour a block of `colour` at 50% opacity over the white strip shows.
QColor overWhite(const QColor &colour)
{
    return QColor((colour.red() + 255) / 2, (colour.green() + 255) / 2, (colour.blue() + 255) / 2);
}

bool near(QRgb p, const QColor &c, int tolerance = 4)
{
    return std::abs(qRed(p) - c.red()) <= tolerance && std::abs(qGreen(p) - c.green()) <= tolerance
           && std::abs(qBlue(p) - c.blue()) <= tolerance;
}

// The label font of the timeline's blocks.
QFontMetrics blockLabelMetrics(const QWidget &widget)
{
    QFont bold = widget.font();
    bold.setWeight(QFont::Bold);
    bold.setPointSize(18);
    return QFontMetrics(bold);
}

} // namespace

class TestWindowWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- DisplayWidget ----

    // The frame fills the widget's width (or height) from the top-left
    // corner, keeping its proportions.
    void displayShowsFrameFitted_data()
    {
        QTest::addColumn<QSize>("widgetSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("fitted");
        QTest::addColumn<int>("index");

        QTest::newRow("4:3 frame enlarged to the width") << QSize(400, 300) << QSize(160, 120) << QSize(400, 300) << 37;
        QTest::newRow("large frame reduced") << QSize(320, 240) << QSize(1280, 960) << QSize(320, 240) << 1234;
        QTest::newRow("tall frame in a wide widget: left part") << QSize(400, 300) << QSize(120, 240) << QSize(150, 300)
                                                                << 0xA5A5;
        QTest::newRow("index 0") << QSize(320, 240) << QSize(64, 48) << QSize(320, 240) << 0;
        QTest::newRow("index 65535") << QSize(320, 240) << QSize(64, 48) << QSize(320, 240) << 65535;
    }

    void displayShowsFrameFitted()
    {
        QFETCH(QSize, widgetSize);
        QFETCH(QSize, frameSize);
        QFETCH(QSize, fitted);
        QFETCH(int, index);
        ShownDisplay display(widgetSize, testmedia::indexFrame(index, frameSize.width(), frameSize.height()));
        QCOMPARE(display.widget.pictureSize(), QSizeF(fitted));
        const QImage shot = render(display.widget);
        QCOMPARE(testmedia::readIndex(toMat(shot, QRect(QPoint(0, 0), fitted))), index);
        // Right of a narrower picture is the background, not the picture.
        if (fitted.width() < widgetSize.width()) {
            const QRgb background = display.widget.palette().window().color().rgb();
            QCOMPARE(describe(shot.pixel(widgetSize.width() - 2, widgetSize.height() / 2)), describe(background));
        }
    }

    // The display is never taller than the picture at its width.
    void displayMaximumHeightFollowsPicture()
    {
        ShownDisplay display(QSize(320, 480), uniformFrame(200, 50));
        QCOMPARE(display.widget.maximumHeight(), 80);  // 320 / 4
        display.widget.resize(400, 80);
        QCOMPARE(display.widget.maximumHeight(), 100);
        cv::Mat square = uniformFrame(50, 50);
        display.widget.setFrame(square, true);
        QCOMPARE(display.widget.maximumHeight(), 400);
        cv::Mat none;
        display.widget.setFrame(none, true);
        QCOMPARE(display.widget.maximumHeight(), QWIDGETSIZE_MAX);
        QVERIFY(display.widget.displayPixmap.isNull());
    }

    // A 2x2 checker enlarged: smooth scaling blends the squares into greys,
    // the fast scaling of playback keeps the two colours.
    void displaySmoothAndFastScaling()
    {
        cv::Mat checker(2, 2, CV_8UC3, cv::Scalar(0, 0, 0));
        checker.at<cv::Vec3b>(0, 1) = cv::Vec3b(255, 255, 255);
        checker.at<cv::Vec3b>(1, 0) = cv::Vec3b(255, 255, 255);
        const auto greys = [](const QImage &image) {
            QSet<int> levels;
            for (int y = 0; y < 200; ++y)
                for (int x = 0; x < 200; ++x)
                    levels.insert(qGray(image.pixel(x, y)));
            return levels;
        };

        ShownDisplay display(QSize(200, 200), checker, true);
        const QSet<int> smooth = greys(render(display.widget));
        QVERIFY2(smooth.size() > 10, qPrintable(QStringLiteral("smooth scaling shows %1 grey levels").arg(smooth.size())));

        display.widget.setSmooth(false);
        const QSet<int> fast = greys(render(display.widget));
        QCOMPARE(fast, (QSet<int>{0, 255}));

        display.widget.setFrame(checker, true);
        QVERIFY2(greys(render(display.widget)).size() > 10, "setFrame(smooth) does not scale smoothly again");
    }

    // The time text sits in a dark box at the bottom right of the picture
    // (not of the widget, when the picture is narrower).
    void displayTimeBox_data()
    {
        QTest::addColumn<QSize>("widgetSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("fitted");

        QTest::newRow("picture as wide as the widget") << QSize(480, 360) << QSize(160, 120) << QSize(480, 360);
        QTest::newRow("tall picture at the left") << QSize(480, 360) << QSize(100, 120) << QSize(300, 360);
    }

    void displayTimeBox()
    {
        QFETCH(QSize, widgetSize);
        QFETCH(QSize, frameSize);
        QFETCH(QSize, fitted);
        ShownDisplay display(widgetSize, uniformFrame(frameSize.width(), frameSize.height(), 200));
        display.widget.setTimeText(QStringLiteral("00:03:167 (95)"));
        const QImage shot = render(display.widget);

        // The darkened box: half of 200 is 100 (the text is white).
        const auto dark = [](QRgb p) { return qGray(p) >= 80 && qGray(p) <= 120; };
        QRect box;
        for (int y = 0; y < fitted.height(); ++y)
            for (int x = 0; x < fitted.width(); ++x)
                if (dark(shot.pixel(x, y)))
                    box |= QRect(x, y, 1, 1);
        QVERIFY2(!box.isEmpty(), "no time box");
        QCOMPARE(box.right(), fitted.width() - 1);
        QCOMPARE(box.bottom(), fitted.height() - 1);
        QVERIFY2(box.width() > 60 && box.width() < fitted.width(),
                 qPrintable(QStringLiteral("box %1 px wide for a 14-character time").arg(box.width())));
        QVERIFY2(box.top() > fitted.height() / 2, "the box reaches the upper half");
        QVERIFY2(countPixels(shot, box, isWhite) > 20, "no white text in the time box");
        // The rest of the picture is untouched.
        QCOMPARE(qGray(shot.pixel(2, 2)), 200);
        QCOMPARE(qGray(shot.pixel(2, fitted.height() - 2)), 200);
    }

    // The crop being drawn (red, solid) and the applied crop (white, dashed,
    // only while not in use) are outlined where their fractions say.
    void displayCropOutlines()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.editCrop = QRectF(0.25, 0.2, 0.5, 0.6);      // x 100..300, y 60..240
        widget.appliedCrop = QRectF(0.05, 0.1, 0.9, 0.8);   // x 20..380, y 30..270
        widget.update();
        QImage shot = render(widget);

        // Red along each side of the edit crop, not inside or outside it.
        for (const QPoint &p : {QPoint(100, 150), QPoint(300, 150), QPoint(200, 60), QPoint(200, 240)})
            QVERIFY2(isRed(shot.pixel(p)), qPrintable(QStringLiteral("no red edge at (%1, %2): %3")
                                                          .arg(p.x()).arg(p.y()).arg(describe(shot.pixel(p)))));
        for (const QPoint &p : {QPoint(200, 150), QPoint(95, 150), QPoint(305, 150), QPoint(200, 55)})
            QVERIFY2(!isRed(shot.pixel(p)), qPrintable(QStringLiteral("red at (%1, %2)").arg(p.x()).arg(p.y())));

        // White dashes along the applied crop's top and left sides: some
        // pixels white, some not.
        const QRect top(40, 29, 320, 3);
        const QRect left(19, 50, 3, 200);
        for (const QRect &side : {top, left}) {
            const int white = countPixels(shot, side, isWhite);
            QVERIFY2(white > side.width() * side.height() / 5 && white < side.width() * side.height() * 9 / 10,
                     qPrintable(QStringLiteral("%1 white of %2 pixels: not dashed")
                                    .arg(white)
                                    .arg(side.width() * side.height())));
        }
        QCOMPARE(countPixels(shot, QRect(40, 40, 50, 50), isWhite), 0);

        // In use, the applied crop is not outlined; the edit crop still is.
        widget.setCropApplied(true);
        shot = render(widget);
        QCOMPARE(countPixels(shot, shot.rect(), isWhite), 0);
        QVERIFY(isRed(shot.pixel(100, 150)));
        widget.setCropApplied(false);
        shot = render(widget);
        QVERIFY(countPixels(shot, top, isWhite) > 0);
    }

    // A full or an empty rectangle is no crop: nothing is outlined.
    void displayNoOutlineForFullOrEmptyCrop_data()
    {
        QTest::addColumn<QRectF>("crop");
        QTest::newRow("full") << QRectF(0, 0, 1, 1);
        QTest::newRow("zero width") << QRectF(0.2, 0.2, 0, 0.5);
        QTest::newRow("zero height") << QRectF(0.2, 0.2, 0.5, 0);
        QTest::newRow("negative width") << QRectF(0.5, 0.2, -0.3, 0.5);
    }

    void displayNoOutlineForFullOrEmptyCrop()
    {
        QFETCH(QRectF, crop);
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        display.widget.editCrop = crop;
        display.widget.appliedCrop = crop;
        const QImage shot = render(display.widget);
        QCOMPARE(countPixels(shot, shot.rect(), isRed), 0);
        QCOMPARE(countPixels(shot, shot.rect(), isWhite), 0);
    }

    // A message fades over `messageLifetime` paints and is then gone; two
    // messages age independently.
    void displayMessagesFade()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120, 0));
        DisplayWidget &widget = display.widget;
        QCOMPARE(widget.messageLifetime, 10);
        widget.showMessage(QStringLiteral("8"));
        const QRect centre(150, 100, 100, 100);
        int previous = 256;
        for (int paint = 1; paint <= 10; ++paint) {
            QCOMPARE(widget.messages.size(), 1);
            const QImage shot = render(widget);
            int brightest = 0;
            for (int y = centre.top(); y <= centre.bottom(); ++y)
                for (int x = centre.left(); x <= centre.right(); ++x)
                    brightest = std::max(brightest, qGray(shot.pixel(x, y)));
            if (paint < 10) {
                QVERIFY2(brightest > 0, qPrintable(QStringLiteral("paint %1: message not shown").arg(paint)));
                QVERIFY2(brightest < previous,
                         qPrintable(QStringLiteral("paint %1: %2, not fainter than %3").arg(paint).arg(brightest).arg(previous)));
            } else {
                QVERIFY2(brightest == 0, qPrintable(QStringLiteral("last paint still shows %1").arg(brightest)));
            }
            previous = brightest;
        }
        QVERIFY2(widget.messages.isEmpty(), "message left after its lifetime");
        QVERIFY(widget.messageCounters.empty());
        QCOMPARE(countPixels(render(widget), centre, [](QRgb p) { return qGray(p) > 0; }), 0);

        widget.showMessage(QStringLiteral("1"));
        for (int i = 0; i < 3; ++i)
            render(widget);
        widget.showMessage(QStringLiteral("2"));
        for (int i = 0; i < 7; ++i)
            render(widget);
        QCOMPARE(widget.messages, QList<QString>{QStringLiteral("2")});
        for (int i = 0; i < 3; ++i)
            render(widget);
        QVERIFY(widget.messages.isEmpty());
        QVERIFY(widget.messageCounters.empty());
    }

    // Dragging on the picture draws the crop (a square in fractions while
    // the aspect is kept); the release reports it; the user sees it in red.
    void displayMouseDrawsCrop_data()
    {
        QTest::addColumn<bool>("keepAspect");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRectF>("expected");

        // 400 x 300 picture: 40 px are 0.1 across, 30 px 0.1 down.
        QTest::newRow("free") << false << QPoint(100, 75) << QPoint(300, 150) << QRectF(0.25, 0.25, 0.5, 0.25);
        QTest::newRow("free, dragged up and left") << false << QPoint(300, 150) << QPoint(100, 75)
                                                   << QRectF(0.25, 0.25, 0.5, 0.25);
        QTest::newRow("square") << true << QPoint(100, 75) << QPoint(300, 150) << QRectF(0.25, 0.25, 0.5, 0.5);
        QTest::newRow("square, dragged up") << true << QPoint(100, 225) << QPoint(300, 210)
                                            << QRectF(0.25, 0.25, 0.5, 0.5);
        QTest::newRow("past the right edge: clipped") << false << QPoint(200, 150) << QPoint(390, 240)
                                                      << QRectF(0.5, 0.5, 0.475, 0.3);
    }

    void displayMouseDrawsCrop()
    {
        QFETCH(bool, keepAspect);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QRectF, expected);
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.setKeepAspect(keepAspect);
        QSignalSpy edited(&widget, &DisplayWidget::cropEdited);

        QWindow *window = display.window.windowHandle();
        QTest::mouseEvent(QTest::MousePress, window, Qt::LeftButton, {}, from);
        QTest::mouseEvent(QTest::MouseMove, window, Qt::NoButton, {}, (from + to) / 2);
        QTest::mouseEvent(QTest::MouseMove, window, Qt::NoButton, {}, to);
        QCOMPARE(edited.count(), 0);
        QTest::mouseEvent(QTest::MouseRelease, window, Qt::LeftButton, {}, to);
        QCOMPARE(edited.count(), 1);
        const QRectF crop = widget.editCrop;
        QVERIFY2(sameRect(crop, expected),
                 qPrintable(QStringLiteral("crop %1, expected %2").arg(rectText(crop), rectText(expected))));
        QCOMPARE(widget.dragPoint[0], -1.0);
        QCOMPARE(widget.dragPoint[1], -1.0);

        const QImage shot = render(widget);
        const QPoint leftSide(int(expected.x() * 400), int((expected.y() + expected.height() / 2) * 300));
        QVERIFY2(isRed(shot.pixel(leftSide)), qPrintable(QStringLiteral("left side of the drawn crop not red: %1")
                                                             .arg(describe(shot.pixel(leftSide)))));
    }

    // A click without a drag clears the crop.
    void displayClickClearsCrop()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.editCrop = QRectF(0.25, 0.25, 0.5, 0.5);
        QSignalSpy edited(&widget, &DisplayWidget::cropEdited);
        gesture(display, Qt::LeftButton, {}, QPoint(200, 150), {}, QPoint(200, 150));
        QCOMPARE(widget.editCrop, QRectF(0, 0, 1, 1));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(countPixels(render(widget), QRect(0, 0, 400, 300), isRed), 0);
    }

    void displayDoubleClickTogglesInterface()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        QSignalSpy toggles(&display.widget, &DisplayWidget::interfaceToggleRequested);
        QTest::mouseDClick(display.window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(toggles.count(), 1);
    }

    // Shift or Ctrl drag moves the crop, Ctrl right-drag resizes it from its
    // top-left corner; both keep the rectangle they start from.
    void displayMouseMovesAndResizesCrop_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QPoint>("to");  // from (200, 150)
        QTest::addColumn<QRectF>("expected");

        // The crop starts as (0.25, 0.25, 0.5, 0.5); 40 px are 0.1 across, 30 px 0.1 down.
        QTest::newRow("Shift drag moves") << int(Qt::LeftButton) << int(Qt::ShiftModifier) << QPoint(240, 180)
                                          << QRectF(0.35, 0.35, 0.5, 0.5);
        QTest::newRow("Ctrl drag moves") << int(Qt::LeftButton) << int(Qt::ControlModifier) << QPoint(160, 120)
                                         << QRectF(0.15, 0.15, 0.5, 0.5);
        QTest::newRow("Shift drag stops at the edge") << int(Qt::LeftButton) << int(Qt::ShiftModifier)
                                                      << QPoint(399, 150) << QRectF(0.5, 0.25, 0.5, 0.5);
        QTest::newRow("Ctrl right-drag widens") << int(Qt::RightButton) << int(Qt::ControlModifier) << QPoint(240, 150)
                                                << QRectF(0.25, 0.25, 0.6, 0.5);
        QTest::newRow("Ctrl right-drag narrows") << int(Qt::RightButton) << int(Qt::ControlModifier)
                                                 << QPoint(120, 120) << QRectF(0.25, 0.25, 0.3, 0.4);
        QTest::newRow("Ctrl right-drag where it began keeps it") << int(Qt::RightButton) << int(Qt::ControlModifier)
                                                                 << QPoint(200, 150) << QRectF(0.25, 0.25, 0.5, 0.5);
    }

    void displayMouseMovesAndResizesCrop()
    {
        QFETCH(int, button);
        QFETCH(int, modifiers);
        QFETCH(QPoint, to);
        QFETCH(QRectF, expected);
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.setSourceSize(QSize(160, 120));
        widget.editCrop = QRectF(0.25, 0.25, 0.5, 0.5);
        const auto b = Qt::MouseButton(button);
        const auto m = Qt::KeyboardModifiers::fromInt(modifiers);
        QSignalSpy edited(&widget, &DisplayWidget::cropEdited);
        gesture(display, b, m, QPoint(200, 150), {to}, to);
        QCOMPARE(edited.count(), 1);
        const QRectF crop = widget.editCrop;
        QVERIFY2(sameRect(crop, expected),
                 qPrintable(QStringLiteral("crop %1, expected %2").arg(rectText(crop), rectText(expected))));
    }

    // Ctrl right-drag never makes the crop smaller than 4 source pixels.
    void displayResizeKeepsFourPixels_data()
    {
        QTest::addColumn<QSize>("sourceSize");
        QTest::newRow("640 x 480 source") << QSize(640, 480);
        QTest::newRow("1920 x 1080 source") << QSize(1920, 1080);
        QTest::newRow("80 x 60 source") << QSize(80, 60);
    }

    void displayResizeKeepsFourPixels()
    {
        QFETCH(QSize, sourceSize);
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.setSourceSize(sourceSize);
        widget.editCrop = QRectF(0.5, 0.5, 0.25, 0.25);
        // (QTest takes a null point for the widget's centre: drag to (1, 1).)
        gesture(display, Qt::RightButton, Qt::ControlModifier, QPoint(300, 225), {QPoint(100, 75), QPoint(1, 1)},
                QPoint(1, 1));
        const QRectF crop = widget.editCrop;
        const double w = crop.width() * sourceSize.width();
        const double h = crop.height() * sourceSize.height();
        QVERIFY2(w >= 4 - 1e-9 && h >= 4 - 1e-9,
                 qPrintable(QStringLiteral("crop %1 x %2 source pixels").arg(w).arg(h)));
        QVERIFY2(w < 4.5 && h < 4.5, qPrintable(QStringLiteral("crop %1 x %2 source pixels: did not shrink").arg(w).arg(h)));
        QCOMPARE(crop.topLeft(), QPointF(0.5, 0.5));
    }

    // ---- TimelineWidget ----

    // Without a video: a white strip inviting to open one, no playhead.
    void timelineWithoutSource()
    {
        Timeline timeline(600, 60, 0, {{20, 120}});
        QVERIFY(!timeline.cursor.hasSource());
        const QImage shot = render(timeline.widget);
        QCOMPARE(describe(shot.pixel(0, 0)), describe(qRgb(255, 255, 255)));
        QCOMPARE(countPixels(shot, QRect(450, 0, 150, 60), isWhite), 150 * 60);
        QVERIFY2(countPixels(shot, QRect(150, 10, 300, 40), [](QRgb p) { return qGray(p) < 128; }) > 30,
                 "no invitation text in the middle");
        // No block is drawn for the solve either.
        QCOMPARE(countPixels(shot, QRect(0, 0, 150, 60), isWhite), 150 * 60);
    }

    // The playhead: a black line 2 px wide at currentFrame / totalFrames of the width.
    void timelinePlayhead_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("x");

        QTest::newRow("middle") << 600 << 600 << 300 << 300;
        QTest::newRow("a fifth") << 500 << 1000 << 200 << 100;
        QTest::newRow("truncated") << 400 << 900 << 700 << 311;  // 311.1
        QTest::newRow("near the end") << 600 << 600 << 590 << 590;
    }

    void timelinePlayhead()
    {
        QFETCH(int, width);
        QFETCH(int, frames);
        QFETCH(int, frame);
        QFETCH(int, x);
        Timeline timeline(width, 60, frames, {});
        timeline.cursor.jumpToFrame(frame);
        QCOMPARE(timeline.cursor.currentFrame, frame);
        const QImage shot = render(timeline.widget);
        // Below the ruler, at the bottom: only the playhead is there.
        const int y = 50;
        for (int column = 0; column < width; ++column) {
            const bool playhead = column == x - 1 || column == x;
            const QRgb p = shot.pixel(column, y);
            QVERIFY2(playhead ? isBlack(p) : isWhite(p),
                     qPrintable(QStringLiteral("x %1: %2, expected %3").arg(column).arg(describe(p), playhead ? QStringLiteral("black") : QStringLiteral("white"))));
        }
        QVERIFY2(isBlack(shot.pixel(x, 59)) && isBlack(shot.pixel(x, 20)), "the playhead does not span the strip");
    }

    // The current solve's steps in the split colours (50% over the white
    // strip) between their marks; the other solves grey.
    void timelineSolveBlocks()
    {
        // 600 px for 600 frames: a frame per pixel.
        Timeline timeline(600, 60, 600, {{60, 120, 180, 240}, {300, 500}, {520, 560}});
        timeline.cursor.jumpToFrame(590);
        const QImage shot = render(timeline.widget);
        const QList<QColor> colours = markColours();
        const int y = 40;
        // Step i uses colour (i + 1) mod 12.
        const struct { int from, to; QColor colour; } blocks[] = {
            {60, 120, overWhite(colours.at(2))},
            {120, 180, overWhite(colours.at(3))},
            {180, 240, overWhite(colours.at(4))},
            {300, 500, overWhite(QColor(Qt::gray))},
            {520, 560, overWhite(QColor(Qt::gray))},
        };
        for (const auto &block : blocks) {
            for (const int x : {block.from + 2, block.to - 3}) {
                QVERIFY2(near(shot.pixel(x, y), block.colour),
                         qPrintable(QStringLiteral("x %1: %2, expected %3")
                                        .arg(x)
                                        .arg(describe(shot.pixel(x, y)), describe(block.colour.rgb()))));
            }
        }
        // Between and outside the blocks the strip stays white, also below and above them.
        for (const int x : {30, 270, 510, 580})
            QVERIFY2(isWhite(shot.pixel(x, y)), qPrintable(QStringLiteral("x %1 not white").arg(x)));
        QVERIFY2(isWhite(shot.pixel(90, 57)), "a block reaches the bottom edge");

        // Another current solve: its steps take the colours, the first solve turns grey.
        timeline.model.switchSolve(1);
        const QImage other = render(timeline.widget);
        QVERIFY(near(other.pixel(62, y), overWhite(QColor(Qt::gray))));
        QVERIFY(near(other.pixel(302, y), overWhite(colours.at(2))));
    }

    // Labels: a block's label is drawn only when it fits inside the block, so
    // short neighbouring solves do not print over each other.
    void timelineLabelsFit_data()
    {
        QTest::addColumn<std::vector<Marks>>("solves");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<int>>("labelled");    // [from, to) pairs whose blocks show a label
        QTest::addColumn<QList<int>>("unlabelled");  // [from, to) pairs whose blocks show none

        QTest::newRow("wide other solve is labelled") << std::vector<Marks>{{10, 20}, {200, 500}} << 0
                                                      << QList<int>{200, 500} << QList<int>{10, 20};
        QTest::newRow("two short adjacent solves") << std::vector<Marks>{{100, 400}, {450, 470}, {470, 490}} << 0
                                                   << QList<int>{100, 400} << QList<int>{450, 490};
        QTest::newRow("two short overlapping solves") << std::vector<Marks>{{100, 400}, {440, 475}, {455, 490}} << 0
                                                      << QList<int>{100, 400} << QList<int>{440, 490};
        QTest::newRow("short steps of the current solve") << std::vector<Marks>{{100, 104, 108, 400}} << 0
                                                          << QList<int>{108, 400} << QList<int>{100, 108};
        // Marks past the end of the video (a splits file of a longer take):
        // the label goes in the middle of what can be seen of the block.
        QTest::newRow("solve running past the end") << std::vector<Marks>{{10, 20}, {350, 900}} << 0
                                                    << QList<int>{350, 560} << QList<int>{10, 20};
        QTest::newRow("solve mostly past the end") << std::vector<Marks>{{10, 20}, {570, 900}} << 0
                                                   << QList<int>{} << QList<int>{10, 20, 570, 600};
        QTest::newRow("current solve among short ones") << std::vector<Marks>{{50, 60}, {70, 80}, {100, 400}} << 2
                                                        << QList<int>{100, 400} << QList<int>{50, 60, 70, 80};
    }

    void timelineLabelsFit()
    {
        QFETCH(std::vector<Marks>, solves);
        QFETCH(int, current);
        QFETCH(QList<int>, labelled);
        QFETCH(QList<int>, unlabelled);
        Timeline timeline(600, 60, 600, solves, current);
        timeline.cursor.jumpToFrame(590);
        const QImage shot = render(timeline.widget);
        for (int i = 0; i + 1 < labelled.size(); i += 2) {
            const QRect block(labelled.at(i), 6, labelled.at(i + 1) - labelled.at(i), 48);
            QVERIFY2(countPixels(shot, block, isWhite) > 20,
                     qPrintable(QStringLiteral("no label in the block %1..%2").arg(block.left()).arg(block.right())));
        }
        for (int i = 0; i + 1 < unlabelled.size(); i += 2) {
            const QRect blocks(unlabelled.at(i), 6, unlabelled.at(i + 1) - unlabelled.at(i), 48);
            QVERIFY2(countPixels(shot, blocks, isWhite) == 0,
                     qPrintable(QStringLiteral("%1 white text pixels over the blocks %2..%3")
                                    .arg(countPixels(shot, blocks, isWhite))
                                    .arg(blocks.left())
                                    .arg(blocks.right())));
        }
    }

    // On a low strip the label shrinks to its block; where even the
    // smallest label would not fit, none is drawn.
    void timelineLabelHeight_data()
    {
        QTest::addColumn<int>("extra");   // strip height minus the 18 pt label's height; or
        QTest::addColumn<int>("height");  // the strip height itself, when extra is -1
        QTest::addColumn<bool>("drawn");

        // The block leaves 6 px above and below it.
        QTest::newRow("block exactly as high as the label") << 12 << 0 << true;
        QTest::newRow("much higher strip") << 40 << 0 << true;
        QTest::newRow("block a pixel too low: a smaller label") << 11 << 0 << true;
        QTest::newRow("the form's minimum height") << -1 << 36 << true;
        QTest::newRow("a 20 px strip: no label") << -1 << 20 << false;
    }

    void timelineLabelHeight()
    {
        QFETCH(int, extra);
        QFETCH(int, height);
        QFETCH(bool, drawn);
        Timeline timeline(600, 10, 600, {{100, 500}});
        const int labelHeight = blockLabelMetrics(timeline.widget).height();
        if (extra >= 0)
            height = labelHeight + extra;
        timeline.widget.resize(600, height);
        timeline.cursor.jumpToFrame(590);
        const QImage shot = render(timeline.widget);
        QCOMPARE(shot.height(), height);
        const int white = countPixels(shot, QRect(100, 6, 400, height - 12), isWhite);
        QVERIFY2((white > 0) == drawn, qPrintable(QStringLiteral("label in a block %1 px high: %2 white pixels")
                                                      .arg(height - 12)
                                                      .arg(white)));
    }

    // Pressing or dragging with the left button asks for the frame under
    // the mouse: floor(totalFrames * x / width), within the video.
    void timelineSeeks_data()
    {
        QTest::addColumn<QList<int>>("xs");       // press at the first, drag through the rest
        QTest::addColumn<QList<int>>("expected");

        // 400 px for 1000 frames: 2.5 frames per pixel.
        QTest::newRow("press at the left edge") << QList<int>{0} << QList<int>{0};
        QTest::newRow("press at x 1") << QList<int>{1} << QList<int>{2};
        QTest::newRow("press at x 101") << QList<int>{101} << QList<int>{252};
        QTest::newRow("press at the middle") << QList<int>{200} << QList<int>{500};
        QTest::newRow("press at the last pixel") << QList<int>{399} << QList<int>{997};
        QTest::newRow("drag to the right") << QList<int>{100, 150, 300} << QList<int>{250, 375, 750};
        QTest::newRow("drag past the right end: last frame") << QList<int>{300, 400, 650} << QList<int>{750, 999, 999};
        QTest::newRow("drag left of the widget: first frame") << QList<int>{50, -1, -80} << QList<int>{125, 0, 0};
    }

    void timelineSeeks()
    {
        QFETCH(QList<int>, xs);
        QFETCH(QList<int>, expected);
        Timeline timeline(400, 60, 1000, {});
        QSignalSpy seeks(&timeline.widget, &TimelineWidget::seekRequested);
        QTest::mousePress(&timeline.widget, Qt::LeftButton, {}, QPoint(xs.at(0), 30));
        for (int i = 1; i < xs.size(); ++i)
            QTest::mouseMove(&timeline.widget, QPoint(xs.at(i), 30));
        QTest::mouseRelease(&timeline.widget, Qt::LeftButton, {}, QPoint(xs.last(), 30));
        QList<int> frames;
        for (const QList<QVariant> &seek : seeks)
            frames.append(seek.at(0).toInt());
        QCOMPARE(frames, expected);
    }

    // No seek without a video, with the right button, or on a mere move.
    void timelineDoesNotSeek()
    {
        Timeline without(400, 60, 0, {});
        QSignalSpy none(&without.widget, &TimelineWidget::seekRequested);
        QTest::mouseClick(&without.widget, Qt::LeftButton, {}, QPoint(200, 30));
        QCOMPARE(none.count(), 0);

        Timeline timeline(400, 60, 1000, {});
        QSignalSpy seeks(&timeline.widget, &TimelineWidget::seekRequested);
        QTest::mousePress(&timeline.widget, Qt::RightButton, {}, QPoint(200, 30));
        QTest::mouseMove(&timeline.widget, QPoint(250, 30));
        QTest::mouseRelease(&timeline.widget, Qt::RightButton, {}, QPoint(250, 30));
        QTest::mouseMove(&timeline.widget, QPoint(300, 30));
        QCOMPARE(seeks.count(), 0);
    }
};

QTEST_MAIN(TestWindowWidgets)

#include "tst_windowwidgets.moc"
