#include "FrameSources.h"

#include "AviGrabber.h"
#include "FFGrabber.h"
#include "ImageGrabber.h"

std::unique_ptr<FrameGrabber> CreateFrameSource(const QString &path, FrameSourceKind kind, bool useFfmpeg,
                                                FrameSourceUse use)
{
    if (kind == FrameSourceKind::Automatic) {
        if (path.endsWith(QLatin1String(".jpg")) || path.endsWith(QLatin1String(".png")))
            kind = FrameSourceKind::Images;
        else
            kind = useFfmpeg ? FrameSourceKind::Ffmpeg : FrameSourceKind::Capture;
    }
    switch (kind) {
    case FrameSourceKind::Images:
        return std::make_unique<ImageGrabber>(path.toUtf8().toStdString());
    case FrameSourceKind::Ffmpeg:
        return std::make_unique<FFGrabber>(path, use == FrameSourceUse::ReadingThrough ? 1 : 0);
    case FrameSourceKind::Capture:
    case FrameSourceKind::Automatic:
        break;
    }
    return std::make_unique<AviGrabber>(path.toUtf8().toStdString());
}
