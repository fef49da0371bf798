#include "GifDecode.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace testmedia {

namespace {

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

std::optional<std::vector<cv::Mat>> failed(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<cv::Mat>> decodeGif(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *opened = nullptr;
    if (avformat_open_input(&opened, name.constData(), nullptr, nullptr) != 0)
        return failed(error, QStringLiteral("cannot open %1").arg(path));
    const std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return failed(error, QStringLiteral("no stream information in %1").arg(path));
    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (streamIndex < 0)
        return failed(error, QStringLiteral("no video in %1").arg(path));
    const AVCodecParameters *parameters = format->streams[streamIndex]->codecpar;
    const AVCodec *decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder)
        return failed(error, QStringLiteral("no decoder for %1").arg(path));
    const std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0
        || avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return failed(error, QStringLiteral("cannot open the decoder for %1").arg(path));

    const std::unique_ptr<AVFrame, FrameFreer> picture(av_frame_alloc());
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    std::vector<cv::Mat> frames;
    const auto receiveAll = [&]() -> bool {
        for (;;) {
            const int result = avcodec_receive_frame(codec.get(), picture.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0)
                return false;
            scaler.reset(sws_getContext(picture->width, picture->height, AVPixelFormat(picture->format),
                                        picture->width, picture->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr,
                                        nullptr, nullptr));
            if (!scaler)
                return false;
            cv::Mat image(picture->height, picture->width, CV_8UC3);
            uint8_t *planes[4] = {image.data, nullptr, nullptr, nullptr};
            int strides[4] = {int(image.step[0]), 0, 0, 0};
            sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, planes, strides);
            frames.push_back(image);
            av_frame_unref(picture.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == streamIndex;
        const bool sent = !ours || avcodec_send_packet(codec.get(), packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (!sent || !receiveAll())
            return failed(error, QStringLiteral("%1 cannot be decoded").arg(path));
    }
    avcodec_send_packet(codec.get(), nullptr);
    if (!receiveAll())
        return failed(error, QStringLiteral("%1 cannot be decoded").arg(path));
    return frames;
}

}  // namespace testmedia
