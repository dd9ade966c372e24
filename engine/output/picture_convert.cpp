#include "engine/output/picture_convert.h"

#include <algorithm>

#include "engine/output/picture_convert_kernels.h"

namespace {

inline uint8_t Clamp255(int32_t value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

struct ChromaTerms
{
    int32_t r, g, b;
};

inline ChromaTerms TermsOf(uint8_t cb, uint8_t cr)
{
    const int32_t u = cb - 128;
    const int32_t v = cr - 128;
    return {kYuvFactorRV * v, -kYuvFactorGU * u - kYuvFactorGV * v, kYuvFactorBU * u};
}

inline uint16_t Rgb565Of(uint8_t y, ChromaTerms t)
{
    const int32_t luma = 64 * y;
    const uint8_t r = Clamp255((luma + t.r) >> 6);
    const uint8_t g = Clamp255((luma + t.g) >> 6);
    const uint8_t b = Clamp255((luma + t.b) >> 6);
    return static_cast<uint16_t>((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
}

inline void Bgr24Of(uint8_t *out, uint8_t y, ChromaTerms t)
{
    const int32_t luma = 64 * y;
    out[0] = Clamp255((luma + t.b) >> 6);
    out[1] = Clamp255((luma + t.g) >> 6);
    out[2] = Clamp255((luma + t.r) >> 6);
}

inline void Store16(uint8_t *p, uint16_t word)
{
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
}

void ScalarRgb565Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                      const uint8_t *u, const uint8_t *v, int32_t width)
{
    Rgb565RowsFrom(0, d0, d1, y0, y1, u, v, width);
}

void ScalarBgr24Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                     const uint8_t *u, const uint8_t *v, int32_t width)
{
    Bgr24RowsFrom(0, d0, d1, y0, y1, u, v, width);
}

void ScalarHorizontalRow(int16_t *out, const uint8_t *src, const HorizontalTable *table)
{
    HorizontalRowFrom(0, out, src, table);
}

void ScalarVerticalRow(uint8_t *out, const int16_t *top, const int16_t *bottom, uint32_t fy,
                       int32_t width)
{
    VerticalRowFrom(0, out, top, bottom, fy, width);
}

inline int32_t ChromaCount(int32_t size)
{
    return (size + 1) / 2;
}

// Scales one plane; rows of the horizontal pass are kept while consecutive output rows read
// the same source rows.
void ScalePlane(const ConvertKernels &k, const uint8_t *src, int32_t sw, int32_t sh,
                int32_t sstride, uint8_t *dst, int32_t dw, int32_t dh, int32_t dstride,
                ScalePlan planX, ScalePlan planY)
{
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    HorizontalTable table;
    BuildHorizontalTable(&table, sw, dw, planX);
    // Padding lets the SIMD kernels store whole steps past the last output.
    std::vector<int16_t> rows[2] = {std::vector<int16_t>(dw + 32), std::vector<int16_t>(dw + 32)};
    int32_t rowOf[2] = {-1, -1};
    // Gives the sampled source row, computing it into the slot that does not hold keepRow.
    auto horizontal = [&](int32_t sourceRow, int32_t keepRow) -> const int16_t * {
        for (int slot = 0; slot < 2; ++slot)
            if (rowOf[slot] == sourceRow)
                return rows[slot].data();
        const int slot = rowOf[0] == keepRow ? 1 : 0;
        k.HorizontalRow(rows[slot].data(), src + static_cast<ptrdiff_t>(sourceRow) * sstride,
                        &table);
        rowOf[slot] = sourceRow;
        return rows[slot].data();
    };
    uint32_t y = planY.nStart;
    for (int32_t j = 0; j < dh; ++j, y += planY.nStep) {
        const int32_t sy = std::min<int32_t>(static_cast<int32_t>(y >> 16), sh - 1);
        const int32_t sy1 = std::min(sy + 1, sh - 1);
        const int16_t *top = horizontal(sy, sy1);
        const int16_t *bottom = sy1 != sy ? horizontal(sy1, sy) : top;
        k.VerticalRow(dst + static_cast<ptrdiff_t>(j) * dstride, top, bottom,
                      sy1 != sy ? (y & 0xFFFF) : 0, dw);
    }
}

template <class Rows>
void ConvertPairs(Rows rows, uint8_t *dst, int32_t width, int32_t height, int32_t dstRowBytes,
                  const uint8_t *pY, const uint8_t *pU, const uint8_t *pV, int32_t stride)
{
    if (!dst || !pY || !pU || !pV || width <= 0 || height < 2)
        return;
    const int32_t cstride = stride / 2;
    for (int32_t j = 0; j < height / 2; ++j) {
        uint8_t *d0 = dst + static_cast<ptrdiff_t>(2 * j) * dstRowBytes;
        const uint8_t *y0 = pY + static_cast<ptrdiff_t>(2 * j) * stride;
        rows(d0, d0 + dstRowBytes, y0, y0 + stride, pU + static_cast<ptrdiff_t>(j) * cstride,
             pV + static_cast<ptrdiff_t>(j) * cstride, width);
    }
}

const ConvertKernels &KernelsOrScalar(ConvertPath path)
{
    const ConvertKernels *k = ConvertKernelsFor(path);
    return k ? *k : g_ScalarKernels;
}

} // namespace

const ConvertKernels g_ScalarKernels = {ScalarRgb565Rows, ScalarBgr24Rows, ScalarHorizontalRow,
                                        ScalarVerticalRow};

void Rgb565RowsFrom(int32_t x, uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                    const uint8_t *u, const uint8_t *v, int32_t width)
{
    for (; x < width; ++x) {
        const ChromaTerms t = TermsOf(u[x / 2], v[x / 2]);
        Store16(d0 + 2 * x, Rgb565Of(y0[x], t));
        Store16(d1 + 2 * x, Rgb565Of(y1[x], t));
    }
}

void Bgr24RowsFrom(int32_t x, uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                   const uint8_t *u, const uint8_t *v, int32_t width)
{
    for (; x < width; ++x) {
        const ChromaTerms t = TermsOf(u[x / 2], v[x / 2]);
        Bgr24Of(d0 + 3 * x, y0[x], t);
        Bgr24Of(d1 + 3 * x, y1[x], t);
    }
}

void HorizontalRowFrom(int32_t i, int16_t *out, const uint8_t *src, const HorizontalTable *table)
{
    const int32_t last = table->nSourceWidth - 1;
    for (; i < table->nOut; ++i) {
        const int32_t sx = table->ix[i];
        const int32_t p00 = src[sx];
        const int32_t p01 = src[std::min(sx + 1, last)];
        // The shift of a negative product is arithmetic: the floor of the division.
        out[i] = static_cast<int16_t>(p00 + ((table->fx[i] * (p01 - p00)) >> 16));
    }
}

void VerticalRowFrom(int32_t i, uint8_t *out, const int16_t *top, const int16_t *bottom,
                     uint32_t fy, int32_t width)
{
    const int32_t f = static_cast<int32_t>(fy & 0xFFFF);
    for (; i < width; ++i)
        out[i] = static_cast<uint8_t>(top[i] + ((f * (bottom[i] - top[i])) >> 16));
}

void BuildHorizontalTable(HorizontalTable *table, int32_t sourceWidth, int32_t outWidth,
                          ScalePlan plan)
{
    table->nSourceWidth = sourceWidth;
    table->nOut = outWidth;
    table->ix.resize(outWidth);
    table->fx.resize(outWidth);
    table->nPairs = outWidth;
    uint32_t x = plan.nStart;
    for (int32_t i = 0; i < outWidth; ++i, x += plan.nStep) {
        const int32_t sx = static_cast<int32_t>(x >> 16);
        if (sx >= sourceWidth - 1) {
            table->ix[i] = sourceWidth - 1;
            table->fx[i] = 0;
            table->nPairs = std::min(table->nPairs, i);
        } else {
            table->ix[i] = sx;
            table->fx[i] = static_cast<uint16_t>(x & 0xFFFF);
        }
    }
    // Positions only grow, so every output from the first one on the edge stays on it.
    for (int32_t i = table->nPairs; i < outWidth; ++i) {
        table->ix[i] = sourceWidth - 1;
        table->fx[i] = 0;
    }
    const int32_t blocks = outWidth / 8;
    table->blockFits.assign(blocks, 0);
    table->blockShuffle.assign(static_cast<size_t>(blocks) * 32, 0x80);
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t first = 8 * b;
        const int32_t base = table->ix[first];
        if (first + 7 >= table->nPairs || table->ix[first + 7] + 1 - base > 15 ||
            base + 16 > sourceWidth)
            continue;
        table->blockFits[b] = 1;
        uint8_t *shuffle = &table->blockShuffle[static_cast<size_t>(b) * 32];
        for (int32_t i = 0; i < 8; ++i) {
            const int32_t offset = table->ix[first + i] - base;
            shuffle[2 * i] = static_cast<uint8_t>(offset);
            shuffle[16 + 2 * i] = static_cast<uint8_t>(offset + 1);
        }
    }
}

ScalePlan LumaScalePlan(uint32_t s, uint32_t d)
{
    if (s > d && d > 0 && s % d == 0)
        return {0x8000, (s << 16) / d};
    if (d < 2 || s < 1)
        return {0, 0};
    return {0, ((s - 1) << 16) / (d - 1)};
}

ScalePlan ChromaScalePlan(uint32_t s, uint32_t d)
{
    if (s > d && d > 0 && s % d == 0)
        return LumaScalePlan(s, d);
    if (d < 3 || s < 2)
        return {0, 0};
    return {0, ((s - 2) << 16) / (d - 2)};
}

const ConvertKernels *ConvertKernelsFor(ConvertPath path)
{
    switch (path) {
    case ConvertPath::Scalar:
        return &g_ScalarKernels;
#if defined(__x86_64__) || defined(__i386__)
    case ConvertPath::Sse2:
        return __builtin_cpu_supports("sse2") ? &g_Sse2Kernels : nullptr;
    case ConvertPath::Avx2:
        return __builtin_cpu_supports("avx2") ? &g_Avx2Kernels : nullptr;
#else
    default:
        return nullptr;
#endif
    }
    return nullptr;
}

ConvertPath BestConvertPath()
{
    static const ConvertPath best = [] {
        if (ConvertKernelsFor(ConvertPath::Avx2))
            return ConvertPath::Avx2;
        if (ConvertKernelsFor(ConvertPath::Sse2))
            return ConvertPath::Sse2;
        return ConvertPath::Scalar;
    }();
    return best;
}

const char *ConvertPathName(ConvertPath path)
{
    switch (path) {
    case ConvertPath::Scalar:
        return "scalar";
    case ConvertPath::Sse2:
        return "sse2";
    case ConvertPath::Avx2:
        return "avx2";
    }
    return "?";
}

void YuvToRgb565On(ConvertPath path, uint8_t *dst, int32_t width, int32_t height,
                   int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                   int32_t stride)
{
    ConvertPairs(KernelsOrScalar(path).Rgb565Rows, dst, width, height, dstRowBytes, pY, pU, pV,
                 stride);
}

void YuvToBgr24On(ConvertPath path, uint8_t *dst, int32_t width, int32_t height,
                  int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                  int32_t stride)
{
    ConvertPairs(KernelsOrScalar(path).Bgr24Rows, dst, width, height, dstRowBytes, pY, pU, pV,
                 stride);
}

void ScaleYuv420On(ConvertPath path, const Yuv420Source *s, const Yuv420Target *t)
{
    if (!s || !t || !s->pY || !s->pU || !s->pV || !t->pY || !t->pU || !t->pV)
        return;
    const ConvertKernels &k = KernelsOrScalar(path);
    const auto sw = static_cast<uint32_t>(s->nWidth), sh = static_cast<uint32_t>(s->nHeight);
    const auto dw = static_cast<uint32_t>(t->nWidth), dh = static_cast<uint32_t>(t->nHeight);
    ScalePlane(k, s->pY, s->nWidth, s->nHeight, s->nStride, t->pY, t->nWidth, t->nHeight,
               t->nStride, LumaScalePlan(sw, dw), LumaScalePlan(sh, dh));
    const ScalePlan cx = ChromaScalePlan(sw, dw), cy = ChromaScalePlan(sh, dh);
    for (int plane = 0; plane < 2; ++plane)
        ScalePlane(k, plane ? s->pV : s->pU, ChromaCount(s->nWidth), ChromaCount(s->nHeight),
                   s->nStride / 2, plane ? t->pV : t->pU, ChromaCount(t->nWidth),
                   ChromaCount(t->nHeight), t->nStride / 2, cx, cy);
}

void YuvToRgb565(uint8_t *dst, int32_t width, int32_t height, int32_t dstRowBytes,
                 const uint8_t *pY, const uint8_t *pU, const uint8_t *pV, int32_t stride)
{
    YuvToRgb565On(BestConvertPath(), dst, width, height, dstRowBytes, pY, pU, pV, stride);
}

void YuvToBgr24(uint8_t *dst, int32_t width, int32_t height, int32_t dstRowBytes, const uint8_t *pY,
                const uint8_t *pU, const uint8_t *pV, int32_t stride)
{
    YuvToBgr24On(BestConvertPath(), dst, width, height, dstRowBytes, pY, pU, pV, stride);
}

void ScaleYuv420(const Yuv420Source *source, const Yuv420Target *target)
{
    ScaleYuv420On(BestConvertPath(), source, target);
}

namespace {
// The scratch picture's luma stride is even so that its chroma stride (half of it) holds a
// whole chroma row for odd widths too.
int32_t ScratchStride(int32_t width)
{
    return width + (width & 1);
}
} // namespace

size_t ScaleScratchBytes(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const size_t stride = static_cast<size_t>(ScratchStride(width));
    return stride * height + 2 * (stride / 2) * static_cast<size_t>(ChromaCount(height));
}

void ScaleAndConvertRgb565(uint8_t *dst, int32_t displayWidth, int32_t displayHeight,
                           int32_t dstRowBytes, const uint8_t *pY, const uint8_t *pU,
                           const uint8_t *pV, int32_t sourceWidth, int32_t sourceHeight,
                           int32_t sourceStride, uint8_t *scratch)
{
    if (!dst || !scratch || displayWidth <= 0 || displayHeight <= 0)
        return;
    const int32_t stride = ScratchStride(displayWidth);
    uint8_t *y = scratch;
    uint8_t *u = y + static_cast<size_t>(stride) * displayHeight;
    uint8_t *v = u + static_cast<size_t>(stride / 2) * ChromaCount(displayHeight);
    const Yuv420Source source = {pY, pU, pV, sourceWidth, sourceHeight, sourceStride};
    const Yuv420Target target = {y, u, v, displayWidth, displayHeight, stride};
    ScaleYuv420(&source, &target);
    YuvToRgb565(dst, displayWidth, displayHeight, dstRowBytes, y, u, v, stride);
}
