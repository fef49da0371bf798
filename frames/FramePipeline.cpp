#include "FramePipeline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>

#include <opencv2/bioinspired.hpp>
#include <opencv2/dnn_superres.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace {

// The super-resolution models of upsample entries 3..6, in entry order.
struct ModelSpec
{
    const char *fileName;
    const char *modelName;
    int scale;
};

constexpr int kModelCount = 4;
constexpr ModelSpec kModels[kModelCount] = {
    {"ESPCN_x4.pb", "espcn", 4},
    {"LapSRN_x4.pb", "lapsrn", 4},
    {"LapSRN_x8.pb", "lapsrn", 8},
    {"EDSR_x4.pb", "edsr", 4},
};

// Index into kModels of an upsample entry, or -1 for the other entries.
int modelIndex(int upsample)
{
    return upsample >= 3 && upsample <= 6 ? upsample - 3 : -1;
}

// The retina model misbehaves (reads and writes out of bounds) on frames
// narrower or lower than this, so smaller frames are padded up to it.
constexpr int kToneMapMinSide = 16;
// The retina model takes about 220 bytes per pixel; frames above this many
// pixels (a 2160p frame, about 1.8 GB of model) are tone-mapped at a reduced
// size and scaled back, which matters mostly for upsampled frames.
constexpr double kToneMapMaxPixels = 3840.0 * 2160.0;

// Brightness factor of the slider: 0 -> 0.0, 100 -> 1.0, 200 -> 2.0.
float brightnessFactor(int slider)
{
    const int clamped = std::clamp(slider, 0, 200);
    return static_cast<float>((clamped - 100) / 100.0 + 1.0);
}

// Table of the gamma enhancement: entry i = (i / 255)^gamma * 255, rounded
// and saturated. A gamma of 0 maps everything to 255, black included.
cv::Mat gammaTable(float gamma)
{
    cv::Mat table(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i)
        table.at<uchar>(i) = cv::saturate_cast<uchar>(std::pow(i / 255.0, static_cast<double>(gamma)) * 255.0);
    return table;
}

// Runs `equalise` on the lightness plane of a BGR frame, writing the result
// back into `frame` (which may be a view).
template<typename Equalise>
void equaliseLightness(cv::Mat &frame, Equalise equalise)
{
    cv::Mat lab;
    cv::cvtColor(frame, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> planes;
    cv::split(lab, planes);
    equalise(planes[0]);
    cv::merge(planes, lab);
    cv::cvtColor(lab, frame, cv::COLOR_Lab2BGR);
}

// 8-bit BGR. An 8-bit BGR frame is returned as it is (sharing the caller's
// pixels; `shared` is then set) so that a frame nothing changes costs no copy.
cv::Mat toBgr8(const cv::Mat &raw, bool *shared)
{
    if (raw.dims != 2)
        CV_Error(cv::Error::StsBadArg, cv::format("cannot process a %d-dimensional frame", raw.dims));
    *shared = raw.type() == CV_8UC3;
    if (*shared)
        return raw;
    cv::Mat eightBit;
    raw.convertTo(eightBit, CV_8U, 1.0, 0.0);
    switch (raw.channels()) {
    case 3:
        return eightBit;
    case 1: {
        cv::Mat bgr;
        cv::cvtColor(eightBit, bgr, cv::COLOR_GRAY2BGR);
        return bgr;
    }
    case 4: {
        cv::Mat bgr;
        cv::cvtColor(eightBit, bgr, cv::COLOR_BGRA2BGR);
        return bgr;
    }
    default:
        CV_Error(cv::Error::StsUnsupportedFormat,
                 cv::format("cannot process a frame with %d channels", raw.channels()));
    }
}

}  // namespace

int upsampleFactor(int upsample)
{
    switch (upsample) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
        return 4;
    case 5:
        return 8;
    default:
        return 1;
    }
}

cv::Rect cropPixelRect(const cv::Size &frameSize, const QRectF &crop)
{
    if (!std::isfinite(crop.x()) || !std::isfinite(crop.y()) || !std::isfinite(crop.width())
        || !std::isfinite(crop.height()))
        return {};
    // All in double so that absurd fractions cannot overflow an int.
    const double columns = frameSize.width;
    const double rows = frameSize.height;
    const double x = std::trunc(columns * crop.x());
    const double y = std::trunc(rows * crop.y());
    const double width = std::trunc(columns * crop.width());
    const double height = std::trunc(rows * crop.height());
    const double left = std::max(x, 0.0);
    const double top = std::max(y, 0.0);
    const double right = std::min(x + width, columns);
    const double bottom = std::min(y + height, rows);
    if (right <= left || bottom <= top)
        return {};
    return cv::Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                    static_cast<int>(bottom - top));
}

struct FramePipeline::Impl
{
    // Loaded super-resolution models by kModels index; null when missing.
    std::array<cv::Ptr<cv::dnn_superres::DnnSuperResImpl>, kModelCount> models;
    // Tone-mapping model for frames of retinaSize. Building one costs about
    // as much as running it, so it is kept while the frame size stays.
    cv::Ptr<cv::bioinspired::Retina> retina;
    cv::Size retinaSize;

    cv::Mat toneMap(const cv::Mat &bgr);
    cv::bioinspired::Retina &retinaFor(const cv::Size &size);
};

cv::bioinspired::Retina &FramePipeline::Impl::retinaFor(const cv::Size &size)
{
    if (!retina || retinaSize != size) {
        retina.release();
        retina = cv::bioinspired::Retina::create(size, true);
        // Colour, normalised output; photoreceptor adaptation 0.89 lifts
        // shadows more than the default 0.7 without flattening highlights;
        // spatial and temporal constants and the ganglion sensitivity (0.7)
        // are the model's defaults. Horizontal cells gain 0 keeps the mean
        // luminance instead of removing it.
        retina->setupOPLandIPLParvoChannel(true, true, 0.89f, 0.5f, 0.53f, 0.0f, 1.0f, 7.0f, 0.7f);
        retinaSize = size;
    }
    return *retina;
}

// Fast retina tone mapping (local luminance adaptation plus a stretch of the
// result to the full range) of a BGR frame; the result has the frame's size.
cv::Mat FramePipeline::Impl::toneMap(const cv::Mat &bgr)
{
    cv::Mat work = bgr;
    const double pixels = static_cast<double>(bgr.cols) * bgr.rows;
    const bool reduced = pixels > kToneMapMaxPixels;
    if (reduced) {
        const double f = std::sqrt(kToneMapMaxPixels / pixels);
        const cv::Size size(std::max(kToneMapMinSide, static_cast<int>(bgr.cols * f)),
                            std::max(kToneMapMinSide, static_cast<int>(bgr.rows * f)));
        cv::resize(bgr, work, size, 0.0, 0.0, cv::INTER_AREA);
    }
    const int padRight = std::max(0, kToneMapMinSide - work.cols);
    const int padBottom = std::max(0, kToneMapMinSide - work.rows);
    const cv::Size unpadded = work.size();
    if (padRight > 0 || padBottom > 0)
        cv::copyMakeBorder(work, work, 0, padBottom, 0, padRight, cv::BORDER_REPLICATE);
    else if (!work.isContinuous())
        work = work.clone();

    cv::Mat out;
    retinaFor(work.size()).applyFastToneMapping(work, out);
    if (out.type() != CV_8UC3)
        out.convertTo(out, CV_8UC3);
    if (padRight > 0 || padBottom > 0)
        out = out(cv::Rect(cv::Point(0, 0), unpadded));
    if (reduced)
        cv::resize(out, out, bgr.size(), 0.0, 0.0, cv::INTER_LINEAR);
    return out;
}

FramePipeline::FramePipeline()
    : d(std::make_unique<Impl>())
{
}

FramePipeline::~FramePipeline() = default;

QString FramePipeline::modelFileName(int upsample)
{
    const int index = modelIndex(upsample);
    return index < 0 ? QString() : QString::fromLatin1(kModels[index].fileName);
}

QStringList FramePipeline::modelDirectories()
{
    QStringList directories;
    if (QCoreApplication::instance())
        directories.append(QCoreApplication::applicationDirPath());
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty())
        directories.append(QDir(data).filePath(QStringLiteral("models")));
    return directories;
}

int FramePipeline::loadModels(const QStringList &directories)
{
    int loaded = 0;
    for (int i = 0; i < kModelCount; ++i) {
        d->models[i].release();
        const QString fileName = QString::fromLatin1(kModels[i].fileName);
        for (const QString &directory : directories) {
            if (directory.isEmpty())
                continue;
            const QString path = QDir(directory).filePath(fileName);
            if (!QFileInfo(path).isFile())
                continue;
            try {
                auto model = cv::makePtr<cv::dnn_superres::DnnSuperResImpl>();
                model->readModel(QFile::encodeName(path).toStdString());
                model->setModel(kModels[i].modelName, kModels[i].scale);
                // A file that parses as a graph is not necessarily the model:
                // make sure it upsamples by its scale before offering it.
                const cv::Mat probe(8, 8, CV_8UC3, cv::Scalar(64, 128, 192));
                cv::Mat probed;
                model->upsample(probe, probed);
                if (probed.cols != probe.cols * kModels[i].scale || probed.rows != probe.rows * kModels[i].scale
                    || probed.type() != CV_8UC3)
                    continue;
                d->models[i] = model;
                ++loaded;
                break;
            } catch (const std::exception &) {
                // Unreadable as this model: try the next directory.
            }
        }
    }
    return loaded;
}

bool FramePipeline::upsampleAvailable(int upsample) const
{
    if (upsample >= 0 && upsample <= 2)
        return true;
    const int index = modelIndex(upsample);
    return index >= 0 && d->models[index];
}

cv::Mat FramePipeline::process(const cv::Mat &raw, const PipelineSettings &settings, QString *error) const
{
    if (error)
        error->clear();
    if (raw.empty()) {
        if (error)
            *error = QStringLiteral("empty frame");
        return {};
    }
    try {
        // 1. 8-bit BGR. While `shared`, the frame's pixels are the caller's:
        // every step that writes in place first takes a copy.
        bool shared = false;
        cv::Mat frame = toBgr8(raw, &shared);
        const auto own = [&] {
            if (shared) {
                frame = frame.clone();
                shared = false;
            }
        };

        // 2. Upsample.
        switch (settings.upsample) {
        case 1:
            cv::resize(frame, frame, cv::Size(), 4.0, 4.0, cv::INTER_LINEAR_EXACT);
            shared = false;
            break;
        case 2:
            cv::resize(frame, frame, cv::Size(), 4.0, 4.0, cv::INTER_CUBIC);
            shared = false;
            break;
        default:
            if (const int index = modelIndex(settings.upsample); index >= 0 && d->models[index]) {
                cv::Mat upsampled;
                d->models[index]->upsample(frame, upsampled);
                frame = upsampled;
                shared = false;
            }
            break;
        }

        // 3. Rotate or flip into a new image.
        cv::Mat turned;
        switch (settings.rotation) {
        case 1:
            cv::rotate(frame, turned, cv::ROTATE_90_CLOCKWISE);
            break;
        case 2:
            cv::rotate(frame, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
            break;
        case 3:
            cv::rotate(frame, turned, cv::ROTATE_180);
            break;
        case 4:
            cv::flip(frame, turned, 1);
            break;
        case 5:
            cv::flip(frame, turned, 0);
            break;
        default:
            break;
        }
        if (!turned.empty()) {
            frame = turned;
            shared = false;
        }

        // 4. Crop as a view, from the size after upsampling and rotation. A
        // rectangle that leaves nothing of the frame is ignored.
        if (settings.applyCrop && settings.crop.width() > 0.0 && settings.crop.height() > 0.0) {
            const cv::Rect rect = cropPixelRect(frame.size(), settings.crop);
            if (!rect.empty())
                frame = frame(rect);
        }

        // 5. Brightness factor.
        const float b = brightnessFactor(settings.brightness);

        // 6. Brightness and contrast. The steps write in place, into our own
        // buffer (through the crop view).
        // A factor of exactly 1 (slider at 100) changes nothing and is skipped.
        const auto multiply = [&] {
            if (b != 1.0f) {
                own();
                frame.convertTo(frame, -1, b, 0.0);
            }
        };
        switch (settings.enhance) {
        case 1:
            // The slider acts only through the gamma: 100 is the identity.
            if (b != 1.0f) {
                own();
                cv::LUT(frame, gammaTable(2.0f - b), frame);
            }
            break;
        case 2:
            multiply();
            frame = d->toneMap(frame);
            break;
        case 3:
            multiply();
            own();
            equaliseLightness(frame, [](cv::Mat &lightness) { cv::equalizeHist(lightness, lightness); });
            break;
        case 4:
            multiply();
            own();
            equaliseLightness(frame, [](cv::Mat &lightness) {
                cv::createCLAHE(4.0, cv::Size(32, 32))->apply(lightness, lightness);
            });
            break;
        default:
            multiply();
            break;
        }
        return frame;
    } catch (const cv::Exception &e) {
        if (error)
            *error = QString::fromStdString(e.err);
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromLocal8Bit(e.what());
    }
    return {};
}

QPixmap MakeDisplayPixmap(const cv::Mat &frame)
{
    QPixmap pixmap;
    if (frame.empty() || frame.dims != 2)
        return pixmap;
    cv::Mat bgra;
    cv::Mat eightBit = frame;
    try {
        if (frame.depth() != CV_8U)
            frame.convertTo(eightBit, CV_8U);
        switch (eightBit.channels()) {
        case 4:
            bgra = eightBit;
            break;
        case 1:
            cv::cvtColor(eightBit, bgra, cv::COLOR_GRAY2BGRA);
            break;
        case 3:
            cv::cvtColor(eightBit, bgra, cv::COLOR_BGR2BGRA);
            break;
        default:
            return pixmap;
        }
    } catch (const cv::Exception &) {
        return pixmap;
    }
    // BGRA bytes are RGB32 words on little-endian machines; RGB32 ignores the
    // fourth byte, so the pixmap is opaque whatever alpha the frame carries.
    // The row length is the Mat's own, so views (crops) wrap correctly.
    if (bgra.data == eightBit.data) {
        // The caller's pixels: deep copy, the pixmap must outlive the frame's buffer.
        const QImage wrapped(bgra.data, bgra.cols, bgra.rows, static_cast<qsizetype>(bgra.step[0]),
                             QImage::Format_RGB32);
        return QPixmap::fromImage(wrapped.copy());
    }
    // A converted image of our own: the QImage keeps it alive, so the pixmap
    // can take the pixels over without another copy.
    auto *owner = new cv::Mat(bgra);
    QImage adopted(owner->data, owner->cols, owner->rows, static_cast<qsizetype>(owner->step[0]),
                   QImage::Format_RGB32, [](void *mat) { delete static_cast<cv::Mat *>(mat); }, owner);
    return QPixmap::fromImage(std::move(adopted));
}
