#include "LargeBlock.h"

#include <cstdint>
#include <sys/mman.h>

namespace LargeBlock {

void* Allocate() noexcept {
    // Twice the size, then the parts before and after an aligned block are given back.
    void* Mapped = ::mmap(nullptr, 2 * Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (Mapped == MAP_FAILED)
        return nullptr;
    const auto Start = reinterpret_cast<std::uintptr_t>(Mapped);
    const std::uintptr_t Aligned = (Start + Size - 1) & ~(std::uintptr_t{Size} - 1);
    if (Aligned > Start)
        ::munmap(Mapped, Aligned - Start);
    if (const std::uintptr_t Tail = Start + 2 * Size - (Aligned + Size); Tail > 0)
        ::munmap(reinterpret_cast<void*>(Aligned + Size), Tail);
    void* Block = reinterpret_cast<void*>(Aligned);
    // Only advice: where huge pages are off, the block works the same with small ones.
    ::madvise(Block, Size, MADV_HUGEPAGE);
    return Block;
}

void Release(void* Block) noexcept {
    if (Block != nullptr)
        ::munmap(Block, Size);
}

} // namespace LargeBlock
