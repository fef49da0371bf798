#pragma once

#include "FrameGrabber.h"

#include <QString>

#include <memory>

enum class FrameSourceKind { Automatic, Capture, Ffmpeg, Images };

// The source for `path`: for Automatic, the image-sequence source when the
// path ends with ".jpg" or ".png" (case-sensitive), else the FFmpeg source
// when `useFfmpeg`, else the capture source. Never null.
std::unique_ptr<FrameGrabber> CreateFrameSource(const QString &path, FrameSourceKind kind, bool useFfmpeg = false);
