// Fuzz target for the move-text operations and recognisers: any text must be
// handled, and the counts must stay within their ranges.

#include "Calculator.h"
#include "MoveText.h"

#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (cube::countMoves(text) < 0 || cube::countGen(text) < 0)
        std::abort();
    const cube::RotationCount rotations = cube::countRotations(text, true, true);
    if (rotations.full < 0 || rotations.wide < 0)
        std::abort();
    float sum = 0.0f;
    for (float share : cube::letterShares(text)) {
        if (!std::isfinite(share) || share < 0.0f)
            std::abort();
        sum += share;
    }
    if (sum != 0.0f && std::fabs(sum - 1.0f) > 1e-3f)
        std::abort();
    // Normalising never grows the text beyond the blank cancelPairs may add.
    const QString normalised = cube::normaliseEnds(cube::cancelPairs(cube::stripComment(text)));
    if (normalised.size() > text.size() + 1)
        std::abort();
    for (int mode = 0; mode < 4; ++mode)
        (void)cube::calculatorOutput(text, static_cast<cube::CalculatorMode>(mode));
    return 0;
}
