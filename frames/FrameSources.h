#pragma once

#include "FrameGrabber.h"

#include <QString>

#include <memory>

enum class FrameSourceKind { Automatic, Capture, Ffmpeg, Images };

// What the source is read for: stepping to and fro (the window's view), or
// once through, forward, by an export whose own threads keep the cores busy
// (the FFmpeg source then decodes on one thread).
enum class FrameSourceUse { Stepping, ReadingThrough };

// The source for `path`: for Automatic, the image-sequence source when the
// path ends with ".jpg" or ".png" (case-sensitive), else the FFmpeg source
// when `useFfmpeg`, else the capture source. Never null.
std::unique_ptr<FrameGrabber> CreateFrameSource(const QString &path, FrameSourceKind kind, bool useFfmpeg = false,
                                                FrameSourceUse use = FrameSourceUse::Stepping);
