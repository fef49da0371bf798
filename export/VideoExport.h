#pragma once

#include "FrameGrabber.h"
#include "FramePipeline.h"
#include "FrameSources.h"
#include "Mp4Writer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <vector>

// The widget-free part of the video export: the sizes, ranges and frame rates
// the export dialog offers, and the export itself (read, process, scale,
// write), which reads from a frame source of its own.
namespace videoexport {

// The size of the frames the pipeline makes of frames of `source` with
// `settings`: the source size times upsampleFactor(settings.upsample),
// width and height swapped by a quarter turn (rotation 1 or 2), then cropped
// as the pipeline crops (cropPixelRect, when applyCrop is set and the crop's
// width and height are positive). 0 x 0 when the source size is unknown.
// An upsample entry whose model is missing leaves real frames smaller than
// this; the export scales such frames to the size it writes.
cv::Size pipelineFrameSize(FrameSize source, const PipelineSettings &settings);

// Resolution entries of the export dialog, by index.
inline constexpr int kResolutionCount = 7;

// The output size of resolution entry `index` for frames of `frame` (32-bit
// integer division, truncated):
//   0 W x H, 1 W/2 x H/2, 2 W/4 x H/4, 3 1200 x H*1200/W, 4 800 x H*800/W,
//   5 480 x H*480/W, 6 W*800/H x 800.
// 0 x 0 for an unknown index or an empty frame. This is before the rounding
// to even sides (evenFrameSize) that the file gets.
cv::Size resolutionSize(cv::Size frame, int index);

struct ResolutionEntry
{
    QString text;  // e.g. "Fixed Width (800 x 450)"
    cv::Size size; // the size the file gets: resolutionSize rounded to even sides
};

// The seven entries for frames of `frame`, in index order, showing the size
// the file will really have. The dialog rebuilds them from
// pipelineFrameSize() each time it opens. Texts in the "VideoExport"
// translation context.
QList<ResolutionEntry> resolutionEntries(cv::Size frame);

// Range entries of the export dialog for the current solve's marks:
// "Entire Video"; "1st to last split" when there are at least two marks;
// then "Split 1" .. "Split (marks - 1)".
QStringList rangeEntries(const std::vector<int32_t> &marks);

// Frames [start, end) by 0-based index.
struct FrameRange
{
    int64_t start = 0;
    int64_t end = 0;
    int64_t count() const { return end - start; }  // may be 0 or less: nothing to write
};

// The range of range entry `index` (as rangeEntries() lists them) for
// `marks` (the solve's marks as stored) in a source of `frameCount` frames:
//   0: [0, frameCount);
//   1: [marks[0], marks.back()) with at least two marks, else [0, frameCount);
//   k + 1 (entry "Split k"): [marks[k - 1], marks[k]) when k < marks.size(),
//      else [0, frameCount).
// The marks are taken as frame indices as they stand: a mark is the 1-based
// number of the frame on display when it was set, and the window's export
// seeks the source to that number, so a range starts on the frame after the
// first mark's frame and ends on the second mark's frame itself. Marks out
// of order or equal give a count of 0 or less. Unknown indices (below 0) give
// the whole video.
FrameRange exportRange(int index, const std::vector<int32_t> &marks, int32_t frameCount);

// Frame-rate entries: "25 fps" (the default, first) and, when the source
// tells its rate (positive, finite), "Source rate (%1 fps)".
struct FrameRateEntry
{
    QString text;
    double fps = 25.0;
};
inline constexpr double kDefaultFps = 25.0;
QList<FrameRateEntry> frameRateEntries(double sourceFps);

// What to export.
struct ExportSettings
{
    QString outputPath;
    // The file `source` reads, when known: an output naming the same file is refused.
    QString sourcePath;
    PipelineSettings pipeline;
    int resolution = 0;    // resolution entry index
    FrameRange range;      // from exportRange(); clipped to the source's frames
    bool reverse = false;  // frames end - 1 down to start, one seek per frame
    double fps = kDefaultFps;
    std::vector<Mp4Codec> codecs = {Mp4Codec::H264, Mp4Codec::Mpeg4};  // tried in order
};

// What an export did. `ok` is false on any failure (the reason in `error`);
// a cancelled export is ok, with fewer frames than asked for.
struct ExportResult
{
    bool ok = false;
    bool cancelled = false;
    QString error;
    int64_t framesWritten = 0;
    int64_t framesAsked = 0;  // the range's count (0 when it was 0 or less)
    cv::Size size;            // of the written frames
    Mp4Codec codec = Mp4Codec::H264;
    double fps = 0.0;
};

// Called after each written frame with the frames done and the total;
// returning false stops the export there (the file stays valid, shorter).
using ExportProgress = std::function<bool(int64_t done, int64_t total)>;

// Exports `settings.range` of `source` to an MP4 file: each frame is read,
// processed by `pipeline`, scaled (cv::resize, INTER_CUBIC) to the output
// size whenever its size differs from it (resolution entries 1 to 6, and
// any entry when a missing model left a frame unscaled), trimmed to even
// sides, and written. Normal order seeks once to the start and then reads
// on; reverse order seeks to end - 1 - i before read i. A range of 0 frames
// or less writes a file without frames. Frames are not kept: memory does not
// grow with the range.
//
// On failure (the file cannot be created, no codec, a frame cannot be read
// or processed, the file is incomplete after writing) the output file is
// removed and `error` says why. `source` is left wherever the reads left it.
ExportResult exportVideo(FrameGrabber &source, const FramePipeline &pipeline, const ExportSettings &settings,
                         const ExportProgress &progress = {});

// exportVideo() on a source of its own, opened on `sourcePath` as
// CreateFrameSource(sourcePath, kind, useFfmpeg) opens it, so that a player
// showing the same file keeps its position and cached frames.
ExportResult exportVideoFile(const QString &sourcePath, FrameSourceKind kind, bool useFfmpeg,
                             const FramePipeline &pipeline, const ExportSettings &settings,
                             const ExportProgress &progress = {});

}  // namespace videoexport
