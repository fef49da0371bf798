#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace cube {

// Fixed-size blocks carved from large slabs that are asked for as huge pages.
// A database holds a block of analysis fields per solve; taken from the
// general heap, each new 4 KiB page of them costs a page fault, which on a
// virtual machine is dearer than filling the page. Freed blocks are reused;
// slabs are never given back (the program keeps at most the largest database
// it has held). Safe to use from several threads.
class BlockPool
{
public:
    explicit BlockPool(size_t blockSize);
    // Frees the slabs: every block of the pool must be gone by then (the
    // pools of blockPool() are never destroyed).
    ~BlockPool();
    BlockPool(const BlockPool &) = delete;
    BlockPool &operator=(const BlockPool &) = delete;

    void *allocate();
    void release(void *block);

private:
    const size_t blockSize_;
    std::mutex mutex_;
    std::vector<void *> free_;
    std::vector<void *> slabs_;  // never freed
    char *cursor_ = nullptr;
    char *end_ = nullptr;
};

// The pool for blocks of `Size` bytes, one per size, alive to the process's end.
template<size_t Size>
BlockPool &blockPool()
{
    static BlockPool *const pool = new BlockPool(Size);  // never destroyed: blocks may outlive static objects
    return *pool;
}

}  // namespace cube
