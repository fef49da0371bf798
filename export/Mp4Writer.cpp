#include "Mp4Writer.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Mp4Writer", text);
}

struct FormatContextFreer
{
    // An output context: closes its file (if open), then frees it.
    void operator()(AVFormatContext *context) const noexcept
    {
        if (!(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
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

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextFreer>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// The MPEG-4 Visual quantiser (2 is near transparent, 31 the coarsest).
constexpr int kMpeg4Quantiser = 3;
// The largest numerator and denominator of the frame rate's fraction. MPEG-4
// Visual allows at most 65535 as its time base's denominator, the rate's numerator.
constexpr int kRateDenominator = 1001000;
constexpr int kMpeg4MaxTimeBase = 65535;

QString errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

const char *encoderName(Mp4Codec codec)
{
    return codec == Mp4Codec::H264 ? "libx264" : "mpeg4";
}

// The encoder's own messages only repeat what errorString() tells (or are
// statistics): lowered from error to verbose, so that the program's
// standard error stays its own.
constexpr int kQuieter = AV_LOG_VERBOSE - AV_LOG_ERROR;

// An open encoder for `codec`, or null with FFmpeg's reason in `reason`.
CodecContextPtr openEncoder(Mp4Codec codec, cv::Size size, double fps, bool globalHeader, QString *reason)
{
    const AVCodec *encoder = avcodec_find_encoder_by_name(encoderName(codec));
    if (!encoder) {
        *reason = tr("FFmpeg has no %1 encoder").arg(QLatin1String(encoderName(codec)));
        return nullptr;
    }
    CodecContextPtr context(avcodec_alloc_context3(encoder));
    if (!context) {
        *reason = errorText(AVERROR(ENOMEM));
        return nullptr;
    }
    AVRational rate = av_d2q(fps, kRateDenominator);
    if (codec == Mp4Codec::Mpeg4 && rate.num > kMpeg4MaxTimeBase)
        rate = av_d2q(fps, kMpeg4MaxTimeBase);
    if (rate.num <= 0 || rate.den <= 0) {
        *reason = tr("%1 frames per second cannot be written").arg(fps);
        return nullptr;
    }
    context->log_level_offset = kQuieter;
    context->width = size.width;
    context->height = size.height;
    context->sample_aspect_ratio = AVRational{1, 1};
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->framerate = rate;
    context->time_base = av_inv_q(rate);
    // swscale's BGR to YUV conversion: ITU-R BT.601 coefficients, limited range.
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->thread_count = 0;  // as many as the encoder finds useful
    if (globalHeader)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *options = nullptr;
    if (codec == Mp4Codec::H264) {
        // What `ffmpeg -c:v libx264 -preset veryfast` gives: x264's own
        // constant-quality rate control at its default, CRF 23.
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "23", 0);
    } else {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = kMpeg4Quantiser * FF_QP2LAMBDA;
    }
    const int opened = avcodec_open2(context.get(), encoder, &options);
    // Options the encoder did not take stay in the dictionary.
    const bool unused = av_dict_count(options) > 0;
    av_dict_free(&options);
    if (opened < 0) {
        *reason = errorText(opened);
        return nullptr;
    }
    if (unused) {
        *reason = tr("the encoder does not take its preset");
        return nullptr;
    }
    return context;
}

}  // namespace

struct Mp4Writer::Output
{
    CodecContextPtr encoder;
    FormatContextPtr format;
    AVStream *stream = nullptr;  // owned by `format`
    ScalerPtr scaler;
    FramePtr bgr;      // borrows the pixels of the frame being written
    FramePtr picture;  // the converted frame handed to the encoder
    PacketPtr packet;
};

QString mp4CodecName(Mp4Codec codec)
{
    return codec == Mp4Codec::H264 ? QStringLiteral("h264") : QStringLiteral("mpeg4");
}

cv::Size evenFrameSize(cv::Size size)
{
    const cv::Size even(size.width & ~1, size.height & ~1);
    if (even.width < 2 || even.height < 2)
        return {};
    return even;
}

Mp4Writer::Mp4Writer() = default;

Mp4Writer::~Mp4Writer()
{
    if (out_ && !finished_)
        finish();
}

bool Mp4Writer::isOpen() const
{
    return out_ != nullptr;
}

bool Mp4Writer::fail(const QString &what, int error)
{
    error_ = tr("%1 \"%2\" failed: %3").arg(what, path_, errorText(error));
    failed_ = true;
    return false;
}

bool Mp4Writer::open(const QString &path, cv::Size size, double fps, const std::vector<Mp4Codec> &codecs)
{
    error_.clear();
    if (out_ || finished_) {
        error_ = tr("the writer has already been opened");
        return false;
    }
    if (size.width < 2 || size.height < 2 || size.width % 2 || size.height % 2) {
        error_ = tr("a video frame size must be even and at least 2 x 2, not %1 x %2")
                     .arg(size.width)
                     .arg(size.height);
        return false;
    }
    if (!std::isfinite(fps) || fps <= 0.0) {
        error_ = tr("the frame rate must be positive, not %1").arg(fps);
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    auto out = std::make_unique<Output>();
    {
        AVFormatContext *format = nullptr;
        const int made = avformat_alloc_output_context2(&format, nullptr, "mp4", name.constData());
        if (made < 0 || !format) {
            error_ = tr("cannot prepare \"%1\" as MP4: %2").arg(path, errorText(made < 0 ? made : AVERROR(ENOMEM)));
            return false;
        }
        out->format.reset(format);
    }

    const bool globalHeader = out->format->oformat->flags & AVFMT_GLOBALHEADER;
    QStringList reasons;
    for (Mp4Codec codec : codecs) {
        QString reason;
        out->encoder = openEncoder(codec, size, fps, globalHeader, &reason);
        if (out->encoder) {
            codec_ = codec;
            break;
        }
        reasons << tr("%1: %2").arg(mp4CodecName(codec), reason);
    }
    if (!out->encoder) {
        error_ = tr("cannot write \"%1\" as MP4 at %2 x %3 (%4)")
                     .arg(path)
                     .arg(size.width)
                     .arg(size.height)
                     .arg(reasons.isEmpty() ? tr("no codec asked for") : reasons.join(QStringLiteral("; ")));
        return false;
    }
    AVCodecContext *encoder = out->encoder.get();

    out->stream = avformat_new_stream(out->format.get(), nullptr);
    if (!out->stream) {
        error_ = tr("cannot prepare \"%1\" as MP4: %2").arg(path, errorText(AVERROR(ENOMEM)));
        return false;
    }
    if (const int copied = avcodec_parameters_from_context(out->stream->codecpar, encoder); copied < 0) {
        error_ = tr("cannot prepare \"%1\" as MP4: %2").arg(path, errorText(copied));
        return false;
    }
    out->stream->codecpar->codec_tag =
        codec_ == Mp4Codec::H264 ? MKTAG('a', 'v', 'c', '1') : MKTAG('m', 'p', '4', 'v');
    out->stream->time_base = encoder->time_base;  // the muxer may refine it
    out->stream->avg_frame_rate = encoder->framerate;
    out->stream->r_frame_rate = encoder->framerate;

    // The scaler converts in horizontal slices on every core.
    out->scaler.reset(sws_alloc_context());
    out->bgr.reset(av_frame_alloc());
    out->picture.reset(av_frame_alloc());
    out->packet.reset(av_packet_alloc());
    if (!out->scaler || !out->bgr || !out->picture || !out->packet) {
        error_ = tr("cannot prepare \"%1\" as MP4: %2").arg(path, errorText(AVERROR(ENOMEM)));
        return false;
    }
    SwsContext *scaler = out->scaler.get();
    av_opt_set_int(scaler, "srcw", size.width, 0);
    av_opt_set_int(scaler, "srch", size.height, 0);
    av_opt_set_int(scaler, "src_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(scaler, "dstw", size.width, 0);
    av_opt_set_int(scaler, "dsth", size.height, 0);
    av_opt_set_int(scaler, "dst_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(scaler, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(scaler, "threads", std::clamp(int(std::thread::hardware_concurrency()), 1, 8), 0);
    if (const int ready = sws_init_context(scaler, nullptr, nullptr); ready < 0) {
        error_ = tr("cannot prepare the colour conversion for \"%1\": %2").arg(path, errorText(ready));
        return false;
    }
    AVFrame *picture = out->picture.get();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = size.width;
    picture->height = size.height;
    picture->color_range = encoder->color_range;
    picture->colorspace = encoder->colorspace;
    if (const int allocated = av_frame_get_buffer(picture, 0); allocated < 0) {
        error_ = tr("cannot prepare \"%1\" as MP4: %2").arg(path, errorText(allocated));
        return false;
    }

    if (const int created = avio_open(&out->format->pb, name.constData(), AVIO_FLAG_WRITE); created < 0) {
        error_ = tr("cannot create \"%1\": %2").arg(path, errorText(created));
        return false;
    }
    if (const int header = avformat_write_header(out->format.get(), nullptr); header < 0) {
        error_ = tr("cannot write the MP4 header of \"%1\": %2").arg(path, errorText(header));
        out.reset();
        QFile::remove(path);
        return false;
    }
    out_ = std::move(out);
    path_ = path;
    size_ = size;
    fps_ = fps;
    return true;
}

// Hands every packet the encoder has ready to the muxer.
static int drainPackets(AVCodecContext *encoder, AVFormatContext *format, AVStream *stream, AVPacket *packet)
{
    for (;;) {
        int got = avcodec_receive_packet(encoder, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return 0;
        if (got < 0)
            return got;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        // Takes the packet's data, whatever the outcome.
        if (const int written = av_interleaved_write_frame(format, packet); written < 0)
            return written;
        // The file's buffer is written out when full: a failed write shows here.
        if (format->pb && format->pb->error < 0)
            return format->pb->error;
    }
}

bool Mp4Writer::write(const cv::Mat &frame)
{
    if (!out_) {
        error_ = tr("the video file is not open for writing");
        return false;
    }
    if (failed_)
        return false;  // the first failure stays the reason
    if (frame.size() != size_ || frame.type() != CV_8UC3 || frame.step[0] > size_t(INT32_MAX)) {
        error_ = tr("a frame of %1 x %2 (type %3) cannot go into a video of %4 x %5")
                     .arg(frame.cols)
                     .arg(frame.rows)
                     .arg(frame.type())
                     .arg(size_.width)
                     .arg(size_.height);
        return false;
    }
    Output &out = *out_;
    AVFrame *picture = out.picture.get();
    // The encoder may still hold the previous picture (x264 copies it, others may not).
    if (const int writable = av_frame_make_writable(picture); writable < 0)
        return fail(tr("encoding frame %1 of").arg(written_), writable);

    // The scaler reads the frame through an AVFrame that borrows its pixels
    // (a frame without a buffer would be copied first).
    AVFrame *bgr = out.bgr.get();
    av_frame_unref(bgr);
    bgr->format = AV_PIX_FMT_BGR24;
    bgr->width = frame.cols;
    bgr->height = frame.rows;
    bgr->data[0] = frame.data;
    bgr->linesize[0] = int(frame.step[0]);
    bgr->buf[0] = av_buffer_create(frame.data, frame.step[0] * size_t(frame.rows), [](void *, uint8_t *) {},
                                   nullptr, AV_BUFFER_FLAG_READONLY);
    if (!bgr->buf[0])
        return fail(tr("encoding frame %1 of").arg(written_), AVERROR(ENOMEM));
    const int converted = sws_scale_frame(out.scaler.get(), picture, bgr);
    av_frame_unref(bgr);
    if (converted < 0)
        return fail(tr("converting frame %1 of").arg(written_), converted);

    picture->pts = written_;
    if (codec_ == Mp4Codec::Mpeg4)
        picture->quality = out.encoder->global_quality;
    if (const int sent = avcodec_send_frame(out.encoder.get(), picture); sent < 0)
        return fail(tr("encoding frame %1 of").arg(written_), sent);
    if (const int drained = drainPackets(out.encoder.get(), out.format.get(), out.stream, out.packet.get());
        drained < 0)
        return fail(tr("writing frame %1 to").arg(written_), drained);
    ++written_;
    return true;
}

bool Mp4Writer::finish()
{
    if (finished_)
        return finishedOk_;
    finished_ = true;
    if (!out_) {
        error_ = tr("the video file was never opened");
        return false;
    }
    // Closes the file and frees every FFmpeg object on every way out.
    const std::unique_ptr<Output> out = std::move(out_);
    if (failed_)
        return false;
    AVCodecContext *encoder = out->encoder.get();
    AVFormatContext *format = out->format.get();
    if (const int sent = avcodec_send_frame(encoder, nullptr); sent < 0)
        return fail(tr("completing"), sent);
    if (const int drained = drainPackets(encoder, format, out->stream, out->packet.get()); drained < 0)
        return fail(tr("completing"), drained);
    // Writes the index and flushes the file's buffer; tells its write errors.
    if (const int trailer = av_write_trailer(format); trailer < 0)
        return fail(tr("completing"), trailer);
    if (const int closed = avio_closep(&format->pb); closed < 0)
        return fail(tr("closing"), closed);
    finishedOk_ = true;
    return true;
}
