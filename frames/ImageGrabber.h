#pragma once

#include "FrameGrabber.h"

#include <QStringList>

#include <memory>
#include <string>

// Frame source serving a numbered sequence of still images (".jpg"/".png")
// at 25 frames per second: the opened image and every image of the same
// directory whose name shares its prefix. Recently read images are cached.
class ImageGrabber : public FrameGrabber
{
public:
    explicit ImageGrabber(const std::string &path);
    ~ImageGrabber() override;

    FrameSize getSize() override;
    int32_t getFrameCount() override;
    ImageGrabber &operator>>(cv::Mat &frame) override;
    void seek(int32_t frameIndex) override;
    void skip(int32_t delta) override;
    float getFps() override;
    int32_t getPosition() override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    ReadResult lastRead() const override;

    // The sequence's files in delivery order.
    QStringList files() const;

    // Orders the paths of a sequence: names without "_N" first in the given
    // (directory) order, then the "key_N" names by key, then by N.
    static QStringList orderSequence(const QStringList &paths, const QString &extension);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
