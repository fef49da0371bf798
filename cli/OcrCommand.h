#pragma once

#include <QStringList>

// framewright-cli ocr: the text recognition of a frame or a part of it.
// Takes the arguments after the command name; returns the exit code.
int runOcr(const QStringList &args);
