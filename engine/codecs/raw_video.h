#pragma once

#include <cstdint>

// Uncompressed pictures into the planes the renderer takes.

// Packed 4:2:2 orders: where luma and the two chroma samples lie in each 4-byte pair of pixels.
enum class Packed422
{
    Yuy2, // Y0 U Y1 V
    Uyvy, // U Y0 V Y1
    Yvyu  // Y0 V Y1 U
};

// One packed 4:2:2 picture (rows of ((width + 1) / 2) * 4 bytes) into planar I420: luma as it
// is, each chroma sample the rounded mean of the two rows of a pair (the last row alone when the
// height is odd). Chroma planes are (width + 1) / 2 by (height + 1) / 2; chroma rows lie
// chromaStride apart.
void ConvertPacked422ToI420(Packed422 order, const uint8_t *src, int32_t width, int32_t height,
                            uint8_t *y, int32_t yStride, uint8_t *u, uint8_t *v,
                            int32_t chromaStride);
