#include "XInput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

// Xlib after Qt: its macros (None, KeyPress, Bool, ...) clash with Qt names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

XInput::XInput()
{
    display = XOpenDisplay(nullptr);
    if (!display) {
        failure = QStringLiteral("cannot open the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
        return;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        failure = QStringLiteral("the X server has no XTest extension");
        XCloseDisplay(display);
        display = nullptr;
    }
}

XInput::~XInput()
{
    if (display)
        XCloseDisplay(display);
}

void XInput::sync()
{
    XFlush(display);
    XSync(display, False);
}

void XInput::settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (timer.elapsed() < ms);
}

unsigned XInput::keycode(unsigned long keysym)
{
    return XKeysymToKeycode(display, KeySym(keysym));
}

void XInput::keyDown(unsigned long keysym)
{
    if (!display)
        return;
    XTestFakeKeyEvent(display, keycode(keysym), True, CurrentTime);
    sync();
}

void XInput::keyUp(unsigned long keysym)
{
    if (!display)
        return;
    XTestFakeKeyEvent(display, keycode(keysym), False, CurrentTime);
    sync();
}

void XInput::type(unsigned long keysym)
{
    keyDown(keysym);
    settle(15);
    keyUp(keysym);
    settle(15);
}

void XInput::chord(unsigned long modifier, unsigned long key, bool modifierReleasedFirst)
{
    keyDown(modifier);
    settle(15);
    keyDown(key);
    settle(15);
    keyUp(modifierReleasedFirst ? modifier : key);
    settle(15);
    keyUp(modifierReleasedFirst ? key : modifier);
    settle(15);
}

void XInput::moveTo(QPoint global)
{
    if (!display)
        return;
    XTestFakeMotionEvent(display, DefaultScreen(display), global.x(), global.y(), CurrentTime);
    sync();
}

void XInput::buttonDown(int button)
{
    if (!display)
        return;
    XTestFakeButtonEvent(display, unsigned(button), True, CurrentTime);
    sync();
}

void XInput::buttonUp(int button)
{
    if (!display)
        return;
    XTestFakeButtonEvent(display, unsigned(button), False, CurrentTime);
    sync();
}

void XInput::click(QWidget *widget, QPoint local, int button)
{
    moveTo(widget->mapToGlobal(local));
    settle(30);  // enter and hover first, as a moving hand does
    buttonDown(button);
    settle(20);
    buttonUp(button);
    settle(20);
}

void XInput::doubleClick(QWidget *widget, QPoint local)
{
    // Well inside the double-click interval and without moving.
    moveTo(widget->mapToGlobal(local));
    settle(30);
    buttonDown(1);
    settle(10);
    buttonUp(1);
    settle(40);
    buttonDown(1);
    settle(10);
    buttonUp(1);
    settle(20);
}

void XInput::drag(QWidget *widget, QPoint from, QPoint to, int steps)
{
    moveTo(widget->mapToGlobal(from));
    settle(30);
    buttonDown(1);
    settle(20);
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        moveTo(widget->mapToGlobal(p));
        settle(15);
    }
    buttonUp(1);
    settle(20);
}

void XInput::setAutoRepeat(bool on)
{
    if (!display)
        return;
    if (on)
        XAutoRepeatOn(display);
    else
        XAutoRepeatOff(display);
    sync();
}

bool XInput::autoRepeatRate(unsigned *delayMs, unsigned *intervalMs) const
{
    if (!display)
        return false;
    return XkbGetAutoRepeatRate(display, XkbUseCoreKbd, delayMs, intervalMs);
}

bool XInput::setAutoRepeatRate(unsigned delayMs, unsigned intervalMs)
{
    if (!display)
        return false;
    const bool done = XkbSetAutoRepeatRate(display, XkbUseCoreKbd, delayMs, intervalMs);
    sync();
    return done;
}
