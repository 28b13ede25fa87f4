#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// A memory figure of this process in KiB, such as "VmHWM:" or "VmRSS:",
// or -1 where unknown.
inline long ProcessStatusKib(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    const size_t length = std::strlen(field);
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, length) == 0)
            kib = std::atol(line + length);
    }
    std::fclose(f);
    return kib;
}

// The process's peak resident memory in KiB, or -1 where unknown.
inline long PeakRssKib()
{
    return ProcessStatusKib("VmHWM:");
}

// The process's resident memory now, in KiB, or -1 where unknown.
inline long CurrentRssKib()
{
    return ProcessStatusKib("VmRSS:");
}
