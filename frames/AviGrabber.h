#pragma once

#include "FrameGrabber.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Frame source reading a video through OpenCV's capture class. Positions are
// counted by the source itself (the index of the next frame to read); when
// the capture reports no frame count, a RIFF AVI file's main header supplies
// it, else the frames are counted by reading the file once. Reading past the
// last frame starts again at frame 0.
class AviGrabber : public FrameGrabber
{
public:
    explicit AviGrabber(const std::string &path);
    ~AviGrabber() override;

    FrameSize getSize() override;
    // May drop after reads: a count the container overstates is corrected
    // when reading meets the real end.
    int32_t getFrameCount() override;
    AviGrabber &operator>>(cv::Mat &frame) override;
    void seek(int32_t frameIndex) override;
    void skip(int32_t delta) override;
    float getFps() override;
    int32_t getPosition() override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    ReadResult lastRead() const override;

    // The total frame count (dwTotalFrames, bytes 48..51, little-endian) of a
    // RIFF AVI file's main header: 0 for a file that is not such a file,
    // nullopt when the file cannot be opened at all.
    static std::optional<uint32_t> headerFrameCount(const std::string &path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
