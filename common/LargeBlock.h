#pragma once
// Memory for the outline's bulk storage in blocks of 2 MiB, aligned to their size, which
// the kernel may back with huge pages. Loading a large outline then takes a few hundred
// page faults instead of tens of thousands, and on a virtual machine each fault of a
// 4 KiB page costs more than filling it.
#include <cstddef>

namespace LargeBlock {

constexpr std::size_t Size = std::size_t{1} << 21;

// A block of Size bytes aligned to Size, zero-filled; nullptr when there is no memory.
void* Allocate() noexcept;
// Gives back a block from Allocate (nullptr: nothing).
void Release(void* Block) noexcept;

} // namespace LargeBlock
