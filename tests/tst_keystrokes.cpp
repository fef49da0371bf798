// Tests of the keyboard and playback timing rules of the main window: which
// press a release completes, which auto-repeats a held key may act on, when
// the next frame of a playing video is due, and what each key does.
#include "KeyBindings.h"
#include "KeyStrokes.h"
#include "PlaybackClock.h"

#include <QList>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>

namespace {

// One key event fed to a KeyPressTracker: a press, a release (with the key
// and modifiers the tracker must answer) or a loss of the focus.
struct TrackerStep
{
    enum Kind { Press, Release, Clear } kind = Press;
    quint32 scanCode = 0;
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    int expectedKey = 0;
    Qt::KeyboardModifiers expectedModifiers;
};

TrackerStep press(quint32 scan, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return {TrackerStep::Press, scan, key, modifiers, 0, {}};
}

TrackerStep release(quint32 scan, int key, Qt::KeyboardModifiers modifiers, int expectedKey,
                    Qt::KeyboardModifiers expectedModifiers)
{
    return {TrackerStep::Release, scan, key, modifiers, expectedKey, expectedModifiers};
}

TrackerStep focusLost() { return {TrackerStep::Clear, 0, 0, {}, 0, {}}; }

// X11 scan codes of a US keyboard, as the window system reports them.
constexpr quint32 kScanShift = 50;
constexpr quint32 kScanControl = 37;
constexpr quint32 kScanEqual = 21;
constexpr quint32 kScanY = 29;
constexpr quint32 kScanA = 38;
constexpr quint32 kScanD = 40;

QString actionName(KeyAction action)
{
    switch (action) {
    case KeyAction::None: return QStringLiteral("None");
    case KeyAction::GotoMarker: return QStringLiteral("GotoMarker");
    case KeyAction::NextMarker: return QStringLiteral("NextMarker");
    case KeyAction::PrevMarker: return QStringLiteral("PrevMarker");
    case KeyAction::NextSolve: return QStringLiteral("NextSolve");
    case KeyAction::PrevSolve: return QStringLiteral("PrevSolve");
    case KeyAction::TogglePlayback: return QStringLiteral("TogglePlayback");
    case KeyAction::Redo: return QStringLiteral("Redo");
    case KeyAction::Copy: return QStringLiteral("Copy");
    case KeyAction::StepBack10: return QStringLiteral("StepBack10");
    case KeyAction::StepBack1: return QStringLiteral("StepBack1");
    case KeyAction::StepForward1: return QStringLiteral("StepForward1");
    case KeyAction::StepForward10: return QStringLiteral("StepForward10");
    case KeyAction::AddMarker: return QStringLiteral("AddMarker");
    case KeyAction::OpenMostRecent: return QStringLiteral("OpenMostRecent");
    case KeyAction::Fullscreen: return QStringLiteral("Fullscreen");
    case KeyAction::AddSolve: return QStringLiteral("AddSolve");
    }
    return QStringLiteral("?");
}

// A command as text, so that a failure names the action and not a number.
QString commandText(const KeyCommand &command)
{
    if (command.action == KeyAction::GotoMarker)
        return QStringLiteral("GotoMarker %1").arg(command.markIndex);
    return actionName(command.action);
}

// Index into kKeyBindingSettings of each binding, for the rebinding rows.
enum Binding { NoRebinding = -1, Pause = 0, FrameBack, FramePrev, FrameNext, FrameForward, AddMarker, OpenMostRecent,
               Fullscreen, AddSolve };

// A held key on a busy window, played out in simulated time. The window
// system stamps each event with its own clock (which runs `clockOffset`
// behind the local one); the window handles events one by one in order, each
// `deliveryMs` after it was generated at the earliest (the first one
// `firstDeliveryMs`), and an accepted action keeps it busy for `actionMs`.
struct HeldKey
{
    int64_t clockOffset = 1'000'000;
    int64_t firstDeliveryMs = 1;
    int64_t deliveryMs = 3;
    int64_t actionMs = 120;

    struct Event
    {
        int64_t generatedMs;  // local time
        bool autoRepeat;
    };
    struct Outcome
    {
        QList<bool> accepted;         // per event
        QList<int64_t> actionStarts;  // local times the accepted actions began
    };

    Outcome run(const QList<Event> &events, bool throttled) const
    {
        RepeatThrottle throttle;
        Outcome outcome;
        int64_t busyUntil = std::numeric_limits<int64_t>::min();
        for (const Event &event : events) {
            const int64_t delivery = outcome.accepted.isEmpty() ? firstDeliveryMs : deliveryMs;
            const int64_t handled = std::max(event.generatedMs + delivery, busyUntil);
            const uint64_t stamp = uint64_t(event.generatedMs - clockOffset);
            const bool accept = !throttled || throttle.accept(stamp, handled, event.autoRepeat);
            outcome.accepted.append(accept);
            if (accept) {
                outcome.actionStarts.append(handled);
                busyUntil = handled + actionMs;
                throttle.finished(busyUntil);
            } else {
                busyUntil = handled;  // a dropped event costs nothing
            }
        }
        return outcome;
    }
};

constexpr int64_t kNs = 1'000'000'000;

} // namespace

Q_DECLARE_METATYPE(TrackerStep)

class TestKeyStrokes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- KeyPressTracker ----

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
        QTest::newRow("+ typed as Shift+=, = let go first")
            << QList<TrackerStep>{press(kScanShift, Qt::Key_Shift, Shift), press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Plus, Shift, Qt::Key_Plus, Shift),
                                  release(kScanShift, Qt::Key_Shift, Shift, Qt::Key_Shift, Shift)};
        QTest::newRow("Ctrl+Y, Ctrl let go first, stays Ctrl+Y")
            << QList<TrackerStep>{press(kScanControl, Qt::Key_Control, Ctrl), press(kScanY, Qt::Key_Y, Ctrl),
                                  release(kScanControl, Qt::Key_Control, None, Qt::Key_Control, Ctrl),
                                  release(kScanY, Qt::Key_Y, None, Qt::Key_Y, Ctrl)};
        QTest::newRow("unknown scan code: the release stands for itself")
            << QList<TrackerStep>{press(0, Qt::Key_Plus, Shift), release(0, Qt::Key_Equal, None, Qt::Key_Equal, None)};
        QTest::newRow("a scan-code-0 press is not matched by a later real release")
            << QList<TrackerStep>{press(0, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Equal, None)};
        QTest::newRow("release of a key held before the focus came: itself")
            << QList<TrackerStep>{release(kScanA, Qt::Key_A, Ctrl, Qt::Key_A, Ctrl)};
        QTest::newRow("a press is forgotten after its release")
            << QList<TrackerStep>{press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Equal, None)};
        QTest::newRow("the latest press of a scan code counts")
            << QList<TrackerStep>{press(kScanEqual, Qt::Key_Equal), release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Equal, None),
                                  press(kScanEqual, Qt::Key_Plus, Shift),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Plus, Shift)};
        QTest::newRow("two held keys, let go in the other order")
            << QList<TrackerStep>{press(kScanA, Qt::Key_A), press(kScanD, Qt::Key_D, Shift),
                                  release(kScanA, Qt::Key_A, Shift, Qt::Key_A, None),
                                  release(kScanD, Qt::Key_D, None, Qt::Key_D, Shift)};
        QTest::newRow("focus lost: the held press is forgotten")
            << QList<TrackerStep>{press(kScanEqual, Qt::Key_Plus, Shift), focusLost(),
                                  release(kScanEqual, Qt::Key_Equal, None, Qt::Key_Equal, None)};
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
            switch (s.kind) {
            case TrackerStep::Press:
                tracker.pressed(s.scanCode, s.key, s.modifiers);
                break;
            case TrackerStep::Clear:
                tracker.clear();
                break;
            case TrackerStep::Release: {
                const KeyStroke stroke = tracker.released(s.scanCode, s.key, s.modifiers);
                QVERIFY2(stroke.key == s.expectedKey,
                         qPrintable(QStringLiteral("step %1: key 0x%2, expected 0x%3")
                                        .arg(i)
                                        .arg(stroke.key, 0, 16)
                                        .arg(s.expectedKey, 0, 16)));
                QVERIFY2(stroke.modifiers == s.expectedModifiers,
                         qPrintable(QStringLiteral("step %1: modifiers 0x%2, expected 0x%3")
                                        .arg(i)
                                        .arg(stroke.modifiers.toInt(), 0, 16)
                                        .arg(s.expectedModifiers.toInt(), 0, 16)));
                break;
            }
            }
        }
    }

    // ---- RepeatThrottle ----

    // Events that are not auto-repeats act even when they were generated
    // while the previous action was still running.
    void throttleAlwaysAcceptsPlainEvents()
    {
        RepeatThrottle throttle;
        QVERIFY2(throttle.accept(1000, 5000, false), "first press");
        throttle.finished(5500);
        // Generated at local 5100 (before the finish at 5500), handled at 5500.
        QVERIFY2(throttle.accept(1100, 5500, false), "a real key event queued behind a long action must act");
        throttle.finished(6000);
        QVERIFY2(!throttle.accept(1200, 6000, true), "the same timing as an auto-repeat is dropped");
    }

    // The window got the focus while the key was already held: the first
    // event it sees is an auto-repeat, and nothing has run yet.
    void throttleAcceptsFirstAutoRepeat()
    {
        RepeatThrottle throttle;
        QVERIFY2(throttle.accept(123456, 42, true), "nothing ran before: the repeat must act");
    }

    // A held key repeating every 40 ms while each step takes 120 ms: the
    // repeats queued behind a step are dropped, the first one generated after
    // it finished acts.
    void throttleHeldKey()
    {
        HeldKey key;  // 120 ms action
        QList<HeldKey::Event> events{{0, false}};
        for (int64_t t = 30; t <= 630; t += 40)
            events.append({t, true});
        const HeldKey::Outcome outcome = key.run(events, true);

        // Local times: the press came within 1 ms, so each repeat is taken
        // as generated 1 ms later than it was; repeats arrive 3 ms after
        // they are generated. Action 1 runs 1..121, repeats 30, 70, 110 queued
        // behind it go; 150 finds the window idle (153..273); 190, 230 and
        // 270 go; 310 acts (313..433), and so on: every fourth repeat acts.
        const QList<int64_t> expectedStarts{1, 153, 313, 473, 633};
        QCOMPARE(outcome.actionStarts, expectedStarts);
        // Every accepted repeat was generated after the action before it ended.
        int64_t previousEnd = std::numeric_limits<int64_t>::min();
        int action = 0;
        for (int i = 0; i < events.size(); ++i) {
            if (!outcome.accepted.at(i))
                continue;
            const int64_t generated = events.at(i).generatedMs;
            QVERIFY2(generated >= previousEnd,
                     qPrintable(QStringLiteral("repeat generated at %1 acted although the step before ran until %2")
                                    .arg(generated)
                                    .arg(previousEnd)));
            previousEnd = outcome.actionStarts.at(action++) + key.actionMs;
        }
    }

    // Letting go of a held key while a step runs: the repeats queued behind
    // it are dropped, so only the release itself acts after the key is up.
    // Without the throttle every queued repeat would step once more.
    void throttleStopsAfterRelease_data()
    {
        QTest::addColumn<int>("actionMs");
        QTest::addColumn<int>("releaseMs");  // local time the key is let go

        QTest::newRow("120 ms steps, let go mid-step") << 120 << 420;
        QTest::newRow("120 ms steps, let go just after a step began") << 120 << 315;
        QTest::newRow("300 ms steps, long backlog") << 300 << 1000;
        QTest::newRow("1 s step (a slow decode)") << 1000 << 1500;
    }

    void throttleStopsAfterRelease()
    {
        QFETCH(int, actionMs);
        QFETCH(int, releaseMs);
        HeldKey key;
        key.actionMs = actionMs;
        QList<HeldKey::Event> events{{0, false}};
        for (int64_t t = 30; t < releaseMs; t += 40)
            events.append({t, true});
        events.append({releaseMs, false});

        const HeldKey::Outcome throttled = key.run(events, true);
        int after = 0;
        for (const int64_t start : throttled.actionStarts)
            after += start >= releaseMs ? 1 : 0;
        QVERIFY2(after == 1, qPrintable(QStringLiteral("%1 actions after the key was let go").arg(after)));
        QVERIFY2(throttled.accepted.last(), "the release itself must act");

        // The scenario does build a backlog: unthrottled, it keeps stepping.
        const HeldKey::Outcome unthrottled = key.run(events, false);
        int backlog = 0;
        for (const int64_t start : unthrottled.actionStarts)
            backlog += start >= releaseMs ? 1 : 0;
        QVERIFY2(backlog > 1, qPrintable(QStringLiteral("no backlog without the throttle (%1)").arg(backlog)));
    }

    // The clock offset comes from the fastest delivery seen, whenever it
    // comes: a slow delivery overestimates it and would let a queued repeat
    // through.
    void throttleLearnsOffsetFromFastestDelivery()
    {
        const int64_t offset = 1000;  // local = stamp + 1000
        {
            // The first delivery is slow (80 ms); a fast one after it
            // corrects the estimate.
            RepeatThrottle throttle;
            QVERIFY(throttle.accept(0, offset + 80, false));
            QVERIFY(throttle.accept(100, offset + 101, false));
            throttle.finished(offset + 200);
            QVERIFY2(!throttle.accept(150, offset + 230, true),
                     "a repeat generated 50 ms before the finish must be dropped once a fast delivery was seen");
        }
        {
            // An event that came within 1 ms first.
            RepeatThrottle throttle;
            QVERIFY(throttle.accept(0, offset + 1, false));
            QVERIFY(throttle.accept(50, offset + 130, false));
            throttle.finished(offset + 200);
            QVERIFY2(!throttle.accept(150, offset + 230, true),
                     "a repeat generated 50 ms before the step finished must be dropped");
            QVERIFY2(throttle.accept(210, offset + 212, true), "a repeat generated after the step acts");
        }
        {
            // A later slow delivery does not raise the estimate again.
            RepeatThrottle throttle;
            QVERIFY(throttle.accept(0, offset + 1, false));
            QVERIFY(throttle.accept(100, offset + 400, false));  // 300 ms late
            throttle.finished(offset + 500);
            QVERIFY2(!throttle.accept(490, offset + 520, true),
                     "a repeat generated 10 ms before the finish must be dropped after a slow delivery");
        }
    }

    // Window-system stamps are unsigned and may be far from the local clock.
    void throttleLargeStamps()
    {
        RepeatThrottle throttle;
        const uint64_t base = uint64_t(1) << 40;
        QVERIFY(throttle.accept(base, 7, false));
        throttle.finished(127);
        QVERIFY2(!throttle.accept(base + 40, 127, true), "queued repeat with a large stamp must be dropped");
        QVERIFY2(throttle.accept(base + 160, 170, true), "later repeat with a large stamp must act");
    }

    // ---- PlaybackClock ----

    // Playing with a decoder that shows each frame up to `jitterMs` late:
    // frame n is shown no earlier than n / rate and no later than the
    // lateness (or a period) after it, for the whole run (no drift, no early
    // frames).
    void clockKeepsRate_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("jitterMs");

        QTest::newRow("30 fps, punctual") << 30.0 << 0;
        QTest::newRow("30 fps, up to 20 ms late") << 30.0 << 20;
        QTest::newRow("29.97 fps, punctual") << 29.97 << 0;
        QTest::newRow("29.97 fps, up to 20 ms late") << 29.97 << 20;
        QTest::newRow("60 fps, up to 10 ms late") << 60.0 << 10;
        // Some frames take longer than a period: the next ones make it up.
        QTest::newRow("60 fps, up to 25 ms late") << 60.0 << 25;
        QTest::newRow("23.976 fps, up to 30 ms late") << 23.976 << 30;
        QTest::newRow("3 fps (0.1x)") << 3.0 << 100;
    }

    void clockKeepsRate()
    {
        QFETCH(double, fps);
        QFETCH(int, jitterMs);
        const int64_t start = 5 * kNs;
        const double period = 1e9 / fps;
        PlaybackClock clock;
        clock.start(start, fps);
        QVERIFY(clock.limited());
        int64_t now = start;
        for (int n = 0; n <= 300; ++n) {
            // Wait as a timer would, then the decode adds some lateness.
            now += int64_t(clock.msUntilDue(now)) * 1'000'000;
            QVERIFY2(clock.due(now), qPrintable(QStringLiteral("frame %1 not due after the wait").arg(n)));
            now += int64_t(jitterMs) * 1'000'000 * ((n * 7) % 10) / 10;
            const double ideal = double(start) + n * period;
            QVERIFY2(double(now) >= ideal - 1.0,
                     qPrintable(QStringLiteral("frame %1 shown %2 ns early").arg(n).arg(ideal - double(now))));
            QVERIFY2(double(now) < ideal + std::max(period, double(jitterMs) * 1e6 + 1e6),
                     qPrintable(QStringLiteral("frame %1 shown %2 ms late").arg(n).arg((double(now) - ideal) / 1e6)));
            clock.frameShown(now);
        }
        // 300 frames after the first: 300 / fps seconds.
        const double elapsed = double(now - start) / 1e9;
        QVERIFY2(std::abs(elapsed - 300 / fps) < 1 / fps,
                 qPrintable(QStringLiteral("300 frames took %1 s, expected %2 s").arg(elapsed).arg(300 / fps)));
    }

    // Waits are whole milliseconds rounded up: the wait never ends early,
    // and one millisecond less would.
    void clockWaitRoundsUp_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<qint64>("sinceShownNs");
        QTest::addColumn<int>("expectedMs");

        // At 30 fps the next frame is due 33 333 333 ns after the one shown.
        QTest::newRow("just shown") << 30.0 << qint64(0) << 34;
        QTest::newRow("1 ns later") << 30.0 << qint64(1) << 34;
        QTest::newRow("333 334 ns before due") << 30.0 << qint64(32'999'999) << 1;
        QTest::newRow("1 ns before due") << 30.0 << qint64(33'333'332) << 1;
        QTest::newRow("exactly due") << 30.0 << qint64(33'333'333) << 0;
        QTest::newRow("overdue") << 30.0 << qint64(40'000'000) << 0;
        QTest::newRow("whole ms period (25 fps)") << 25.0 << qint64(0) << 40;
        QTest::newRow("25 fps, 1 ns in") << 25.0 << qint64(1) << 40;
        QTest::newRow("25 fps, 1 ms in") << 25.0 << qint64(1'000'000) << 39;
        QTest::newRow("1000 fps") << 1000.0 << qint64(0) << 1;
    }

    void clockWaitRoundsUp()
    {
        QFETCH(double, fps);
        QFETCH(qint64, sinceShownNs);
        QFETCH(int, expectedMs);
        const int64_t shown = 77 * kNs + 123;
        PlaybackClock clock;
        clock.start(shown, fps);
        clock.frameShown(shown);
        const int64_t now = shown + sinceShownNs;
        const int wait = clock.msUntilDue(now);
        QCOMPARE(wait, expectedMs);
        QVERIFY2(clock.due(now + int64_t(wait) * 1'000'000), "the wait ends before the frame is due");
        if (wait > 0)
            QVERIFY2(!clock.due(now + int64_t(wait - 1) * 1'000'000), "the wait is longer than needed");
    }

    // The first frame after start() is due at once.
    void clockFirstFrameAtOnce()
    {
        PlaybackClock clock;
        clock.start(kNs, 30.0);
        QVERIFY(clock.due(kNs));
        QCOMPARE(clock.msUntilDue(kNs), 0);
        QVERIFY2(!clock.due(kNs - 1), "due before start");
    }

    // A frame shown late: within the allowed lag the schedule stays (the
    // next frames come sooner to catch up); later than that it goes on from
    // now, so a stall is followed by one frame, not a burst.
    void clockStall_data()
    {
        QTest::addColumn<int>("lateMs");      // how late frame 1 is shown
        QTest::addColumn<int>("nextWaitMs");  // wait for frame 2 after showing frame 1
        QTest::addColumn<int>("thenWaitMs");  // wait for frame 3 after showing frame 2 when due

        // 30 fps: frame 1 due at 33.3 ms, frame 2 at 66.7 ms, frame 3 at 100 ms.
        // Frame 2 is shown when the (rounded up) wait runs out, at 67.3 ms:
        // on schedule, frame 3 then follows 32.7 ms later.
        QTest::newRow("on time") << 0 << 34 << 33;
        QTest::newRow("10 ms late: next comes sooner") << 10 << 24 << 33;
        QTest::newRow("30 ms late: still on schedule") << 30 << 4 << 33;
        // Later than a period but within the allowed lag (100 ms): frame 2
        // at once, frame 3 back on the schedule at 100 ms.
        QTest::newRow("40 ms late: made up by frame 2") << 40 << 0 << 27;
        QTest::newRow("60 ms late: made up by frame 2") << 60 << 0 << 7;
        // Beyond the lag: frame 2 at once, then a period each, no burst.
        QTest::newRow("200 ms stall: goes on from now") << 200 << 0 << 34;
        QTest::newRow("5 s stall: goes on from now") << 5000 << 0 << 34;
    }

    void clockStall()
    {
        QFETCH(int, lateMs);
        QFETCH(int, nextWaitMs);
        QFETCH(int, thenWaitMs);
        PlaybackClock clock;
        clock.start(0, 30.0);
        clock.frameShown(0);  // frame 0
        int64_t now = 33'333'333 + int64_t(lateMs) * 1'000'000;
        QVERIFY(clock.due(now));
        clock.frameShown(now);  // frame 1
        QCOMPARE(clock.msUntilDue(now), nextWaitMs);
        now += int64_t(nextWaitMs) * 1'000'000;
        QVERIFY(clock.due(now));
        clock.frameShown(now);  // frame 2
        QVERIFY2(!clock.due(now), "frame 3 is due at once after frame 2: a burst");
        QCOMPARE(clock.msUntilDue(now), thenWaitMs);
    }

    // A rate that is not a positive finite number plays as fast as frames
    // come: every frame is due at once and no wait is asked for.
    void clockUnlimited_data()
    {
        QTest::addColumn<double>("fps");
        QTest::newRow("0") << 0.0;
        QTest::newRow("negative") << -30.0;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
        QTest::newRow("-infinite") << -std::numeric_limits<double>::infinity();
    }

    void clockUnlimited()
    {
        QFETCH(double, fps);
        PlaybackClock clock;
        clock.start(kNs, fps);
        QVERIFY2(!clock.limited(), "rate must count as unlimited");
        int64_t now = kNs;
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(clock.due(now), qPrintable(QStringLiteral("frame %1 not due at once").arg(i)));
            QCOMPARE(clock.msUntilDue(now), 0);
            clock.frameShown(now);
            now += 1000;  // a microsecond per frame
        }
    }

    // Restarting at a new rate (the speed box changed) takes the new period.
    void clockRestartChangesRate()
    {
        PlaybackClock clock;
        clock.start(0, 0.0);
        clock.frameShown(0);
        QCOMPARE(clock.msUntilDue(0), 0);
        clock.start(kNs, 10.0);
        QVERIFY(clock.limited());
        clock.frameShown(kNs);
        QCOMPARE(clock.msUntilDue(kNs), 100);
        clock.start(2 * kNs, 0.0);
        QVERIFY(!clock.limited());
        clock.frameShown(2 * kNs);
        QCOMPARE(clock.msUntilDue(2 * kNs), 0);
    }

    void playbackRate_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("expected");

        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("30 fps at 1x") << 30.0 << 1.0 << 30.0;
        QTest::newRow("29.97 fps at 1x stays 29.97") << 29.97 << 1.0 << 29.97;
        QTest::newRow("29.97 fps at 0.5x") << 29.97 << 0.5 << 14.985;
        QTest::newRow("30 fps at 0.1x") << 30.0 << 0.1 << 3.0;
        QTest::newRow("60 fps at 2x") << 60.0 << 2.0 << 120.0;
        QTest::newRow("unknown fps (0): unlimited") << 0.0 << 1.0 << 0.0;
        QTest::newRow("negative fps") << -30.0 << 1.0 << 0.0;
        QTest::newRow("NaN fps") << nan << 1.0 << 0.0;
        QTest::newRow("infinite fps") << inf << 1.0 << 0.0;
        QTest::newRow("speed 0") << 30.0 << 0.0 << 0.0;
        QTest::newRow("negative speed") << 30.0 << -1.0 << 0.0;
        QTest::newRow("NaN speed") << 30.0 << nan << 0.0;
    }

    void playbackRate()
    {
        QFETCH(double, fps);
        QFETCH(double, speed);
        QFETCH(double, expected);
        const double rate = PlaybackRate(fps, speed);
        QVERIFY2(std::abs(rate - expected) < 1e-9, qPrintable(QStringLiteral("rate %1, expected %2").arg(rate).arg(expected)));
    }

    // The speed box: slowest first, 0.1x to 2x, the default entry is 1x, and
    // every entry plays a 30 fps video at its multiple of the rate.
    void playbackSpeeds()
    {
        const int count = int(std::size(kPlaybackSpeeds));
        QVERIFY2(count >= 2, "at least two speeds");
        QCOMPARE(kPlaybackSpeeds[0], 0.1);
        QCOMPARE(kPlaybackSpeeds[count - 1], 2.0);
        QVERIFY2(kNormalSpeedIndex >= 0 && kNormalSpeedIndex < count, "1x index outside the list");
        QCOMPARE(kPlaybackSpeeds[kNormalSpeedIndex], 1.0);
        for (int i = 1; i < count; ++i)
            QVERIFY2(kPlaybackSpeeds[i - 1] < kPlaybackSpeeds[i],
                     qPrintable(QStringLiteral("speeds %1 and %2 out of order").arg(i - 1).arg(i)));
        for (int i = 0; i < count; ++i) {
            PlaybackClock clock;
            clock.start(0, PlaybackRate(30.0, kPlaybackSpeeds[i]));
            clock.frameShown(0);
            const int expectedMs = int(std::ceil(1000.0 / (30.0 * kPlaybackSpeeds[i]) - 1e-9));
            QVERIFY2(clock.msUntilDue(0) == expectedMs,
                     qPrintable(QStringLiteral("speed %1: wait %2 ms, expected %3")
                                    .arg(kPlaybackSpeeds[i])
                                    .arg(clock.msUntilDue(0))
                                    .arg(expectedMs)));
        }
    }

    // ---- KeyCommandFor ----

    void keyCommand_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("rebind");     // Binding, or NoRebinding for the defaults
        QTest::addColumn<int>("boundCode");  // its new key code
        QTest::addColumn<QString>("expected");

        const int none = Qt::NoModifier;
        const int shift = Qt::ShiftModifier;
        const int ctrl = Qt::ControlModifier;
        const int alt = Qt::AltModifier;
        const int keypad = Qt::KeypadModifier;
        const auto row = [](const QString &name, int key, int modifiers, int rebind, int code, const QString &expected) {
            QTest::newRow(qPrintable(name)) << key << modifiers << rebind << code << expected;
        };

        for (int d = 0; d <= 9; ++d) {
            const int key = Qt::Key_0 + d;
            const QString mark = QStringLiteral("GotoMarker %1").arg(d);
            const QString shifted = QStringLiteral("GotoMarker %1").arg(d + 10);
            row(QStringLiteral("digit %1").arg(d), key, none, NoRebinding, 0, mark);
            row(QStringLiteral("Shift+%1").arg(d), key, shift, NoRebinding, 0, shifted);
        }
        // Only exactly Shift adds 10.
        row(QStringLiteral("Ctrl+4"), Qt::Key_4, ctrl, NoRebinding, 0, QStringLiteral("GotoMarker 4"));
        row(QStringLiteral("Shift+Ctrl+4"), Qt::Key_4, shift | ctrl, NoRebinding, 0, QStringLiteral("GotoMarker 4"));
        row(QStringLiteral("keypad 7"), Qt::Key_7, keypad, NoRebinding, 0, QStringLiteral("GotoMarker 7"));
        row(QStringLiteral("Shift+keypad 7"), Qt::Key_7, shift | keypad, NoRebinding, 0, QStringLiteral("GotoMarker 7"));

        row(QStringLiteral("Right"), Qt::Key_Right, none, NoRebinding, 0, QStringLiteral("NextMarker"));
        row(QStringLiteral("Left"), Qt::Key_Left, none, NoRebinding, 0, QStringLiteral("PrevMarker"));
        row(QStringLiteral("keypad Right"), Qt::Key_Right, keypad, NoRebinding, 0, QStringLiteral("NextMarker"));
        row(QStringLiteral("Page Up"), Qt::Key_PageUp, none, NoRebinding, 0, QStringLiteral("NextSolve"));
        row(QStringLiteral("Page Down"), Qt::Key_PageDown, none, NoRebinding, 0, QStringLiteral("PrevSolve"));
        row(QStringLiteral("Up is not bound"), Qt::Key_Up, none, NoRebinding, 0, QStringLiteral("None"));

        row(QStringLiteral("Space pauses"), Qt::Key_Space, none, NoRebinding, 0, QStringLiteral("TogglePlayback"));
        row(QStringLiteral("Pause rebound to P"), Qt::Key_P, none, Pause, 'P', QStringLiteral("TogglePlayback"));
        row(QStringLiteral("Space after Pause moved to P"), Qt::Key_Space, none, Pause, 'P', QStringLiteral("None"));

        row(QStringLiteral("Ctrl+Y redoes"), Qt::Key_Y, ctrl, NoRebinding, 0, QStringLiteral("Redo"));
        row(QStringLiteral("bare Y does nothing"), Qt::Key_Y, none, NoRebinding, 0, QStringLiteral("None"));
        row(QStringLiteral("Alt+Y does nothing"), Qt::Key_Y, alt, NoRebinding, 0, QStringLiteral("None"));
        row(QStringLiteral("Y bound: bare Y steps"), Qt::Key_Y, none, FrameNext, 'Y', QStringLiteral("StepForward1"));
        row(QStringLiteral("Y bound: Ctrl+Y still redoes"), Qt::Key_Y, ctrl, FrameNext, 'Y', QStringLiteral("Redo"));

        row(QStringLiteral("C copies"), Qt::Key_C, none, NoRebinding, 0, QStringLiteral("Copy"));
        row(QStringLiteral("Ctrl+C copies"), Qt::Key_C, ctrl, NoRebinding, 0, QStringLiteral("Copy"));
        row(QStringLiteral("Shift+C copies"), Qt::Key_C, shift, NoRebinding, 0, QStringLiteral("Copy"));
        row(QStringLiteral("Ctrl+Shift+Alt+C copies"), Qt::Key_C, ctrl | shift | alt, NoRebinding, 0,
            QStringLiteral("Copy"));

        row(QStringLiteral("Q back 10"), Qt::Key_Q, none, NoRebinding, 0, QStringLiteral("StepBack10"));
        row(QStringLiteral("A back 1"), Qt::Key_A, none, NoRebinding, 0, QStringLiteral("StepBack1"));
        row(QStringLiteral("D forward 1"), Qt::Key_D, none, NoRebinding, 0, QStringLiteral("StepForward1"));
        row(QStringLiteral("E forward 10"), Qt::Key_E, none, NoRebinding, 0, QStringLiteral("StepForward10"));
        row(QStringLiteral("M adds a mark"), Qt::Key_M, none, NoRebinding, 0, QStringLiteral("AddMarker"));
        row(QStringLiteral("O opens the most recent"), Qt::Key_O, none, NoRebinding, 0,
            QStringLiteral("OpenMostRecent"));
        row(QStringLiteral("F full screen"), Qt::Key_F, none, NoRebinding, 0, QStringLiteral("Fullscreen"));
        row(QStringLiteral("+ adds a solve"), Qt::Key_Plus, none, NoRebinding, 0, QStringLiteral("AddSolve"));
        // "+" needs Shift on most layouts: the binding ignores modifiers.
        row(QStringLiteral("Shift++ adds a solve"), Qt::Key_Plus, shift, NoRebinding, 0, QStringLiteral("AddSolve"));

        // A binding to a key the window handles itself never fires.
        row(QStringLiteral("FrameNext bound to C: C copies"), Qt::Key_C, none, FrameNext, 'C', QStringLiteral("Copy"));
        row(QStringLiteral("FrameNext bound to C: D is free"), Qt::Key_D, none, FrameNext, 'C', QStringLiteral("None"));
        row(QStringLiteral("FrameNext bound to 3: 3 jumps"), Qt::Key_3, none, FrameNext, '3',
            QStringLiteral("GotoMarker 3"));
        row(QStringLiteral("AddMarker bound to 0: 0 jumps"), Qt::Key_0, none, AddMarker, '0',
            QStringLiteral("GotoMarker 0"));
        row(QStringLiteral("Pause bound to 5: 5 jumps"), Qt::Key_5, none, Pause, '5', QStringLiteral("GotoMarker 5"));
        row(QStringLiteral("Pause bound to C: C copies"), Qt::Key_C, none, Pause, 'C', QStringLiteral("Copy"));
        row(QStringLiteral("FrameBack moved to W"), Qt::Key_W, none, FrameBack, 'W', QStringLiteral("StepBack10"));
        row(QStringLiteral("FrameBack moved to W: Q is free"), Qt::Key_Q, none, FrameBack, 'W', QStringLiteral("None"));
        row(QStringLiteral("AddSolve moved to -"), Qt::Key_Minus, none, AddSolve, '-', QStringLiteral("AddSolve"));

        row(QStringLiteral("Z unbound"), Qt::Key_Z, none, NoRebinding, 0, QStringLiteral("None"));
        row(QStringLiteral("Escape unbound"), Qt::Key_Escape, none, NoRebinding, 0, QStringLiteral("None"));
        row(QStringLiteral("Shift alone"), Qt::Key_Shift, shift, NoRebinding, 0, QStringLiteral("None"));
        row(QStringLiteral("= unbound"), Qt::Key_Equal, none, NoRebinding, 0, QStringLiteral("None"));
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
