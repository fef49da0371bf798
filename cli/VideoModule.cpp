// The entry point of framewright-cli-video.so (see VideoCommands.h).

#include "CliIo.h"
#include "ExportCommand.h"
#include "FrameCommands.h"
#include "GifCommand.h"
#include "OcrCommand.h"
#include "VideoCommands.h"

extern "C" __attribute__((visibility("default"))) int framewright_video_command(const QString &command,
                                                                                const QStringList &args)
{
    if (command == QLatin1String("probe"))
        return runProbe(args);
    if (command == QLatin1String("frame"))
        return runFrame(args);
    if (command == QLatin1String("frames"))
        return runFrames(args);
    if (command == QLatin1String("gif"))
        return runGif(args);
    if (command == QLatin1String("export"))
        return runExport(args);
    if (command == QLatin1String("ocr"))
        return runOcr(args);
    return cli::usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}

// Checked where the tool is built: the loader casts the symbol to this type.
static_assert(std::is_same_v<decltype(&framewright_video_command), cli::VideoCommand>);
