#include "GifExport.h"

#include "BoundedQueue.h"
#include "GifEncoder.h"
#include "ForwardReading.h"

#include <QCoreApplication>

#include <opencv2/imgproc.hpp>

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

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

// The stages after reading, each on a thread of its own: while the reading
// thread reads frame i, one scales frame i - 1, one maps frame i - 2 onto its
// palette and one compresses and writes frame i - 3. Short queues between
// them keep both cores busy when a stage is slow on a frame, and keep memory
// flat in the number of frames.
class GifStages
{
public:
    GifStages(gif::GifWriter &writer, int delay)
        : writer(writer)
        , delay(delay)
    {
    }
    ~GifStages() { finish(nullptr); }
    GifStages(const GifStages &) = delete;
    GifStages &operator=(const GifStages &) = delete;

    void start(int width, int height)
    {
        this->width = width;
        this->height = height;
        scaler = std::thread([this] { scale(); });
        mapper = std::thread([this] { map(); });
        compressor = std::thread([this] { compressAndWrite(); });
    }

    // False once a later stage failed: reading may stop.
    bool push(const cv::Mat &processed, int number) { return processedFrames.push({processed, number}); }

    // Lets the stages write what they hold and waits for them; the first
    // failure of a stage, if any.
    QString finish(int *framesWritten)
    {
        processedFrames.close();
        if (scaler.joinable())
            scaler.join();
        scaledFrames.close();
        if (mapper.joinable())
            mapper.join();
        mappedFrames.close();
        if (compressor.joinable())
            compressor.join();
        if (framesWritten)
            *framesWritten = written;
        const std::lock_guard<std::mutex> lock(errorMutex);
        return error;
    }

private:
    struct Frame
    {
        cv::Mat image;
        int number = 0;  // 1-based, for messages
    };

    void fail(const QString &reason)
    {
        {
            const std::lock_guard<std::mutex> lock(errorMutex);
            if (error.isEmpty())
                error = reason;
        }
        processedFrames.abort();
        scaledFrames.abort();
        mappedFrames.abort();
    }

    // Processed BGR (or grey) frames to RGBA at the GIF's size.
    void scale()
    {
        cv::Mat scaled;
        while (std::optional<Frame> next = processedFrames.pop()) {
            Frame rgba{cv::Mat(), next->number};
            try {
                const cv::Mat *image = &next->image;
                if (image->cols != width || image->rows != height) {
                    cv::resize(*image, scaled, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
                    image = &scaled;
                }
                cv::cvtColor(*image, rgba.image, image->channels() == 1 ? cv::COLOR_GRAY2RGBA : cv::COLOR_BGR2RGBA);
            } catch (const cv::Exception &e) {
                return fail(tr("Frame %1 cannot be scaled: %2").arg(next->number).arg(QString::fromStdString(e.msg)));
            }
            next->image.release();  // back to the source for reuse
            if (!scaledFrames.push(std::move(rgba)))
                return;
        }
    }

    void map()
    {
        while (std::optional<Frame> next = scaledFrames.pop()) {
            gif::MappedFrame mapped;
            QString reason;
            try {
                if (!writer.mapFrame(next->image.data, width, height, delay, mapped, &reason))
                    return fail(reason);
            } catch (const std::exception &e) {
                return fail(tr("Frame %1 cannot be encoded: %2").arg(next->number).arg(QString::fromLocal8Bit(e.what())));
            }
            if (!mappedFrames.push(std::move(mapped)))
                return;
        }
    }

    void compressAndWrite()
    {
        while (std::optional<gif::MappedFrame> next = mappedFrames.pop()) {
            try {
                if (!writer.writeMapped(*next))
                    return fail(writer.errorString());
            } catch (const std::exception &e) {
                return fail(tr("The GIF cannot be written: %1").arg(QString::fromLocal8Bit(e.what())));
            }
            ++written;
        }
    }

    gif::GifWriter &writer;
    const int delay;
    int width = 0;
    int height = 0;
    BoundedQueue<Frame> processedFrames{2};
    BoundedQueue<Frame> scaledFrames{2};
    BoundedQueue<gif::MappedFrame> mappedFrames{2};
    std::thread scaler;
    std::thread mapper;
    std::thread compressor;
    std::atomic<int> written{0};
    std::mutex errorMutex;
    QString error;
};

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
    GifStages stages(writer, settings.delay);
    const ForwardReading reading(source, ForwardReading::Decoding::OneThread);
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
            else
                stages.start(result.width, result.height);
        }
        if (!error.isEmpty()) {
            result.error = error;
            break;
        }
        // `processed` keeps its pixels (the sources hand out a new image
        // while one is still held) until the scaler is done with them.
        if (!stages.push(processed, startIndex + i + 1))
            break;  // a later stage failed
        if (progress && !progress(i + 1, settings.frameCount)) {
            result.cancelled = i + 1 < settings.frameCount;
            break;
        }
    }
    // What was read is still written, also after a cancel.
    const QString stageError = stages.finish(&result.framesWritten);
    if (result.error.isEmpty())
        result.error = stageError;
    if (writer.isOpen() && !writer.end() && result.error.isEmpty())
        result.error = writer.errorString();
    return result;
}
