#include "VideoExport.h"

#include "ForwardReading.h"

#include "FFGrabber.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace videoexport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("VideoExport", text);
}

// A * B / C in 64 bits (no overflow for any int operands), truncated toward
// zero as the 32-bit division is; 0 when C is 0.
int scaled(int a, int b, int c)
{
    if (c == 0)
        return 0;
    return int(std::clamp<int64_t>(int64_t(a) * b / c, INT32_MIN, INT32_MAX));
}

bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace

cv::Size pipelineFrameSize(FrameSize source, const PipelineSettings &settings)
{
    if (source.width <= 0 || source.height <= 0)
        return {};
    const int factor = upsampleFactor(settings.upsample);
    cv::Size size(int(std::min<int64_t>(int64_t(source.width) * factor, INT32_MAX)),
                  int(std::min<int64_t>(int64_t(source.height) * factor, INT32_MAX)));
    if (settings.rotation == 1 || settings.rotation == 2)
        std::swap(size.width, size.height);
    if (settings.applyCrop && settings.crop.width() > 0.0 && settings.crop.height() > 0.0) {
        // The pipeline ignores a crop that leaves nothing; so does its size.
        const cv::Rect rect = cropPixelRect(size, settings.crop);
        if (!rect.empty())
            size = rect.size();
    }
    return size;
}

cv::Size resolutionSize(cv::Size frame, int index)
{
    const int w = frame.width;
    const int h = frame.height;
    if (w <= 0 || h <= 0)
        return {};
    switch (index) {
    case 0:
        return {w, h};
    case 1:
        return {w / 2, h / 2};
    case 2:
        return {w / 4, h / 4};
    case 3:
        return {1200, scaled(h, 1200, w)};
    case 4:
        return {800, scaled(h, 800, w)};
    case 5:
        return {480, scaled(h, 480, w)};
    case 6:
        return {scaled(w, 800, h), 800};
    default:
        return {};
    }
}

QList<ResolutionEntry> resolutionEntries(cv::Size frame)
{
    static const char *const texts[kResolutionCount] = {
        QT_TRANSLATE_NOOP("VideoExport", "Unchanged (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Half size (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Quarter size (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Fixed Width (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Fixed Width (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Fixed Width (%1 x %2)"),
        QT_TRANSLATE_NOOP("VideoExport", "Fixed Height (%1 x %2)"),
    };
    QList<ResolutionEntry> entries;
    for (int i = 0; i < kResolutionCount; ++i) {
        const cv::Size size = evenFrameSize(resolutionSize(frame, i));
        entries.append({tr(texts[i]).arg(size.width).arg(size.height), size});
    }
    return entries;
}

QStringList rangeEntries(const std::vector<int32_t> &marks)
{
    QStringList entries{tr(QT_TRANSLATE_NOOP("VideoExport", "Entire Video"))};
    if (marks.size() >= 2)
        entries << tr(QT_TRANSLATE_NOOP("VideoExport", "1st to last split"));
    for (size_t k = 1; k < marks.size(); ++k)
        entries << tr(QT_TRANSLATE_NOOP("VideoExport", "Split %1")).arg(k);
    return entries;
}

FrameRange exportRange(int index, const std::vector<int32_t> &marks, int32_t frameCount)
{
    const FrameRange whole{0, frameCount};
    if (index == 1)
        return marks.size() >= 2 ? FrameRange{marks.front(), marks.back()} : whole;
    if (index >= 2) {
        const size_t k = size_t(index - 1);
        return k < marks.size() ? FrameRange{marks[k - 1], marks[k]} : whole;
    }
    return whole;
}

QList<FrameRateEntry> frameRateEntries(double sourceFps)
{
    QList<FrameRateEntry> entries{{tr(QT_TRANSLATE_NOOP("VideoExport", "25 fps")), kDefaultFps}};
    if (std::isfinite(sourceFps) && sourceFps > 0.0)
        entries.append({tr(QT_TRANSLATE_NOOP("VideoExport", "Source rate (%1 fps)")).arg(sourceFps, 0, 'g', 6),
                        sourceFps});
    return entries;
}

ExportResult exportVideo(FrameGrabber &source, const FramePipeline &pipeline, const ExportSettings &settings,
                         const ExportProgress &progress)
{
    ExportResult result;
    result.fps = settings.fps;
    if (!settings.sourcePath.isEmpty() && sameFile(settings.sourcePath, settings.outputPath)) {
        result.error = tr("\"%1\" is the video being exported").arg(settings.outputPath);
        return result;
    }
    if (settings.resolution < 0 || settings.resolution >= kResolutionCount) {
        result.error = tr("no resolution entry %1").arg(settings.resolution);
        return result;
    }
    const cv::Size frameSize = pipelineFrameSize(source.getSize(), settings.pipeline);
    if (frameSize.empty()) {
        result.error = tr("the source does not tell its frame size");
        return result;
    }
    const cv::Size target = resolutionSize(frameSize, settings.resolution);
    result.size = evenFrameSize(target);
    if (result.size.empty()) {
        result.error = tr("%1 x %2 is too small for a video").arg(target.width).arg(target.height);
        return result;
    }

    // Marks past the last frame would make the sources clamp to it and
    // repeat it: the range stops at the frames the source has.
    FrameRange range = settings.range;
    range.start = std::max<int64_t>(range.start, 0);
    if (const int32_t count = source.getFrameCount(); count > 0)
        range.end = std::min<int64_t>(range.end, count);
    const int64_t n = std::max<int64_t>(range.count(), 0);
    result.framesAsked = n;

    Mp4Writer writer;
    if (!writer.open(settings.outputPath, result.size, settings.fps, settings.codecs)) {
        result.error = writer.errorString();
        return result;
    }
    result.codec = writer.codec();

    const auto fail = [&](const QString &reason) {
        result.error = reason;
        result.framesWritten = writer.framesWritten();
        writer.finish();
        QFile::remove(settings.outputPath);
        return result;
    };

    // A reversed export seeks to every frame: there the cache saves decoding.
    std::optional<ForwardReading> forward;
    if (!settings.reverse)
        forward.emplace(source);

    cv::Mat raw;
    cv::Mat scaledFrame;
    if (!settings.reverse && n > 0)
        source.seek(int32_t(range.start));
    for (int64_t i = 0; i < n; ++i) {
        const int64_t index = settings.reverse ? range.end - 1 - i : range.start + i;
        if (settings.reverse)
            source.seek(int32_t(index));
        raw.release();
        source >> raw;
        if (source.lastRead() != ReadResult::Delivered || raw.empty()) {
            if (source.lastRead() == ReadResult::EndOfStream)
                return fail(tr("the video ends before frame %1").arg(index));
            const QString why = source.errorString();
            return fail(tr("frame %1 cannot be read%2").arg(index).arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        }
        QString processError;
        cv::Mat frame = pipeline.process(raw, settings.pipeline, &processError);
        if (frame.empty())
            return fail(tr("frame %1 cannot be processed: %2").arg(index).arg(processError));
        try {
            // Scaled whenever the size is not the output's: the chosen entry
            // asks for it, or a missing model left the frame unscaled.
            if (frame.size() != target) {
                cv::resize(frame, scaledFrame, target, 0, 0, cv::INTER_CUBIC);
                frame = scaledFrame;
            }
            // An odd side loses its last column or row (see evenFrameSize).
            if (target != result.size)
                frame = frame(cv::Rect(0, 0, result.size.width, result.size.height));
        } catch (const cv::Exception &e) {
            return fail(tr("frame %1 cannot be scaled: %2").arg(index).arg(QString::fromUtf8(e.what())));
        }
        if (!writer.write(frame))
            return fail(writer.errorString());
        if (progress && !progress(i + 1, n)) {
            result.cancelled = i + 1 < n;
            break;
        }
    }
    result.framesWritten = writer.framesWritten();
    if (!writer.finish())
        return fail(writer.errorString());
    result.ok = true;
    return result;
}

ExportResult exportVideoFile(const QString &sourcePath, FrameSourceKind kind, bool useFfmpeg,
                             const FramePipeline &pipeline, const ExportSettings &settings,
                             const ExportProgress &progress)
{
    const std::unique_ptr<FrameGrabber> source = CreateFrameSource(sourcePath, kind, useFfmpeg);
    if (!source->isOpen()) {
        ExportResult result;
        result.error = source->errorString();
        if (result.error.isEmpty())
            result.error = tr("cannot open \"%1\"").arg(sourcePath);
        return result;
    }
    ExportSettings own = settings;
    if (own.sourcePath.isEmpty())
        own.sourcePath = sourcePath;
    return exportVideo(*source, pipeline, own, progress);
}

}  // namespace videoexport
