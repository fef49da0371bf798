#pragma once

#include <QString>

// Output helpers shared by the command-line tool's commands.
namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // unreadable input, or a frame asked for that cannot be delivered
inline constexpr int kExitUsage = 2;    // bad command line

extern const char kUsage[];

// Writes UTF-8 text to standard output / standard error.
void writeOut(const QString &text);
void writeErr(const QString &text);

// Prints "framewright-cli: message" and the usage to standard error; returns kExitUsage.
int usageError(const QString &message);
// Prints "framewright-cli: message" to standard error; returns kExitFailure.
int failure(const QString &message);

}  // namespace cli
