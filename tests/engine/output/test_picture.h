#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// A 4:2:0 test picture: eight colour bars over the top two thirds, a grey ramp from black to
// white below. Colours are made with the BT.709 full-range relation the converters invert.
struct TestPicture
{
    int32_t nWidth, nHeight, nStride;
    std::vector<uint8_t> y, u, v;

    uint8_t *Y() { return y.data(); }
    uint8_t *U() { return u.data(); }
    uint8_t *V() { return v.data(); }
};

struct BarColour
{
    uint8_t r, g, b;
};

constexpr BarColour kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

inline uint8_t ToByte(double value)
{
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

inline void YuvOf(BarColour c, uint8_t *y, uint8_t *cb, uint8_t *cr)
{
    const double luma = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
    *y = ToByte(luma);
    *cb = ToByte((c.b - luma) / 1.8556 + 128);
    *cr = ToByte((c.r - luma) / 1.5748 + 128);
}

// Which bar pixel x of a picture of width w lies in, and whether row y is in the ramp.
inline int BarAt(int32_t x, int32_t w)
{
    return std::min(7, x * 8 / w);
}
inline bool InRamp(int32_t y, int32_t h)
{
    return y >= h * 2 / 3;
}

inline TestPicture MakeTestPicture(int32_t w, int32_t h)
{
    TestPicture p{w, h, w + (w & 1), {}, {}, {}};
    p.y.assign(static_cast<size_t>(p.nStride) * h, 0);
    p.u.assign(static_cast<size_t>(p.nStride / 2) * ((h + 1) / 2), 128);
    p.v.assign(p.u.size(), 128);
    for (int32_t row = 0; row < h; ++row)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t y, cb, cr;
            if (InRamp(row, h)) {
                y = static_cast<uint8_t>(w > 1 ? x * 255 / (w - 1) : 0);
                cb = cr = 128;
            } else {
                YuvOf(kBars[BarAt(x, w)], &y, &cb, &cr);
            }
            p.y[static_cast<size_t>(row) * p.nStride + x] = y;
            // The chroma sample takes the values of its top-left pixel.
            if (row % 2 == 0 && x % 2 == 0) {
                const size_t i = static_cast<size_t>(row / 2) * (p.nStride / 2) + x / 2;
                p.u[i] = cb;
                p.v[i] = cr;
            }
        }
    return p;
}
