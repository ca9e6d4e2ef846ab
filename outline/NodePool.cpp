#include "NodePool.h"

#include <algorithm>
#include <new>

namespace {
constexpr std::size_t FirstBlockSlots = 64;
constexpr std::size_t LargestBlockSlots = 16384;
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
            // Blocks double up to a limit, so a small outline stays small and a large one
            // takes few blocks.
            const std::size_t Slots = FBlockSlots == 0 ? FirstBlockSlots : std::min(FBlockSlots * 2, LargestBlockSlots);
            FBlocks.reserve(FBlocks.size() + 1);
            char* Block = static_cast<char*>(::operator new(Slots* FSlotSize));
            FBlocks.push_back(Block);
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
