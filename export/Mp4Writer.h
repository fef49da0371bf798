#pragma once

#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cstdint>
#include <vector>

// The video codecs an MP4 export can be written with.
enum class Mp4Codec {
    H264,   // fourcc avc1, OpenCV's FFmpeg writer with libx264
    Mpeg4,  // fourcc mp4v, MPEG-4 part 2
};

// "h264" or "mpeg4", the names ffprobe gives the streams.
QString mp4CodecName(Mp4Codec codec);

// The frame size the file is written with for frames of `size`: each side
// rounded down to an even number, as H.264 and MPEG-4 in 4:2:0 chroma need
// (an odd side would make the encoder refuse the size or pad it silently).
// At least 2 x 2 pixels are needed; smaller sizes give 0 x 0.
cv::Size evenFrameSize(cv::Size size);

// An MP4 file being written through cv::VideoWriter (FFmpeg backend), colour
// frames, one codec for the whole file. The writer is released when the
// object goes: what was written until then is a valid, complete file.
// Nothing throws; every failure leaves its reason in errorString().
class Mp4Writer
{
public:
    Mp4Writer() = default;
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;

    // Creates (or replaces) `path` for BGR 8-bit frames of `size` (even
    // sides, at least 2 x 2) at `fps` frames per second (positive, finite),
    // with the first of `codecs` that OpenCV's writer can open. False with the
    // reason when the file cannot be created or no codec opens.
    bool open(const QString &path, cv::Size size, double fps,
              const std::vector<Mp4Codec> &codecs = {Mp4Codec::H264, Mp4Codec::Mpeg4});
    // Appends one frame: 8-bit BGR of exactly the size given to open(). A
    // frame of another size or type is refused (false), never handed on.
    bool write(const cv::Mat &frame);
    // Releases the writer, which completes the file, and checks the file:
    // it must exist, and the frames it holds (as the FFmpeg source counts
    // them) must be the frames written. False with the reason when not, e.g.
    // when the disk filled up (the writer itself does not tell). Further
    // calls return the first outcome.
    bool finish();

    bool isOpen() const { return writer_.isOpened(); }
    Mp4Codec codec() const { return codec_; }
    cv::Size frameSize() const { return size_; }
    double fps() const { return fps_; }
    int64_t framesWritten() const { return written_; }
    QString errorString() const { return error_; }

private:
    cv::VideoWriter writer_;
    QString path_;
    Mp4Codec codec_ = Mp4Codec::H264;
    cv::Size size_;
    double fps_ = 0.0;
    int64_t written_ = 0;
    QString error_;
    bool opened_ = false;    // open() succeeded
    bool finished_ = false;
    bool finishedOk_ = false;
};
