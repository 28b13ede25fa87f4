#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The process's peak resident memory in KiB (VmHWM), or -1 where unknown.
inline long PeakRssKib()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib = std::atol(line + 6);
    }
    std::fclose(f);
    return kib;
}
