#include "FrameCommands.h"

#include "CliIo.h"
#include "FrameOptions.h"
#include "FramePipeline.h"
#include "FrameSources.h"
#include "SplitsFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

using namespace cli;

namespace {

// 64-bit FNV-1a over the pixel rows (a view's padding is not part of the picture).
quint64 pixelHash(const cv::Mat &frame)
{
    quint64 hash = 14695981039346656037ull;
    const size_t rowBytes = size_t(frame.cols) * frame.elemSize();
    for (int y = 0; y < frame.rows; ++y) {
        const uchar *row = frame.ptr<uchar>(y);
        for (size_t x = 0; x < rowBytes; ++x) {
            hash ^= row[x];
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

bool writePng(const QString &path, const cv::Mat &frame)
{
    try {
        return cv::imwrite(QFile::encodeName(path).toStdString(), frame);
    } catch (const cv::Exception &) {
        return false;
    }
}

// One frame that `frames --at` or `frames --marks` seeks to.
struct Target
{
    int64_t index = 0;  // 0-based; may be out of range (then refused)
    QString label;      // printed before position=, e.g. "solve=1 mark=2 "
    QString what;       // names the target in a failure message, e.g. "solve 1 mark 2: "
    QString dumpName;   // file name under --dump
};

// The targets of every mark of every solve in the splits file beside `path`,
// in file order; null with the reason in `error` when there are none.
std::optional<std::vector<Target>> markTargets(const QString &path, QString *error)
{
    const QString splitsPath = SplitsPathFor(path);
    const std::optional<SplitsFileContent> read = readSplitsBeside(path, QStringLiteral("marks"), error);
    if (!read)
        return std::nullopt;
    const SplitsFileContent &content = *read;
    std::vector<Target> targets;
    for (size_t s = 0; s < content.solves.size(); ++s) {
        const Marks &marks = content.solves[s];
        for (size_t i = 0; i < marks.size(); ++i) {
            // A mark is the 1-based number of the frame on display: that frame's index is mark - 1.
            Target target;
            target.index = int64_t(marks[i]) - 1;
            target.label = QStringLiteral("solve=%1 mark=%2 ").arg(s + 1).arg(i + 1);
            target.what = QStringLiteral("solve %1 mark %2 (frame number %3): ").arg(s + 1).arg(i + 1).arg(marks[i]);
            target.dumpName = QStringLiteral("solve%1-mark%2.png").arg(s + 1).arg(i + 1);
            targets.push_back(target);
        }
    }
    if (targets.empty()) {
        *error = QStringLiteral("no marks in \"%1\"").arg(splitsPath);
        return std::nullopt;
    }
    return targets;
}

QString millis(double nanoseconds)
{
    return QString::number(nanoseconds / 1e6, 'f', 3);
}

// Seeks to every target in turn. A target that cannot be delivered is named
// on standard error and the others are still read; the exit code is then 1.
int readTargets(FrameGrabber &source, const QString &path, const std::vector<Target> &targets,
                const FrameOptions &options)
{
    QString lines;
    std::vector<qint64> times;  // nanoseconds per delivered target, seek + read
    bool failed = false;
    QElapsedTimer timer;
    for (const Target &target : targets) {
        QString reason = indexOutOfRange(source, target.index, path);
        cv::Mat frame;
        if (reason.isEmpty()) {
            timer.start();
            source.seek(int32_t(target.index));
            source >> frame;
            const qint64 elapsed = timer.nsecsElapsed();
            reason = readFailure(source, target.index, path, frame);
            if (reason.isEmpty())
                times.push_back(elapsed);
        }
        if (!reason.isEmpty()) {
            writeErr(QStringLiteral("framewright-cli: ") + target.what + reason + QLatin1Char('\n'));
            failed = true;
            continue;
        }
        if (!options.dumpDir.isEmpty() && !writePng(QDir(options.dumpDir).filePath(target.dumpName), frame))
            return failure(QStringLiteral("cannot write into \"%1\"").arg(options.dumpDir));
        if (!options.quiet)
            lines += target.label
                     + QStringLiteral("position=%1 hash=%2\n")
                           .arg(source.getPosition())
                           .arg(pixelHash(frame), 16, 16, QLatin1Char('0'));
    }
    if (options.quiet) {
        qint64 total = 0;
        for (qint64 t : times)
            total += t;
        double median = 0;
        double longest = 0;
        if (!times.empty()) {
            std::vector<qint64> sorted = times;
            std::sort(sorted.begin(), sorted.end());
            const size_t n = sorted.size();
            median = n % 2 ? double(sorted[n / 2]) : (double(sorted[n / 2 - 1]) + double(sorted[n / 2])) / 2;
            longest = double(sorted.back());
        }
        lines = QStringLiteral("frames=%1 seconds=%2 median_ms=%3 max_ms=%4\n")
                    .arg(times.size())
                    .arg(double(total) / 1e9, 0, 'f', 3)
                    .arg(millis(median), millis(longest));
    }
    writeOut(lines);
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

int runProbe(const QStringList &args)
{
    FrameOptions options;
    const QString error = parseOptions(args, {QStringLiteral("--source")}, &options);
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 1)
        return usageError(QStringLiteral("probe takes one file"));
    QString openError;
    const auto source = openSource(options.positionals.at(0), options.source, &openError);
    if (!source)
        return failure(openError);
    const FrameSize size = source->getSize();
    writeOut(QStringLiteral("frames=%1\nfps=%2\nwidth=%3\nheight=%4\nvfr=%5\n")
                 .arg(source->getFrameCount())
                 .arg(QString::number(double(source->getFps()), 'g', 6))
                 .arg(size.width)
                 .arg(size.height)
                 .arg(source->hasVariableFrameRate() ? 1 : 0));
    return kExitOk;
}

int runFrame(const QStringList &args)
{
    FrameOptions options;
    const QString error = parseOptions(
        args, QStringList{QStringLiteral("--source"), QStringLiteral("-o")} + pipelineOptionNames(), &options);
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 2)
        return usageError(QStringLiteral("frame takes a file and a frame index"));
    const auto index = intIn(options.positionals.at(1), 0, INT32_MAX);
    if (!index)
        return usageError(QStringLiteral("the frame index must be a number of 0 or more"));
    if (options.output.isEmpty())
        return usageError(QStringLiteral("frame needs -o OUT.png"));

    QString readError;
    int32_t position = 0;
    const cv::Mat processed = readProcessedFrame(options.positionals.at(0), *index, options, &readError, &position);
    if (processed.empty())
        return failure(readError);
    if (!writePng(options.output, processed))
        return failure(QStringLiteral("cannot write \"%1\"").arg(options.output));
    writeOut(QStringLiteral("position=%1\n").arg(position));
    return kExitOk;
}

int runFrames(const QStringList &args)
{
    FrameOptions options;
    const QString error = parseOptions(args,
                                       {QStringLiteral("--source"), QStringLiteral("--start"), QStringLiteral("--count"),
                                        QStringLiteral("--step"), QStringLiteral("--dump"), QStringLiteral("--quiet"),
                                        QStringLiteral("--at"), QStringLiteral("--marks")},
                                       &options);
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 1)
        return usageError(QStringLiteral("frames takes one file"));
    if (options.at && options.marks)
        return usageError(QStringLiteral("--at and --marks exclude each other"));
    if ((options.at || options.marks) && options.rangeGiven)
        return usageError(QStringLiteral("%1 excludes --start, --count and --step")
                              .arg(options.at ? QStringLiteral("--at") : QStringLiteral("--marks")));
    if (!options.dumpDir.isEmpty() && !QDir().mkpath(options.dumpDir))
        return failure(QStringLiteral("cannot create \"%1\"").arg(options.dumpDir));

    const QString path = options.positionals.at(0);
    QString openError;
    const auto source = openSource(path, options.source, &openError);
    if (!source)
        return failure(openError);

    if (options.at) {
        std::vector<Target> targets;
        for (qsizetype i = 0; i < options.at->size(); ++i) {
            Target target;
            target.index = options.at->at(i);
            // The place in the list, as the sequential reads number their files.
            target.dumpName = QStringLiteral("%1.png").arg(i, 6, 10, QLatin1Char('0'));
            targets.push_back(target);
        }
        return readTargets(*source, path, targets, options);
    }
    if (options.marks) {
        QString marksError;
        const std::optional<std::vector<Target>> targets = markTargets(path, &marksError);
        if (!targets)
            return failure(marksError);
        return readTargets(*source, path, *targets, options);
    }

    if (const QString reason = indexOutOfRange(*source, options.start, path); !reason.isEmpty())
        return failure(reason);
    QString lines;
    int delivered = 0;
    QString readError;
    QElapsedTimer timer;
    timer.start();
    source->seek(options.start);
    for (int i = 0; i < options.count; ++i) {
        if (i > 0) {
            // The main window's steps: the source stands just after the frame on display.
            if (options.step == -1)
                source->skip(-2);
            else if (options.step != 1)
                source->skip(options.step - 1);
        }
        // Before a read the position is the index of the frame it delivers (named if it fails).
        const int32_t index = source->getPosition();
        cv::Mat frame;
        *source >> frame;
        // A failed read ends the run: what follows it would not be the frames asked for.
        readError = readFailure(*source, index, path, frame);
        if (!readError.isEmpty())
            break;
        const QString dumpName = QStringLiteral("%1.png").arg(delivered, 6, 10, QLatin1Char('0'));
        if (!options.dumpDir.isEmpty() && !writePng(QDir(options.dumpDir).filePath(dumpName), frame))
            return failure(QStringLiteral("cannot write into \"%1\"").arg(options.dumpDir));
        ++delivered;
        if (!options.quiet)
            lines += QStringLiteral("position=%1 hash=%2\n")
                         .arg(source->getPosition())
                         .arg(pixelHash(frame), 16, 16, QLatin1Char('0'));
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (options.quiet)
        lines = QStringLiteral("frames=%1 seconds=%2\n").arg(delivered).arg(seconds, 0, 'f', 3);
    writeOut(lines);
    return readError.isEmpty() ? kExitOk : failure(readError);
}
