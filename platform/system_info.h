// Figures of the host system the viewer shows on its status line: free memory and the share of
// memory still available, and a monotonic millisecond clock for load times.
#pragma once

#include <cstdint>
#include <string>

struct MemoryStatus {
    long freeKilobytes = 0;    // memory available to new programs (MemAvailable), in kilobytes
    int resourcesPercent = 0;  // 100 * available / total, 0 when the total is unknown
};

// Reads /proc/meminfo; zeros when it cannot be read.
MemoryStatus ReadMemoryStatus();
// The figures of a /proc/meminfo text ("MemTotal:  16318588 kB" lines). Without a MemAvailable
// line (kernels before 3.14) MemFree + Buffers + Cached stands in for it.
MemoryStatus ParseMemInfo(const std::string& text);

// Milliseconds on a clock that never goes back (wraps after 49 days, as tick counts do).
uint32_t TickCount();
