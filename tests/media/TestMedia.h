#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <optional>

// Test media whose every frame shows its own 0-based index as a grid of large
// black and white blocks (16 bits, least significant bit top-left, row by
// row), which survives lossy coding and scaling. Media are generated at test
// time; nothing binary is kept in the repository.
namespace testmedia {

// A frame of `width` x `height` (BGR, 8 bits) showing `index` (0..65535).
cv::Mat indexFrame(int index, int width, int height);

// The index a frame shows, or -1 when the picture is not such a frame.
int readIndex(const cv::Mat &frame);

struct ClipOptions
{
    QString fileName;        // e.g. "h264.mp4"
    QStringList codecArgs;   // ffmpeg output options, e.g. {"-c:v", "libx264", "-bf", "3"}
    int frames = 60;
    int width = 320;
    int height = 240;
    double fps = 30.0;
    bool audioFirst = false; // put a silent audio stream before the video stream
    double audioSeconds = 0; // with audioFirst: the audio's length; 0 ends it with the video
};

// Encodes a clip with the ffmpeg program into `dir`; returns its path, or
// nullopt with ffmpeg's messages in `error`.
std::optional<QString> writeClip(const QString &dir, const ClipOptions &options, QString *error = nullptr);

// Writes frames first..first+count-1 as `dir`/prefix + number + suffix + "." + ext,
// the number formatted with `width` digits (0: unpadded). Returns the paths.
QStringList writeImageSequence(const QString &dir, const QString &prefix, int first, int count,
                               const QString &extension, int digitWidth = 4, int width = 160, int height = 120);

// Whether the ffmpeg program can be run.
bool haveFfmpeg();

// The font text clips are drawn in (fonts-dejavu-core).
constexpr char kTextFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A line of black DejaVu Sans in a text clip's frames.
struct ClipText
{
    QString text;        // letters, digits, spaces and dots (no filter syntax)
    int x = 0;           // left of the text, pixels
    int y = 0;           // top of the text, pixels
    int size = 72;       // font size, pixels
    int firstFrame = 0;  // 0-based frames it shows in
    int lastFrame = -1;  // -1: to the end
};

// Frames showing texts, as a filmed timer or an overlay does: `background`
// (an ffmpeg colour) with white `panels` under the texts.
struct TextClipOptions
{
    QString fileName;  // e.g. "timer.avi"; MJPEG
    int frames = 10;
    int width = 640;
    int height = 360;
    double fps = 25.0;
    QString background = QStringLiteral("white");
    QList<QRect> panels;
    QList<ClipText> texts;
};

// Draws the clip with ffmpeg's drawtext into `dir`; returns its path, or
// nullopt with the reason (ffmpeg's messages, a missing font) in `error`.
std::optional<QString> writeTextClip(const QString &dir, const TextClipOptions &options, QString *error = nullptr);

}  // namespace testmedia
