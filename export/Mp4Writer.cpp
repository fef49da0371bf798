#include "Mp4Writer.h"

#include "FrameSources.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {

int fourccOf(Mp4Codec codec)
{
    return codec == Mp4Codec::H264 ? cv::VideoWriter::fourcc('a', 'v', 'c', '1')
                                   : cv::VideoWriter::fourcc('m', 'p', '4', 'v');
}

}  // namespace

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

Mp4Writer::~Mp4Writer()
{
    try {
        writer_.release();
    } catch (const cv::Exception &) {
    }
}

bool Mp4Writer::open(const QString &path, cv::Size size, double fps, const std::vector<Mp4Codec> &codecs)
{
    error_.clear();
    if (opened_) {
        error_ = QStringLiteral("the writer is already open");
        return false;
    }
    if (size.width < 2 || size.height < 2 || size.width % 2 || size.height % 2) {
        error_ = QStringLiteral("a video frame size must be even and at least 2 x 2, not %1 x %2")
                     .arg(size.width)
                     .arg(size.height);
        return false;
    }
    if (!std::isfinite(fps) || fps <= 0.0) {
        error_ = QStringLiteral("the frame rate must be positive, not %1").arg(fps);
        return false;
    }
    // OpenCV only says "not opened": creating the file first tells a path that
    // cannot be written from a codec that is missing, with the system's reason.
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly)) {
            error_ = QStringLiteral("cannot create \"%1\": %2").arg(path, probe.errorString());
            return false;
        }
    }
    const std::string name = QFile::encodeName(path).toStdString();
    for (Mp4Codec codec : codecs) {
        try {
            // The FFmpeg backend only: another backend would pick its own container and codecs.
            if (writer_.open(name, cv::CAP_FFMPEG, fourccOf(codec), fps, size, true)) {
                codec_ = codec;
                size_ = size;
                fps_ = fps;
                path_ = path;
                opened_ = true;
                return true;
            }
        } catch (const cv::Exception &) {
        }
    }
    QFile::remove(path);
    QStringList names;
    for (Mp4Codec codec : codecs)
        names << mp4CodecName(codec);
    error_ = QStringLiteral("OpenCV cannot write \"%1\" as MP4 with %2 at %3 x %4")
                 .arg(path, names.join(QStringLiteral(" or ")))
                 .arg(size.width)
                 .arg(size.height);
    return false;
}

bool Mp4Writer::write(const cv::Mat &frame)
{
    if (!opened_ || finished_ || !writer_.isOpened()) {
        error_ = QStringLiteral("the video file is not open for writing");
        return false;
    }
    if (frame.size() != size_ || frame.type() != CV_8UC3) {
        error_ = QStringLiteral("a frame of %1 x %2 (type %3) cannot go into a video of %4 x %5")
                     .arg(frame.cols)
                     .arg(frame.rows)
                     .arg(frame.type())
                     .arg(size_.width)
                     .arg(size_.height);
        return false;
    }
    try {
        writer_.write(frame);
    } catch (const cv::Exception &e) {
        error_ = QStringLiteral("writing frame %1 failed: %2").arg(written_).arg(QString::fromUtf8(e.what()));
        return false;
    }
    ++written_;
    return true;
}

bool Mp4Writer::finish()
{
    if (finished_)
        return finishedOk_;
    finished_ = true;
    if (!opened_) {
        error_ = QStringLiteral("the video file was never opened");
        return false;
    }
    try {
        writer_.release();
    } catch (const cv::Exception &e) {
        error_ = QStringLiteral("completing \"%1\" failed: %2").arg(path_, QString::fromUtf8(e.what()));
        return false;
    }
    const QFileInfo info(path_);
    if (!info.isFile() || info.size() == 0) {
        error_ = QStringLiteral("\"%1\" was not written (is the disk full?)").arg(path_);
        return false;
    }
    // OpenCV drops the muxer's write errors: a full disk or a size limit
    // leaves a file without its index, or one that holds fewer frames.
    // Reading the file's own count back is what tells. A file without
    // frames has nothing to count.
    if (written_ > 0) {
        const auto check = CreateFrameSource(path_, FrameSourceKind::Ffmpeg);
        if (!check->isOpen()) {
            error_ = QStringLiteral("\"%1\" is not a readable video after writing (is the disk full?): %2")
                         .arg(path_, check->errorString());
            return false;
        }
        const int64_t count = check->getFrameCount();
        if (count != written_) {
            error_ = QStringLiteral("\"%1\" holds %2 frames instead of %3 (is the disk full?)")
                         .arg(path_)
                         .arg(count)
                         .arg(written_);
            return false;
        }
    }
    finishedOk_ = true;
    return true;
}
