#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Pixel buffers with guard bytes on both sides of every row and around the whole plane, so a
// test can tell that a converter wrote nothing outside the rows it was given.
constexpr uint8_t kGuardByte = 0xA5;

class GuardedRows
{
public:
    GuardedRows(int32_t rowBytes, int32_t rows, int32_t guard = 32)
        : m_nRowBytes(rowBytes), m_nRows(rows), m_nGuard(guard), m_nStride(rowBytes + 2 * guard),
          m_Bytes(static_cast<size_t>(m_nStride) * (rows + 2), kGuardByte)
    {
    }

    uint8_t *Row(int32_t r)
    {
        return &m_Bytes[static_cast<size_t>(m_nStride) * (r + 1) + m_nGuard];
    }
    uint8_t *Data() { return Row(0); }
    int32_t Stride() const { return m_nStride; }

    bool GuardsIntact() const
    {
        for (size_t i = 0; i < m_Bytes.size(); ++i) {
            const int64_t row = static_cast<int64_t>(i / m_nStride) - 1;
            const int64_t col = static_cast<int64_t>(i % m_nStride) - m_nGuard;
            const bool inside = row >= 0 && row < m_nRows && col >= 0 && col < m_nRowBytes;
            if (!inside && m_Bytes[i] != kGuardByte)
                return false;
        }
        return true;
    }

private:
    int32_t m_nRowBytes, m_nRows, m_nGuard, m_nStride;
    std::vector<uint8_t> m_Bytes;
};

// A 4:2:0 picture whose chroma stride is half its luma stride, every plane guarded.
class GuardedYuv
{
public:
    GuardedYuv(int32_t width, int32_t height)
        : m_nWidth(width), m_nHeight(height), m_nStride(2 * ((width + 1) / 2 + 2 * kGuard)),
          m_Y(m_nStride, height, 0), m_U(m_nStride / 2, (height + 1) / 2, 0),
          m_V(m_nStride / 2, (height + 1) / 2, 0)
    {
    }

    // Luma rows start 2 * kGuard bytes into their stride, chroma rows kGuard bytes.
    uint8_t *Y() { return m_Y.Data() + 2 * kGuard; }
    uint8_t *U() { return m_U.Data() + kGuard; }
    uint8_t *V() { return m_V.Data() + kGuard; }
    int32_t Width() const { return m_nWidth; }
    int32_t Height() const { return m_nHeight; }
    int32_t ChromaWidth() const { return (m_nWidth + 1) / 2; }
    int32_t ChromaHeight() const { return (m_nHeight + 1) / 2; }
    int32_t Stride() const { return m_nStride; }
    uint8_t &AtY(int32_t x, int32_t y) { return Y()[static_cast<size_t>(y) * m_nStride + x]; }
    uint8_t &AtU(int32_t x, int32_t y) { return U()[static_cast<size_t>(y) * (m_nStride / 2) + x]; }
    uint8_t &AtV(int32_t x, int32_t y) { return V()[static_cast<size_t>(y) * (m_nStride / 2) + x]; }

    void Fill(uint8_t y, uint8_t u, uint8_t v)
    {
        ForEach([&](uint8_t &p, int plane) { p = plane == 0 ? y : plane == 1 ? u : v; });
    }
    void FillRandom(std::mt19937 &rng)
    {
        ForEach([&](uint8_t &p, int) { p = static_cast<uint8_t>(rng()); });
    }
    // Whether anything outside the picture's samples changed.
    bool GuardsIntact()
    {
        bool intact = true;
        ForEachOutside([&](uint8_t p) { intact = intact && p == kGuardByte; });
        return intact && m_Y.GuardsIntact() && m_U.GuardsIntact() && m_V.GuardsIntact();
    }

private:
    static constexpr int32_t kGuard = 16;

    template <class F> void ForEach(F f)
    {
        for (int32_t r = 0; r < m_nHeight; ++r)
            for (int32_t c = 0; c < m_nWidth; ++c)
                f(AtY(c, r), 0);
        for (int32_t r = 0; r < ChromaHeight(); ++r)
            for (int32_t c = 0; c < ChromaWidth(); ++c) {
                f(AtU(c, r), 1);
                f(AtV(c, r), 2);
            }
    }
    // The guard columns inside each row's stride, outside the samples.
    template <class F> void ForEachOutside(F f)
    {
        for (int32_t r = 0; r < m_nHeight; ++r)
            for (int32_t c = -2 * kGuard; c < m_nStride - 2 * kGuard; ++c)
                if (c < 0 || c >= m_nWidth)
                    f(AtY(c, r));
        for (int32_t r = 0; r < ChromaHeight(); ++r)
            for (int32_t c = -kGuard; c < m_nStride / 2 - kGuard; ++c)
                if (c < 0 || c >= ChromaWidth()) {
                    f(AtU(c, r));
                    f(AtV(c, r));
                }
    }

    int32_t m_nWidth, m_nHeight, m_nStride;
    GuardedRows m_Y, m_U, m_V;
};
