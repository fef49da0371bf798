#pragma once

#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

// The video codecs an MP4 export can be written with.
enum class Mp4Codec {
    H264,   // FFmpeg's libx264 encoder, preset veryfast, CRF 23; tag avc1
    Mpeg4,  // FFmpeg's own MPEG-4 Visual encoder, fixed quantiser 3; tag mp4v
};

// "h264" or "mpeg4", the names ffprobe gives the streams.
QString mp4CodecName(Mp4Codec codec);

// The frame size the file is written with for frames of `size`: each side
// rounded down to an even number, as H.264 and MPEG-4 in 4:2:0 chroma need
// (an odd side would make the encoder refuse the size or pad it silently).
// At least 2 x 2 pixels are needed; smaller sizes give 0 x 0.
cv::Size evenFrameSize(cv::Size size);

// An MP4 file being written with FFmpeg's libraries: BGR frames converted to
// 4:2:0 YUV, one video stream, one codec for the whole file. The file is
// completed when the object goes, if finish() has not done it: what was
// written until then is a valid, complete file. Nothing throws; every failure
// leaves its reason in errorString(), naming the file and FFmpeg's reason.
class Mp4Writer
{
public:
    Mp4Writer();
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;

    // Creates (or replaces) `path` for BGR 8-bit frames of `size` (even
    // sides, at least 2 x 2) at `fps` frames per second (positive, finite),
    // with the first of `codecs` whose encoder opens. False with the reason
    // when no codec opens or the file cannot be created; no file is left then.
    bool open(const QString &path, cv::Size size, double fps,
              const std::vector<Mp4Codec> &codecs = {Mp4Codec::H264, Mp4Codec::Mpeg4});
    // Converts and encodes one frame: 8-bit BGR of exactly the size given to
    // open(); a frame of another size or type is refused. False as soon as
    // the encoder or the file fails (e.g. a full disk), and from then on.
    bool write(const cv::Mat &frame);
    // Drains the encoder, writes the file's index and closes it. False with
    // the reason when any of it fails. Further calls return the first outcome.
    bool finish();

    bool isOpen() const;
    Mp4Codec codec() const { return codec_; }
    cv::Size frameSize() const { return size_; }
    double fps() const { return fps_; }
    int64_t framesWritten() const { return written_; }
    QString errorString() const { return error_; }

private:
    struct Output;
    bool fail(const QString &what, int error);

    std::unique_ptr<Output> out_;
    QString path_;
    Mp4Codec codec_ = Mp4Codec::H264;
    cv::Size size_;
    double fps_ = 0.0;
    int64_t written_ = 0;
    QString error_;
    bool failed_ = false;    // write() failed: the file is broken
    bool finished_ = false;
    bool finishedOk_ = false;
};
