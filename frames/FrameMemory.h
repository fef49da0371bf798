#pragma once

// Decoded frames are large (6 MiB for a 1080p BGR image) and come and go by
// the hundred. By default the C library hands such blocks back to the
// system when they are freed, and every reuse then pays a page fault per
// 4 KiB page, which costs more than converting the frame (on virtual
// machines, several times more than decoding it). Called by the video
// sources when they open: from then on freed frame memory is kept for reuse
// by the process (up to a bound). Has an effect once per process; harmless
// elsewhere.
void RetainFrameMemory();
