#pragma once

#include <QStringList>

// The command-line tool's video export: `export FILE -o OUT.mp4 ...`. Takes
// the arguments after the command name and returns the exit code.
int runExport(const QStringList &args);
