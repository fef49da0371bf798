#pragma once

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <unordered_map>

// A key as it was pressed: its key code and the modifiers held at the press.
struct KeyStroke
{
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    // Whether the press was seen: a chord whose press a menu shortcut took
    // (Ctrl+E, Ctrl+A) reaches the window only with its release.
    bool pressSeen = false;
};

// Matches each key release to its press by the native scan code, so that a
// key acts as it was typed whatever is let go first: "+" typed as Shift+=
// stays "+" when Shift is released before "=", and Ctrl+Y stays Ctrl+Y when
// Ctrl goes first (the release itself then reports "=" or a bare Y).
// Scan code 0 means "unknown" (synthesised events): such a release stands
// for itself.
class KeyPressTracker
{
public:
    void pressed(quint32 scanCode, int key, Qt::KeyboardModifiers modifiers);
    // The key a release of `scanCode` completes: the recorded press (which is
    // then forgotten), or the release's own key and modifiers when no press
    // of that scan code was seen (the window got the focus while it was held).
    KeyStroke released(quint32 scanCode, int key, Qt::KeyboardModifiers modifiers);
    // Forgets every press, e.g. when the window loses the focus and the
    // releases will go elsewhere.
    void clear() { pressed_.clear(); }

private:
    std::unordered_map<quint32, KeyStroke> pressed_;
};

// Keeps a held key from building a backlog. While a step decodes, the
// window handles no events and the auto-repeats of a held key queue up;
// processed afterwards, each would decode another frame, and stepping would
// go on long after the key is let go. An auto-repeated event generated
// before the previous action finished is therefore dropped.
//
// Event times come from the window system's clock (milliseconds, arbitrary
// origin); local times from a monotonic clock in milliseconds. The offset
// between the two is estimated as the smallest difference seen between the
// local time an event was handled and its time stamp: that is the fastest
// delivery, so for any event, stamp + offset is no later than the local time
// it was generated.
class RepeatThrottle
{
public:
    // Whether an event stamped `eventMs`, handled at local time `localNowMs`,
    // should act. Events that are not auto-repeats always act.
    bool accept(uint64_t eventMs, int64_t localNowMs, bool autoRepeat);
    // The action of an accepted event finished at local time `localNowMs`.
    void finished(int64_t localNowMs) { lastFinishedMs_ = localNowMs; }

    // A jump of the window system's clock larger than this restarts the estimate.
    static constexpr int64_t kClockJumpMs = 10000;

private:
    bool haveOffset_ = false;
    int64_t offsetMs_ = 0;  // local time minus event time, smallest seen
    int64_t lastFinishedMs_ = INT64_MIN;
};
