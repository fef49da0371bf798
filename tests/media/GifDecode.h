#pragma once

#include <QString>

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace testmedia {

// Every frame of the GIF at `path` as FFmpeg's GIF decoder composes it (the
// whole screen after the frame is drawn over what stood before), as 8-bit
// RGB images (R first). Nullopt with the reason in `error` when the file
// cannot be decoded.
std::optional<std::vector<cv::Mat>> decodeGif(const QString &path, QString *error = nullptr);

}  // namespace testmedia
