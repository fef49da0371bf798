// Fuzz target for the splits-file reader. With clang and -fsanitize=fuzzer it
// is a libFuzzer target; otherwise FuzzMain.cpp replays the files named on the
// command line (or every file in the named directories).

#include "SplitsFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const SplitsFileContent content = ParseSplitsText(bytes);

    // What the reader hands on must be safe to use as it is.
    if (content.cropLine == SplitsFileContent::Crop::Present) {
        const QRectF &c = content.crop;
        if (!(c.left() >= 0 && c.top() >= 0 && c.right() <= 1 && c.bottom() <= 1 && c.width() > 0
              && c.height() > 0))
            std::abort();
    }
    if (content.rotation && (*content.rotation < 0 || *content.rotation >= kRotationCount))
        std::abort();

    // Whatever was read writes back and reads again to the same solves.
    const QByteArray written = SplitsFileText(content.solves, {}, {});
    if (content.hasSolves && !content.solves.empty() && ParseSplitsText(written).solves != content.solves)
        std::abort();
    return 0;
}
