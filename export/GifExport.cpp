#include "GifExport.h"

#include "GifEncoder.h"

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
    // Frame i is encoded on a thread of its own while frame i + 1 is read,
    // processed and scaled: two RGBA buffers, so memory stays flat.
    cv::Mat scaled;
    cv::Mat rgba[2];
    std::future<bool> encoding;
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
        cv::Mat &target = rgba[i % 2];
        try {
            const cv::Mat *frame = &processed;
            if (processed.cols != result.width || processed.rows != result.height) {
                cv::resize(processed, scaled, cv::Size(result.width, result.height), 0, 0, cv::INTER_CUBIC);
                frame = &scaled;
            }
            cv::cvtColor(*frame, target, frame->channels() == 1 ? cv::COLOR_GRAY2RGBA : cv::COLOR_BGR2RGBA);
        } catch (const cv::Exception &e) {
            result.error = tr("Frame %1 cannot be scaled: %2").arg(startIndex + i + 1).arg(QString::fromStdString(e.msg));
            break;
        }
        if (!encoded())
            break;
        encoding = std::async(std::launch::async, [&writer, &target, &result, &settings] {
            return writer.writeFrame(target.data, result.width, result.height, settings.delay);
        });
        if (progress && !progress(i + 1, settings.frameCount)) {
            result.cancelled = i + 1 < settings.frameCount;
            break;
        }
    }
    encoded();
    if (writer.isOpen() && !writer.end() && result.error.isEmpty())
        result.error = writer.errorString();
    return result;
}
