#pragma once

#include "SolveModel.h"

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

class QIODevice;

// What `<video>.splits.txt` keeps besides the marks.
struct SplitsSettings
{
    // Applied crop in fractions of the frame; no "Crop" line when it is exactly
    // the full frame (0, 0, 1, 1).
    QRectF appliedCrop{0.0, 0.0, 1.0, 1.0};
    double fps = 30.0;
    // Index of the rotation entry: 0 none, 1 90° CW, 2 90° CCW, 3 180°,
    // 4 flip horizontal, 5 flip vertical.
    int rotation = 0;
};

// Number of rotation entries; a stored index outside [0, kRotationCount) is ignored.
inline constexpr int kRotationCount = 6;

// Builds the text of a splits file. `solves` must already hold the working
// copy of the current solve; `workingMarks` is written instead of the solves
// only when the solve list is empty.
QByteArray SplitsFileText(const std::vector<Marks> &solves, const Marks &workingMarks,
                          const SplitsSettings &settings);

// Writes `text` to `path` so that the previous file survives any failure: the
// new content goes to a temporary file that replaces the old one only once it
// is completely written. Returns false with a readable reason on failure.
bool WriteFileAtomically(const QString &path, const QByteArray &text, QString *error = nullptr);

// What a splits file held. Every part is optional: a reader applies only what
// is present and leaves the rest of its state as it was.
struct SplitsFileContent
{
    enum class Crop {
        Absent,   // no "Crop" line
        Ignored,  // a "Crop" line whose values are unusable: keep the old crop
        Present,  // `crop` holds a rectangle inside the unit square
    };

    bool hasSolves = false;  // line 1 began with "Splits"
    std::vector<Marks> solves;
    Crop cropLine = Crop::Absent;
    QRectF crop;
    std::optional<double> fps;      // finite; not yet clamped to any spin-box range
    std::optional<int> rotation;    // in [0, kRotationCount)
};

// Reads a splits file leniently: unparsable marks become 0, unusable crop,
// frame-rate and rotation values are dropped, and the lines after a
// malformed one are still read. Never fails; garbage yields an empty content.
SplitsFileContent ParseSplitsFile(QIODevice &device);
SplitsFileContent ParseSplitsText(const QByteArray &text);

// Path of the splits file for `path`: ".splits.txt" is appended unless `path`
// already ends with it (case-sensitive).
QString SplitsPathFor(const QString &path);

// The marks as clipboard text: each mark in decimal followed by "\n".
QString MarksClipboardText(const Marks &marks);
// Marks from clipboard text: the lines that are base-10 integers, in order.
Marks ParseClipboardMarks(const QString &text);
