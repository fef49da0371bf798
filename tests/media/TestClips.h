#pragma once

#include "TestMedia.h"

#include <QList>
#include <QString>

// The clips the video frame sources are tested on, one per codec and
// container, generated on first use and kept for the rest of the process.
namespace testmedia {

constexpr int kClipFrames = 90;
constexpr int kClipWidth = 160;
constexpr int kClipHeight = 128;
constexpr int kClipFps = 30;

struct ClipRow
{
    const char *name;
    ClipOptions options;
    int countSlack = 0;       // how far a count estimated from the duration may be off
    bool captureOnly = false; // only the capture source reads these
};

// Key frames at most every 30 frames. "audio-first.mkv" (an audio stream
// that outlasts the video) is available through clipPath() but not listed.
QList<ClipRow> clipRows();

// The path of the clip named `fileName`, generated on first use; empty, with
// ffmpeg's messages logged as a warning, when it could not be made.
QString clipPath(const QString &fileName);

// The index shown by the next frame `source` delivers; -2 when the caller's
// image was left untouched, -1 when it was emptied or shows no index.
template<typename Source>
int readNext(Source &source)
{
    // A sentinel picture no source delivers: still there afterwards means
    // untouched. (Comparing buffer addresses is not enough: a new frame may
    // be allocated where the sentinel was.)
    cv::Mat image(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    source >> image;
    if (image.rows == 8 && image.cols == 8 && image.type() == CV_8UC3 && image.at<cv::Vec3b>(0, 0) == cv::Vec3b(1, 2, 3))
        return -2;
    return readIndex(image);
}

}  // namespace testmedia
