#include "KeyStrokes.h"

void KeyPressTracker::pressed(quint32 scanCode, int key, Qt::KeyboardModifiers modifiers)
{
    if (scanCode != 0)
        pressed_[scanCode] = KeyStroke{key, modifiers};
}

KeyStroke KeyPressTracker::released(quint32 scanCode, int key, Qt::KeyboardModifiers modifiers)
{
    if (scanCode != 0) {
        const auto found = pressed_.find(scanCode);
        if (found != pressed_.end()) {
            KeyStroke stroke = found->second;
            stroke.pressSeen = true;
            pressed_.erase(found);
            return stroke;
        }
    }
    return KeyStroke{key, modifiers, false};
}

bool RepeatThrottle::accept(uint64_t eventMs, int64_t localNowMs, bool autoRepeat)
{
    const int64_t offset = localNowMs - static_cast<int64_t>(eventMs);
    // The window system's 32-bit clock wraps (every 49.7 days) and a server
    // may restart: a time stamp that no longer fits the estimate by far
    // starts a new one instead of dropping every repeat from then on.
    if (haveOffset_ && offset > offsetMs_ + kClockJumpMs)
        haveOffset_ = false;
    if (!haveOffset_ || offset < offsetMs_) {
        offsetMs_ = offset;
        haveOffset_ = true;
    }
    if (!autoRepeat)
        return true;
    // Generated (at the latest) at eventMs + offset in local time.
    return static_cast<int64_t>(eventMs) + offsetMs_ >= lastFinishedMs_;
}
