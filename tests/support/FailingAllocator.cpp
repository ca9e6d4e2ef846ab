#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace {
int GFailCountdown = -1;
} // namespace

void FailAllocationAfter(int Count) {
    GFailCountdown = Count;
}

bool AllocationFailureArmed() {
    return GFailCountdown >= 0;
}

// GCC 12 sees malloc/free behind inlined new/delete and warns of a mismatch that is not one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t Size) {
    if (GFailCountdown == 0) {
        GFailCountdown = -1;
        throw std::bad_alloc();
    }
    if (GFailCountdown > 0)
        --GFailCountdown;
    if (void* P = std::malloc(Size ? Size : 1))
        return P;
    throw std::bad_alloc();
}
void* operator new[](std::size_t Size) {
    return operator new(Size);
}
// The non-throwing forms fail the same way, and must pair with the delete below.
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
    try {
        return operator new(Size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
    return operator new(Size, std::nothrow);
}
void operator delete(void* P, const std::nothrow_t&) noexcept {
    std::free(P);
}
void operator delete[](void* P, const std::nothrow_t&) noexcept {
    std::free(P);
}
void operator delete(void* P) noexcept {
    std::free(P);
}
void operator delete[](void* P) noexcept {
    std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
    std::free(P);
}
void operator delete[](void* P, std::size_t) noexcept {
    std::free(P);
}
#pragma GCC diagnostic pop
