#pragma once

#include <cstddef>
#include <cstdint>

// Software pixel work of the video output: 4:2:0 planar YUV to RGB565 (the RGB fallback) and to
// 24-bit pixels (captures), and bilinear scaling of 4:2:0 pictures. Plain functions over
// memory, callable from any thread.
//
// A 4:2:0 picture here: a luma plane of width x height bytes, a Cb and a Cr plane of
// ((width + 1) / 2) x ((height + 1) / 2) samples, chroma rows stride / 2 bytes apart. Chroma
// sample i of chroma row j covers pixels 2i and 2i + 1 of luma rows 2j and 2j + 1.
//
// Colour factors are BT.709 full range in steps of 1/64, so every intermediate fits 16 bits:
//   R = clamp((64 Y + 101 V') >> 6), G = clamp((64 Y - 12 U' - 30 V') >> 6),
//   B = clamp((64 Y + 119 U') >> 6), with U' = Cb - 128, V' = Cr - 128.
constexpr int32_t kYuvFactorRV = 101;
constexpr int32_t kYuvFactorGU = 12;
constexpr int32_t kYuvFactorGV = 30;
constexpr int32_t kYuvFactorBU = 119;

// Pictures are converted in pairs of rows; a last odd row is left as it was.
// Destination rows are dstRowBytes apart; RGB565 words are little-endian, red in bits 15..11.
void YuvToRgb565(uint8_t *dst, int32_t width, int32_t height, int32_t dstRowBytes,
                 const uint8_t *pY, const uint8_t *pU, const uint8_t *pV, int32_t stride);
// 24-bit pixels in the byte order blue, green, red.
void YuvToBgr24(uint8_t *dst, int32_t width, int32_t height, int32_t dstRowBytes, const uint8_t *pY,
                const uint8_t *pU, const uint8_t *pV, int32_t stride);

struct Yuv420Source
{
    const uint8_t *pY;
    const uint8_t *pU;
    const uint8_t *pV;
    int32_t nWidth;
    int32_t nHeight;
    int32_t nStride; // luma; chroma rows are nStride / 2 apart
};

struct Yuv420Target
{
    uint8_t *pY;
    uint8_t *pU;
    uint8_t *pV;
    int32_t nWidth;
    int32_t nHeight;
    int32_t nStride;
};

// Where the samples of one dimension come from: output pixel i reads the source at
// nStart + i * nStep, both unsigned 16.16 fixed point.
struct ScalePlan
{
    uint32_t nStart;
    uint32_t nStep;
};

// Whole-multiple downscales sample the centres of the source groups; everything else puts the
// first and last samples on the first and last source pixels.
ScalePlan LumaScalePlan(uint32_t sourceSize, uint32_t targetSize);
// Chroma follows the luma decision, with the chroma sizes (arguments are the luma sizes).
ScalePlan ChromaScalePlan(uint32_t sourceSize, uint32_t targetSize);

// Bilinear scaling of all three planes. Sizes must be positive; a target of size 1 (or
// chroma size 1) repeats the first sample instead of dividing by zero.
void ScaleYuv420(const Yuv420Source *source, const Yuv420Target *target);

// Bytes of scratch that ScaleAndConvertRgb565 needs for a display of width x height.
size_t ScaleScratchBytes(int32_t width, int32_t height);

// Scales the source to the display size into scratch (luma first, then Cb and Cr) and converts
// that to RGB565 into dst.
void ScaleAndConvertRgb565(uint8_t *dst, int32_t displayWidth, int32_t displayHeight,
                           int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU,
                           const uint8_t *pV, int32_t sourceWidth, int32_t sourceHeight,
                           int32_t sourceStride, uint8_t *scratch);
