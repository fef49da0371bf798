// Benchmark of the FFmpeg frame source on a generated 1080p H.264 clip
// (B-frames, one key frame every 250 frames, 10 s at 30 frames per second):
//
//  1. sequential reading: frames per second through FFGrabber against the
//     ffmpeg program decoding the same clip to raw BGR (its own -benchmark
//     real time, so process start-up is not counted), best of 3 runs each;
//  2. random access: median time of seek + read over 50 targets (fixed seed,
//     a freshly opened source each time, opening not counted), next to the
//     median time of the least work any decoder must do for the same targets:
//     seek to the key frame before the target, decode up to it, convert it;
//  3. stepping back 25 frames one at a time (skip(-2) + read, as the main
//     window does) from the middle of a GOP, after a seek and after playing,
//     against one random seek + read.
//
//   bench_ffgrabber [--clip FILE] [--keep DIR]
//
// --clip measures an existing clip instead of generating one; --keep writes
// the generated clip into DIR and leaves it there for later runs.
//
// Build in release mode for meaningful numbers.

#include "AviGrabber.h"
#include "FFGrabber.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Frames per second of the ffmpeg program decoding `path` to raw BGR, from
// the real time it reports itself; 0 when it could not be run.
double ffmpegFps(const QString &path, int frames)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-benchmark"),
                   QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("rawvideo"),
                   QStringLiteral("-pix_fmt"), QStringLiteral("bgr24"), QStringLiteral("-y"),
                   QStringLiteral("/dev/null")});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return 0.0;
    const QString log = QString::fromLocal8Bit(process.readAllStandardError());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("rtime=([0-9.]+)s")).match(log);
    const double seconds = match.hasMatch() ? match.captured(1).toDouble() : 0.0;
    return seconds > 0.0 ? frames / seconds : 0.0;
}

// The least work needed to show frame `target`: a plain decoder seeks to the
// key frame before it, decodes forward and converts only the target picture.
class FloorDecoder
{
public:
    explicit FloorDecoder(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        AVFormatContext *opened = nullptr;
        if (avformat_open_input(&opened, name.constData(), nullptr, nullptr) != 0)
            return;
        format.reset(opened);
        if (avformat_find_stream_info(format.get(), nullptr) < 0)
            return;
        streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (streamIndex < 0)
            return;
        stream = format->streams[streamIndex];
        const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        codec.reset(avcodec_alloc_context3(decoder));
        avcodec_parameters_to_context(codec.get(), stream->codecpar);
        codec->thread_count = 0;
        if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
            codec.reset();
            return;
        }
        picture.reset(av_frame_alloc());
        packet.reset(av_packet_alloc());
        scaler.reset(sws_getContext(codec->width, codec->height, codec->pix_fmt, codec->width, codec->height,
                                    AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    }

    bool valid() const { return codec && scaler; }

    // Returns the frame, empty when the target was not reached.
    cv::Mat show(int target)
    {
        const AVRational frameDuration = av_inv_q(stream->r_frame_rate);
        av_seek_frame(format.get(), streamIndex, start + av_rescale_q(target, frameDuration, stream->time_base),
                      AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec.get());
        bool draining = false;
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), picture.get());
            if (received == 0) {
                const int64_t index = av_rescale_q_rnd(picture->best_effort_timestamp - start, stream->time_base,
                                                       frameDuration, AV_ROUND_NEAR_INF);
                if (index < target)
                    continue;
                cv::Mat image(picture->height, picture->width, CV_8UC3);
                uint8_t *planes[4] = {image.data, nullptr, nullptr, nullptr};
                int strides[4] = {int(image.step[0]), 0, 0, 0};
                sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, planes, strides);
                return image;
            }
            if (received != AVERROR(EAGAIN) || draining)
                return {};
            if (av_read_frame(format.get(), packet.get()) < 0) {
                draining = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            if (packet->stream_index == streamIndex)
                avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
        }
    }

private:
    struct FormatCloser
    {
        void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
    };
    struct CodecFreer
    {
        void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
    };
    struct FrameFreer
    {
        void operator()(AVFrame *f) const { av_frame_free(&f); }
    };
    struct PacketFreer
    {
        void operator()(AVPacket *p) const { av_packet_free(&p); }
    };
    struct ScalerFreer
    {
        void operator()(SwsContext *s) const { sws_freeContext(s); }
    };
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVFrame, FrameFreer> picture;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    AVStream *stream = nullptr;
    int streamIndex = -1;
    int64_t start = 0;
};

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);  // keep the format dumps of every open out of the figures
    const QStringList args = QCoreApplication::arguments();

    QTemporaryDir dir;
    QString clip;
    const qsizetype clipArg = args.indexOf(QStringLiteral("--clip"));
    if (clipArg > 0 && clipArg + 1 < args.size()) {
        clip = args.at(clipArg + 1);
    } else {
        const qsizetype keepArg = args.indexOf(QStringLiteral("--keep"));
        const QString outDir = keepArg > 0 && keepArg + 1 < args.size() ? args.at(keepArg + 1) : dir.path();
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("bench_1080p.mp4");
        options.width = 1920;
        options.height = 1080;
        options.fps = 30.0;
        options.frames = 300;
        options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                          QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                          QStringLiteral("-bf"), QStringLiteral("3"), QStringLiteral("-g"), QStringLiteral("250"),
                          QStringLiteral("-sc_threshold"), QStringLiteral("0")};
        std::printf("generating a 1080p H.264 clip (300 frames, GOP 250, B-frames)...\n");
        std::fflush(stdout);
        QString error;
        const std::optional<QString> written = testmedia::writeClip(outDir, options, &error);
        if (!written) {
            std::fprintf(stderr, "cannot write the clip: %s\n", qPrintable(error));
            return 1;
        }
        clip = *written;
    }

    int frameCount = 0;
    {
        FFGrabber probe(clip);
        frameCount = probe.getFrameCount();
        std::printf("clip: %s, %dx%d, %d frames at %.2f fps, cache holds %zu frames\n", qPrintable(clip),
                    probe.getSize().width, probe.getSize().height, frameCount, double(probe.getFps()),
                    FFGrabber::cacheCapacity(probe.getSize().width, probe.getSize().height));
    }
    if (frameCount <= 0) {
        std::fprintf(stderr, "the clip has no frames\n");
        return 1;
    }

    // 1. Sequential reading.
    double bestOwn = 0.0;
    int delivered = 0;
    for (int run = 0; run < 3; ++run) {
        FFGrabber grabber(clip);
        QElapsedTimer timer;
        timer.start();
        cv::Mat image;
        int frames = 0;
        for (;;) {
            const uchar *before = image.data;
            grabber >> image;
            if (image.data == before)
                break;
            ++frames;
        }
        const double fps = frames / (elapsedMs(timer) / 1000.0);
        bestOwn = std::max(bestOwn, fps);
        delivered = frames;
    }
    double bestFfmpeg = 0.0;
    for (int run = 0; run < 3; ++run)
        bestFfmpeg = std::max(bestFfmpeg, ffmpegFps(clip, delivered));
    std::printf("\nsequential reading (best of 3, %d frames)\n", delivered);
    std::printf("  FFGrabber:                 %8.1f frames/s\n", bestOwn);
    std::printf("  ffmpeg -f rawvideo bgr24:  %8.1f frames/s\n", bestFfmpeg);
    if (bestFfmpeg > 0.0)
        std::printf("  ratio:                     %8.1f %%\n", 100.0 * bestOwn / bestFfmpeg);

    // 2. Random seek + read against the floor. No target lies in the stretch
    // a recent seek decoded (up to 64 frames before its target), so that the
    // cache of a source kept open cannot serve it; the same targets are used
    // for every measurement.
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> frame(0, frameCount - 1);
    std::vector<int> targets;
    while (targets.size() < 50) {
        const int target = frame(random);
        const size_t from = targets.size() > 3 ? targets.size() - 3 : 0;
        if (frameCount > 4 * 65
            && std::any_of(targets.begin() + qsizetype(from), targets.end(),
                           [&](int recent) { return target <= recent && target >= recent - 64; }))
            continue;
        targets.push_back(target);
    }
    int wrong = 0;
    const auto seekAndRead = [&](FrameGrabber &grabber, int target) {
        QElapsedTimer timer;
        timer.start();
        grabber.seek(target);
        cv::Mat image;
        grabber >> image;
        const double ms = elapsedMs(timer);
        if (clipArg < 0 && testmedia::readIndex(image) != target)
            ++wrong;
        return ms;
    };
    std::vector<double> keptOpenTimes;
    {
        FFGrabber grabber(clip);
        for (const int target : targets)
            keptOpenTimes.push_back(seekAndRead(grabber, target));
    }
    // The capture source (OpenCV), for comparison: it opens most files.
    std::vector<double> captureTimes;
    {
        AviGrabber capture(QFile::encodeName(clip).toStdString());
        for (const int target : targets)
            captureTimes.push_back(seekAndRead(capture, target));
    }
    std::vector<double> freshTimes;
    for (const int target : targets) {
        FFGrabber grabber(clip);  // opening is not timed
        freshTimes.push_back(seekAndRead(grabber, target));
    }
    std::vector<double> floorTimes;
    FloorDecoder floor(clip);
    if (floor.valid()) {
        for (const int target : targets) {
            QElapsedTimer timer;
            timer.start();
            const cv::Mat image = floor.show(target);
            floorTimes.push_back(elapsedMs(timer));
        }
    }
    const double seekMedian = median(keptOpenTimes);
    std::printf("\nrandom seek + read (50 targets, median)\n");
    std::printf("  FFGrabber, kept open:      %8.1f ms%s\n", seekMedian,
                wrong ? qPrintable(QStringLiteral("  (%1 wrong frames!)").arg(wrong)) : "");
    std::printf("  FFGrabber, opened anew:    %8.1f ms  (its decoder's buffers are not warm yet)\n",
                median(freshTimes));
    std::printf("  AviGrabber (capture):      %8.1f ms\n", median(captureTimes));
    std::printf("  floor (key frame->target): %8.1f ms  (plain decoder: seek, decode, convert the target only)\n",
                median(floorTimes));

    // 3. Stepping back 25 frames from the middle of a GOP.
    const int middle = std::min(frameCount - 1, 125);
    const auto stepBack = [&](FFGrabber &grabber) {
        QElapsedTimer timer;
        timer.start();
        cv::Mat image;
        for (int step = 0; step < 25; ++step) {
            grabber.skip(-2);
            grabber >> image;
        }
        return elapsedMs(timer);
    };
    double afterSeek = 0.0;
    double firstSeek = 0.0;
    {
        FFGrabber grabber(clip);
        QElapsedTimer timer;
        timer.start();
        grabber.seek(middle);
        cv::Mat image;
        grabber >> image;
        firstSeek = elapsedMs(timer);
        afterSeek = stepBack(grabber);
    }
    double afterPlaying = 0.0;
    {
        FFGrabber grabber(clip);
        grabber.seek(middle - 40);
        cv::Mat image;
        for (int i = 0; i <= 40; ++i)
            grabber >> image;
        afterPlaying = stepBack(grabber);
    }
    std::printf("\n25 steps back one frame at a time from frame %d\n", middle);
    std::printf("  the seek + read to frame %d:  %8.1f ms\n", middle, firstSeek);
    std::printf("  25 steps after that seek:    %8.2f ms  (%.2f x one random seek + read)\n", afterSeek,
                seekMedian > 0 ? afterSeek / seekMedian : 0.0);
    std::printf("  25 steps after playing there:%8.2f ms  (%.2f x one random seek + read)\n", afterPlaying,
                seekMedian > 0 ? afterPlaying / seekMedian : 0.0);
    std::printf("  without a cache, about:      %8.1f ms  (25 x the floor)\n", 25 * median(floorTimes));
    return wrong ? 2 : 0;
}
