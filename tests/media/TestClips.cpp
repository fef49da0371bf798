#include "TestClips.h"

#include <QHash>
#include <QTemporaryDir>

namespace testmedia {

namespace {

QStringList args(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(' '));
}

ClipOptions clipOptions(const char *file, const QStringList &codecArgs, bool audioFirst = false)
{
    ClipOptions s;
    s.fileName = QString::fromLatin1(file);
    s.codecArgs = codecArgs;
    s.frames = kClipFrames;
    s.width = kClipWidth;
    s.height = kClipHeight;
    s.fps = kClipFps;
    s.audioFirst = audioFirst;
    return s;
}

const QStringList h264 = args("-c:v libx264 -preset veryfast -bf 3 -g 24 -pix_fmt yuv420p");

}  // namespace

QList<ClipRow> clipRows()
{
    const QStringList vp9 = args("-c:v libvpx-vp9 -speed 8 -b:v 300k -g 24 -auto-alt-ref 1 -lag-in-frames 16");
    return {
        {"H.264 with B-frames in MP4", clipOptions("h264.mp4", h264)},
        {"H.265 in MP4", clipOptions("h265.mp4", args("-c:v libx265 -preset ultrafast -x265-params "
                                               "log-level=error:bframes=3 -g 24 -pix_fmt yuv420p"))},
        {"MJPEG, full range, in AVI", clipOptions("mjpeg.avi", args("-c:v mjpeg -pix_fmt yuvj420p -q:v 3"))},
        {"MPEG-4 in AVI", clipOptions("mpeg4.avi", args("-c:v mpeg4 -q:v 3 -g 24"))},
        {"VP9 with hidden frames in WebM", clipOptions("vp9.webm", vp9)},
        {"VP9 in MKV", clipOptions("vp9.mkv", vp9)},
        {"audio stream first, H.264 in MP4", clipOptions("audio-first.mp4", h264, true)},
        // Time stamps not starting at 0; seeks near the start land on a later key frame.
        {"H.264 in MPEG-TS", clipOptions("h264.ts", args("-c:v libx264 -preset veryfast -bf 3 -g 48 -pix_fmt yuv420p"))},
        {"MPEG-2 in MPEG-PS", clipOptions("mpeg2.mpg", args("-c:v mpeg2video -bf 2 -g 24 -q:v 3")), 1, true},
        // Key frames at 0, 28, 58 and 88: the last one is the second-to-last
        // packet, and the last picture carries no time stamp.
        {"MPEG-4 with B-frames in AVI", clipOptions("mpeg4-bf.avi", args("-c:v mpeg4 -q:v 3 -g 30 -bf 2"))},
        // Written as a live stream: no duration, no index, no count.
        {"live-written MKV without duration", clipOptions("live.mkv", h264 + args("-live 1")), 0, true},
    };
}

QString clipPath(const QString &fileName)
{
    static QTemporaryDir dir;
    static QHash<QString, QString> made;   // file name -> path, or empty
    static QHash<QString, QString> errors; // file name -> ffmpeg's messages
    if (!made.contains(fileName)) {
        QList<ClipRow> rows = clipRows();
        // Audio that outlasts the video by a second: the container then
        // overstates the video's frame count, whatever the encoder's timing.
        ClipOptions longAudio = clipOptions("audio-first.mkv", h264, true);
        longAudio.audioSeconds = double(kClipFrames) / kClipFps + 1.0;
        rows.append({"", longAudio});
        for (const ClipRow &row : rows) {
            if (row.options.fileName == fileName) {
                QString why;
                made.insert(fileName, writeClip(dir.path(), row.options, &why).value_or(QString()));
                errors.insert(fileName, why);
            }
        }
    }
    if (made.value(fileName).isEmpty())
        qWarning("%s could not be generated: %s", qPrintable(fileName), qPrintable(errors.value(fileName)));
    return made.value(fileName);
}

}  // namespace testmedia
