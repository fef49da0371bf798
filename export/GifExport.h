#pragma once

#include "FrameGrabber.h"
#include "FramePipeline.h"

#include <QString>

#include <functional>

// The animated GIF export: a stretch of consecutive processed frames,
// scaled to a chosen width, written as a looping GIF.
struct GifExportSettings
{
    int width = 200;       // pixels, at least 1
    int frameCount = 10;   // at least 1
    int delay = 30;        // per frame, hundredths of a second; 0 writes no looping extension
};

struct GifExportResult
{
    int framesWritten = 0;
    int width = 0;
    int height = 0;
    bool cancelled = false;
    QString error;  // empty on success (a cancelled export is a success: a valid, shorter file)
    bool ok() const { return error.isEmpty(); }
};

// Called after each frame with the frames done and the total; returning
// false stops the export (the file is still completed).
using ExportProgress = std::function<bool(int done, int total)>;

// The GIF height for `width` from a frame of `frameWidth` x `frameHeight`:
// width x height / frame width, truncated; 0 when the frame has no width.
int GifHeightFor(int width, int frameWidth, int frameHeight);

// `path`, with ".gif" appended unless it already ends with ".gif" (case-sensitive).
QString WithGifExtension(const QString &path);

// Writes `settings.frameCount` frames starting with frame `startIndex`
// (0-based) of `source`, each run through `pipeline` with `pipelineSettings`,
// scaled (bicubic) to the width and the height the first processed frame
// gives, unless it already has that size. Reading past the last frame goes
// on from the first. The source is left wherever the reading ended: give the
// export a source of its own to keep a view undisturbed. On failure (the file
// cannot be created, a frame cannot be read or processed, the disk fills) the
// result says why; a file already begun is completed as far as it got.
GifExportResult ExportAnimatedGif(FrameGrabber &source, int startIndex, const FramePipeline &pipeline,
                                  const PipelineSettings &pipelineSettings, const QString &path,
                                  const GifExportSettings &settings, const ExportProgress &progress = {});
