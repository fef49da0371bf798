// Tests of the main window's widget-free rules: jumps between split marks,
// crop rectangle geometry, the timeline ruler and seeking, and key bindings.
#include "CropGeometry.h"
#include "KeyBindings.h"
#include "Navigation.h"
#include "TimelineGeometry.h"

#include <QTest>

#include <limits>

namespace {

enum JumpKind { Goto, Next, Prev };
constexpr int kNoJump = -1;
constexpr int kKeepOld = -1000;

} // namespace

class TestWindowLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void markJumps_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QList<int>>("marks");
        QTest::addColumn<int>("argument");  // index for Goto, current frame otherwise
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("message");
        QTest::addColumn<bool>("isLast");    // the display shows "END"

        const QList<int> three{100, 200, 300};
        QTest::newRow("digit 0 goes to the first mark, shows 0") << int(Goto) << three << 0 << 0 << 100 << 0 << false;
        QTest::newRow("digit 2 of three marks is the last: END") << int(Goto) << three << 2 << 2 << 300 << 2 << true;
        QTest::newRow("digit 13 with three marks goes to the last") << int(Goto) << three << 13 << 2 << 300 << 2 << true;
        QTest::newRow("digit 1 on a duplicate mark") << int(Goto) << QList<int>{50, 50, 80} << 1 << 1 << 50 << 1 << false;
        QTest::newRow("digit without marks does nothing") << int(Goto) << QList<int>{} << 0 << kNoJump << 0 << 0 << false;

        QTest::newRow("next from before the first mark") << int(Next) << three << 50 << 0 << 100 << 1 << false;
        QTest::newRow("next at the last mark wraps to the first") << int(Next) << three << 300 << 0 << 100 << 1 << false;
        QTest::newRow("next after the last mark wraps to the first") << int(Next) << three << 400 << 0 << 100 << 1 << false;
        QTest::newRow("next at the first mark") << int(Next) << three << 100 << 1 << 200 << 2 << false;
        QTest::newRow("next between first and second") << int(Next) << three << 150 << 1 << 200 << 2 << false;
        QTest::newRow("next before the last mark: END") << int(Next) << three << 250 << 2 << 300 << 3 << true;
        QTest::newRow("next with one mark, before it: END") << int(Next) << QList<int>{100} << 50 << 0 << 100 << 1 << true;
        QTest::newRow("next with one mark, on it: END") << int(Next) << QList<int>{100} << 100 << 0 << 100 << 1 << true;
        QTest::newRow("next skips the duplicate 100,100,200 to END") << int(Next) << QList<int>{100, 100, 200} << 100 << 2 << 200 << 3 << true;
        QTest::newRow("next at 100 of 100,200,200 stops at index 1") << int(Next) << QList<int>{100, 200, 200} << 100 << 1 << 200 << 2 << false;
        QTest::newRow("next skips only one of three duplicates") << int(Next) << QList<int>{100, 100, 100, 200} << 100 << 2 << 100 << 3 << false;
        QTest::newRow("next without marks does nothing") << int(Next) << QList<int>{} << 100 << kNoJump << 0 << 0 << false;

        QTest::newRow("prev after the last mark: END") << int(Prev) << three << 400 << 2 << 300 << 3 << true;
        QTest::newRow("prev at the first mark wraps to the last") << int(Prev) << three << 100 << 2 << 300 << 3 << true;
        QTest::newRow("prev before the first mark wraps to the last") << int(Prev) << three << 50 << 2 << 300 << 3 << true;
        QTest::newRow("prev at the last mark") << int(Prev) << three << 300 << 1 << 200 << 2 << false;
        QTest::newRow("prev between second and last") << int(Prev) << three << 250 << 1 << 200 << 2 << false;
        QTest::newRow("prev at the second mark") << int(Prev) << three << 200 << 0 << 100 << 1 << false;
        QTest::newRow("prev skips the duplicate of 50,100,100,200") << int(Prev) << QList<int>{50, 100, 100, 200} << 100 << 0 << 50 << 1 << false;
        QTest::newRow("prev at 300 of 100,200,200,300") << int(Prev) << QList<int>{100, 200, 200, 300} << 300 << 2 << 200 << 3 << false;
        QTest::newRow("prev with one mark: END") << int(Prev) << QList<int>{100} << 150 << 0 << 100 << 1 << true;
        QTest::newRow("prev without marks does nothing") << int(Prev) << QList<int>{} << 100 << kNoJump << 0 << 0 << false;
    }
    void markJumps()
    {
        QFETCH(int, kind);
        QFETCH(QList<int>, marks);
        QFETCH(int, argument);
        QFETCH(int, index);
        QFETCH(int, target);
        QFETCH(int, message);
        QFETCH(bool, isLast);
        const Marks m(marks.begin(), marks.end());
        const std::optional<MarkJump> jump = kind == Goto ? MarkerJump(m, argument)
                                             : kind == Next ? NextMarkJump(m, argument)
                                                            : PrevMarkJump(m, argument);
        QCOMPARE(jump ? jump->index : kNoJump, index);
        if (!jump)
            return;
        QCOMPARE(jump->target, target);
        QCOMPARE(jump->messageNumber, message);
        QCOMPARE(jump->isLast, isLast);
    }

    void seekIndexForFrame_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("expected");

        const int maxInt = std::numeric_limits<int32_t>::max();
        QTest::newRow("frame 1 is index 0") << 1 << 100 << 0;
        QTest::newRow("last frame") << 100 << 100 << 99;
        QTest::newRow("one past the end clamps to the last") << 101 << 100 << 99;
        QTest::newRow("far past the end clamps to the last") << 5000 << 100 << 99;
        QTest::newRow("frame 0 gives index 0, not -1") << 0 << 100 << 0;
        QTest::newRow("smallest int does not overflow") << std::numeric_limits<int32_t>::min() << 100 << 0;
        QTest::newRow("one-frame video") << 9 << 1 << 0;
        QTest::newRow("unknown total: no upper clamp") << 5000 << 0 << 4999;
        QTest::newRow("negative total: no upper clamp") << 70 << -1 << 69;
        QTest::newRow("largest int with unknown total") << maxInt << 0 << maxInt - 1;
    }
    void seekIndexForFrame()
    {
        QFETCH(int, frame);
        QFETCH(int, total);
        QFETCH(int, expected);
        QCOMPARE(SeekIndexForFrame(frame, total), expected);
    }

    void fittedPictureSize_data()
    {
        QTest::addColumn<QSizeF>("widget");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QSizeF>("expected");

        QTest::newRow("16:9 in 800x600 is limited by the width") << QSizeF(800, 600) << 16.0 / 9.0 << QSizeF(800, 450);
        QTest::newRow("16:9 in 800x300 is limited by the height") << QSizeF(800, 300) << 16.0 / 9.0 << QSizeF(533, 300);
        QTest::newRow("exact fit 2:1 in 400x200") << QSizeF(400, 200) << 2.0 << QSizeF(400, 200);
        QTest::newRow("portrait 1:2 in 400x300") << QSizeF(400, 300) << 0.5 << QSizeF(150, 300);
        QTest::newRow("height truncated: 3:2 in 101x100") << QSizeF(101, 100) << 1.5 << QSizeF(101, 67);
        // 55 x 3/11 is exactly 15 pixels; the single-precision ratio gives 15.0000004.
        QTest::newRow("3x11 picture 55 high is 15 wide") << QSizeF(1000, 55) << 3.0 / 11.0 << QSizeF(15, 55);
    }
    void fittedPictureSize()
    {
        QFETCH(QSizeF, widget);
        QFETCH(double, aspect);
        QFETCH(QSizeF, expected);
        QCOMPARE(FittedPictureSize(widget, aspect), expected);
    }

    void pictureFraction_data()
    {
        QTest::addColumn<QPointF>("mouse");
        QTest::addColumn<QSizeF>("fitted");
        QTest::addColumn<QPointF>("expected");

        QTest::newRow("inside the picture") << QPointF(50, 25) << QSizeF(200, 100) << QPointF(0.25, 0.25);
        QTest::newRow("below the picture exceeds 1") << QPointF(300, 150) << QSizeF(200, 100) << QPointF(1.5, 1.5);
        QTest::newRow("left of the widget is negative") << QPointF(-20, 10) << QSizeF(80, 40) << QPointF(-0.25, 0.25);
    }
    void pictureFraction()
    {
        QFETCH(QPointF, mouse);
        QFETCH(QSizeF, fitted);
        QFETCH(QPointF, expected);
        QCOMPARE(PictureFraction(mouse, fitted), expected);
    }

    void drawnCrop_data()
    {
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("square");
        QTest::addColumn<QRectF>("expected");

        QTest::newRow("down-right drag") << QPointF(0.25, 0.25) << QPointF(0.75, 0.5) << false << QRectF(0.25, 0.25, 0.5, 0.25);
        QTest::newRow("up-left drag") << QPointF(0.75, 0.5) << QPointF(0.5, 0.25) << false << QRectF(0.5, 0.25, 0.25, 0.25);
        QTest::newRow("dragged out of the picture is clipped") << QPointF(0.5, 0.5) << QPointF(-0.25, 1.5) << false << QRectF(0, 0.5, 0.5, 0.5);
        QTest::newRow("no movement gives an empty rectangle") << QPointF(0.5, 0.5) << QPointF(0.5, 0.5) << false << QRectF(0.5, 0.5, 0, 0);
        QTest::newRow("keep aspect: height follows width downwards") << QPointF(0.25, 0.25) << QPointF(0.75, 0.5) << true << QRectF(0.25, 0.25, 0.5, 0.5);
        QTest::newRow("keep aspect: pointer above the anchor") << QPointF(0.75, 0.25) << QPointF(0.5, 0.125) << true << QRectF(0.5, 0, 0.25, 0.25);
        QTest::newRow("keep aspect: pointer level with the anchor goes up") << QPointF(0.25, 0.5) << QPointF(0.5, 0.5) << true << QRectF(0.25, 0.25, 0.25, 0.25);
        QTest::newRow("keep aspect: square clipped at the bottom") << QPointF(0.5, 0.75) << QPointF(1.0, 0.875) << true << QRectF(0.5, 0.75, 0.5, 0.25);
        QTest::newRow("computed in single precision") << QPointF(0.1, 0.2) << QPointF(0.3, 0.7) << false
                                                      << QRectF(double(0.1f), double(0.2f), double(0.3f - 0.1f), double(0.7f - 0.2f));
    }
    void drawnCrop()
    {
        QFETCH(QPointF, anchor);
        QFETCH(QPointF, point);
        QFETCH(bool, square);
        QFETCH(QRectF, expected);
        QCOMPARE(DrawnCrop(anchor, point, square), expected);
    }

    void movedAndResizedCrop_data()
    {
        QTest::addColumn<bool>("resize");  // Ctrl right-drag; otherwise a move
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<QRectF>("expected");

        // Resizing assumes a 400 x 200 source: 4 pixels are 0.01 across and 0.02 down.
        const QRectF r(0.25, 0.25, 0.5, 0.5);
        const QRectF q(0.25, 0.25, 0.25, 0.25);
        QTest::newRow("moved freely inside") << false << r << QPointF(0.125, -0.125) << QRectF(0.375, 0.125, 0.5, 0.5);
        QTest::newRow("moved past the left edge stops at 0") << false << r << QPointF(-0.5, 0) << QRectF(0, 0.25, 0.5, 0.5);
        QTest::newRow("moved past the top edge stops at 0") << false << r << QPointF(0, -0.5) << QRectF(0.25, 0, 0.5, 0.5);
        QTest::newRow("moved past the right edge stops at 1") << false << r << QPointF(0.5, 0) << QRectF(0.5, 0.25, 0.5, 0.5);
        QTest::newRow("moved past the bottom-right corner") << false << r << QPointF(1, 1) << QRectF(0.5, 0.5, 0.5, 0.5);
        QTest::newRow("full rectangle cannot move") << false << QRectF(0, 0, 1, 1) << QPointF(0.25, -0.25) << QRectF(0, 0, 1, 1);
        QTest::newRow("resize grows by the drag") << true << q << QPointF(0.125, 0.25) << QRectF(0.25, 0.25, 0.375, 0.5);
        QTest::newRow("resize shrinks by the drag") << true << q << QPointF(-0.125, 0) << QRectF(0.25, 0.25, 0.125, 0.25);
        QTest::newRow("shrunk below nothing keeps 4 pixels") << true << q << QPointF(-0.5, -0.5) << QRectF(0.25, 0.25, 0.01, 0.02);
        QTest::newRow("shrunk to 2 pixels keeps 4") << true << q << QPointF(-0.2421875, 0) << QRectF(0.25, 0.25, 0.01, 0.25);
        QTest::newRow("grown past right and bottom stops at the edge")
            << true << QRectF(0.5, 0.75, 0.25, 0.125) << QPointF(0.5, 0.5) << QRectF(0.5, 0.75, 0.5, 0.25);
        QTest::newRow("at the right edge the 4 pixels win")
            << true << QRectF(0.9921875, 0.5, 0.0078125, 0.25) << QPointF(0.125, 0) << QRectF(0.9921875, 0.5, 0.01, 0.25);
    }
    void movedAndResizedCrop()
    {
        QFETCH(bool, resize);
        QFETCH(QRectF, rect);
        QFETCH(QPointF, delta);
        QFETCH(QRectF, expected);
        const QRectF result = resize ? ResizedCrop(rect, delta.x(), delta.y(), QSizeF(4.0 / 400, 4.0 / 200))
                                     : MovedCrop(rect, delta);
        QCOMPARE(result, expected);
    }

    void emptyAndFullCrop_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<bool>("full");

        QTest::newRow("all zero") << QRectF(0, 0, 0, 0) << true << false;
        QTest::newRow("zero width") << QRectF(0.5, 0.5, 0, 0.5) << true << false;
        QTest::newRow("negative height") << QRectF(0, 0, 0.5, -0.125) << true << false;
        QTest::newRow("ordinary rectangle") << QRectF(0.25, 0.25, 0.5, 0.5) << false << false;
        QTest::newRow("whole frame") << QRectF(0, 0, 1, 1) << false << true;
        QTest::newRow("size 1 x 1 elsewhere is full too") << QRectF(0.25, 0.25, 1, 1) << false << true;
        QTest::newRow("width just below 1 is not full") << QRectF(0, 0, 1.0 - 1.0 / 1099511627776.0, 1) << false << false;
    }
    void emptyAndFullCrop()
    {
        QFETCH(QRectF, rect);
        QFETCH(bool, empty);
        QFETCH(bool, full);
        QCOMPARE(IsEmptyCrop(rect), empty);
        QCOMPARE(IsFullCrop(rect), full);
    }

    void rulerScale_data()
    {
        QTest::addColumn<int>("pixels");  // per hour for the minute step, per minute for the seconds
        QTest::addColumn<double>("labelWidth");
        QTest::addColumn<int>("minuteStep");
        QTest::addColumn<int>("secondCount");
        QTest::addColumn<int>("secondUnit");

        QTest::newRow("above 120 labels") << 1201 << 10.0 << 1 << 60 << 1;
        QTest::newRow("exactly 120 labels") << 1200 << 10.0 << 2 << 30 << 2;
        QTest::newRow("exactly 60 labels") << 600 << 10.0 << 3 << 20 << 3;
        QTest::newRow("exactly 40 labels") << 400 << 10.0 << 6 << 10 << 6;
        QTest::newRow("exactly 20 labels") << 200 << 10.0 << 10 << 6 << 10;
        QTest::newRow("exactly 12 labels") << 120 << 10.0 << 15 << 4 << 15;
        QTest::newRow("exactly 8 labels") << 80 << 10.0 << 20 << 3 << 20;
        QTest::newRow("exactly 6 labels") << 60 << 10.0 << 30 << 2 << 30;
        QTest::newRow("above 4 labels") << 41 << 10.0 << 30 << 2 << 30;
        QTest::newRow("exactly 4 labels") << 40 << 10.0 << 60 << 1 << 60;
        QTest::newRow("fractional label width, just above") << 1501 << 12.5 << 1 << 60 << 1;
        QTest::newRow("fractional label width, exactly") << 1500 << 12.5 << 2 << 30 << 2;
    }
    void rulerScale()
    {
        QFETCH(int, pixels);
        QFETCH(double, labelWidth);
        QFETCH(int, minuteStep);
        QFETCH(int, secondCount);
        QFETCH(int, secondUnit);
        QCOMPARE(MinuteStep(pixels, labelWidth), minuteStep);
        const SecondTicks ticks = SecondSubdivision(pixels, labelWidth);
        QCOMPARE(ticks.count, secondCount);
        QCOMPARE(ticks.unit, secondUnit);
    }

    void timelineSeekFrame_data()
    {
        QTest::addColumn<double>("u");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("expected");

        QTest::newRow("middle") << 0.5 << 100 << 50;
        QTest::newRow("below one frame") << 0.005 << 100 << 0;
        QTest::newRow("exactly one frame") << 0.01 << 100 << 1;
        QTest::newRow("left of the widget") << -0.5 << 100 << 0;
        QTest::newRow("right edge is the last frame") << 1.0 << 100 << 99;
        QTest::newRow("past the right end") << 1.5 << 100 << 99;
        // float(0.29) * 100 rounds to 29.0; float(0.53) * 100 rounds to 52.999996.
        QTest::newRow("single precision rounds 0.29 up") << 0.29 << 100 << 29;
        QTest::newRow("single precision rounds 0.53 down") << 0.53 << 100 << 52;
    }
    void timelineSeekFrame()
    {
        QFETCH(double, u);
        QFETCH(int, total);
        QFETCH(int, expected);
        QCOMPARE(TimelineSeekFrame(u, total), expected);
    }

    void defaultBindings_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("settingsKey");
        QTest::addColumn<int>("code");

        QTest::newRow("Pause is Space") << 0 << QStringLiteral("KeyPause") << 32;
        QTest::newRow("FrameBack is Q") << 1 << QStringLiteral("KeyFrameBack") << 81;
        QTest::newRow("FramePrev is A") << 2 << QStringLiteral("KeyFramePrev") << 65;
        QTest::newRow("FrameNext is D") << 3 << QStringLiteral("KeyFrameNext") << 68;
        QTest::newRow("FrameForward is E") << 4 << QStringLiteral("KeyFrameForward") << 69;
        QTest::newRow("AddMarker is M") << 5 << QStringLiteral("KeyAddMarker") << 77;
        QTest::newRow("OpenMostRecent is O") << 6 << QStringLiteral("KeyOpenMostRecent") << 79;
        QTest::newRow("Fullscreen is F") << 7 << QStringLiteral("KeyFullscreen") << 70;
        QTest::newRow("AddSolve is +") << 8 << QStringLiteral("KeyAddSolve") << 43;
    }
    void defaultBindings()
    {
        QFETCH(int, position);
        QFETCH(QString, settingsKey);
        QFETCH(int, code);
        const KeyBindingSetting &setting = kKeyBindingSettings[size_t(position)];
        QCOMPARE(QString::fromLatin1(setting.settingsKey), settingsKey);
        QCOMPARE(KeyBindings{}.*setting.member, code);
    }

    void bindingCodeForText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");

        QTest::newRow("w binds W") << QStringLiteral("w") << 87;
        QTest::newRow("spaces around are trimmed") << QStringLiteral("  k\t") << 75;
        QTest::newRow("only the first character counts") << QStringLiteral("ab") << 65;
        QTest::newRow("plus sign") << QStringLiteral("+") << 43;
        QTest::newRow("empty keeps the old binding") << QString() << kKeepOld;
        QTest::newRow("blank keeps the old binding") << QStringLiteral("   ") << kKeepOld;
        QTest::newRow("e acute: first UTF-8 byte of E acute, signed") << QStringLiteral("\u00e9") << 0xC3 - 256;
        QTest::newRow("euro sign: first UTF-8 byte, signed") << QStringLiteral("\u20ac") << 0xE2 - 256;
    }
    void bindingCodeForText()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(BindingCodeForText(text).value_or(kKeepOld), expected);
    }

    void bindingProblem_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("refused");

        QTest::newRow("W is accepted") << 87 << false;
        QTest::newRow("space is accepted") << 32 << false;
        QTest::newRow("tilde is accepted") << 126 << false;
        QTest::newRow("slash, just below the digits") << 47 << false;
        QTest::newRow("colon, just above the digits") << 58 << false;
        QTest::newRow("B, just below C") << 66 << false;
        QTest::newRow("D, just above C") << 68 << false;
        QTest::newRow("digit 0") << 48 << true;
        QTest::newRow("digit 9") << 57 << true;
        QTest::newRow("C always copies") << 67 << true;
        QTest::newRow("control character 31") << 31 << true;
        QTest::newRow("DEL 127") << 127 << true;
        QTest::newRow("negative code of a non-ASCII character") << 0xC3 - 256 << true;
    }
    void bindingProblem()
    {
        QFETCH(int, code);
        QFETCH(bool, refused);
        QCOMPARE(!BindingProblem(code).isEmpty(), refused);
    }
};

QTEST_APPLESS_MAIN(TestWindowLogic)

#include "tst_windowlogic.moc"
