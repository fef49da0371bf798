#include "ImageGrabber.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <map>

namespace {

// Images are served at this rate; a sequence carries no timing of its own.
constexpr float kSequenceFps = 25.0f;
// Decoded images kept; the lowest index goes first, which suits playing forward
// and still leaves the last 20 images for stepping back without file reads.
constexpr size_t kCacheLimit = 21;

// `text` with the wildcard characters of a QDir name filter made literal.
QString escapeWildcards(const QString &text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            escaped += QLatin1Char('[') + c + QLatin1Char(']');
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

struct ImageGrabber::Impl
{
    int32_t position = 0; // index of the image the next read delivers
    int32_t width = 0;    // of the first image delivered; 0 until then
    int32_t height = 0;
    int32_t frameCount = 0;
    QStringList files;    // absolute paths in delivery order
    bool loop = true;     // reading at the end starts again at the first image
    QString error;        // why the sequence is empty, or why the last read failed
    ReadResult last = ReadResult::Delivered;
    std::map<int32_t, cv::Mat> cache;

    void findSequence(const QString &path);
    cv::Mat load(int32_t index) const;
};

void ImageGrabber::Impl::findSequence(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString directory = path.left(slash + 1);
    const QString fileName = path.mid(slash + 1);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : fileName.mid(dot + 1);
    const QString baseName = dot < 0 ? fileName : fileName.left(dot);

    qsizetype digits = 0;
    while (digits < baseName.size() && baseName.at(baseName.size() - 1 - digits).isDigit())
        ++digits;
    if (digits == 0) {
        error = QCoreApplication::translate("ImageGrabber",
                                            "%1 is not part of a numbered image sequence: its name ends in no digit.")
                    .arg(QDir::toNativeSeparators(path));
        return;
    }
    const QString prefix = baseName.left(baseName.size() - digits);

    QString filter = escapeWildcards(prefix) + QLatin1Char('*');
    if (!extension.isEmpty()) {
        if (!extension.startsWith(QLatin1Char('.')))
            filter += QLatin1Char('.');
        filter += escapeWildcards(extension);
    }
    const QDir dir(directory);
    const QFileInfoList entries =
        dir.entryInfoList({filter}, QDir::Dirs | QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::NoDotDot,
                          QDir::Name | QDir::IgnoreCase);
    QStringList paths;
    for (const QFileInfo &entry : entries) {
        const QString entryPath = entry.absoluteFilePath();
        if (extension.isEmpty() && entryPath.endsWith(QLatin1Char('.')))
            continue;
        paths << entryPath;
    }
    files = ImageGrabber::orderSequence(paths, extension);
    frameCount = int32_t(files.size());
    if (frameCount == 0)
        error = QCoreApplication::translate("ImageGrabber", "No image of the sequence of %1 was found.")
                    .arg(QDir::toNativeSeparators(path));
}

cv::Mat ImageGrabber::Impl::load(int32_t index) const
{
    try {
        // cv::imread takes the file system's 8-bit encoding of the name.
        return cv::imread(QFile::encodeName(files.at(index)).toStdString(), cv::IMREAD_COLOR);
    } catch (const std::exception &) {
        return {};
    }
}

ImageGrabber::ImageGrabber(const std::string &path)
    : d(std::make_unique<Impl>())
{
    if (!path.empty())
        d->findSequence(QFile::decodeName(QByteArray::fromStdString(path)));
}

ImageGrabber::~ImageGrabber() = default;

QStringList ImageGrabber::orderSequence(const QStringList &paths, const QString &extension)
{
    struct Numbered
    {
        QString key;
        qint64 number;
        QString path;
    };
    QStringList plain;
    std::vector<Numbered> numbered;
    for (const QString &path : paths) {
        QString baseName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        baseName.chop(extension.size() + 1);
        const QStringList parts = baseName.split(QLatin1Char('_'), Qt::KeepEmptyParts);
        bool isNumber = false;
        const int value = parts.size() > 1 ? parts.last().toInt(&isNumber) : 0;
        if (!isNumber)
            plain << path;
        else
            numbered.push_back({parts.first(), std::abs(qint64(value)), path});
    }
    std::stable_sort(numbered.begin(), numbered.end(), [](const Numbered &a, const Numbered &b) {
        if (a.key != b.key)
            return a.key < b.key;
        return a.number < b.number;
    });
    for (const Numbered &entry : numbered)
        plain << entry.path;
    return plain;
}

QStringList ImageGrabber::files() const
{
    return d->files;
}

FrameSize ImageGrabber::getSize()
{
    return {d->width, d->height};
}

int32_t ImageGrabber::getFrameCount()
{
    return d->frameCount;
}

ImageGrabber &ImageGrabber::operator>>(cv::Mat &frame)
{
    if (d->position >= d->frameCount) {
        if (!d->loop)
            return *this;
        seek(0);
    }
    // An empty or closed sequence has nothing to deliver.
    if (d->position < 0 || d->position >= d->files.size()) {
        d->last = ReadResult::EndOfStream;
        return *this;
    }

    auto cached = d->cache.find(d->position);
    if (cached == d->cache.end()) {
        if (d->cache.size() >= kCacheLimit)
            d->cache.erase(d->cache.begin());
        // An unreadable file gives an empty image, cached like any other.
        cached = d->cache.emplace(d->position, d->load(d->position)).first;
    }
    // A deep copy: the caller may draw into it without touching the cache.
    frame = cached->second.clone();
    if (frame.empty()) {
        d->last = ReadResult::Error;
        d->error = QCoreApplication::translate("ImageGrabber", "The image %1 cannot be read.")
                       .arg(QDir::toNativeSeparators(d->files.at(d->position)));
    } else {
        d->last = ReadResult::Delivered;
        if (d->frameCount > 0)
            d->error.clear();
    }
    if (d->width == 0) {
        d->width = frame.cols;
        d->height = frame.rows;
    }
    ++d->position;
    return *this;
}

void ImageGrabber::seek(int32_t frameIndex)
{
    d->position = d->frameCount > 0 ? ClampFrameTarget(frameIndex, d->frameCount) : 0;
}

void ImageGrabber::skip(int32_t delta)
{
    if (delta != 0)
        d->position = d->frameCount > 0 ? ClampFrameTarget(int64_t(d->position) + delta, d->frameCount) : 0;
}

float ImageGrabber::getFps()
{
    return kSequenceFps;
}

int32_t ImageGrabber::getPosition()
{
    return d->position;
}

bool ImageGrabber::isOpen() const
{
    return !d->files.isEmpty();
}

QString ImageGrabber::errorString() const
{
    return d->error;
}

ReadResult ImageGrabber::lastRead() const
{
    return d->last;
}

void ImageGrabber::close()
{
    d->files.clear();
    d->cache.clear();
}
