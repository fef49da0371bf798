#pragma once

#include <QStringList>

// framewright-cli gif: the animated GIF export without a window. Takes the
// arguments after the command name; returns the exit code.
int runGif(const QStringList &args);
