#include "AviGrabber.h"
#include "FrameMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <limits>
#include <optional>

// Frame numbering is kept by this class, not by the capture: `position` is
// the index of the frame the next read delivers. The capture itself is moved
// lazily: seek() and skip() only change `position`, and a read first brings
// the capture to that frame (placeCapture), choosing the cheapest exact way:
//
// - it is already there (sequential reading);
// - it is a little behind: read forward (cheaper than any seek, which decodes
//   from the preceding key frame anyway, and exact for every format);
// - the target is near the start: open the file again and read forward;
// - otherwise the capture's own seek (CAP_PROP_POS_FRAMES), accepted only when
//   the capture then reports the target as its position. OpenCV's FFmpeg
//   backend seeks exactly in MP4, MKV/WebM and AVI files, but in MPEG
//   transport and program streams, and in files without a duration, it can
//   land elsewhere; it then reports that. Such a file is marked, and from then
//   on every seek goes to an earlier frame (further back on each failed try,
//   down to reopening the file) and reads forward to the target.
//
// One wrong landing is not reported: when even a seek to the start of the
// stream lands on a later frame L (the first key frame such a demuxer finds),
// the capture gives up and reports L itself, which for a target of exactly L
// looks right although the next read delivers L + 1. So before the first
// capture seek the source asks for frame 2 once: the capture either reports 2
// or reveals L, and targets up to L are then reached by reading from the start.
//
// The frame count comes from the capture. When it has none (a live-written
// MKV/WebM or a raw stream carries no duration), a RIFF AVI file's main
// header is asked, and failing that the frames are counted by reading the file
// once when it is opened: exact, at the price of one decoding pass. A count
// the container overstates (a duration set by a longer audio stream) is
// corrected when reading runs into the real end.

namespace {

// Up to this many frames ahead, reading forward beats seeking.
constexpr int32_t kReadAheadFrames = 32;
// Factor by which the step back grows after a seek that landed wrong.
constexpr int32_t kBackOffGrowth = 8;
// Capture rate requested after reads and seeks; the FFmpeg backend ignores it.
constexpr double kRequestedRate = 25.0;
// Capture frame rates above this are not plausible (raw streams report 1.2e6).
constexpr double kMaxPlausibleFps = 1000.0;
constexpr int32_t kUnknown = -1;

// A capture property as a count or a size: backends answer 0, a negative
// number or garbage when they do not know, all of which mean "unknown" (0).
int32_t toCount(double value)
{
    if (!std::isfinite(value) || value < 1.0 || value > double(std::numeric_limits<int32_t>::max()))
        return 0;
    return int32_t(value);
}

} // namespace

// The total frame count (dwTotalFrames, bytes 48..51, little-endian) of a RIFF
// AVI file's main header. 0 for a file that is not such a file; nullopt when
// the file cannot be opened at all.
std::optional<uint32_t> AviGrabber::headerFrameCount(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::array<char, 52> header{};
    in.read(header.data(), std::streamsize(header.size()));
    if (in.gcount() != std::streamsize(header.size()))
        return 0u;
    // "RIFF" size "AVI " then "LIST" size "hdrl" and the "avih" chunk at 24,
    // whose fields start at 32; dwTotalFrames is the fifth.
    const auto tagAt = [&header](size_t offset, const char *tag) {
        return std::memcmp(header.data() + offset, tag, 4) == 0;
    };
    if (!tagAt(0, "RIFF") || !tagAt(8, "AVI ") || !tagAt(24, "avih"))
        return 0u;
    const auto byte = [&header](size_t i) { return uint32_t(uint8_t(header[i])); };
    return byte(48) | byte(49) << 8 | byte(50) << 16 | byte(51) << 24;
}

struct AviGrabber::Impl
{
    std::string path;
    std::unique_ptr<cv::VideoCapture> capture;
    bool opened = false;           // the capture could open the file
    int backend = cv::CAP_ANY;     // the backend that opened it, for reopening
    int32_t position = 0;          // index of the frame the next read delivers
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    float fps = 0.0f;
    bool loop = true;              // reading at the end starts again at frame 0
    int32_t captureNext = kUnknown; // index of the frame the capture delivers next
    bool seekUnreliable = false;   // a capture seek landed on a wrong frame
    int32_t startLanding = kUnknown; // where a capture seek to the start lands
    QString error;                 // why nothing can be read, or why the last read failed
    ReadResult last = ReadResult::Delivered;

    void open();
    int32_t countByReading();

    // OpenCV calls, never throwing: a failure reads as "no frame" / 0.
    bool grab();
    bool read(cv::Mat &frame);
    double get(int property);
    void set(int property, double value);
    bool reopen();
    void requestRate() { set(cv::CAP_PROP_FPS, kRequestedRate); }

    int32_t seekFloor();
    bool placeCapture(int32_t target);
    bool readForward(int32_t frames);
    bool readFromStart(int32_t target);
    bool seekAndCheck(int32_t target);
    bool seekViaEarlierFrame(int32_t target);
    // Reading failed at `index`, where the capture was known to stand: the
    // stream ends there.
    void endFoundAt(int32_t index);
};

bool AviGrabber::Impl::grab()
{
    try {
        return capture && capture->grab();
    } catch (const std::exception &) {
        return false;
    }
}

bool AviGrabber::Impl::read(cv::Mat &frame)
{
    // Emptied first: when the capture advances but cannot hand over the
    // picture, OpenCV leaves the image as it was and still reports success.
    frame.release();
    try {
        if (capture && capture->read(frame) && !frame.empty())
            return true;
    } catch (const std::exception &) {
    }
    frame.release();
    return false;
}

double AviGrabber::Impl::get(int property)
{
    try {
        return capture ? capture->get(property) : 0.0;
    } catch (const std::exception &) {
        return 0.0;
    }
}

void AviGrabber::Impl::set(int property, double value)
{
    try {
        if (capture)
            capture->set(property, value);
    } catch (const std::exception &) {
    }
}

bool AviGrabber::Impl::reopen()
{
    captureNext = kUnknown;
    try {
        if (!capture)
            return false;
        capture->release();
        if (!capture->open(path, backend))
            return false;
    } catch (const std::exception &) {
        return false;
    }
    captureNext = 0;
    return true;
}

void AviGrabber::Impl::open()
{
    RetainFrameMemory();
    capture = std::make_unique<cv::VideoCapture>();
    try {
        opened = capture->open(path, cv::CAP_ANY);
    } catch (const std::exception &) {
        opened = false;
    }
    if (opened) {
        backend = int(get(cv::CAP_PROP_BACKEND));
        width = toCount(get(cv::CAP_PROP_FRAME_WIDTH));
        height = toCount(get(cv::CAP_PROP_FRAME_HEIGHT));
        frameCount = toCount(get(cv::CAP_PROP_FRAME_COUNT));
        const double rate = get(cv::CAP_PROP_FPS);
        fps = std::isfinite(rate) && rate > 0.0 && rate <= kMaxPlausibleFps ? float(rate) : 0.0f;
        captureNext = 0;
    }

    if (frameCount == 0) {
        const std::optional<uint32_t> headerCount = AviGrabber::headerFrameCount(path);
        if (!headerCount) {
            std::printf("cannot open input file %s\n", path.c_str());
            std::fflush(stdout);
        } else {
            frameCount = int32_t(std::min<uint32_t>(*headerCount, uint32_t(std::numeric_limits<int32_t>::max())));
        }
    }
    if (frameCount == 0 && opened)
        frameCount = countByReading();

    position = 0;
    loop = true;

    const QString shownPath = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!opened) {
        // Without a capture nothing can be read, whatever an AVI header says.
        frameCount = 0;
        width = height = 0;
        error = QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(path)))
                    ? QCoreApplication::translate("AviGrabber", "%1 cannot be read as a video.").arg(shownPath)
                    : QCoreApplication::translate("AviGrabber", "%1 does not exist.").arg(shownPath);
    } else if (frameCount == 0) {
        error = QCoreApplication::translate("AviGrabber", "%1 holds no frame.").arg(shownPath);
    }
}

int32_t AviGrabber::Impl::countByReading()
{
    int32_t count = 0;
    while (count < std::numeric_limits<int32_t>::max() && grab())
        ++count;
    captureNext = kUnknown; // the first read reopens the file
    return count;
}

void AviGrabber::Impl::endFoundAt(int32_t index)
{
    if (opened && index >= 0 && index < frameCount)
        frameCount = index;
}

bool AviGrabber::Impl::readForward(int32_t frames)
{
    for (int32_t i = 0; i < frames; ++i) {
        if (!grab()) {
            if (captureNext != kUnknown)
                endFoundAt(captureNext);
            captureNext = kUnknown;
            return false;
        }
        if (captureNext != kUnknown)
            ++captureNext;
    }
    return true;
}

// Reaches `target` by reading only: on from where the capture stands if that
// is not past it, else from a freshly opened file.
bool AviGrabber::Impl::readFromStart(int32_t target)
{
    if (captureNext == kUnknown || captureNext > target) {
        if (!reopen())
            return false;
    }
    return readForward(target - captureNext);
}

bool AviGrabber::Impl::seekAndCheck(int32_t target)
{
    set(cv::CAP_PROP_POS_FRAMES, double(target));
    requestRate();
    if (get(cv::CAP_PROP_POS_FRAMES) == double(target)) {
        captureNext = target;
        return true;
    }
    captureNext = kUnknown;
    return false;
}

int32_t AviGrabber::Impl::seekFloor()
{
    if (startLanding == kUnknown) {
        // Frame 2 is the smallest target the capture checks after seeking.
        constexpr int32_t kProbe = 2;
        set(cv::CAP_PROP_POS_FRAMES, double(kProbe));
        const double reported = get(cv::CAP_PROP_POS_FRAMES);
        startLanding = reported > kProbe && reported < double(std::numeric_limits<int32_t>::max())
                           ? int32_t(reported)
                           : 0;
        captureNext = kUnknown;
    }
    return std::max(kReadAheadFrames, startLanding);
}

bool AviGrabber::Impl::seekViaEarlierFrame(int32_t target)
{
    const int32_t floor = seekFloor();
    for (int64_t back = 2 * kReadAheadFrames; target - back > floor; back *= kBackOffGrowth) {
        const int32_t earlier = int32_t(target - back);
        if (seekAndCheck(earlier))
            return readForward(int32_t(back));
    }
    return readFromStart(target);
}

bool AviGrabber::Impl::placeCapture(int32_t target)
{
    if (!opened)
        return false;
    if (captureNext == target)
        return true;
    if (captureNext != kUnknown && captureNext < target && target - captureNext <= kReadAheadFrames)
        return readForward(target - captureNext);
    if (target <= kReadAheadFrames || target <= seekFloor())
        return readFromStart(target);
    if (seekUnreliable)
        return seekViaEarlierFrame(target);
    if (seekAndCheck(target))
        return true;
    seekUnreliable = true;
    const bool placed = seekViaEarlierFrame(target);
    // A target past the real end of the stream (the container overstated the
    // count) makes every backend report a different position; that says
    // nothing about its seeking.
    if (!placed && target >= frameCount)
        seekUnreliable = false;
    return placed;
}

AviGrabber::AviGrabber(const std::string &path)
    : d(std::make_unique<Impl>())
{
    if (path.empty())
        return;
    d->path = path;
    d->open();
}

AviGrabber::~AviGrabber() = default;

FrameSize AviGrabber::getSize()
{
    return {d->width, d->height};
}

int32_t AviGrabber::getFrameCount()
{
    return d->frameCount;
}

AviGrabber &AviGrabber::operator>>(cv::Mat &frame)
{
    if (!d->capture || !d->opened) {
        d->last = ReadResult::Error;
        return *this;
    }
    if (d->position >= d->frameCount) {
        if (!d->loop)
            return *this;
        seek(0);
    }
    // Placing the capture, or reading, may find the stream to end before the
    // container said; reading then loops as it does at the end. The second
    // round cannot find an earlier end than frame 0.
    bool retried = false;
    for (int round = 0; round < 2; ++round) {
        d->placeCapture(d->position);
        if (d->loop && d->frameCount > 0 && d->position >= d->frameCount) {
            d->position = 0;
            d->placeCapture(0);
        }
        const bool placed = d->captureNext == d->position;
        if (d->read(frame)) {
            d->captureNext = placed ? d->position + 1 : kUnknown;
            break;
        }
        d->captureNext = kUnknown;
        if (!placed)
            break;
        // A picture the decoder could not hand over (seen under load right
        // after a seek) does not mean the stream ended early: place the
        // capture again, once, before believing it.
        if (!retried && d->position + 1 < d->frameCount) {
            retried = true;
            --round;
            continue;
        }
        d->endFoundAt(d->position);
        if (!d->loop || d->frameCount == 0 || d->position < d->frameCount)
            break;
        d->position = 0;
    }
    d->requestRate();
    if (frame.empty()) {
        d->last = ReadResult::Error;
        d->error = QCoreApplication::translate("AviGrabber", "Frame %1 of %2 cannot be decoded.")
                       .arg(d->position + 1)
                       .arg(QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(d->path))));
    } else {
        d->last = ReadResult::Delivered;
        d->error.clear();
    }
    if (d->position < std::numeric_limits<int32_t>::max())
        ++d->position;
    return *this;
}

void AviGrabber::seek(int32_t frameIndex)
{
    // The capture follows on the next read.
    d->position = d->frameCount > 0 ? ClampFrameTarget(frameIndex, d->frameCount) : 0;
}

void AviGrabber::skip(int32_t delta)
{
    if (delta == 0)
        return;
    const int32_t old = d->position;
    const int32_t next = d->frameCount > 0 ? ClampFrameTarget(int64_t(old) + delta, d->frameCount) : 0;
    d->position = next;
    // One frame forward: read it and drop it, as playback would.
    if (next == int64_t(old) + 1 && d->captureNext == old && d->capture)
        d->readForward(1);
}

float AviGrabber::getFps()
{
    return d->fps;
}

int32_t AviGrabber::getPosition()
{
    return d->position;
}

bool AviGrabber::isOpen() const
{
    return d->opened && d->frameCount > 0;
}

QString AviGrabber::errorString() const
{
    return d->error;
}

ReadResult AviGrabber::lastRead() const
{
    return d->last;
}

void AviGrabber::close()
{
    d->capture.reset();
    d->opened = false;
    d->captureNext = kUnknown;
}
