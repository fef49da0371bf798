// Tests of the keyboard and playback timing rules of the main window: which
// press a release completes, which auto-repeats a held key may act on, when
// the next frame of a playing video is due, and what each key does.
#include "KeyBindings.h"
#include "KeyStrokes.h"
#include "PlaybackClock.h"

#include <QList>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

// One key event fed to a KeyPressTracker: a press, a release (with the key
// and modifiers the tracker must answer) or a loss of the focus.
struct TrackerStep
{
    enum Kind { Press, Release, Clear } kind = Press;
    quint32 scanCode = 0;
    int key = 0;
    Qt::KeyboardModifiers modifiers, expectedModifiers;
    int expectedKey = 0;
};

TrackerStep press(quint32 scan, int key, Qt::KeyboardModifiers modifiers = {})
{
    return {TrackerStep::Press, scan, key, modifiers, {}, 0};
}
TrackerStep release(quint32 scan, int key, Qt::KeyboardModifiers modifiers, int expectedKey,
                    Qt::KeyboardModifiers expectedModifiers)
{
    return {TrackerStep::Release, scan, key, modifiers, expectedModifiers, expectedKey};
}
TrackerStep focusLost() { return {TrackerStep::Clear, 0, 0, {}, {}, 0}; }

// X11 scan codes of a US keyboard, as the window system reports them.
constexpr quint32 kScanShift = 50, kScanControl = 37, kScanEqual = 21, kScanY = 29, kScanA = 38;

// One call of RepeatThrottle::accept and the answer it must give; a
// non-zero `finishedAt` then reports the action done at that local time.
struct ThrottleCall
{
    uint64_t stampMs;
    int64_t localMs;
    bool autoRepeat, accepted;
    int64_t finishedAt;
};

// A command as text, so that a failure names the action and not a number
// (the names in the order of KeyAction).
QString commandText(const KeyCommand &command)
{
    static const char *const names[] = {"None", "GotoMarker", "NextMarker", "PrevMarker", "NextSolve", "PrevSolve",
                                        "TogglePlayback", "Redo", "Copy", "StepBack10", "StepBack1", "StepForward1",
                                        "StepForward10", "AddMarker", "OpenMostRecent", "Fullscreen", "AddSolve"};
    const QString name = QString::fromLatin1(names[size_t(command.action)]);
    return command.action == KeyAction::GotoMarker ? name + QStringLiteral(" %1").arg(command.markIndex) : name;
}

// Index into kKeyBindingSettings of each binding, for the rebinding rows.
enum Binding { NoRebinding = -1, Pause = 0, FrameBack, FramePrev, FrameNext, FrameForward, AddMarker, OpenMostRecent,
               Fullscreen, AddSolve };

// A key held on a busy window in simulated time: pressed at 0, repeating
// every 40 ms from 30 ms, let go at `releaseMs`. Events are stamped by a clock
// 1 s behind the local one and handled in order 3 ms after they were generated
// at the earliest (the first 1 ms); an accepted action keeps the window busy
// for `actionMs`. Gives the local time each event's action began, -1 for a
// dropped one.
QList<int64_t> holdKey(int64_t actionMs, int64_t releaseMs, bool throttled)
{
    QList<std::pair<int64_t, bool>> events{{0, false}};
    for (int64_t t = 30; t < releaseMs; t += 40)
        events.append({t, true});
    events.append({releaseMs, false});
    RepeatThrottle throttle;
    QList<int64_t> starts;
    int64_t busyUntil = std::numeric_limits<int64_t>::min();
    for (const auto &[generated, autoRepeat] : events) {
        const int64_t handled = std::max(generated + (starts.isEmpty() ? 1 : 3), busyUntil);
        const bool accepted = !throttled || throttle.accept(uint64_t(generated - 1'000'000), handled, autoRepeat);
        starts.append(accepted ? handled : -1);
        busyUntil = accepted ? handled + actionMs : handled;  // a dropped event costs nothing
        if (accepted)
            throttle.finished(busyUntil);
    }
    return starts;
}

constexpr int64_t kNs = 1'000'000'000;
constexpr int64_t kMs = 1'000'000;

} // namespace

Q_DECLARE_METATYPE(TrackerStep)
Q_DECLARE_METATYPE(ThrottleCall)

class TestKeyStrokes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tracker_data()
    {
        QTest::addColumn<QList<TrackerStep>>("steps");
        const auto Shift = Qt::ShiftModifier;
        const auto Ctrl = Qt::ControlModifier;
        const auto None = Qt::NoModifier;

        QTest::newRow("+ typed as Shift+=, Shift let go first, stays +")
            << QList<TrackerStep>{press(kScanShift, Qt::Key_Shift, Shift), press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanShift, Qt::Key_Shift, None, Qt::Key_Shift, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Plus, Shift)};
        QTest::newRow("Ctrl+Y, Ctrl let go first, stays Ctrl+Y")
            << QList<TrackerStep>{press(kScanControl, Qt::Key_Control, Ctrl), press(kScanY, Qt::Key_Y, Ctrl),
                                  release(kScanControl, Qt::Key_Control, None, Qt::Key_Control, Ctrl),
                                  release(kScanY, Qt::Key_Y, None, Qt::Key_Y, Ctrl)};
        QTest::newRow("unknown scan code: the release stands for itself")
            << QList<TrackerStep>{press(0, Qt::Key_Plus, Shift), release(0, Qt::Key_Equal, None, Qt::Key_Equal, None)};
        QTest::newRow("release of a key held before the focus came: itself")
            << QList<TrackerStep>{release(kScanA, Qt::Key_A, Ctrl, Qt::Key_A, Ctrl)};
        QTest::newRow("a press is forgotten after its release")
            << QList<TrackerStep>{press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Equal, None)};
        QTest::newRow("the latest press of a scan code counts")
            << QList<TrackerStep>{press(kScanEqual, Qt::Key_Equal), press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Plus, Shift)};
        QTest::newRow("focus lost forgets every held key")
            << QList<TrackerStep>{press(kScanY, Qt::Key_Y, Ctrl), press(kScanA, Qt::Key_A, Shift), focusLost(),
                                  release(kScanY, Qt::Key_Y, None, Qt::Key_Y, None),
                                  release(kScanA, Qt::Key_A, None, Qt::Key_A, None)};
    }

    void tracker()
    {
        QFETCH(QList<TrackerStep>, steps);
        KeyPressTracker tracker;
        for (int i = 0; i < steps.size(); ++i) {
            const TrackerStep &s = steps.at(i);
            if (s.kind == TrackerStep::Press) {
                tracker.pressed(s.scanCode, s.key, s.modifiers);
            } else if (s.kind == TrackerStep::Clear) {
                tracker.clear();
            } else {
                const KeyStroke stroke = tracker.released(s.scanCode, s.key, s.modifiers);
                QVERIFY2(stroke.key == s.expectedKey && stroke.modifiers == s.expectedModifiers,
                         qPrintable(QStringLiteral("step %1: key 0x%2 modifiers 0x%3")
                                        .arg(i).arg(stroke.key, 0, 16).arg(stroke.modifiers.toInt(), 0, 16)));
            }
        }
    }

    // The clock offset comes from the fastest delivery seen: a slow one
    // overestimates it and would let a queued repeat through.
    void throttle_data()
    {
        QTest::addColumn<QList<ThrottleCall>>("calls");
        const uint64_t big = uint64_t(1) << 40;

        QTest::newRow("nothing ran yet: the first auto-repeat acts")
            << QList<ThrottleCall>{{123456, 42, true, true, 0}};
        QTest::newRow("a repeat generated as the step finished acts")
            << QList<ThrottleCall>{{0, 1, false, true, 100}, {98, 101, true, false, 0}, {99, 102, true, true, 0}};
        QTest::newRow("a slow first delivery, corrected by a fast one")
            << QList<ThrottleCall>{{0, 1080, false, true, 0}, {100, 1101, false, true, 1200},
                                   {150, 1230, true, false, 0}};
        QTest::newRow("a later slow delivery does not raise the estimate")
            << QList<ThrottleCall>{{0, 1001, false, true, 0}, {100, 1400, false, true, 1500},
                                   {490, 1520, true, false, 0}, {510, 1522, true, true, 0}};
        // The window system's 32-bit clock wraps: the repeats after the wrap
        // still act (a stale estimate would drop every one of them).
        QTest::newRow("time stamps wrap around")
            << QList<ThrottleCall>{{4294967196u, 1000, false, true, 1100}, {50, 1200, true, true, 0},
                                   {90, 1240, true, true, 0}};
        QTest::newRow("stamps far from the local clock")
            << QList<ThrottleCall>{{big, 7, false, true, 127}, {big + 40, 127, true, false, 0},
                                   {big + 160, 170, true, true, 0}};
    }

    void throttle()
    {
        QFETCH(QList<ThrottleCall>, calls);
        RepeatThrottle throttle;
        for (int i = 0; i < calls.size(); ++i) {
            const ThrottleCall &c = calls.at(i);
            QVERIFY2(throttle.accept(c.stampMs, c.localMs, c.autoRepeat) == c.accepted,
                     qPrintable(QStringLiteral("call %1 not %2").arg(i).arg(c.accepted ? "accepted" : "dropped")));
            if (c.finishedAt != 0)
                throttle.finished(c.finishedAt);
        }
    }

    // Steps of 120 ms: the repeats queued behind a step go, the first one
    // generated after it finished acts (every fourth), and the release.
    void throttleHeldKey()
    {
        QList<int64_t> starts = holdKey(120, 631, true);
        starts.removeAll(-1);
        QCOMPARE(starts, (QList<int64_t>{1, 153, 313, 473, 633, 753}));
    }

    // Letting go of a held key while a step runs: only the release itself
    // acts after the key is up. Unthrottled, every queued repeat would step.
    void throttleStopsAfterRelease_data()
    {
        QTest::addColumn<int>("actionMs");
        QTest::addColumn<int>("releaseMs");  // local time the key is let go

        QTest::newRow("120 ms steps, let go mid-step") << 120 << 420;
        QTest::newRow("300 ms steps, long backlog") << 300 << 1000;
        QTest::newRow("1 s step (a slow decode)") << 1000 << 1500;
    }

    void throttleStopsAfterRelease()
    {
        QFETCH(int, actionMs);
        QFETCH(int, releaseMs);
        const auto after = [&](const QList<int64_t> &starts) {
            return int(std::count_if(starts.begin(), starts.end(), [&](int64_t start) { return start >= releaseMs; }));
        };
        const QList<int64_t> throttled = holdKey(actionMs, releaseMs, true);
        QCOMPARE(after(throttled), 1);
        QVERIFY2(throttled.last() != -1, "the release itself did not act");
        // The scenario does build a backlog.
        QVERIFY2(after(holdKey(actionMs, releaseMs, false)) > 1, "no backlog without the throttle");
    }

    // A decoder showing each frame up to `jitterMs` late: no frame early, none
    // later than the lateness (or a period), and no drift over 300 frames.
    void clockKeepsRate_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("jitterMs");

        QTest::newRow("30 fps, punctual") << 30.0 << 0;
        QTest::newRow("29.97 fps, up to 20 ms late") << 29.97 << 20;
        // Some frames take longer than a period: the next ones make it up.
        QTest::newRow("60 fps, up to 25 ms late") << 60.0 << 25;
        // The period is longer than the allowed lag.
        QTest::newRow("3 fps (0.1x), up to 100 ms late") << 3.0 << 100;
    }

    void clockKeepsRate()
    {
        QFETCH(double, fps);
        QFETCH(int, jitterMs);
        const int64_t start = 5 * kNs;
        const double period = 1e9 / fps;
        PlaybackClock clock;
        clock.start(start, fps);
        int64_t now = start;
        for (int n = 0; n <= 300; ++n) {
            // Wait as a timer would, then the decode adds some lateness.
            now += int64_t(clock.msUntilDue(now)) * kMs;
            QVERIFY2(clock.due(now), qPrintable(QStringLiteral("frame %1 not due after the wait").arg(n)));
            now += int64_t(jitterMs) * kMs * ((n * 7) % 10) / 10;
            const double late = double(now) - (double(start) + n * period);
            QVERIFY2(late >= -1.0 && late < std::max(period, double(jitterMs + 1) * 1e6),
                     qPrintable(QStringLiteral("frame %1 shown %2 ms late").arg(n).arg(late / 1e6)));
            clock.frameShown(now);
        }
        const double elapsed = double(now - start) / 1e9;
        QVERIFY2(std::abs(elapsed - 300 / fps) < 1 / fps, qPrintable(QStringLiteral("300 frames took %1 s").arg(elapsed)));
    }

    // Waits are whole milliseconds rounded up: the wait never ends early. A
    // rate that is not a positive finite number plays as fast as frames come.
    void clockWaitRoundsUp_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<qint64>("sinceShownNs");
        QTest::addColumn<int>("expectedMs");

        // At 30 fps the next frame is due 33 333 333 ns after the one shown.
        QTest::newRow("just shown") << 30.0 << qint64(0) << 34;
        QTest::newRow("1 ns before due") << 30.0 << qint64(33'333'332) << 1;
        QTest::newRow("exactly due") << 30.0 << qint64(33'333'333) << 0;
        QTest::newRow("whole ms period (25 fps)") << 25.0 << qint64(0) << 40;
        QTest::newRow("0 fps: unlimited") << 0.0 << qint64(0) << 0;
        QTest::newRow("NaN fps: unlimited") << std::numeric_limits<double>::quiet_NaN() << qint64(0) << 0;
        QTest::newRow("infinite fps: unlimited") << std::numeric_limits<double>::infinity() << qint64(0) << 0;
    }

    void clockWaitRoundsUp()
    {
        QFETCH(double, fps);
        QFETCH(qint64, sinceShownNs);
        QFETCH(int, expectedMs);
        const int64_t shown = 77 * kNs + 123;
        PlaybackClock clock;
        clock.start(shown, fps);
        QVERIFY2(clock.due(shown) && !clock.due(shown - 1), "the first frame is not due right at the start");
        clock.frameShown(shown);
        const int64_t now = shown + sinceShownNs;
        QCOMPARE(clock.msUntilDue(now), expectedMs);
        QVERIFY2(clock.due(now + int64_t(expectedMs) * kMs), "the wait ends before the frame is due");
    }

    // A frame shown late: within the allowed lag the schedule stays (the next
    // frames come sooner); beyond it, it goes on from now, without a burst.
    void clockStall_data()
    {
        QTest::addColumn<int>("lateMs");      // how late frame 1 is shown
        QTest::addColumn<int>("nextWaitMs");  // wait for frame 2 after showing frame 1
        QTest::addColumn<int>("thenWaitMs");  // wait for frame 3 after showing frame 2 when due

        // 30 fps: frames 1, 2, 3 due at 33.3, 66.7 and 100 ms.
        QTest::newRow("on time") << 0 << 34 << 33;
        QTest::newRow("10 ms late: next comes sooner") << 10 << 24 << 33;
        QTest::newRow("40 ms late: made up by frame 2") << 40 << 0 << 27;
        QTest::newRow("200 ms stall: goes on from now") << 200 << 0 << 34;
    }

    void clockStall()
    {
        QFETCH(int, lateMs);
        QFETCH(int, nextWaitMs);
        QFETCH(int, thenWaitMs);
        PlaybackClock clock;
        clock.start(0, 30.0);
        clock.frameShown(0);
        int64_t now = 33'333'333 + int64_t(lateMs) * kMs;
        clock.frameShown(now);
        QCOMPARE(clock.msUntilDue(now), nextWaitMs);
        now += int64_t(nextWaitMs) * kMs;
        QVERIFY(clock.due(now));
        clock.frameShown(now);
        QVERIFY2(!clock.due(now), "frame 3 is due at once after frame 2: a burst");
        QCOMPARE(clock.msUntilDue(now), thenWaitMs);
    }

    void playbackRate_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("expected");

        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("29.97 fps at 0.5x") << 29.97 << 0.5 << 14.985;
        QTest::newRow("unknown fps (0): unlimited") << 0.0 << 1.0 << 0.0;
        QTest::newRow("NaN fps") << nan << 1.0 << 0.0;
        QTest::newRow("infinite fps") << std::numeric_limits<double>::infinity() << 1.0 << 0.0;
        QTest::newRow("speed 0") << 30.0 << 0.0 << 0.0;
        QTest::newRow("NaN speed") << 30.0 << nan << 0.0;
    }

    void playbackRate()
    {
        QFETCH(double, fps);
        QFETCH(double, speed);
        QFETCH(double, expected);
        const double rate = PlaybackRate(fps, speed);
        QVERIFY2(std::abs(rate - expected) < 1e-9, qPrintable(QStringLiteral("rate %1").arg(rate)));
    }

    // The speed box lists the speeds slowest first and starts at 1x.
    void playbackSpeeds()
    {
        const int count = int(std::size(kPlaybackSpeeds));
        QVERIFY2(kNormalSpeedIndex >= 0 && kNormalSpeedIndex < count, "1x index outside the list");
        QCOMPARE(kPlaybackSpeeds[kNormalSpeedIndex], 1.0);
        for (int i = 1; i < count; ++i)
            QVERIFY2(kPlaybackSpeeds[i - 1] < kPlaybackSpeeds[i], qPrintable(QStringLiteral("speed %1 out of order").arg(i)));
    }

    void keyCommand_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("rebind");     // Binding, or NoRebinding for the defaults
        QTest::addColumn<int>("boundCode");  // its new key code
        QTest::addColumn<QString>("expected");

        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        const int alt = Qt::AltModifier, keypad = Qt::KeypadModifier;
        const auto row = [](const char *name, int key, int modifiers, const char *expected, int rebind = NoRebinding,
                            int code = 0) {
            QTest::newRow(name) << key << modifiers << rebind << code << QString::fromLatin1(expected);
        };

        row("digit 0", Qt::Key_0, none, "GotoMarker 0");
        row("digit 9", Qt::Key_9, none, "GotoMarker 9");
        row("Shift+9", Qt::Key_9, shift, "GotoMarker 19");
        // Only exactly Shift adds 10.
        row("Shift+keypad 7", Qt::Key_7, shift | keypad, "GotoMarker 7");

        row("Right", Qt::Key_Right, none, "NextMarker");
        row("Left", Qt::Key_Left, none, "PrevMarker");
        row("Page Up", Qt::Key_PageUp, none, "NextSolve");
        row("Page Down", Qt::Key_PageDown, none, "PrevSolve");

        row("Space pauses", Qt::Key_Space, none, "TogglePlayback");
        row("Pause rebound to P", Qt::Key_P, none, "TogglePlayback", Pause, 'P');
        row("Space after Pause moved to P", Qt::Key_Space, none, "None", Pause, 'P');

        row("Y bound: bare Y steps", Qt::Key_Y, none, "StepForward1", FrameNext, 'Y');
        row("Y bound: Ctrl+Y still redoes", Qt::Key_Y, ctrl, "Redo", FrameNext, 'Y');

        row("Ctrl+Shift+Alt+C copies", Qt::Key_C, ctrl | shift | alt, "Copy");

        row("Q back 10", Qt::Key_Q, none, "StepBack10");
        row("A back 1", Qt::Key_A, none, "StepBack1");
        row("D forward 1", Qt::Key_D, none, "StepForward1");
        row("E forward 10", Qt::Key_E, none, "StepForward10");
        row("M adds a mark", Qt::Key_M, none, "AddMarker");
        row("O opens the most recent", Qt::Key_O, none, "OpenMostRecent");
        row("F full screen", Qt::Key_F, none, "Fullscreen");
        // "+" needs Shift on most layouts: the binding ignores modifiers.
        row("Shift++ adds a solve", Qt::Key_Plus, shift, "AddSolve");

        // A binding to a key the window handles itself never fires.
        row("Pause bound to 5: 5 jumps", Qt::Key_5, none, "GotoMarker 5", Pause, '5');
        row("Pause bound to C: C copies", Qt::Key_C, none, "Copy", Pause, 'C');
        row("FrameBack moved to W", Qt::Key_W, none, "StepBack10", FrameBack, 'W');
        row("FrameBack moved to W: Q is free", Qt::Key_Q, none, "None", FrameBack, 'W');

        row("= unbound", Qt::Key_Equal, none, "None");
    }

    void keyCommand()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, rebind);
        QFETCH(int, boundCode);
        QFETCH(QString, expected);
        KeyBindings bindings;
        if (rebind != NoRebinding)
            bindings.*kKeyBindingSettings.at(size_t(rebind)).member = boundCode;
        const KeyCommand command = KeyCommandFor(key, Qt::KeyboardModifiers::fromInt(modifiers), bindings);
        QCOMPARE(commandText(command), expected);
        if (command.action != KeyAction::GotoMarker)
            QVERIFY2(command.markIndex == 0, "a mark index on a command that is no jump");
    }
};

QTEST_APPLESS_MAIN(TestKeyStrokes)

#include "tst_keystrokes.moc"
