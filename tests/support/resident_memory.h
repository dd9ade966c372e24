#pragma once

// The process's resident memory, from /proc/self/statm; 0 when it cannot be read.

#include <cstdint>
#include <cstdio>

#include <unistd.h>

inline int64_t ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return int64_t{resident} * sysconf(_SC_PAGESIZE);
}
