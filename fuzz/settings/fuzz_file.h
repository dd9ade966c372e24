#pragma once

// The input as a file of this process's own in the temporary folder: the setting files are
// read by path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

inline std::string WriteFuzzFile(const char *name, const uint8_t *data, size_t size)
{
    const char *folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder && *folder ? folder : "/tmp") + "/" + name + "." +
                             std::to_string(getpid());
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}
