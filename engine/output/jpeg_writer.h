#pragma once

#include <cstdint>
#include <string>

// Writes 24-bit pixels (blue, green, red; rows top first, rowBytes apart) as a baseline JFIF
// file. False, with no file left behind, when the file cannot be written.
bool WriteBgr24Jpeg(const std::string &path, const uint8_t *pixels, int32_t width, int32_t height,
                    int32_t rowBytes, int quality = 90, int dotsPerInch = 96);
