#pragma once
// The memory of the benchmark's own process, as the kernel counts it.
#include <cstdio>

namespace ProcessMemory {

// The peak resident size of this process so far (VmHWM), in bytes; negative if unknown.
inline long PeakResidentBytes() {
    long PeakKb = -1;
    if (std::FILE* Status = std::fopen("/proc/self/status", "r")) {
        char Line[256];
        while (std::fgets(Line, sizeof Line, Status))
            if (std::sscanf(Line, "VmHWM: %ld kB", &PeakKb) == 1)
                break;
        std::fclose(Status);
    }
    return PeakKb * 1024;
}

} // namespace ProcessMemory
