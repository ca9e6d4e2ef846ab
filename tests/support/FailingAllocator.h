#pragma once
// A global operator new that can be told to fail, for tests of what an allocation failure
// leaves behind. Linking quorvel_failing_allocator replaces the program's operator new and
// delete; without a call to FailAllocationAfter they behave as the standard ones.

// The allocation after the next Count ones throws std::bad_alloc, once; -1 disarms.
void FailAllocationAfter(int Count);
// True while the failure set by FailAllocationAfter has not happened yet.
bool AllocationFailureArmed();
