#include "ExportCommand.h"

#include "CliIo.h"
#include "FrameOptions.h"
#include "SplitsFile.h"
#include "VideoExport.h"

#include <QFile>
#include <QRegularExpression>

#include <unistd.h>

#include <optional>

using namespace cli;
using namespace videoexport;

namespace {

// --range: "all" (solve 0), "solve:S" (split 0) or "split:S:K"; S and K from 1.
struct RangeChoice
{
    int solve = 0;
    int split = 0;
};

std::optional<RangeChoice> parseRange(const QString &text)
{
    if (text == QLatin1String("all"))
        return RangeChoice{};
    static const QRegularExpression pattern(QStringLiteral("^(?:solve:([0-9]+)|split:([0-9]+):([0-9]+))$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    RangeChoice choice;
    const auto number = [&](int group) { return intIn(match.captured(group), 1, INT32_MAX).value_or(0); };
    choice.solve = number(match.capturedStart(1) >= 0 ? 1 : 2);
    if (match.capturedStart(3) >= 0)
        choice.split = number(3);
    if (choice.solve == 0 || (match.capturedStart(3) >= 0 && choice.split == 0))
        return std::nullopt;
    return choice;
}

// The marks of solve `solve` (from 1) in the splits file beside `path`, or
// nullopt with the reason.
std::optional<Marks> solveMarks(const QString &path, int solve, QString *error)
{
    const QString splitsPath = SplitsPathFor(path);
    const std::optional<SplitsFileContent> read = readSplitsBeside(path, QStringLiteral("solves"), error);
    if (!read)
        return std::nullopt;
    const SplitsFileContent &content = *read;
    if (size_t(solve) > content.solves.size()) {
        *error = QStringLiteral("no solve %1 in \"%2\": it holds %3").arg(solve).arg(splitsPath).arg(content.solves.size());
        return std::nullopt;
    }
    return content.solves[size_t(solve - 1)];
}

}  // namespace

int runExport(const QStringList &args)
{
    FrameOptions options;
    const QString error = parseOptions(
        args, QStringList{QStringLiteral("--source"), QStringLiteral("-o")} + pipelineOptionNames(), &options,
        {QStringLiteral("--range"), QStringLiteral("--size"), QStringLiteral("--fps")}, {QStringLiteral("--reverse")});
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 1)
        return usageError(QStringLiteral("export takes one file"));
    if (options.output.isEmpty())
        return usageError(QStringLiteral("export needs -o OUT.mp4"));
    const std::optional<int> resolution = intIn(options.own.value(QStringLiteral("--size"), QStringLiteral("0")), 0,
                                                kResolutionCount - 1);
    if (!resolution)
        return usageError(QStringLiteral("--size takes a resolution entry from 0 to %1").arg(kResolutionCount - 1));
    const QString fpsChoice = options.own.value(QStringLiteral("--fps"), QStringLiteral("25"));
    if (fpsChoice != QLatin1String("25") && fpsChoice != QLatin1String("source"))
        return usageError(QStringLiteral("--fps takes 25 or source"));
    const std::optional<RangeChoice> choice = parseRange(options.own.value(QStringLiteral("--range"), QStringLiteral("all")));
    if (!choice)
        return usageError(QStringLiteral("--range takes all, solve:S or split:S:K (S and K from 1)"));

    const QString path = options.positionals.at(0);
    QString openError;
    const auto source = openSource(path, options.source, &openError);
    if (!source)
        return failure(openError);

    // A range that names a solve or split the file lacks is refused rather
    // than exported as the whole video (what the window's entries fall back to).
    Marks marks;
    int rangeIndex = 0;
    if (choice->solve > 0) {
        QString marksError;
        const std::optional<Marks> found = solveMarks(path, choice->solve, &marksError);
        if (!found)
            return failure(marksError);
        marks = *found;
        if (choice->split == 0) {
            if (marks.size() < 2)
                return failure(QStringLiteral("solve %1 has fewer than two marks").arg(choice->solve));
            rangeIndex = 1;
        } else {
            if (size_t(choice->split) >= marks.size())
                return failure(QStringLiteral("solve %1 has no split %2: it has %3 marks")
                                   .arg(choice->solve)
                                   .arg(choice->split)
                                   .arg(marks.size()));
            rangeIndex = choice->split + 1;
        }
    }

    ExportSettings settings;
    settings.outputPath = options.output;
    settings.sourcePath = path;
    settings.pipeline = options.pipeline;
    settings.resolution = *resolution;
    settings.reverse = options.own.contains(QStringLiteral("--reverse"));
    settings.range = exportRange(rangeIndex, marks, source->getFrameCount());
    if (fpsChoice == QLatin1String("source")) {
        const QList<FrameRateEntry> rates = frameRateEntries(source->getFps());
        if (rates.size() < 2)
            return failure(QStringLiteral("\"%1\" does not tell its frame rate").arg(path));
        settings.fps = rates.at(1).fps;
    }

    FramePipeline pipeline;
    pipeline.loadModels(FramePipeline::modelDirectories());
    const bool showProgress = isatty(STDERR_FILENO) == 1;
    const ExportResult result = exportVideo(*source, pipeline, settings, [&](int64_t done, int64_t total) {
        if (showProgress)
            writeErr(QStringLiteral("\rexporting frame %1 of %2").arg(done).arg(total));
        return true;
    });
    if (showProgress && result.framesWritten > 0)
        writeErr(QStringLiteral("\n"));
    if (!result.ok)
        return failure(result.error);
    writeOut(QStringLiteral("frames=%1 size=%2x%3 codec=%4 fps=%5 output=%6\n")
                 .arg(result.framesWritten)
                 .arg(result.size.width)
                 .arg(result.size.height)
                 .arg(mp4CodecName(result.codec), QString::number(result.fps, 'g', 6), options.output));
    return kExitOk;
}
