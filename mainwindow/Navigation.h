#pragma once

#include "SolveModel.h"

#include <cstdint>
#include <optional>

// Where a jump between split marks goes and what the overlay then says.
struct MarkJump
{
    int index = 0;        // index of the mark jumped to
    int32_t target = 0;   // that mark's frame number
    int messageNumber = 0;  // number shown on the display (unless the mark is the last: "END")
    bool isLast = false;
};

// Jump to the mark at `index` (clamped to the last mark); the message shows the index itself.
std::optional<MarkJump> MarkerJump(const Marks &marks, int index);
// Jump from frame `current` to the next mark: the first mark when `current`
// is before it or at/after the last; duplicates of the current mark are
// skipped. The message counts marks from 1.
std::optional<MarkJump> NextMarkJump(const Marks &marks, int32_t current);
// Jump from frame `current` to the previous mark, mirroring NextMarkJump.
std::optional<MarkJump> PrevMarkJump(const Marks &marks, int32_t current);

// The 0-based frame index a source should be sought to for frame number
// `frameNumber` (a mark, or a typed frame): frameNumber - 1, clamped to the
// frames of the video so that a mark from a file never asks for a frame the
// video lacks. `totalFrames` <= 0 means unknown (no upper clamp).
int32_t SeekIndexForFrame(int32_t frameNumber, int32_t totalFrames);
