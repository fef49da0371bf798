#pragma once

#include <QPoint>
#include <QString>

class QWidget;

// Real input through the X server: XTest key and pointer events sent on an
// Xlib connection of its own, so that they reach the program the way a
// keyboard and a mouse do (server-side focus, grabs, auto-repeat, modifier
// state), unlike events posted inside Qt. Every call flushes and syncs, so
// when it returns the server has taken the event; the caller then spins the
// Qt event loop for the program to receive it.
//
// Key symbols are X keysyms (XK_... from <X11/keysym.h>); they are turned into
// key codes of the server's current keymap.
class XInput
{
public:
    // Connects to $DISPLAY; see isOpen() and error().
    XInput();
    ~XInput();
    XInput(const XInput &) = delete;
    XInput &operator=(const XInput &) = delete;

    // Whether the connection is up and the server has the XTest extension.
    bool isOpen() const { return display != nullptr; }
    QString error() const { return failure; }

    // Whether the server's keymap has a key for `keysym` (sending one it has
    // not is an X protocol error).
    bool hasKey(unsigned long keysym) { return display && keycode(keysym) != 0; }
    void keyDown(unsigned long keysym);
    void keyUp(unsigned long keysym);
    // Down, then up.
    void type(unsigned long keysym);
    // `modifier` down, `key` down, then the two released in the order given:
    // people often let go of the modifier before the key.
    void chord(unsigned long modifier, unsigned long key, bool modifierReleasedFirst);

    // The pointer to `global` (screen coordinates).
    void moveTo(QPoint global);
    void buttonDown(int button = 1);
    void buttonUp(int button = 1);
    // At `local` in `widget` (its coordinates, mapped with mapToGlobal).
    void click(QWidget *widget, QPoint local, int button = 1);
    void doubleClick(QWidget *widget, QPoint local);
    // Left button pressed at `from`, moved in `steps` motions to `to`, released there.
    void drag(QWidget *widget, QPoint from, QPoint to, int steps = 12);

    // The server's global auto-repeat switch, and its delay and interval in ms.
    void setAutoRepeat(bool on);
    bool autoRepeatRate(unsigned *delayMs, unsigned *intervalMs) const;
    bool setAutoRepeatRate(unsigned delayMs, unsigned intervalMs);

private:
    void sync();
    // Lets the program take the event just sent before the next one comes.
    static void settle(int ms);
    unsigned keycode(unsigned long keysym);

    struct _XDisplay *display = nullptr;
    QString failure;
};
