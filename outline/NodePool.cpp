#include "NodePool.h"

#include "LargeBlock.h"

#include <algorithm>
#include <new>

namespace {
constexpr std::size_t FirstBlockSlots = 64;
} // namespace

TNodePool::TNodePool(std::size_t SlotSize) noexcept
    : FSlotSize((std::max(SlotSize, sizeof(void*)) + alignof(void*) - 1) & ~(alignof(void*) - 1)) {}

TNodePool::~TNodePool() {
    FreeBlocks();
}

void TNodePool::FreeBlocks() noexcept {
    for (void* Block : FBlocks)
        ::operator delete(Block);
    FBlocks.clear();
    for (void* Block : FLargeBlocks)
        LargeBlock::Release(Block);
    FLargeBlocks.clear();
    FFree = nullptr;
    FNext = FEnd = nullptr;
    FBlockSlots = 0;
}

void* TNodePool::Allocate() {
    void* Slot = nullptr;
    if (FFree != nullptr) {
        Slot = FFree;
        FFree = *static_cast<void**>(FFree);
    } else {
        if (FNext == FEnd) {
            // Blocks double until they fill a large block, so a small outline stays small
            // and a large one takes few blocks, with few page faults.
            const std::size_t LargeSlots = LargeBlock::Size / FSlotSize;
            const std::size_t Slots = FBlockSlots == 0 ? FirstBlockSlots : std::min(FBlockSlots * 2, LargeSlots);
            char* Block = nullptr;
            if (Slots == LargeSlots) {
                FLargeBlocks.reserve(FLargeBlocks.size() + 1);
                Block = static_cast<char*>(LargeBlock::Allocate());
                if (Block == nullptr)
                    throw std::bad_alloc();
                FLargeBlocks.push_back(Block);
            } else {
                FBlocks.reserve(FBlocks.size() + 1);
                Block = static_cast<char*>(::operator new(Slots* FSlotSize));
                FBlocks.push_back(Block);
            }
            FBlockSlots = Slots;
            FNext = Block;
            FEnd = Block + Slots * FSlotSize;
        }
        Slot = FNext;
        FNext += FSlotSize;
    }
    ++FLive;
    return Slot;
}

void TNodePool::Release(void* Slot) noexcept {
    *static_cast<void**>(Slot) = FFree;
    FFree = Slot;
    if (--FLive == 0)
        FreeBlocks();
}
