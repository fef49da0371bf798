#include "BlockPool.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace cube {

namespace {

constexpr size_t kHugePageBytes = size_t(2) << 20;
constexpr size_t kSlabBytes = size_t(8) << 20;

}  // namespace

BlockPool::BlockPool(size_t blockSize)
    : blockSize_((std::max(blockSize, sizeof(void *)) + alignof(std::max_align_t) - 1)
                 & ~(alignof(std::max_align_t) - 1))
{
}

BlockPool::~BlockPool()
{
    for (void *slab : slabs_)
        std::free(slab);
}

void *BlockPool::allocate()
{
    const std::lock_guard lock(mutex_);
    if (!free_.empty()) {
        void *block = free_.back();
        free_.pop_back();
        return block;
    }
    if (cursor_ == nullptr || size_t(end_ - cursor_) < blockSize_) {
        // From the heap rather than mmap, and kept in slabs_, so that leak
        // checkers see the blocks and what they point to.
        void *slab = std::aligned_alloc(kHugePageBytes, kSlabBytes);
        if (!slab)
            throw std::bad_alloc();
        slabs_.push_back(slab);
#ifdef MADV_HUGEPAGE
        madvise(slab, kSlabBytes, MADV_HUGEPAGE);  // advice only: failure is harmless
#endif
        cursor_ = static_cast<char *>(slab);
        end_ = cursor_ + kSlabBytes;
    }
    void *block = cursor_;
    cursor_ += blockSize_;
    return block;
}

void BlockPool::release(void *block)
{
    if (!block)
        return;
    const std::lock_guard lock(mutex_);
    free_.push_back(block);
}

}  // namespace cube
