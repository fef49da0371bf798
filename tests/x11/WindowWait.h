#pragma once

// Waiting on the window under test: the X tests act through the server and
// then spin the event loop until the program has taken the events.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QString>
#include <QTest>

#include <functional>

// The 1-based frame number at the end of a time text "MM:SS:mmm (N)", or -1.
inline int frameNumberOf(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\((\\d+)\\)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Spins the event loop until `done` holds or `timeoutMs` passes.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Spins the event loop for `ms` whatever happens (at least once).
inline void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (timer.elapsed() < ms);
}
