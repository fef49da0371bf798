#include "FrameMemory.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#if defined(__GLIBC__)
// Blocks up to this size come from the heap rather than from their own
// mapping (the C library's upper limit on 64-bit systems; a 4K BGR frame is 25 MiB).
constexpr int kMapThreshold = 32 << 20;
// Free memory at the top of the heap beyond this is given back.
constexpr int kTrimThreshold = 512 << 20;
#endif

}  // namespace

void RetainFrameMemory()
{
    static std::once_flag once;
    std::call_once(once, [] {
#if defined(__GLIBC__)
        mallopt(M_MMAP_THRESHOLD, kMapThreshold);
        mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
#endif
    });
}
