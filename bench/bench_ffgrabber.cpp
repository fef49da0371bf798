// Benchmark of the FFmpeg frame source on a generated 1080p30 H.264 clip
// (about 12 Mbit/s, one key frame every 250 frames, 3 B-frames between
// reference frames, 300 frames), with ffms2 measured beside it on the same
// clip, targets and run when it is installed (libffms2-dev):
//
//  1. sequential reading: frames per second through FFGrabber against the
//     ffmpeg program decoding the same clip to raw BGR (its own -benchmark
//     real time, so process start-up is not counted), best of 3 runs each;
//     ffms2's rate for reference;
//  2. random access: median time of seek + read over 50 targets (fixed seed),
//     with the source kept open across targets (3 rounds, taking turns with
//     ffms2) and with a freshly opened
//     source for each (opening not counted), next to ffms2 doing the same
//     (a video source kept, a video source created per target; indexing is
//     timed on its own) and to the median time of the least work any decoder
//     must do for the same targets: seek to the key frame before the target,
//     decode up to it, convert it;
//  3. stepping back 25 frames one at a time (skip(-2) + read, as the main
//     window does) from the middle of a GOP, after a seek and after playing,
//     against one random seek + read;
//  4. holding the back key: 100 steps back after one seek into the middle of
//     a GOP, as a rate in frames per second and the slowest single step.
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

#ifdef FRAMEWRIGHT_HAVE_FFMS2
#include <ffms.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

// Rounds of the kept-open random-access measurement.
constexpr int kKeptOpenRounds = 3;

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

// Releasers of FFmpeg's objects, for unique_ptr.
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

// What the clip is made of, from its packets alone (nothing is decoded).
struct ClipFacts
{
    int frames = 0;
    std::vector<int> keyFrames;  // 0-based frame indices
    int bFrames = 0;             // frames shown before a frame decoded earlier
    double megabitsPerSecond = 0.0;
};

ClipFacts clipFacts(const QString &path)
{
    ClipFacts facts;
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *opened = nullptr;
    if (avformat_open_input(&opened, name.constData(), nullptr, nullptr) != 0)
        return facts;
    const std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return facts;
    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (streamIndex < 0)
        return facts;
    const AVStream *stream = format->streams[streamIndex];
    const AVRational frameDuration = av_inv_q(stream->r_frame_rate);
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    int64_t bytes = 0;
    int64_t latest = AV_NOPTS_VALUE;  // the latest presentation time decoded so far
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex) {
            ++facts.frames;
            bytes += packet->size;
            if (packet->pts != AV_NOPTS_VALUE) {
                if (packet->flags & AV_PKT_FLAG_KEY)
                    facts.keyFrames.push_back(int(av_rescale_q_rnd(packet->pts - start, stream->time_base,
                                                                   frameDuration, AV_ROUND_NEAR_INF)));
                if (latest != AV_NOPTS_VALUE && packet->pts < latest)
                    ++facts.bFrames;
                latest = latest == AV_NOPTS_VALUE ? packet->pts : std::max(latest, packet->pts);
            }
        }
        av_packet_unref(packet.get());
    }
    const double seconds = facts.frames * av_q2d(frameDuration);
    facts.megabitsPerSecond = seconds > 0.0 ? double(bytes) * 8.0 / seconds / 1e6 : 0.0;
    return facts;
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
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVFrame, FrameFreer> picture;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    AVStream *stream = nullptr;
    int streamIndex = -1;
    int64_t start = 0;
};

#ifdef FRAMEWRIGHT_HAVE_FFMS2
struct FfmsIndexFreer
{
    void operator()(FFMS_Index *index) const { FFMS_DestroyIndex(index); }
};
struct FfmsVideoFreer
{
    void operator()(FFMS_VideoSource *video) const { FFMS_DestroyVideoSource(video); }
};
using FfmsVideo = std::unique_ptr<FFMS_VideoSource, FfmsVideoFreer>;

// ffms2 reading a clip's first video track: the index, made once (timed by
// the caller), and video sources created from it that deliver BGR24 at the
// clip's own size, decoding with as many threads as the machine has, as
// FFGrabber does.
class Ffms
{
public:
    explicit Ffms(const QString &path)
        : name(QFile::encodeName(path))
    {
        error.Buffer = message;
        error.BufferSize = sizeof message;
        error.ErrorType = FFMS_ERROR_SUCCESS;
        error.SubType = FFMS_ERROR_SUCCESS;
        // FFMS_DoIndexing2 frees the indexer, whether it succeeds or not.
        FFMS_Indexer *indexer = FFMS_CreateIndexer(name.constData(), &error);
        if (!indexer)
            return;
        index.reset(FFMS_DoIndexing2(indexer, FFMS_IEH_ABORT, &error));
        if (index)
            track = FFMS_GetFirstTrackOfType(index.get(), FFMS_TYPE_VIDEO, &error);
    }

    bool valid() const { return index && track >= 0; }
    const char *lastError() const { return message; }

    // A new video source; null on failure. Its decoder has not run yet, so
    // the first frame asked of it is as slow as a first frame is.
    FfmsVideo open(int width, int height)
    {
        FfmsVideo video(FFMS_CreateVideoSource(name.constData(), track, index.get(), 0, FFMS_SEEK_NORMAL, &error));
        const int formats[] = {AV_PIX_FMT_BGR24, -1};
        if (video
            && FFMS_SetOutputFormatV2(video.get(), formats, width, height, FFMS_RESIZER_FAST_BILINEAR, &error) != 0)
            video.reset();
        return video;
    }

    // Frame `n` (0-based) as an image of the caller's own, as a frame source
    // delivers it: ffms2 decodes and converts it, its plane is copied out.
    // Empty on failure.
    cv::Mat read(FFMS_VideoSource *video, int n)
    {
        const FFMS_Frame *frame = FFMS_GetFrame(video, n, &error);
        if (!frame || frame->ConvertedPixelFormat != AV_PIX_FMT_BGR24)
            return {};
        const int width = frame->ScaledWidth > 0 ? frame->ScaledWidth : frame->EncodedWidth;
        const int height = frame->ScaledHeight > 0 ? frame->ScaledHeight : frame->EncodedHeight;
        const cv::Mat plane(height, width, CV_8UC3, const_cast<uint8_t *>(frame->Data[0]),
                            size_t(frame->Linesize[0]));
        return plane.clone();
    }

private:
    QByteArray name;
    char message[1024] = {};
    FFMS_ErrorInfo error{};
    std::unique_ptr<FFMS_Index, FfmsIndexFreer> index;
    int track = -1;
};
#endif

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
        // The index pictures alone are flat blocks that code to almost
        // nothing; moving noise on top gives the encoder real detail to
        // spend the camera-like 12 Mbit/s on, so that decoding costs what it
        // costs on a real recording. The blocks stay readable under it.
        // b-adapt=0 puts exactly 3 B-frames between reference frames and
        // sc_threshold 0 keeps key frames at every 250th frame only.
        options.codecArgs = {QStringLiteral("-vf"), QStringLiteral("noise=alls=24:allf=t"),
                             QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                             QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                             QStringLiteral("-b:v"), QStringLiteral("12M"), QStringLiteral("-maxrate"),
                             QStringLiteral("12M"), QStringLiteral("-bufsize"), QStringLiteral("24M"),
                             QStringLiteral("-bf"), QStringLiteral("3"), QStringLiteral("-x264-params"),
                             QStringLiteral("b-adapt=0"), QStringLiteral("-g"), QStringLiteral("250"),
                             QStringLiteral("-sc_threshold"), QStringLiteral("0")};
        std::printf("generating a 1080p30 H.264 clip (300 frames, 12 Mbit/s, key frame every 250, 3 B-frames)...\n");
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
    FrameSize size;
    {
        FFGrabber probe(clip);
        frameCount = probe.getFrameCount();
        size = probe.getSize();
        std::printf("clip: %s, %dx%d, %d frames at %.2f fps, cache holds %zu frames\n", qPrintable(clip),
                    size.width, size.height, frameCount, double(probe.getFps()),
                    FFGrabber::cacheCapacity(size.width, size.height));
    }
    if (frameCount <= 0) {
        std::fprintf(stderr, "the clip has no frames\n");
        return 1;
    }
    {
        const ClipFacts facts = clipFacts(clip);
        QStringList keys;
        for (size_t i = 0; i < facts.keyFrames.size() && i < 8; ++i)
            keys << QString::number(facts.keyFrames[i]);
        if (facts.keyFrames.size() > 8)
            keys << QStringLiteral("...");
        std::printf("  %.1f Mbit/s, %zu key frames (at %s), %d of %d frames are B-frames\n",
                    facts.megabitsPerSecond, facts.keyFrames.size(), qPrintable(keys.join(QStringLiteral(", "))),
                    facts.bFrames, facts.frames);
    }

#ifdef FRAMEWRIGHT_HAVE_FFMS2
    FFMS_Init(0, 0);
    FFMS_SetLogLevel(AV_LOG_ERROR);
    QElapsedTimer indexing;
    indexing.start();
    Ffms ffms(clip);
    const double indexingMs = elapsedMs(indexing);
    const int version = FFMS_GetVersion();  // major, minor, micro, bump: one byte each
    const bool haveFfms = ffms.valid() && ffms.open(size.width, size.height);
    if (haveFfms)
        std::printf("ffms2 %d.%d.%d: indexing took %.1f ms (once per clip, not counted below)\n", version >> 24,
                    (version >> 16) & 0xff, (version >> 8) & 0xff, indexingMs);
    else
        std::printf("ffms2: cannot read the clip: %s\n", ffms.lastError());
#else
    std::printf("ffms2: not installed (libffms2-dev)\n");
#endif

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
#ifdef FRAMEWRIGHT_HAVE_FFMS2
    if (haveFfms) {
        double bestFfms = 0.0;
        int ffmsFrames = 0;
        for (int run = 0; run < 3; ++run) {
            const FfmsVideo video = ffms.open(size.width, size.height);
            if (!video)
                break;
            ffmsFrames = FFMS_GetVideoProperties(video.get())->NumFrames;
            QElapsedTimer timer;
            timer.start();
            int frames = 0;
            while (frames < ffmsFrames && !ffms.read(video.get(), frames).empty())
                ++frames;
            bestFfms = std::max(bestFfms, frames / (elapsedMs(timer) / 1000.0));
        }
        std::printf("  ffms2, for reference:      %8.1f frames/s  (%d frames)\n", bestFfms, ffmsFrames);
    }
#endif

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
    const bool generated = clipArg < 0;  // only generated frames show their index
    int wrong = 0;
    const auto seekAndRead = [&](FrameGrabber &grabber, int target) {
        QElapsedTimer timer;
        timer.start();
        grabber.seek(target);
        cv::Mat image;
        grabber >> image;
        const double ms = elapsedMs(timer);
        if (generated && testmedia::readIndex(image) != target)
            ++wrong;
        return ms;
    };
    const auto wrongNote = [](int count) {
        return count ? QStringLiteral("  (%1 wrong frames!)").arg(count) : QString();
    };
#ifdef FRAMEWRIGHT_HAVE_FFMS2
    int ffmsWrong = 0;
    const auto ffmsSeekAndRead = [&](FFMS_VideoSource *video, int target) {
        QElapsedTimer timer;
        timer.start();
        const cv::Mat image = ffms.read(video, target);
        const double ms = elapsedMs(timer);
        if (generated && testmedia::readIndex(image) != target)
            ++ffmsWrong;
        return ms;
    };
    std::vector<double> ffmsWarmTimes;
#endif
    // Sources kept open: both readers take turns over several rounds, so
    // that a slow spell of the machine weighs on both alike.
    std::vector<double> keptOpenTimes;
    for (int round = 0; round < kKeptOpenRounds; ++round) {
        {
            FFGrabber grabber(clip);
            for (const int target : targets)
                keptOpenTimes.push_back(seekAndRead(grabber, target));
        }
#ifdef FRAMEWRIGHT_HAVE_FFMS2
        if (haveFfms) {
            const FfmsVideo video = ffms.open(size.width, size.height);
            for (const int target : targets) {
                if (video)
                    ffmsWarmTimes.push_back(ffmsSeekAndRead(video.get(), target));
            }
        }
#endif
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
    const double freshMedian = median(freshTimes);
    std::printf("\nrandom seek + read (50 targets, median; kept open: %d rounds)\n", kKeptOpenRounds);
    std::printf("  FFGrabber, kept open:      %8.1f ms%s\n", seekMedian, qPrintable(wrongNote(wrong)));
    std::printf("  FFGrabber, opened anew:    %8.1f ms  (its decoder's buffers are not warm yet)\n", freshMedian);
#ifdef FRAMEWRIGHT_HAVE_FFMS2
    if (haveFfms) {
        std::vector<double> ffmsFreshTimes;
        for (const int target : targets) {
            const FfmsVideo video = ffms.open(size.width, size.height);  // creation is not timed
            if (video)
                ffmsFreshTimes.push_back(ffmsSeekAndRead(video.get(), target));
        }
        const double ffmsWarm = median(ffmsWarmTimes);
        const double ffmsFresh = median(ffmsFreshTimes);
        std::printf("  ffms2, kept open:          %8.1f ms%s\n", ffmsWarm, qPrintable(wrongNote(ffmsWrong)));
        std::printf("  ffms2, created anew:       %8.1f ms  (a new video source per target)\n", ffmsFresh);
        std::printf("  FFGrabber / ffms2, anew:   %8.2f     (target <= 0.80)\n",
                    ffmsFresh > 0 ? freshMedian / ffmsFresh : 0.0);
        std::printf("  FFGrabber / ffms2, kept:   %8.2f     (target <= 0.80)\n",
                    ffmsWarm > 0 ? seekMedian / ffmsWarm : 0.0);
    }
#endif
    std::printf("  AviGrabber (capture):      %8.1f ms\n", median(captureTimes));
    std::printf("  floor (key frame->target): %8.1f ms  (plain decoder: seek, decode, convert the target only)\n",
                median(floorTimes));

    // 3. Stepping back 25 frames from the middle of a GOP.
    const int middle = std::min(frameCount - 1, 125);
    // Both runs start with frame `middle` just read, so they end on middle - 25.
    int stepWrong = 0;
    const auto stepBack = [&](FFGrabber &grabber) {
        QElapsedTimer timer;
        timer.start();
        cv::Mat image;
        for (int step = 0; step < 25; ++step) {
            grabber.skip(-2);
            grabber >> image;
        }
        const double ms = elapsedMs(timer);
        if (generated && testmedia::readIndex(image) != middle - 25)
            ++stepWrong;
        return ms;
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
    std::printf("  25 steps after that seek:    %8.2f ms  (%.2f x one random seek + read, target <= 0.30)\n",
                afterSeek, seekMedian > 0 ? afterSeek / seekMedian : 0.0);
    std::printf("  25 steps after playing there:%8.2f ms  (%.2f x one random seek + read, target <= 0.30)\n",
                afterPlaying, seekMedian > 0 ? afterPlaying / seekMedian : 0.0);
    std::printf("  without a cache, about:      %8.1f ms  (25 x the floor)\n", 25 * median(floorTimes));
    if (stepWrong)
        std::printf("  %d of the 2 runs ended on a wrong frame!\n", stepWrong);
    wrong += stepWrong;

    // 4. Holding the back key: one seek into the middle of the GOP, then one
    // frame back at a time, each step timed on its own.
    const int backSteps = std::min(100, middle);
    int backWrong = 0;
    std::vector<double> backTimes;
    {
        FFGrabber grabber(clip);
        grabber.seek(middle);
        cv::Mat image;
        grabber >> image;
        for (int step = 1; step <= backSteps; ++step) {
            QElapsedTimer timer;
            timer.start();
            grabber.skip(-2);
            grabber >> image;
            backTimes.push_back(elapsedMs(timer));
            if (generated && testmedia::readIndex(image) != middle - step)
                ++backWrong;
        }
    }
    const auto backRate = [](const std::vector<double> &times) {
        double total = 0.0;
        for (const double ms : times)
            total += ms;
        return total > 0.0 ? times.size() / (total / 1000.0) : 0.0;
    };
    const auto slowest = [](const std::vector<double> &times) {
        return times.empty() ? 0.0 : *std::max_element(times.begin(), times.end());
    };
    wrong += backWrong;
    std::printf("\n%d steps back one frame at a time from frame %d after one seek (holding the back key)\n",
                backSteps, middle);
    std::printf("  FFGrabber:                 %8.1f frames/s  (target >= 15)%s\n", backRate(backTimes),
                qPrintable(wrongNote(backWrong)));
    std::printf("  FFGrabber, slowest step:   %8.1f ms\n", slowest(backTimes));
#ifdef FRAMEWRIGHT_HAVE_FFMS2
    if (haveFfms) {
        int ffmsBackWrong = 0;
        std::vector<double> ffmsBackTimes;
        const FfmsVideo video = ffms.open(size.width, size.height);
        if (video && !ffms.read(video.get(), middle).empty()) {
            for (int step = 1; step <= backSteps; ++step) {
                QElapsedTimer timer;
                timer.start();
                const cv::Mat image = ffms.read(video.get(), middle - step);
                ffmsBackTimes.push_back(elapsedMs(timer));
                if (generated && testmedia::readIndex(image) != middle - step)
                    ++ffmsBackWrong;
            }
        }
        std::printf("  ffms2, for reference:      %8.1f frames/s%s\n", backRate(ffmsBackTimes),
                    qPrintable(wrongNote(ffmsBackWrong)));
        std::printf("  ffms2, slowest step:       %8.1f ms\n", slowest(ffmsBackTimes));
    }
#endif
    return wrong ? 2 : 0;
}
