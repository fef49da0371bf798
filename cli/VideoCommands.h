#pragma once

#include <QString>
#include <QStringList>

// The commands that read frames (probe, frame, frames, gif, export, ocr) live
// in a module of their own, framewright-cli-video.so, which the tool loads
// only when one of them runs. The libraries behind them (OpenCV, FFmpeg,
// Tesseract and everything those pull in, over 250 in all) take about a third
// of a second and 70 MB to load: a cost the database and calculator commands,
// and scripts calling the tool once per file, should not pay.
namespace cli {

// The module's one entry point: runs `command` with the arguments after its
// name and returns the exit code.
using VideoCommand = int (*)(const QString &command, const QStringList &args);
inline constexpr char kVideoCommandSymbol[] = "framewright_video_command";
inline constexpr char kVideoModuleName[] = "framewright-cli-video.so";

bool isVideoCommand(const QString &command);

// Loads the module (beside the executable in a build tree, in
// lib/framewright under the prefix once installed) and runs `command` in
// it; a module that cannot be loaded is a failure, with the reason.
int runVideoCommand(const QString &command, const QStringList &args);

}  // namespace cli
