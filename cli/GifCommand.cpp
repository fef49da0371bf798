#include "GifCommand.h"

#include "CliIo.h"
#include "FrameOptions.h"
#include "GifExport.h"

#include <unistd.h>

#include <cstdio>

using namespace cli;

int runGif(const QStringList &args)
{
    FrameOptions options;
    const QStringList own = {QStringLiteral("--width"), QStringLiteral("--delay")};
    const QString error = parseOptions(args,
                                       QStringList{QStringLiteral("--source"), QStringLiteral("-o"),
                                                   QStringLiteral("--start"), QStringLiteral("--count")}
                                           + pipelineOptionNames(),
                                       &options, own);
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 1)
        return usageError(QStringLiteral("gif takes one file"));
    if (options.output.isEmpty())
        return usageError(QStringLiteral("gif needs -o OUT.gif"));
    GifExportSettings settings;
    if (!options.rangeGiven)
        options.count = settings.frameCount;
    settings.frameCount = options.count;
    if (options.own.contains(QStringLiteral("--width"))) {
        const auto width = intIn(options.own.value(QStringLiteral("--width")), 1, 8000);
        if (!width)
            return usageError(QStringLiteral("--width takes a number of pixels from 1 to 8000"));
        settings.width = *width;
    }
    if (options.own.contains(QStringLiteral("--delay"))) {
        const auto delay = intIn(options.own.value(QStringLiteral("--delay")), 0, 65535);
        if (!delay)
            return usageError(QStringLiteral("--delay takes hundredths of a second from 0 to 65535"));
        settings.delay = *delay;
    }

    const QString path = options.positionals.at(0);
    QString openError;
    const auto source = openSource(path, options.source, &openError, FrameSourceUse::ReadingThrough);
    if (!source)
        return failure(openError);
    if (const QString reason = indexOutOfRange(*source, options.start, path); !reason.isEmpty())
        return failure(reason);

    FramePipeline pipeline;
    pipeline.loadModels(FramePipeline::modelDirectories());
    const bool terminal = isatty(STDERR_FILENO);
    const GifExportResult result = ExportAnimatedGif(
        *source, options.start, pipeline, options.pipeline, options.output, settings, [terminal](int done, int total) {
            if (terminal)
                writeErr(QStringLiteral("\rframe %1 of %2").arg(done).arg(total));
            return true;
        });
    if (terminal)
        writeErr(QStringLiteral("\n"));
    if (!result.ok())
        return failure(result.error);
    writeOut(QStringLiteral("frames=%1 width=%2 height=%3\n").arg(result.framesWritten).arg(result.width).arg(result.height));
    return kExitOk;
}
