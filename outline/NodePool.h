#pragma once
// TNodePool: memory for the entries of one outline, in blocks of many slots, so that a
// million entries cost neither a million allocations nor an allocation header each.
//
// Slots of one size; a released slot is reused by the next Allocate. When the last slot
// in use is released (the outline was cleared) every block is given back. Not shared
// between threads.
#include <cstddef>
#include <vector>

class TNodePool {
public:
    explicit TNodePool(std::size_t SlotSize) noexcept;
    ~TNodePool();
    TNodePool(const TNodePool&) = delete;
    TNodePool& operator=(const TNodePool&) = delete;

    // A slot of SlotSize bytes, aligned to 8 (enough for objects of pointers and ints).
    // Throws std::bad_alloc.
    void* Allocate();
    // Gives back a slot from Allocate.
    void Release(void* Slot) noexcept;

private:
    void FreeBlocks() noexcept;

    std::size_t FSlotSize;
    std::vector<void*> FBlocks;      // from operator new
    std::vector<void*> FLargeBlocks; // LargeBlock's
    void* FFree = nullptr;           // released slots, each holding the next one's address
    char* FNext = nullptr;           // untouched slots of the newest block
    char* FEnd = nullptr;
    std::size_t FLive = 0;       // slots handed out and not released
    std::size_t FBlockSlots = 0; // slots in the newest block; grows with the outline
};
