#include "XSelection.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// Xlib after Qt: its macros (None, Bool, ...) clash with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <climits>

std::optional<QString> clipboardTextFromAnotherClient(int timeoutMs, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<QString> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return fail(QStringLiteral("cannot open the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY")));
    // The requestor's window, never mapped: the owner puts the text in one of its properties.
    const Window requestor = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom incr = XInternAtom(display, "INCR", False);
    const Atom property = XInternAtom(display, "FRAMEWRIGHT_TEST_PASTE", False);
    XConvertSelection(display, clipboard, utf8, property, requestor, CurrentTime);
    XFlush(display);

    std::optional<QString> text;
    QString why = QStringLiteral("no answer from the clipboard's owner within %1 ms").arg(timeoutMs);
    bool answered = false;
    QElapsedTimer timer;
    timer.start();
    while (!answered && timer.elapsed() < timeoutMs) {
        while (!answered && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != SelectionNotify || event.xselection.requestor != requestor)
                continue;
            answered = true;
            if (event.xselection.property == None) {
                why = QStringLiteral("the clipboard has no owner, or it refused to send text");
                break;
            }
            Atom type = None;
            int format = 0;
            unsigned long items = 0;
            unsigned long remaining = 0;
            unsigned char *data = nullptr;
            const int status = XGetWindowProperty(display, requestor, property, 0, LONG_MAX / 4, True, AnyPropertyType,
                                                  &type, &format, &items, &remaining, &data);
            if (status != Success) {
                why = QStringLiteral("the text sent could not be read from the window property");
            } else if (type == incr) {
                why = QStringLiteral("the owner sent the text in pieces (INCR), which this reader does not take");
            } else if (format != 8) {
                why = QStringLiteral("the owner sent %1-bit data, not text").arg(format);
            } else {
                text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(items));
            }
            if (data)
                XFree(data);
        }
        if (!answered)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    XDestroyWindow(display, requestor);
    XCloseDisplay(display);
    if (!text)
        return fail(why);
    return text;
}
