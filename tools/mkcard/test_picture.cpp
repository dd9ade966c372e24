#include "tools/mkcard/test_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Bits a..g of the seven segments, a at the top, clockwise, g in the middle.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// 75 % colour bars in limited-range Y, U, V.
struct Yuv
{
    uint8_t y, u, v;
};
constexpr Yuv kBars[] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                         {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

constexpr uint8_t kInk = 235;

void FillY(const PicturePlanes &p, int x0, int y0, int w, int h, uint8_t value)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    const int x1 = std::min(x0 + w, p.width);
    const int y1 = std::min(y0 + h, p.height);
    for (int y = y0; y < y1; ++y)
        std::memset(p.y + y * p.yPitch + x0, value, size_t(std::max(0, x1 - x0)));
}

// One character cell: a digit, ':' or '.'; returns the advance.
int DrawChar(const PicturePlanes &p, char c, int x, int y, int h)
{
    const int w = h / 2;
    const int t = std::max(2, h / 7);
    if (c == ':') {
        FillY(p, x + t, y + h / 3 - t / 2, t, t, kInk);
        FillY(p, x + t, y + 2 * h / 3 - t / 2, t, t, kInk);
        return 3 * t;
    }
    if (c == '.') {
        FillY(p, x + t / 2, y + h - t, t, t, kInk);
        return 2 * t;
    }
    if (c < '0' || c > '9')
        return w + t;
    const uint8_t bits = kSegments[c - '0'];
    const int half = h / 2;
    if (bits & 0x01)
        FillY(p, x, y, w, t, kInk); // a
    if (bits & 0x02)
        FillY(p, x + w - t, y, t, half, kInk); // b
    if (bits & 0x04)
        FillY(p, x + w - t, y + half, t, h - half, kInk); // c
    if (bits & 0x08)
        FillY(p, x, y + h - t, w, t, kInk); // d
    if (bits & 0x10)
        FillY(p, x, y + half, t, h - half, kInk); // e
    if (bits & 0x20)
        FillY(p, x, y, t, half, kInk); // f
    if (bits & 0x40)
        FillY(p, x, y + half - t / 2, w, t, kInk); // g
    return w + t + t / 2;
}

int TextWidth(const char *text, int h)
{
    PicturePlanes none{};
    int width = 0;
    for (const char *c = text; *c; ++c)
        width += DrawChar(none, *c, 0, 0, h);
    return width;
}

void DrawText(const PicturePlanes &p, const char *text, int centreX, int y, int h)
{
    int x = centreX - TextWidth(text, h) / 2;
    for (const char *c = text; *c; ++c)
        x += DrawChar(p, *c, x, y, h);
}

} // namespace

void DrawTestPicture(const PicturePlanes &p, const PictureClock &clock)
{
    const int barTop = p.height * 3 / 4;
    for (int y = 0; y < barTop; ++y)
        std::memset(p.y + y * p.yPitch, 40, size_t(p.width));
    for (int y = 0; y < barTop / 2; ++y) {
        std::memset(p.u + y * p.uPitch, clock.tintU, size_t(p.width / 2));
        std::memset(p.v + y * p.vPitch, clock.tintV, size_t(p.width / 2));
    }

    // Bars eight to the width, moving left by 4 pixels a frame.
    const int barWidth = std::max(2, p.width / 8) & ~1;
    const int shift = int(clock.frameIndex * 4 % uint32_t(barWidth * 8));
    for (int y = barTop; y < p.height; ++y) {
        uint8_t *row = p.y + y * p.yPitch;
        for (int x = 0; x < p.width; ++x)
            row[x] = kBars[(x + shift) / barWidth % 8].y;
    }
    for (int y = barTop / 2; y < p.height / 2; ++y) {
        for (int x = 0; x < p.width / 2; ++x) {
            const Yuv &bar = kBars[(2 * x + shift) / barWidth % 8];
            p.u[y * p.uPitch + x] = bar.u;
            p.v[y * p.vPitch + x] = bar.v;
        }
    }

    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", clock.hour, clock.minute, clock.second);
    const int bigHeight = p.height * 4 / 15;
    DrawText(p, text, p.width / 2, p.height / 12, bigHeight);
    std::snprintf(text, sizeof text, "%03u.%02u", clock.positionMs / 1000 % 1000,
                  clock.positionMs % 1000 / 10);
    DrawText(p, text, p.width / 2, p.height / 12 + bigHeight + p.height / 15, bigHeight / 2);
}
