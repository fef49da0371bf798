#pragma once

#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <array>
#include <memory>

// What the pipeline does to a frame: the controls of the side pane.
struct PipelineSettings
{
    // 0 none, 1 4x bilinear, 2 4x cubic, 3 4x ESPCN, 4 4x LapSRN, 5 8x LapSRN, 6 4x EDSR.
    int upsample = 0;
    // 0 none, 1 90° CW, 2 90° CCW, 3 180°, 4 flip horizontal, 5 flip vertical.
    int rotation = 0;
    // Crop in fractions of the (upsampled, rotated) frame, used when applyCrop
    // is set and its width and height are positive.
    bool applyCrop = false;
    QRectF crop{0.0, 0.0, 1.0, 1.0};
    // Brightness slider, 0 to 200 (values outside are clamped); 100 leaves
    // the picture as it is.
    int brightness = 100;
    // 0 none, 1 gamma, 2 retina tone mapping, 3 histogram equalisation, 4 CLAHE.
    int enhance = 0;
};

// Factor by which an upsample entry enlarges the frame (1, 4 or 8; 1 for
// unknown entries).
int upsampleFactor(int upsample);

// The pixel rectangle of `crop` (fractions) in a frame of `frameSize`: each
// of x, y, width and height is the fraction times the columns or rows,
// truncated toward zero, and the result is clipped to the frame. Empty when
// nothing of the frame is left or a fraction is not finite.
cv::Rect cropPixelRect(const cv::Size &frameSize, const QRectF &crop);

// The per-frame processing of displayed and exported frames: upsample,
// rotate or flip, crop, brightness and contrast. Holds the super-resolution
// models, loaded once.
class FramePipeline
{
public:
    FramePipeline();
    ~FramePipeline();

    // Model files by upsample entry 3..6: "ESPCN_x4.pb", "LapSRN_x4.pb",
    // "LapSRN_x8.pb", "EDSR_x4.pb".
    static QString modelFileName(int upsample);
    // Directories searched for model files, in order: the program's directory
    // (QCoreApplication::applicationDirPath, left out while no application
    // object exists) and "models" in the per-user data directory
    // (QStandardPaths::AppDataLocation, e.g. ~/.local/share/<organisation>/<application>/models
    // on Linux, %APPDATA%/<organisation>/<application>/models on Windows).
    static QStringList modelDirectories();
    // Loads every model file found in the first of `directories` that holds
    // it, replacing what an earlier call loaded. A file that cannot be read as
    // its model, or whose model cannot upsample a small test picture, counts
    // as missing and the search goes on in the later directories. Returns the
    // number of models loaded.
    int loadModels(const QStringList &directories);
    // Whether upsample entry `upsample` can run (entries 0..2 always can).
    bool upsampleAvailable(int upsample) const;

    // Processes `raw` (1, 3 or 4 channels of any depth, saturated to 8 bits)
    // into a BGR 8-bit frame; `raw` is never written to. The result may be a
    // view into a larger buffer when cropped, and shares `raw`'s pixels when
    // no step changes them: treat it as read-only. An entry whose model is missing
    // leaves the frame unscaled; unknown upsample and rotation entries do
    // nothing and an unknown enhance entry acts as 0 (multiply). On an OpenCV
    // error (including an empty or unsupported frame) returns an empty Mat and
    // puts the reason in `error`, which is cleared on success. Nothing throws.
    // Not thread-safe: the tone-mapping stage keeps a per-size cache.
    cv::Mat process(const cv::Mat &raw, const PipelineSettings &settings, QString *error = nullptr) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The display pixmap of a frame: grey, BGR and BGRA frames become opaque
// pixmaps that own their pixels. A null pixmap for an empty frame.
QPixmap MakeDisplayPixmap(const cv::Mat &frame);
