#pragma once

#include <QStringList>

// The frame-source commands of the command-line tool: probe, frame, frames.
// Each takes the arguments after the command name and returns the exit code.
int runProbe(const QStringList &args);
int runFrame(const QStringList &args);
int runFrames(const QStringList &args);
