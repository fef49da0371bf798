#pragma once

#include "FrameGrabber.h"
#include "FramePipeline.h"
#include "FrameSources.h"
#include "SplitsFile.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Option parsing and source opening shared by the commands that read frames.
namespace cli {

// Options shared by the frame commands, parsed from `--name value` pairs.
struct FrameOptions
{
    QString path;
    QStringList positionals;
    FrameSourceKind source = FrameSourceKind::Automatic;
    PipelineSettings pipeline;
    QString output;
    int start = 0;
    int count = 1;
    int step = 1;
    QString dumpDir;
    bool quiet = false;
    bool rangeGiven = false;  // any of --start, --count, --step
    std::optional<QList<int>> at;
    bool marks = false;
    // A command's own options: `--name value` by name, and flags by name
    // (value empty), for the names the command passes as its own.
    QMap<QString, QString> own;
};

// The options that set `PipelineSettings`: --rotate, --crop, --brightness,
// --enhance, --upsample.
QStringList pipelineOptionNames();

// `text` as a decimal number in [low, high]; nullopt otherwise.
std::optional<int> intIn(const QString &text, int low, int high);

// Parses the options in `allowed` (shared ones) and in `ownValued` / `ownFlags`
// (the command's own, stored in `own`); returns an error text on bad usage.
QString parseOptions(const QStringList &args, const QStringList &allowed, FrameOptions *options,
                     const QStringList &ownValued = {}, const QStringList &ownFlags = {});

// The source for `path`, or null with the reason in `error` when the file is
// missing or the source cannot open it or finds no frame in it.
std::unique_ptr<FrameGrabber> openSource(const QString &path, FrameSourceKind kind, QString *error,
                                         FrameSourceUse use = FrameSourceUse::Stepping);

// Why frame `index` (0-based) cannot be asked of `source`, or empty when it
// can. Past a known count the sources clamp to the last frame, so such an
// index is refused here rather than answered with another frame. A count of
// 0 is unknown: the read itself then tells.
QString indexOutOfRange(FrameGrabber &source, int64_t index, const QString &path);

// Why the read that was to deliver frame `index` delivered nothing, or empty
// when `frame` holds a delivered frame.
QString readFailure(const FrameGrabber &source, int64_t index, const QString &path, const cv::Mat &frame);

// The splits file beside the video at `path`, or nullopt with the reason in
// `error` when there is none ("no `missing` for ...") or it cannot be read.
// Frame `index` (0-based) of `path`, processed with `options.pipeline` (the
// super-resolution models loaded as the window loads them); empty with the
// reason in `error` when the file, the frame or the processing fails.
// `position`, when given, gets the source's position after the read.
cv::Mat readProcessedFrame(const QString &path, int index, const FrameOptions &options, QString *error,
                           int32_t *position = nullptr);

std::optional<SplitsFileContent> readSplitsBeside(const QString &path, const QString &missing, QString *error);

}  // namespace cli
