#pragma once
// Asks the memory for the cache line at Address ahead of its use: a walk over a large
// outline otherwise waits for each entry in turn.
inline void Prefetch(const void* Address) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(Address);
#else
    static_cast<void>(Address);
#endif
}
