// Tests of the two painting widgets of the main window, by what they show:
// the frame display (picture, crop outlines, time box, fading messages,
// drawing the crop with the mouse) and the timeline (playhead, solves and
// their labels, seeking with the mouse), rendered offscreen.
#include "DisplayWidget.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "SolveModel.h"
#include "TestMedia.h"
#include "TimelineWidget.h"

#include <QApplication>
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

bool isRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; }
bool isWhite(QRgb p) { return qRed(p) >= 245 && qGreen(p) >= 245 && qBlue(p) >= 245; }
bool isBlack(QRgb p) { return qRed(p) <= 40 && qGreen(p) <= 40 && qBlue(p) <= 40; }
bool isDark(QRgb p) { return qGray(p) < 128; }

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

QString describe(QRgb p) { return QStringLiteral("(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p)); }
QString describe(const QRectF &r)
{
    const auto n = [](double v) { return QString::number(v, 'f', 4); };
    return QStringLiteral("(%1, %2, %3 x %4)").arg(n(r.x()), n(r.y()), n(r.width()), n(r.height()));
}

cv::Mat uniformFrame(int width, int height, int grey = 128)
{
    return cv::Mat(height, width, CV_8UC3, cv::Scalar(grey, grey, grey));
}

// A shown display of `size` with `picture` on it, in a window of its own.
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

// A mouse gesture as the window system delivers it: the modifiers go with
// every event (and so into the application's keyboard state); a plain move
// at the end lets go of them.
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

// A video of `frames` black frames for the timeline.
struct BlackSource : FrameGrabber
{
    explicit BlackSource(int frames) : frames(frames) {}
    int32_t getFrameCount() override { return frames; }
    BlackSource &operator>>(cv::Mat &frame) override
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
    int frames, position = 0;
};

// Twelve saturated colours, none of them grey or white.
QColor markColour(int i) { return QColor::fromHsv((i % 12) * 30, 255, 220); }

// A timeline of `width` x `height` over a video of `frames` frames with `solves`,
// showing frame `frame`.
struct Timeline
{
    Timeline(int width, int height, int frames, const std::vector<Marks> &solves, int frame = 590)
    {
        model.appendSolves(solves);
        if (frames > 0)
            cursor.setSource(std::make_unique<BlackSource>(frames));
        widget.setModel(&model);
        widget.setPlayer(&cursor);
        widget.setFps(30.0);
        QList<QColor> colours;
        for (int i = 0; i < 12; ++i)
            colours.append(markColour(i));
        widget.setColours(colours);
        widget.resize(width, height);
        widget.show();
        if (frames > 0)
            cursor.jumpToFrame(frame);
    }
    SolveModel model;
    FrameCursor cursor;
    TimelineWidget widget;
};

// Whether `p` shows `colour` at 50% opacity over the white strip.
bool overWhite(QRgb p, const QColor &colour)
{
    const auto near = [](int value, int c) { return std::abs(value - (c + 255) / 2) <= 4; };
    return near(qRed(p), colour.red()) && near(qGreen(p), colour.green()) && near(qBlue(p), colour.blue());
}

} // namespace

class TestWindowWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The frame fills the widget's width (or height) from the top-left
    // corner, keeping its proportions.
    void displayShowsFrameFitted_data()
    {
        QTest::addColumn<QSize>("widgetSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("fitted");

        QTest::newRow("4:3 frame enlarged to the width") << QSize(400, 300) << QSize(160, 120) << QSize(400, 300);
        QTest::newRow("large frame reduced") << QSize(320, 240) << QSize(1280, 960) << QSize(320, 240);
        QTest::newRow("tall frame in a wide widget: left part") << QSize(400, 300) << QSize(120, 240) << QSize(150, 300);
    }

    void displayShowsFrameFitted()
    {
        QFETCH(QSize, widgetSize);
        QFETCH(QSize, frameSize);
        QFETCH(QSize, fitted);
        const int index = 0xA5A5;
        ShownDisplay display(widgetSize, testmedia::indexFrame(index, frameSize.width(), frameSize.height()));
        QCOMPARE(display.widget.pictureSize(), QSizeF(fitted));
        const QImage part = render(display.widget).copy(QRect(QPoint(0, 0), fitted)).convertToFormat(QImage::Format_BGR888);
        const cv::Mat shown(part.height(), part.width(), CV_8UC3, const_cast<uchar *>(part.constBits()),
                            size_t(part.bytesPerLine()));
        QCOMPARE(testmedia::readIndex(shown), index);
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
        display.widget.setFrame(cv::Mat(), true);
        QCOMPARE(display.widget.maximumHeight(), QWIDGETSIZE_MAX);
    }

    // A 2x2 checker enlarged: smooth scaling blends the squares into greys,
    // the fast scaling of playback keeps the two colours.
    void displaySmoothAndFastScaling()
    {
        cv::Mat checker(2, 2, CV_8UC3, cv::Scalar(0, 0, 0));
        checker.at<cv::Vec3b>(0, 1) = cv::Vec3b(255, 255, 255);
        checker.at<cv::Vec3b>(1, 0) = cv::Vec3b(255, 255, 255);
        ShownDisplay display(QSize(200, 200), checker, true);
        const auto greys = [&] {
            const QImage image = render(display.widget);
            QSet<int> levels;
            for (int y = 0; y < 200; ++y)
                for (int x = 0; x < 200; ++x)
                    levels.insert(qGray(image.pixel(x, y)));
            return levels;
        };
        QVERIFY2(greys().size() > 10, qPrintable(QStringLiteral("smooth scaling shows %1 grey levels").arg(greys().size())));
        display.widget.setSmooth(false);
        QCOMPARE(greys(), (QSet<int>{0, 255}));
        display.widget.setFrame(checker, true);
        QVERIFY2(greys().size() > 10, "setFrame(smooth) does not scale smoothly again");
    }

    // The time text sits in a dark box at the bottom right of the picture,
    // not of the widget, when the picture is narrower.
    void displayTimeBox()
    {
        const QSize fitted(300, 360);
        ShownDisplay display(QSize(480, 360), uniformFrame(100, 120, 200));
        display.widget.setTimeText(QStringLiteral("00:03:167 (95)"));
        const QImage shot = render(display.widget);
        // The darkened box: half of 200 is 100 (the text is white).
        QRect box;
        for (int y = 0; y < fitted.height(); ++y)
            for (int x = 0; x < fitted.width(); ++x)
                if (qGray(shot.pixel(x, y)) >= 80 && qGray(shot.pixel(x, y)) <= 120)
                    box |= QRect(x, y, 1, 1);
        QCOMPARE(box.bottomRight(), QPoint(fitted.width() - 1, fitted.height() - 1));
        QVERIFY2(box.width() > 60 && box.top() > fitted.height() / 2,
                 qPrintable(QStringLiteral("time box %1 x %2").arg(box.width()).arg(box.height())));
        QVERIFY2(countPixels(shot, box, isWhite) > 20, "no white text in the time box");
        QCOMPARE(qGray(shot.pixel(2, fitted.height() - 2)), 200);
    }

    // The crop being drawn (red, solid) and the applied crop (white, dashed,
    // only while not in use) are outlined where their fractions say.
    void displayCropOutlines()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.editCrop = QRectF(0.25, 0.2, 0.5, 0.6);     // x 100..300, y 60..240
        widget.appliedCrop = QRectF(0.05, 0.1, 0.9, 0.8);  // x 20..380, y 30..270
        QImage shot = render(widget);
        for (const QPoint &p : {QPoint(100, 150), QPoint(300, 150), QPoint(200, 60), QPoint(200, 240)})
            QVERIFY2(isRed(shot.pixel(p)), qPrintable(QStringLiteral("no red edge at (%1, %2)").arg(p.x()).arg(p.y())));
        for (const QPoint &p : {QPoint(200, 150), QPoint(95, 150), QPoint(305, 150), QPoint(200, 55)})
            QVERIFY2(!isRed(shot.pixel(p)), qPrintable(QStringLiteral("red at (%1, %2)").arg(p.x()).arg(p.y())));
        // Dashes: some pixels of the applied crop's top side white, some not.
        const QRect top(40, 29, 320, 3);
        const int white = countPixels(shot, top, isWhite);
        QVERIFY2(white > 320 * 3 / 5 && white < 320 * 3 * 9 / 10, qPrintable(QStringLiteral("%1 white: not dashed").arg(white)));
        QCOMPARE(countPixels(shot, QRect(40, 40, 50, 50), isWhite), 0);

        widget.setCropApplied(true);
        shot = render(widget);
        QCOMPARE(countPixels(shot, shot.rect(), isWhite), 0);
        QVERIFY(isRed(shot.pixel(100, 150)));

        // A full or an empty rectangle is no crop: nothing is outlined.
        widget.setCropApplied(false);
        for (const auto &[edit, applied] : {std::pair{QRectF(0.2, 0.2, 0, 0.5), QRectF(0.2, 0.2, 0.5, 0)},
                                            std::pair{QRectF(0.2, 0.2, 0.5, 0), QRectF(0.2, 0.2, 0, 0.5)},
                                            std::pair{QRectF(0, 0, 1, 1), QRectF(0, 0, 1, 1)}}) {
            widget.editCrop = edit;
            widget.appliedCrop = applied;
            shot = render(widget);
            QCOMPARE(countPixels(shot, shot.rect(), [](QRgb p) { return isRed(p) || isWhite(p); }), 0);
        }
    }

    // A message fades over 10 paints and is then gone; two messages age
    // independently.
    void displayMessagesFade()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120, 0));
        DisplayWidget &widget = display.widget;
        widget.showMessage(QStringLiteral("8"));
        int previous = 256;
        for (int paint = 1; paint <= 10; ++paint) {
            const QImage shot = render(widget);
            int brightest = 0;
            for (int y = 100; y < 200; ++y)
                for (int x = 150; x < 250; ++x)
                    brightest = std::max(brightest, qGray(shot.pixel(x, y)));
            // The last paint is fully transparent.
            QVERIFY2(paint < 10 ? brightest > 0 && brightest < previous : brightest == 0,
                     qPrintable(QStringLiteral("paint %1: brightness %2 after %3").arg(paint).arg(brightest).arg(previous)));
            previous = brightest;
        }
        QVERIFY2(widget.messages.isEmpty(), "message left after its lifetime");

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

    // A plain drag draws a new crop (a square in fractions while the aspect
    // is kept) and a click clears it; Shift or Ctrl drag moves and Ctrl
    // right-drag resizes the crop there is. The release reports a change.
    void displayMouseEditsCrop_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("keepAspect");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRectF>("expected");

        // The crop starts as (0.25, 0.25, 0.5, 0.5) of the 400 x 300 picture
        // of an 80 x 60 source: 40 px are 0.1 across, 30 px 0.1 down.
        const int left = Qt::LeftButton, right = Qt::RightButton;
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        const auto row = [](const char *name, int button, int modifiers, bool keep, QPoint from, QPoint to, QRectF expected) {
            QTest::newRow(name) << button << modifiers << keep << from << to << expected;
        };
        row("free", left, none, false, {100, 75}, {300, 150}, {0.25, 0.25, 0.5, 0.25});
        row("free, dragged up and left", left, none, false, {300, 150}, {100, 75}, {0.25, 0.25, 0.5, 0.25});
        row("square", left, none, true, {100, 75}, {260, 150}, {0.25, 0.25, 0.4, 0.4});
        row("past the right edge: clipped", left, none, false, {200, 150}, {390, 240}, {0.5, 0.5, 0.475, 0.3});
        row("a click clears", left, none, true, {200, 150}, {200, 150}, {0, 0, 1, 1});
        row("Shift drag moves", left, shift, true, {200, 150}, {240, 180}, {0.35, 0.35, 0.5, 0.5});
        row("Ctrl drag moves", left, ctrl, true, {200, 150}, {160, 120}, {0.15, 0.15, 0.5, 0.5});
        row("Shift drag stops at the edge", left, shift, true, {200, 150}, {399, 150}, {0.5, 0.25, 0.5, 0.5});
        row("Ctrl right-drag widens", right, ctrl, true, {200, 150}, {240, 150}, {0.25, 0.25, 0.6, 0.5});
        row("Ctrl right-drag narrows", right, ctrl, true, {200, 150}, {120, 120}, {0.25, 0.25, 0.3, 0.4});
        row("Ctrl right-drag where it began keeps it", right, ctrl, true, {200, 150}, {200, 150}, {0.25, 0.25, 0.5, 0.5});
        // (QTest takes a null point for the widget's centre: drag to (1, 1).)
        row("Ctrl right-drag stops at 4 source pixels", right, ctrl, true, {200, 150}, {1, 1}, {0.25, 0.25, 0.05, 4 / 60.0});
    }

    void displayMouseEditsCrop()
    {
        QFETCH(int, button);
        QFETCH(int, modifiers);
        QFETCH(bool, keepAspect);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QRectF, expected);
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        DisplayWidget &widget = display.widget;
        widget.setSourceSize(QSize(80, 60));
        widget.setKeepAspect(keepAspect);
        const QRectF start(0.25, 0.25, 0.5, 0.5);
        widget.editCrop = start;
        QSignalSpy edited(&widget, &DisplayWidget::cropEdited);
        const QList<QPoint> through = from == to ? QList<QPoint>{} : QList<QPoint>{(from + to) / 2, to};
        gesture(display, Qt::MouseButton(button), Qt::KeyboardModifiers::fromInt(modifiers), from, through, to);
        QCOMPARE(describe(widget.editCrop), describe(expected));
        QCOMPARE(edited.count(), expected == start ? 0 : 1);
    }

    void displayDoubleClickTogglesInterface()
    {
        ShownDisplay display(QSize(400, 300), uniformFrame(160, 120));
        QSignalSpy toggles(&display.widget, &DisplayWidget::interfaceToggleRequested);
        QTest::mouseDClick(display.window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(toggles.count(), 1);
    }

    // Without a video: a white strip inviting to open one, no solve drawn.
    void timelineWithoutSource()
    {
        Timeline timeline(600, 60, 0, {{20, 120}});
        const QImage shot = render(timeline.widget);
        QCOMPARE(countPixels(shot, QRect(0, 0, 150, 60), isWhite), 150 * 60);
        QCOMPARE(countPixels(shot, QRect(450, 0, 150, 60), isWhite), 150 * 60);
        QVERIFY2(countPixels(shot, QRect(150, 10, 300, 40), isDark) > 30,
                 "no invitation text in the middle");
    }

    // The playhead: a black line 2 px wide at currentFrame / totalFrames of
    // the width (rounded down), alone below the ruler.
    void timelinePlayhead()
    {
        Timeline timeline(400, 60, 900, {}, 700);
        const QImage shot = render(timeline.widget);
        const int x = 311;  // 311.1
        for (int column = 0; column < 400; ++column)
            QVERIFY2(column == x - 1 || column == x ? isBlack(shot.pixel(column, 50)) : isWhite(shot.pixel(column, 50)),
                     qPrintable(QStringLiteral("x %1: %2").arg(column).arg(describe(shot.pixel(column, 50)))));
        QVERIFY2(isBlack(shot.pixel(x, 59)) && isBlack(shot.pixel(x, 20)), "the playhead does not span the strip");
    }

    // The current solve's steps in the split colours between their marks
    // (step i in colour i + 1), the other solves grey.
    void timelineSolveBlocks()
    {
        // 600 px for 600 frames: a frame per pixel.
        Timeline timeline(600, 60, 600, {{60, 120, 180, 240}, {300, 500}, {520, 560}});
        const QImage shot = render(timeline.widget);
        const QColor grey(Qt::gray);
        const struct { int x; QColor colour; } samples[] = {
            {62, markColour(2)}, {117, markColour(2)}, {122, markColour(3)}, {177, markColour(3)},
            {182, markColour(4)}, {237, markColour(4)}, {302, grey}, {497, grey}, {522, grey}, {557, grey},
        };
        for (const auto &sample : samples)
            QVERIFY2(overWhite(shot.pixel(sample.x, 40), sample.colour),
                     qPrintable(QStringLiteral("x %1: %2").arg(sample.x).arg(describe(shot.pixel(sample.x, 40)))));
        for (const int x : {30, 270, 510, 580})
            QVERIFY2(isWhite(shot.pixel(x, 40)), qPrintable(QStringLiteral("x %1 not white").arg(x)));
        QVERIFY2(isWhite(shot.pixel(90, 57)), "a block reaches the bottom edge");

        // Another current solve: its steps take the colours, the first turns grey.
        timeline.model.switchSolve(1);
        const QImage other = render(timeline.widget);
        QVERIFY(overWhite(other.pixel(62, 40), grey));
        QVERIFY(overWhite(other.pixel(302, 40), markColour(2)));
    }

    // A block's label is drawn only when it fits inside the part of the block
    // that can be seen, so short neighbouring solves do not print over each
    // other; on a low strip it shrinks to its block, down to a smallest size.
    void timelineLabelsFit_data()
    {
        QTest::addColumn<std::vector<Marks>>("solves");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("labelled");    // [from, to) pairs whose blocks show a label
        QTest::addColumn<QList<int>>("unlabelled");  // [from, to) pairs whose blocks show none

        QTest::newRow("two short adjacent solves") << std::vector<Marks>{{100, 400}, {450, 470}, {470, 490}} << 60
                                                   << QList<int>{100, 400} << QList<int>{450, 490};
        QTest::newRow("short steps of the current solve") << std::vector<Marks>{{100, 104, 108, 400}} << 60
                                                          << QList<int>{108, 400} << QList<int>{100, 108};
        // Marks past the end of the video (a splits file of a longer take).
        QTest::newRow("solve running past the end") << std::vector<Marks>{{10, 20}, {350, 900}} << 60
                                                    << QList<int>{350, 560} << QList<int>{10, 20};
        QTest::newRow("solve mostly past the end") << std::vector<Marks>{{10, 20}, {570, 900}} << 60 << QList<int>{}
                                                   << QList<int>{10, 20, 570, 600};
        // The block leaves 6 px above and below it.
        QFont bold = QApplication::font();
        bold.setWeight(QFont::Bold);
        bold.setPointSize(18);
        const int label = QFontMetrics(bold).height();
        const std::vector<Marks> one{{100, 500}};
        QTest::newRow("block exactly as high as the label") << one << label + 12 << QList<int>{100, 500} << QList<int>{};
        QTest::newRow("block a pixel too low: a smaller label") << one << label + 11 << QList<int>{100, 500}
                                                                << QList<int>{};
        QTest::newRow("the form's minimum height") << one << 36 << QList<int>{100, 500} << QList<int>{};
        QTest::newRow("a 20 px strip: no label") << one << 20 << QList<int>{} << QList<int>{100, 500};
    }

    void timelineLabelsFit()
    {
        QFETCH(std::vector<Marks>, solves);
        QFETCH(int, height);
        QFETCH(QList<int>, labelled);
        QFETCH(QList<int>, unlabelled);
        Timeline timeline(600, height, 600, solves);
        const QImage shot = render(timeline.widget);
        const auto white = [&](const QList<int> &blocks, int i) {
            return countPixels(shot, QRect(blocks.at(i), 6, blocks.at(i + 1) - blocks.at(i), height - 12), isWhite);
        };
        for (int i = 0; i + 1 < labelled.size(); i += 2)
            QVERIFY2(white(labelled, i) > 0, qPrintable(QStringLiteral("no label from x %1").arg(labelled.at(i))));
        for (int i = 0; i + 1 < unlabelled.size(); i += 2)
            QVERIFY2(white(unlabelled, i) == 0, qPrintable(QStringLiteral("a label from x %1").arg(unlabelled.at(i))));
    }

    // Pressing or dragging with the left button asks for the frame under
    // the mouse, within the video; a move without a button, the right
    // button or a timeline without a video ask for nothing.
    void timelineSeeks_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("button");
        QTest::addColumn<QList<int>>("xs");  // press at the first, drag through the rest
        QTest::addColumn<QList<int>>("expected");

        // 400 px for 1000 frames: 2.5 frames per pixel.
        const int left = Qt::LeftButton;
        QTest::newRow("press at the left edge") << 1000 << left << QList<int>{0} << QList<int>{0};
        QTest::newRow("press at x 1: rounded down") << 1000 << left << QList<int>{1} << QList<int>{2};
        QTest::newRow("press at the last pixel") << 1000 << left << QList<int>{399} << QList<int>{997};
        QTest::newRow("drag to the right") << 1000 << left << QList<int>{100, 150, 300} << QList<int>{250, 375, 750};
        QTest::newRow("drag past the right end: last frame") << 1000 << left << QList<int>{300, 400, 650}
                                                             << QList<int>{750, 999, 999};
        QTest::newRow("drag left of the widget: first frame") << 1000 << left << QList<int>{50, -1, -80}
                                                              << QList<int>{125, 0, 0};
        QTest::newRow("right button") << 1000 << int(Qt::RightButton) << QList<int>{200, 250} << QList<int>{};
        QTest::newRow("no video") << 0 << left << QList<int>{200, 250} << QList<int>{};
    }

    void timelineSeeks()
    {
        QFETCH(int, frames);
        QFETCH(int, button);
        QFETCH(QList<int>, xs);
        QFETCH(QList<int>, expected);
        Timeline timeline(400, 60, frames, {});
        QSignalSpy seeks(&timeline.widget, &TimelineWidget::seekRequested);
        QTest::mousePress(&timeline.widget, Qt::MouseButton(button), {}, QPoint(xs.at(0), 30));
        for (int i = 1; i < xs.size(); ++i)
            QTest::mouseMove(&timeline.widget, QPoint(xs.at(i), 30));
        QTest::mouseRelease(&timeline.widget, Qt::MouseButton(button), {}, QPoint(xs.last(), 30));
        QTest::mouseMove(&timeline.widget, QPoint(xs.last() + 20, 30));
        QList<int> asked;
        for (const QList<QVariant> &seek : seeks)
            asked.append(seek.at(0).toInt());
        QCOMPARE(asked, expected);
    }
};

QTEST_MAIN(TestWindowWidgets)

#include "tst_windowwidgets.moc"
