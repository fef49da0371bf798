#include "FFGrabber.h"
#include "FrameMemory.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>

#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <limits>
#include <map>
#include <thread>
#include <vector>

// Frame numbering used throughout this file:
//
//  - A frame's *index* is 0-based and computed from its presentation time
//    stamp: (pts - stream start time) x time base x frame rate, rounded to the
//    nearest integer so that containers storing times in coarse units (for
//    instance milliseconds at 30 frames per second) still map every frame to
//    its own index.
//  - `position` (what getPosition() reports) is index + 1 of the frame just
//    delivered, and n right after seek(n): the source stands just after the
//    frame on display. `wanted` is the index the next read delivers.
//
// seek() only records the wish; the next read finds the frame in the cache,
// decodes forward when that is cheaper, or seeks the demuxer to a key frame at
// or before the target and decodes forward from there.
//
// The cache keeps frames around the current position, bounded by count and
// memory, as the decoder's own reference-counted pictures (no copy). A frame
// is converted to BGR only when it is delivered, into one of a few images
// recycled once the caller has let go of them: a seek then costs barely more
// than the decoding it needs, a step back one conversion (about a millisecond
// at 1080p), and no step needs fresh memory, whose first use (a page fault
// per 4 KiB) would cost more than the conversion.

namespace {

struct FormatContextCloser
{
    void operator()(AVFormatContext *context) const noexcept { avformat_close_input(&context); }
};
struct CodecContextFreer
{
    void operator()(AVCodecContext *context) const noexcept { avcodec_free_context(&context); }
};
struct FrameFreer
{
    void operator()(AVFrame *frame) const noexcept { av_frame_free(&frame); }
};
struct PacketFreer
{
    void operator()(AVPacket *packet) const noexcept { av_packet_free(&packet); }
};
struct ScalerFreer
{
    void operator()(SwsContext *scaler) const noexcept { sws_freeContext(scaler); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// The cache holds at most this many frames, and at most this many bytes.
constexpr size_t kCacheFrameLimit = 64;
constexpr size_t kCacheByteLimit = size_t(256) << 20;

// Forward decoding is always preferred over a demuxer seek for targets at most
// this many frames ahead of the decoder (a seek costs at least a flush, a
// re-read and the decoder's start-up delay).
constexpr int64_t kShortForward = 16;
// Without a key-frame index the decoder runs forward up to this many frames
// rather than seeking.
constexpr int64_t kForwardWithoutIndex = 64;
// Seeks that land after the target are retried this many times, each further
// back (by at least 1, 2, 4, ... frames), before the file is decoded from its
// beginning.
constexpr int kSeekRetries = 10;
// After a seek, at most this many packets are dropped while looking for a key frame.
constexpr int kMaxPacketsWithoutKey = 1000;
// The largest reordering delay (in frames) an AVI stream is corrected for.
constexpr int64_t kMaxReorderDelay = 16;
// On the way to a target, the pictures nothing refers to are not decoded,
// except for this many frames just before the target: those are cached, so
// that the first 25 steps back from the target cost no decoding. Each
// further frame costs a B-frame decode on every seek.
constexpr int64_t kDecodedBeforeTarget = 25;
// Pictures in a row the decoder may fail on before reading is given up.
constexpr int kMaxFailedPictures = 32;
// A frame duration this much off the typical one makes the rate variable.
constexpr double kRateTolerance = 0.01;

QString errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("FFGrabber", text);
}

// The decoders' full-range ("JPEG") pixel formats and their ordinary twins.
AVPixelFormat withoutFullRange(AVPixelFormat format, bool *fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: *fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: *fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: *fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: *fullRange = true; return AV_PIX_FMT_YUV440P;
    default: *fullRange = false; return format;
    }
}

enum class Outcome { Found, TooLate, Ended };

// BGR images kept for recycling as conversion targets.
constexpr size_t kOutputImages = 4;

// A cached frame: the decoder's picture.
struct CachedFrame
{
    FramePtr picture;
    size_t bytes = 0;
};

size_t pictureBytes(const AVFrame *picture)
{
    size_t bytes = 0;
    for (const AVBufferRef *buffer : picture->buf)
        if (buffer)
            bytes += buffer->size;
    return bytes;
}

}  // namespace

struct FFGrabber::Impl
{
    FormatContextPtr format;
    CodecContextPtr codec;
    int decodingThreads = 0;  // the thread count `codec` was opened with
    FramePtr picture;  // the decoder's output, reused for every picture
    PacketPtr packet;  // the demuxer's output, reused for every packet
    ScalerPtr scaler;
    int scalerWidth = 0;
    int scalerHeight = 0;
    int scalerFormat = AV_PIX_FMT_NONE;
    bool scalerFullRange = false;

    int videoStream = -1;
    AVStream *stream = nullptr;
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};      // the stream's r_frame_rate, as reported by getFps()
    AVRational numberingRate{0, 1};  // the rate frames are numbered with: r_frame_rate, or a fallback
    int64_t startTime = 0;           // the stream's first presentation time, in time-base units
    int32_t frameCount = 0;

    int64_t position = 0;
    int64_t wanted = 0;

    QString shownPath;  // the file, as the user knows it
    QString error;      // why it cannot be opened, or why the last read failed
    ReadResult last = ReadResult::Delivered;
    bool variableRate = false;
    int readError = 0;  // the last FFmpeg error (not end of file) met since the read began
    int failedPictures = 0;

    // Decoder state. `lastDecoded` is the index of the last picture the
    // decoder put out; while `primed`, its next picture follows that one in
    // presentation order (it is not after a failed seek).
    bool primed = false;
    int64_t lastDecoded = -1;
    bool inputEnded = false;    // the demuxer is exhausted and the decoder was told so
    bool decoderEnded = false;  // every delayed picture has been put out
    bool endReported = false;
    bool awaitingKey = false;  // after a seek: packets before the first key frame are dropped
    int packetsWithoutKey = 0;
    int64_t landingTime = AV_NOPTS_VALUE;  // decoding time of the key frame a seek landed on
    int64_t picturesSinceRestart = 0;
    bool lastTimed = true;       // the last picture carried a time stamp
    bool restartedAtStart = true; // the decoder was last restarted at the beginning of the file
    // Subtracted from every index: containers that store decoding times only
    // (AVI) stamp each picture late by the decoder's reordering delay.
    int64_t indexOffset = 0;
    // Packets of frames before this index that no other frame refers to are
    // dropped by the decoder (skip_frame); no frame is skipped at the minimum.
    int64_t skipBefore = std::numeric_limits<int64_t>::min();

    // Frames by index, kept around the current position. The cv::Mat
    // handles share their pixels with the images handed out.
    std::map<int64_t, CachedFrame> cache;
    size_t cacheBytes = 0;
    size_t capacity = 0;
    std::vector<cv::Mat> outputs;  // conversion targets, reused when nobody else holds them
    size_t nextOutput = 0;         // the one replaced when all are held

    void open(const QString &path, int threads);
    CodecContextPtr openDecoder(int threads, QString *reason) const;
    void reset();
    bool probeVariableRate();
    bool rewind();

    int64_t indexOf(const AVFrame *frame) const;
    int64_t seekTimeOf(int64_t index) const;
    int64_t keyFrameBefore(int64_t index) const;

    bool feedPacket();
    bool receivePicture();
    bool preferForward(int64_t target) const;
    Outcome decodeUntil(int64_t target, bool checkLanding, cv::Mat &out, int64_t &index);
    Outcome seekAndDecode(int64_t target, cv::Mat &out, int64_t &index);
    bool restartAt(int64_t timestamp, bool backward);

    bool prepareScaler(const AVFrame *frame);
    cv::Mat convert(const AVFrame *frame);
    cv::Mat outputImage(int width, int height);
    void rememberPicture(int64_t index, const AVFrame *decoded, int64_t centre);
    cv::Mat cached(int64_t index);
    void trimCache(int64_t centre);
};

void FFGrabber::Impl::open(const QString &path, int threads)
{
    RetainFrameMemory();
    const QByteArray localPath = QFile::encodeName(path);
    shownPath = QDir::toNativeSeparators(path);

    AVFormatContext *opened = nullptr;
    if (const int result = avformat_open_input(&opened, localPath.constData(), nullptr, nullptr); result != 0) {
        // avformat_open_input frees what it allocated.
        error = tr("%1 cannot be opened: %2.").arg(shownPath, errorText(result));
        return;
    }
    format.reset(opened);
    if (const int result = avformat_find_stream_info(format.get(), nullptr); result < 0) {
        format.reset();
        error = tr("%1 cannot be read as a video: %2.").arg(shownPath, errorText(result));
        return;
    }
    av_dump_format(format.get(), 0, localPath.constData(), 0);

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream *candidate = format->streams[i];
        if (candidate->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
            && !(candidate->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            videoStream = int(i);
            break;
        }
    }
    if (videoStream < 0) {
        error = tr("%1 holds no video stream.").arg(shownPath);
        return;
    }
    stream = format->streams[videoStream];
    // Only the video stream is read; the demuxer may skip the others' data.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != videoStream)
            format->streams[i]->discard = AVDISCARD_ALL;

    timeBase = stream->time_base;
    frameRate = stream->r_frame_rate;
    numberingRate = frameRate;
    if (numberingRate.num <= 0 || numberingRate.den <= 0)
        numberingRate = stream->avg_frame_rate;
    if (numberingRate.num <= 0 || numberingRate.den <= 0)
        numberingRate = AVRational{25, 1};
    startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    // The frame count: the stored one, else the duration (the stream's, or the
    // container's when the stream has none) times the frame rate, rounded to
    // the nearest frame.
    int64_t count = stream->nb_frames;
    if (count <= 0 && frameRate.num > 0 && frameRate.den > 0) {
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            count = av_rescale_q_rnd(stream->duration, timeBase, av_inv_q(frameRate), AV_ROUND_NEAR_INF);
        else if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            count = av_rescale_q_rnd(format->duration, AV_TIME_BASE_Q, av_inv_q(frameRate), AV_ROUND_NEAR_INF);
    }
    frameCount = int32_t(std::clamp<int64_t>(count, 0, std::numeric_limits<int32_t>::max()));

    CodecContextPtr context = openDecoder(threads, &error);
    if (!context)
        return;
    picture.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!picture || !packet) {
        error = tr("%1: out of memory.").arg(shownPath);
        return;
    }
    codec = std::move(context);
    decodingThreads = threads;
    capacity = cacheCapacity(codec->width, codec->height);

    // The frame times, from the packets alone (no decoding), then back to
    // the start.
    variableRate = probeVariableRate();
    if (!rewind()) {
        error = tr("%1 cannot be read from its start.").arg(shownPath);
        codec.reset();
        return;
    }

    // The first picture proves the file decodable and is kept for the first
    // read. AVI stores decoding times only: with B-frames every picture
    // carries the time of the packet that completed it, one reordering delay
    // late. The first picture of the file is frame 0, so the delay is
    // measured on it.
    primed = true;
    restartedAtStart = true;
    if (!receivePicture()) {
        error = readError ? tr("%1 holds no frame that can be decoded: %2.").arg(shownPath, errorText(readError))
                          : tr("%1 holds no frame.").arg(shownPath);
        codec.reset();
        frameCount = 0;
        return;
    }
    if (format->iformat && std::strcmp(format->iformat->name, "avi") == 0 && lastDecoded > 0
        && lastDecoded <= kMaxReorderDelay) {
        indexOffset = lastDecoded;
        lastDecoded = 0;
    }
    rememberPicture(lastDecoded, picture.get(), lastDecoded);
    readError = 0;
}

// Whether the durations of the first frames vary, judged on the presentation
// times of the first packets (the decoding times where those are missing).
bool FFGrabber::Impl::probeVariableRate()
{
    std::vector<int64_t> presentation;
    std::vector<int64_t> decoding;
    bool allTimed = true;
    bool ended = false;
    while (int(decoding.size()) < kRateProbeFrames) {
        if (av_read_frame(format.get(), packet.get()) < 0) {
            ended = true;
            break;
        }
        if (packet->stream_index == videoStream) {
            allTimed = allTimed && packet->pts != AV_NOPTS_VALUE;
            if (packet->pts != AV_NOPTS_VALUE)
                presentation.push_back(packet->pts);
            if (packet->dts != AV_NOPTS_VALUE)
                decoding.push_back(packet->dts);
        }
        av_packet_unref(packet.get());
    }
    std::vector<int64_t> &times = allTimed ? presentation : decoding;
    std::sort(times.begin(), times.end());
    // Frames shown before the last packets read may still be missing from
    // the end of the list (reordering): leave the end out unless all was read.
    if (!ended && times.size() > size_t(4 * kMaxReorderDelay))
        times.resize(times.size() - size_t(kMaxReorderDelay));
    std::vector<int64_t> durations;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1])
            durations.push_back(times[i] - times[i - 1]);
    if (durations.size() < 2)
        return false;
    std::vector<int64_t> sorted = durations;
    std::nth_element(sorted.begin(), sorted.begin() + ptrdiff_t(sorted.size() / 2), sorted.end());
    const double typical = double(sorted[sorted.size() / 2]);
    // Times in coarse units (milliseconds, say) are off by up to one unit.
    const double tolerance = std::max(typical * kRateTolerance, 1.0);
    return std::any_of(durations.begin(), durations.end(),
                       [&](int64_t duration) { return std::abs(double(duration) - typical) > tolerance; });
}

// Puts the demuxer and the decoder back at the start of the file.
bool FFGrabber::Impl::rewind()
{
    if (av_seek_frame(format.get(), videoStream, startTime, AVSEEK_FLAG_BACKWARD) < 0
        && av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
        return false;
    avcodec_flush_buffers(codec.get());
    inputEnded = false;
    decoderEnded = false;
    lastDecoded = -1;
    picturesSinceRestart = 0;
    return true;
}

// A decoder for the video stream with `threads` frame threads; null, with
// the reason in `reason`, when there is none or it cannot be opened.
CodecContextPtr FFGrabber::Impl::openDecoder(int threads, QString *reason) const
{
    const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) {
        std::fprintf(stderr, "Unsupported codec!\n");
        *reason = tr("%1: no decoder for its video codec (%2).")
                    .arg(shownPath, QString::fromLatin1(avcodec_get_name(stream->codecpar->codec_id)));
        return nullptr;
    }
    CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) {
        *reason = tr("%1: the decoder cannot be set up.").arg(shownPath);
        return nullptr;
    }
    context->pkt_timebase = timeBase;
    context->thread_count = threads;
    if (const int result = avcodec_open2(context.get(), decoder, nullptr); result < 0) {
        *reason = tr("%1: the %2 decoder cannot be opened: %3.")
                    .arg(shownPath, QString::fromLatin1(decoder->name), errorText(result));
        return nullptr;
    }
    return context;
}

void FFGrabber::Impl::reset()
{
    cache.clear();
    cacheBytes = 0;
    outputs.clear();
    scaler.reset();
    packet.reset();
    picture.reset();
    codec.reset();
    format.reset();
    stream = nullptr;
    videoStream = -1;
    frameCount = 0;
    primed = false;
}

int64_t FFGrabber::Impl::indexOf(const AVFrame *frame) const
{
    int64_t timestamp = frame->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = frame->pts;
    if (timestamp == AV_NOPTS_VALUE)
        return lastDecoded + 1;  // no time at all: count on from the previous picture
    return av_rescale_q_rnd(timestamp - startTime, timeBase, av_inv_q(numberingRate), AV_ROUND_NEAR_INF)
           - indexOffset;
}

// The middle of frame `index` in stream time-base units: a backward seek to it
// finds the key frame at or before the frame even when the container rounded
// the frame's own time stamp up.
int64_t FFGrabber::Impl::seekTimeOf(int64_t index) const
{
    const AVRational halfFrame{numberingRate.den, 2 * numberingRate.num};
    return startTime + av_rescale_q_rnd(2 * index + 1, halfFrame, timeBase, AV_ROUND_DOWN);
}

// The index of the key frame the demuxer's index lists at or before frame
// `index`, or -1 when the index says nothing. Some containers index decoding
// times, so this is an estimate within the decoder's reordering delay.
int64_t FFGrabber::Impl::keyFrameBefore(int64_t index) const
{
    const AVIndexEntry *entry =
        avformat_index_get_entry_from_timestamp(stream, seekTimeOf(index), AVSEEK_FLAG_BACKWARD);
    if (!entry || entry->timestamp == AV_NOPTS_VALUE)
        return -1;
    return av_rescale_q_rnd(entry->timestamp - startTime, timeBase, av_inv_q(numberingRate), AV_ROUND_NEAR_INF);
}

// Sends the next video packet to the decoder; false at the end of the input.
bool FFGrabber::Impl::feedPacket()
{
    for (;;) {
        if (const int result = av_read_frame(format.get(), packet.get()); result < 0) {
            if (result != AVERROR_EOF)
                readError = result;
            return false;
        }
        if (packet->stream_index != videoStream) {
            av_packet_unref(packet.get());
            continue;
        }
        if (awaitingKey) {
            // Demuxers without a key-frame index (MPEG-TS, for one) may land
            // between key frames; what precedes the next key frame cannot be
            // decoded. Streams that flag no key frames at all are taken as they come.
            if (!(packet->flags & AV_PKT_FLAG_KEY) && ++packetsWithoutKey < kMaxPacketsWithoutKey) {
                av_packet_unref(packet.get());
                continue;
            }
            awaitingKey = false;
            landingTime = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        }
        // Frames before the stretch a target needs decoded are decoded only
        // if others refer to them. Packets without a presentation time are
        // always decoded: their frame is unknown.
        const bool skippable = packet->pts != AV_NOPTS_VALUE
                               && av_rescale_q_rnd(packet->pts - startTime, timeBase, av_inv_q(numberingRate),
                                                   AV_ROUND_NEAR_INF) - indexOffset < skipBefore;
        codec->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        // A damaged packet is dropped; the decoder resynchronises on the next ones.
        avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        return true;
    }
}

// Takes the decoder's next picture into `picture` and sets `lastDecoded`;
// false once the decoder has put out everything, delayed pictures included.
bool FFGrabber::Impl::receivePicture()
{
    while (!decoderEnded) {
        const int result = avcodec_receive_frame(codec.get(), picture.get());
        if (result == 0) {
            lastTimed = picture->best_effort_timestamp != AV_NOPTS_VALUE || picture->pts != AV_NOPTS_VALUE;
            lastDecoded = indexOf(picture.get());
            ++picturesSinceRestart;
            failedPictures = 0;
            return true;
        }
        if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
            // A picture that cannot be decoded; the following ones may be fine.
            readError = result;
            if (++failedPictures < kMaxFailedPictures)
                continue;
        }
        if (result != AVERROR(EAGAIN) || inputEnded) {
            decoderEnded = true;
            break;
        }
        if (!feedPacket()) {
            inputEnded = true;
            avcodec_send_packet(codec.get(), nullptr);  // drain the delayed pictures
        }
    }
    return false;
}

// Whether decoding on from the decoder's current state reaches `target` more
// cheaply than a seek.
bool FFGrabber::Impl::preferForward(int64_t target) const
{
    if (!primed || target <= lastDecoded)
        return false;
    const int64_t distance = target - lastDecoded;
    if (decoderEnded || distance <= kShortForward)
        return true;
    const int64_t key = keyFrameBefore(target);
    if (key < 0)
        return distance <= kForwardWithoutIndex;
    // No key frame in between: a seek would land at or before where the decoder is.
    return key <= lastDecoded + 1 || distance <= target - key + kShortForward;
}

// Decodes until a picture of index >= `target` comes out and converts it.
// Pictures shortly before the target are cached on the way.
// With `checkLanding`, a first picture already past the target means the seek
// landed too late.
Outcome FFGrabber::Impl::decodeUntil(int64_t target, bool checkLanding, cv::Mat &out, int64_t &index)
{
    bool first = checkLanding;
    while (receivePicture()) {
        const int64_t current = lastDecoded;
        // A first picture without a time stamp cannot be placed after a seek
        // into the middle of the file (the last pictures of an AVI with
        // B-frames carry none): as good as landing too late.
        if (first && (current > target || (!lastTimed && !restartedAtStart)))
            return Outcome::TooLate;
        first = false;
        if (current >= target) {
            out = convert(picture.get());
            if (out.empty())
                return Outcome::Ended;
            rememberPicture(current, picture.get(), current);
            index = current;
            return Outcome::Found;
        }
        if (current > target - int64_t(capacity))
            rememberPicture(current, picture.get(), target);
    }
    return Outcome::Ended;
}

// Repositions the demuxer and resets the decoder; false when the demuxer
// cannot seek there.
bool FFGrabber::Impl::restartAt(int64_t timestamp, bool backward)
{
    restartedAtStart = timestamp <= startTime;
    if (av_seek_frame(format.get(), videoStream, timestamp, backward ? AVSEEK_FLAG_BACKWARD : 0) < 0)
        return false;
    avcodec_flush_buffers(codec.get());
    primed = true;
    lastDecoded = -1;
    inputEnded = false;
    decoderEnded = false;
    awaitingKey = true;
    packetsWithoutKey = 0;
    landingTime = AV_NOPTS_VALUE;
    picturesSinceRestart = 0;
    return true;
}

// Seeks to a key frame at or before `target` and decodes forward to it. When
// the first picture after the seek is already past the target (containers
// indexing decoding times, open GOPs whose leading pictures cannot be decoded
// after a seek, demuxers landing between key frames), the seek is retried
// before the key frame it landed on, stepping back further each time.
Outcome FFGrabber::Impl::seekAndDecode(int64_t target, cv::Mat &out, int64_t &index)
{
    const int64_t frameTicks = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(numberingRate), timeBase));
    int64_t timestamp = seekTimeOf(target);
    for (int attempt = 0; attempt < kSeekRetries && timestamp > startTime - frameTicks; ++attempt) {
        if (!restartAt(timestamp, true))
            break;
        const Outcome outcome = decodeUntil(target, true, out, index);
        // Ending without a single picture means the seek landed after the
        // last key frame (between key frames, on a demuxer without an index).
        if (outcome == Outcome::Found || (outcome == Outcome::Ended && picturesSinceRestart > 0))
            return outcome;
        int64_t earlier = timestamp - (frameTicks << attempt);
        if (landingTime != AV_NOPTS_VALUE)
            earlier = std::min(earlier, landingTime - 1);
        timestamp = earlier;
    }
    // Decode from the very beginning (the first key frame at or after a time
    // well before the start); whatever comes first at or after the target is
    // the best there is.
    const int64_t wellBeforeStart = startTime - av_rescale_q(10, AVRational{1, 1}, timeBase);
    if (!restartAt(wellBeforeStart, false) && !restartAt(startTime, true)) {
        primed = false;
        return Outcome::Ended;
    }
    return decodeUntil(target, false, out, index);
}

bool FFGrabber::Impl::prepareScaler(const AVFrame *frame)
{
    bool fullRange = false;
    const AVPixelFormat source = withoutFullRange(AVPixelFormat(frame->format), &fullRange);
    fullRange = fullRange || frame->color_range == AVCOL_RANGE_JPEG;
    if (scaler && scalerWidth == frame->width && scalerHeight == frame->height && scalerFormat == source
        && scalerFullRange == fullRange)
        return true;

    // Same size in and out: the scaler only converts to BGR, in horizontal
    // slices on every core, so that a step onto a cached frame takes a
    // fraction of a single-threaded conversion.
    scaler.reset(sws_alloc_context());
    if (!scaler)
        return false;
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    av_opt_set_int(scaler.get(), "srcw", frame->width, 0);
    av_opt_set_int(scaler.get(), "srch", frame->height, 0);
    av_opt_set_int(scaler.get(), "src_format", source, 0);
    av_opt_set_int(scaler.get(), "dstw", frame->width, 0);
    av_opt_set_int(scaler.get(), "dsth", frame->height, 0);
    av_opt_set_int(scaler.get(), "dst_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(scaler.get(), "sws_flags", SWS_FAST_BILINEAR, 0);
    av_opt_set_int(scaler.get(), "threads", threads, 0);
    if (sws_init_context(scaler.get(), nullptr, nullptr) < 0) {
        scaler.reset();
        return false;
    }
    scalerWidth = frame->width;
    scalerHeight = frame->height;
    scalerFormat = source;
    scalerFullRange = fullRange;
    if (fullRange) {
        // Full-range sources use the ITU-R BT.601 coefficients over 0..255.
        int *inverseTable = nullptr;
        int *table = nullptr;
        int sourceRange = 0;
        int destinationRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        sws_getColorspaceDetails(scaler.get(), &inverseTable, &sourceRange, &table, &destinationRange, &brightness,
                                 &contrast, &saturation);
        const int *coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(scaler.get(), coefficients, 1, coefficients, destinationRange, brightness, contrast,
                                 saturation);
    }
    return true;
}

cv::Mat FFGrabber::Impl::convert(const AVFrame *frame)
{
    if (frame->width <= 0 || frame->height <= 0 || !prepareScaler(frame))
        return {};
    cv::Mat image = outputImage(frame->width, frame->height);
    // The scaler writes into the image through a frame that borrows its pixels.
    FramePtr target(av_frame_alloc());
    if (!target)
        return {};
    target->format = AV_PIX_FMT_BGR24;
    target->width = frame->width;
    target->height = frame->height;
    target->data[0] = image.data;
    target->linesize[0] = int(image.step[0]);
    target->buf[0] = av_buffer_create(image.data, image.total() * image.elemSize(),
                                      [](void *, uint8_t *) {}, nullptr, 0);
    if (!target->buf[0] || sws_scale_frame(scaler.get(), target.get(), frame) < 0 || target->data[0] != image.data)
        return {};
    return image;
}

// A BGR image of `width` x `height` that nobody but this source holds.
cv::Mat FFGrabber::Impl::outputImage(int width, int height)
{
    for (const cv::Mat &image : outputs)
        if (image.u && image.u->refcount == 1 && image.cols == width && image.rows == height)
            return image;
    cv::Mat image(height, width, CV_8UC3);
    if (outputs.size() < kOutputImages) {
        outputs.push_back(image);
    } else {
        outputs[nextOutput] = image;
        nextOutput = (nextOutput + 1) % kOutputImages;
    }
    return image;
}

// Adds a new reference to a decoded picture to the cache.
void FFGrabber::Impl::rememberPicture(int64_t index, const AVFrame *decoded, int64_t centre)
{
    const size_t bytes = pictureBytes(decoded);
    if (capacity == 0 || bytes > kCacheByteLimit || cache.count(index))
        return;
    FramePtr reference(av_frame_alloc());
    if (!reference || av_frame_ref(reference.get(), decoded) < 0)
        return;
    CachedFrame &entry = cache[index];
    entry.picture = std::move(reference);
    entry.bytes = bytes;
    cacheBytes += bytes;
    trimCache(centre);
}

// The cached frame of `index` as a BGR image; empty when it is not cached.
cv::Mat FFGrabber::Impl::cached(int64_t index)
{
    const auto found = cache.find(index);
    if (found == cache.end() || !found->second.picture)
        return {};
    return convert(found->second.picture.get());
}

// Evicts the frames farthest from `centre` until both bounds hold.
void FFGrabber::Impl::trimCache(int64_t centre)
{
    while (!cache.empty() && (cache.size() > capacity || cacheBytes > kCacheByteLimit)) {
        const auto lowest = cache.begin();
        const auto highest = std::prev(cache.end());
        const auto victim = (centre - lowest->first) >= (highest->first - centre) ? lowest : highest;
        cacheBytes -= victim->second.bytes;
        cache.erase(victim);
    }
}

FFGrabber::FFGrabber(const QString &path, int decodingThreads)
    : d(std::make_unique<Impl>())
{
    d->open(path, decodingThreads > 0 ? decodingThreads : defaultDecodingThreads());
}

FFGrabber::~FFGrabber() = default;

FrameSize FFGrabber::getSize()
{
    if (!d->codec)
        return {};
    return {d->codec->width, d->codec->height};
}

int32_t FFGrabber::getFrameCount()
{
    return d->codec ? d->frameCount : 0;
}

FFGrabber &FFGrabber::operator>>(cv::Mat &frame)
{
    if (!d->codec) {
        d->last = ReadResult::Error;
        return *this;
    }
    const int64_t target = d->wanted;
    d->readError = 0;
    cv::Mat image;
    int64_t index = target;
    Outcome outcome = Outcome::Ended;
    if (image = d->cached(target); !image.empty()) {
        outcome = Outcome::Found;
    } else {
        // Only the last stretch before the target is decoded in full.
        d->skipBefore = target - std::min<int64_t>(kDecodedBeforeTarget, int64_t(d->capacity));
        if (d->preferForward(target))
            outcome = d->decodeUntil(target, false, image, index);
        else
            outcome = d->seekAndDecode(target, image, index);
        d->skipBefore = std::numeric_limits<int64_t>::min();
    }
    if (outcome != Outcome::Found) {
        if (d->readError) {
            d->last = ReadResult::Error;
            d->error = tr("Frame %1 of %2 cannot be read: %3.")
                           .arg(target + 1)
                           .arg(d->shownPath, errorText(d->readError));
        } else {
            d->last = ReadResult::EndOfStream;
            // The container promised more frames than there are.
            if (d->primed && d->decoderEnded && d->lastDecoded >= 0 && d->lastDecoded + 1 < d->frameCount)
                d->frameCount = int32_t(d->lastDecoded + 1);
        }
        if (!d->endReported)
            qDebug("video ended!");
        d->endReported = true;
        return *this;
    }
    d->last = ReadResult::Delivered;
    d->error.clear();
    // A count estimated from the duration may fall short.
    if (d->frameCount > 0 && index >= d->frameCount && index < std::numeric_limits<int32_t>::max())
        d->frameCount = int32_t(index + 1);
    frame = image;
    d->position = index + 1;
    d->wanted = index + 1;
    return *this;
}

void FFGrabber::seek(int32_t frameIndex)
{
    // The decoder is repositioned by the next read. A source that is not
    // open stays at 0.
    d->wanted = d->codec ? ClampFrameTarget(frameIndex, getFrameCount()) : 0;
    d->position = d->wanted;
    d->endReported = false;
}

void FFGrabber::skip(int32_t delta)
{
    if (delta == 0)
        return;
    seek(ClampFrameTarget(d->position + delta, getFrameCount()));
}

float FFGrabber::getFps()
{
    if (!d->codec || d->frameRate.den == 0)
        return 0.0f;
    return float(d->frameRate.num) / float(d->frameRate.den);
}

int32_t FFGrabber::getPosition()
{
    return int32_t(std::clamp<int64_t>(d->position, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

void FFGrabber::close()
{
    d->reset();
}

bool FFGrabber::isOpen() const
{
    return d->codec != nullptr;
}

QString FFGrabber::errorString() const
{
    return d->error;
}

ReadResult FFGrabber::lastRead() const
{
    return d->last;
}

bool FFGrabber::hasVariableFrameRate() const
{
    return d->variableRate;
}

size_t FFGrabber::cachedFrames() const
{
    return d->cache.size();
}

size_t FFGrabber::cachedBytes() const
{
    return d->cacheBytes;
}

size_t FFGrabber::cacheCapacity(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    return std::min(kCacheFrameLimit, kCacheByteLimit / frameBytes);
}

size_t FFGrabber::setCacheLimit(size_t frames)
{
    if (!d->codec)
        return 0;
    const size_t previous = d->capacity;
    d->capacity = std::min(frames, cacheCapacity(d->codec->width, d->codec->height));
    d->trimCache(d->wanted);
    return previous;
}

int FFGrabber::defaultDecodingThreads()
{
    // Frame threads wait for the pictures they refer to; with about twice as
    // many threads as cores the cores stay busy (on two cores, six threads
    // seek 15 % faster than FFmpeg's default of three).
    return std::clamp(2 * int(std::thread::hardware_concurrency()) + 2, 4, 16);
}

int FFGrabber::setDecodingThreads(int threads)
{
    if (!d->codec)
        return 0;
    const int previous = d->decodingThreads;
    threads = threads > 0 ? threads : defaultDecodingThreads();
    if (threads == previous)
        return previous;
    QString reason;
    CodecContextPtr context = d->openDecoder(threads, &reason);
    if (!context)
        return previous;
    // Cached pictures hold their own references and stay valid; the new
    // decoder starts with nothing, so the next read seeks.
    d->codec = std::move(context);
    d->decodingThreads = threads;
    d->primed = false;
    d->lastDecoded = -1;
    d->inputEnded = false;
    d->decoderEnded = false;
    return previous;
}
