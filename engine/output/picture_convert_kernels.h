#pragma once

#include <cstdint>
#include <vector>

#include "engine/output/picture_convert.h"

// The row kernels behind picture_convert.h, one set per instruction set. Every set gives the
// same bytes as the scalar one; tests and benchmarks pick a set by name.
enum class ConvertPath
{
    Scalar,
    Sse2,
    Avx2,
};

// Horizontal sampling of one plane, worked out once per scaling call.
struct HorizontalTable
{
    int32_t nSourceWidth = 0;
    int32_t nOut = 0;
    // Outputs before nPairs read the pixel pair (ix, ix + 1) inside the row; the rest sit on
    // the last source pixel.
    int32_t nPairs = 0;
    std::vector<int32_t> ix;
    std::vector<uint16_t> fx;
    // Per block of 8 outputs: whether its 16-byte window starting at ix of its first output
    // holds all its pairs, and the byte shuffles that pick the left and right pixels.
    std::vector<uint8_t> blockFits;
    std::vector<uint8_t> blockShuffle; // 32 bytes per block: left, then right
};

void BuildHorizontalTable(HorizontalTable *table, int32_t sourceWidth, int32_t outWidth,
                          ScalePlan plan);

struct ConvertKernels
{
    // Two luma rows with their chroma row; width pixels each.
    void (*Rgb565Rows)(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                       const uint8_t *u, const uint8_t *v, int32_t width);
    void (*Bgr24Rows)(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                      const uint8_t *u, const uint8_t *v, int32_t width);
    // One source row sampled horizontally: out[i] = p00 + floor(fx * (p01 - p00) / 65536).
    void (*HorizontalRow)(int16_t *out, const uint8_t *src, const HorizontalTable *table);
    // out[i] = top + floor(fy * (bottom - top) / 65536).
    void (*VerticalRow)(uint8_t *out, const int16_t *top, const int16_t *bottom, uint32_t fy,
                        int32_t width);
};

extern const ConvertKernels g_ScalarKernels;
#if defined(__x86_64__) || defined(__i386__)
extern const ConvertKernels g_Sse2Kernels;
extern const ConvertKernels g_Avx2Kernels;
#endif

// nullptr when this processor cannot run the set.
const ConvertKernels *ConvertKernelsFor(ConvertPath path);
ConvertPath BestConvertPath();
const char *ConvertPathName(ConvertPath path);

void YuvToRgb565On(ConvertPath path, uint8_t *dst, int32_t width, int32_t height,
                   int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                   int32_t stride);
void YuvToBgr24On(ConvertPath path, uint8_t *dst, int32_t width, int32_t height,
                  int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                  int32_t stride);
void ScaleYuv420On(ConvertPath path, const Yuv420Source *source, const Yuv420Target *target);

// Scalar finish of a row from pixel x on, used by the SIMD sets for what their steps leave.
void Rgb565RowsFrom(int32_t x, uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                    const uint8_t *u, const uint8_t *v, int32_t width);
void Bgr24RowsFrom(int32_t x, uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                   const uint8_t *u, const uint8_t *v, int32_t width);
void HorizontalRowFrom(int32_t i, int16_t *out, const uint8_t *src, const HorizontalTable *table);
void VerticalRowFrom(int32_t i, uint8_t *out, const int16_t *top, const int16_t *bottom,
                     uint32_t fy, int32_t width);
