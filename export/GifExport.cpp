#include "GifExport.h"

#include "GifEncoder.h"
#include "NoFrameCache.h"

#include <QCoreApplication>

#include <opencv2/imgproc.hpp>

#include <future>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("GifExport", text);
}

// The next frame of `source`, going on from the first after the last.
// Empty, with the reason in `error`, when there is none.
cv::Mat readWrapping(FrameGrabber &source, int index, QString *error)
{
    cv::Mat raw;
    source >> raw;
    if (source.lastRead() == ReadResult::Delivered && !raw.empty())
        return raw;
    if (source.lastRead() == ReadResult::EndOfStream) {
        source.seek(0);
        raw.release();
        source >> raw;
        if (source.lastRead() == ReadResult::Delivered && !raw.empty())
            return raw;
    }
    const QString reason = source.errorString();
    *error = reason.isEmpty() ? tr("Frame %1 cannot be read.").arg(index + 1) : reason;
    return {};
}

}  // namespace

int GifHeightFor(int width, int frameWidth, int frameHeight)
{
    if (frameWidth <= 0 || frameHeight <= 0 || width <= 0)
        return 0;
    return int(int64_t(width) * frameHeight / frameWidth);
}

QString WithGifExtension(const QString &path)
{
    return path.endsWith(QLatin1String(".gif")) ? path : path + QLatin1String(".gif");
}

GifExportResult ExportAnimatedGif(FrameGrabber &source, int startIndex, const FramePipeline &pipeline,
                                  const PipelineSettings &pipelineSettings, const QString &path,
                                  const GifExportSettings &settings, const ExportProgress &progress)
{
    GifExportResult result;
    if (!source.isOpen()) {
        result.error = source.errorString().isEmpty() ? tr("No video is open.") : source.errorString();
        return result;
    }
    if (settings.width < 1 || settings.frameCount < 1) {
        result.error = tr("A GIF needs a width and at least one frame.");
        return result;
    }
    gif::GifWriter writer;
    // Three stages on three threads: frame i is read and processed here while
    // frame i - 1 is scaled and frame i - 2 encoded. Two RGBA buffers take
    // turns, so memory stays flat in the number of frames.
    cv::Mat scaled;
    cv::Mat rgba[2];
    QString scaleError;
    std::future<bool> scaling;   // into rgba[slot of its frame]
    std::future<bool> encoding;
    int scalingSlot = 0;
    // Waits for the frame being encoded; false (with the reason) if it failed.
    const auto encoded = [&]() {
        if (!encoding.valid())
            return true;
        if (encoding.get()) {
            ++result.framesWritten;
            return true;
        }
        if (result.error.isEmpty())
            result.error = writer.errorString();
        return false;
    };
    // Waits for the frame being scaled and hands it to the encoder.
    const auto scaledAndQueued = [&]() {
        if (!scaling.valid())
            return true;
        if (!scaling.get()) {
            if (result.error.isEmpty())
                result.error = scaleError;
            return false;
        }
        if (!encoded())
            return false;
        const cv::Mat &image = rgba[scalingSlot];
        encoding = std::async(std::launch::async, [&writer, &image, &result, &settings] {
            return writer.writeFrame(image.data, result.width, result.height, settings.delay);
        });
        return true;
    };
    const NoFrameCache noCache(source);
    source.seek(startIndex);
    for (int i = 0; i < settings.frameCount; ++i) {
        QString error;
        const cv::Mat raw = readWrapping(source, startIndex + i, &error);
        cv::Mat processed;
        if (!raw.empty()) {
            processed = pipeline.process(raw, pipelineSettings, &error);
            if (processed.empty() && error.isEmpty())
                error = tr("Frame %1 cannot be processed.").arg(startIndex + i + 1);
        }
        // Also frees the buffer this frame is scaled into (its last encoding is done).
        if (!scaledAndQueued())
            break;
        if (!processed.empty() && !writer.isOpen()) {
            result.width = settings.width;
            result.height = GifHeightFor(settings.width, processed.cols, processed.rows);
            if (result.height < 1)
                error = tr("A GIF %1 pixels wide of a %2 x %3 frame would have no rows.")
                            .arg(settings.width)
                            .arg(processed.cols)
                            .arg(processed.rows);
            else if (!writer.begin(path, result.width, result.height, settings.delay))
                error = writer.errorString();
        }
        if (!error.isEmpty()) {
            result.error = error;
            break;
        }
        // `processed` keeps its pixels (the sources hand out a new image
        // while one is still held) until the scaler is done with them.
        scalingSlot = i % 2;
        const int number = startIndex + i + 1;
        scaling = std::async(std::launch::async, [&, processed, number, slot = scalingSlot] {
            try {
                const cv::Mat *frame = &processed;
                if (processed.cols != result.width || processed.rows != result.height) {
                    cv::resize(processed, scaled, cv::Size(result.width, result.height), 0, 0, cv::INTER_CUBIC);
                    frame = &scaled;
                }
                cv::cvtColor(*frame, rgba[slot], frame->channels() == 1 ? cv::COLOR_GRAY2RGBA : cv::COLOR_BGR2RGBA);
                return true;
            } catch (const cv::Exception &e) {
                scaleError = tr("Frame %1 cannot be scaled: %2").arg(number).arg(QString::fromStdString(e.msg));
                return false;
            }
        });
        if (progress && !progress(i + 1, settings.frameCount)) {
            result.cancelled = i + 1 < settings.frameCount;
            break;
        }
    }
    scaledAndQueued();
    encoded();
    if (writer.isOpen() && !writer.end() && result.error.isEmpty())
        result.error = writer.errorString();
    return result;
}
