#include "snaplet/resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

double Triangle(double x)
{
    x = std::fabs(x);
    return x < 1.0 ? 1.0 - x : 0.0;
}

// Keys' cubic with a = -0.5 (Catmull-Rom): sharp, and exact on linear ramps.
double Cubic(double x)
{
    x = std::fabs(x);
    if (x < 1.0)
        return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0)
        return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

// For each output coordinate, the first source index and the normalised weights it uses.
struct Taps
{
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights; // count[i] weights per output, packed with a fixed stride
    int stride = 0;
};

Taps MakeTaps(int sourceSize, int drawSize, int outFirst, int outCount, RESAMPLE_MODE mode)
{
    Taps taps;
    const double scale = static_cast<double>(drawSize) / sourceSize;
    const double radius = mode.filter == ResampleFilter::Bicubic ? 2.0 : 1.0;
    const double widen = mode.bPrefilter && scale < 1.0 ? 1.0 / scale : 1.0;
    const double support = radius * widen;
    taps.stride = static_cast<int>(std::ceil(support * 2)) + 2;
    taps.first.resize(outCount);
    taps.count.resize(outCount);
    taps.weights.assign(static_cast<size_t>(outCount) * taps.stride, 0.0f);
    for (int i = 0; i < outCount; ++i) {
        const double centre = (outFirst + i + 0.5) / scale - 0.5;
        int lo = static_cast<int>(std::floor(centre - support)) + 1;
        int hi = static_cast<int>(std::floor(centre + support));
        if (hi - lo + 1 > taps.stride)
            hi = lo + taps.stride - 1;
        double total = 0.0;
        float *w = &taps.weights[static_cast<size_t>(i) * taps.stride];
        const int start = std::clamp(lo, 0, sourceSize - 1);
        int n = 0;
        // Edge pixels repeat beyond the picture, folded into the edge tap.
        for (int s = lo; s <= hi; ++s) {
            const double k = mode.filter == ResampleFilter::Bicubic
                                 ? Cubic((s - centre) / widen)
                                 : Triangle((s - centre) / widen);
            const int index = std::clamp(s, 0, sourceSize - 1) - start;
            n = std::max(n, index + 1);
            w[index] += static_cast<float>(k);
            total += k;
        }
        if (total != 0.0) {
            for (int k = 0; k < n; ++k)
                w[k] = static_cast<float>(w[k] / total);
        } else {
            w[0] = 1.0f;
            n = std::max(n, 1);
        }
        taps.first[i] = start;
        taps.count[i] = n;
    }
    return taps;
}

QImage Nearest(const QImage &src, int drawWidth, int drawHeight, const QRect &visible)
{
    QImage out(visible.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<int> xs(visible.width());
    for (int x = 0; x < visible.width(); ++x)
        xs[x] =
            std::min(src.width() - 1, static_cast<int>(static_cast<int64_t>(visible.left() + x) *
                                                       src.width() / drawWidth));
    for (int y = 0; y < visible.height(); ++y) {
        const int sy =
            std::min(src.height() - 1, static_cast<int>(static_cast<int64_t>(visible.top() + y) *
                                                        src.height() / drawHeight));
        const auto *in = reinterpret_cast<const QRgb *>(src.constScanLine(sy));
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < visible.width(); ++x)
            line[x] = in[xs[x]];
    }
    return out;
}

uint8_t ClampByte(float v)
{
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

RESAMPLE_MODE ResampleModeFor(int interpolation)
{
    switch (interpolation) {
    case 2:
        return {ResampleFilter::Bicubic, true};
    case 4:
        return {ResampleFilter::Bicubic, false};
    case 5:
        return {ResampleFilter::Nearest, false};
    case 6:
        return {ResampleFilter::Bilinear, true};
    case 7:
        return {ResampleFilter::Bicubic, true};
    case 0:
    case 1:
    case 3:
    default:
        return {ResampleFilter::Bilinear, false};
    }
}

QImage ResampleRegion(const QImage &source, int drawWidth, int drawHeight, const QRect &visible,
                      RESAMPLE_MODE mode)
{
    if (source.isNull() || drawWidth <= 0 || drawHeight <= 0 || visible.isEmpty())
        return QImage();
    const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (mode.filter == ResampleFilter::Nearest)
        return Nearest(src, drawWidth, drawHeight, visible);

    const Taps cols = MakeTaps(src.width(), drawWidth, visible.left(), visible.width(), mode);
    const Taps rows = MakeTaps(src.height(), drawHeight, visible.top(), visible.height(), mode);
    const int rowFirst = rows.first.front();
    int rowLast = rowFirst;
    for (int i = 0; i < visible.height(); ++i)
        rowLast = std::max(rowLast, rows.first[i] + rows.count[i] - 1);

    // Horizontal pass over only the source rows the vertical pass reads, kept in floats.
    const int width = visible.width();
    std::vector<float> horizontal(static_cast<size_t>(rowLast - rowFirst + 1) * width * 4);
    for (int sy = rowFirst; sy <= rowLast; ++sy) {
        const uint8_t *in = src.constScanLine(sy);
        float *outRow = &horizontal[static_cast<size_t>(sy - rowFirst) * width * 4];
        for (int x = 0; x < width; ++x) {
            const float *w = &cols.weights[static_cast<size_t>(x) * cols.stride];
            const uint8_t *p = in + static_cast<size_t>(cols.first[x]) * 4;
            float acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < cols.count[x]; ++k, p += 4) {
                for (int c = 0; c < 4; ++c)
                    acc[c] += w[k] * p[c];
            }
            for (int c = 0; c < 4; ++c)
                outRow[x * 4 + c] = acc[c];
        }
    }

    QImage out(visible.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < visible.height(); ++y) {
        const float *w = &rows.weights[static_cast<size_t>(y) * rows.stride];
        uint8_t *line = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < rows.count[y]; ++k) {
                const float *p =
                    &horizontal[(static_cast<size_t>(rows.first[y] - rowFirst + k) * width + x) *
                                4];
                for (int c = 0; c < 4; ++c)
                    acc[c] += w[k] * p[c];
            }
            // Cubic overshoot must not leave a colour above its alpha.
            const uint8_t alpha = ClampByte(acc[3]);
            for (int c = 0; c < 3; ++c)
                line[x * 4 + c] = std::min(ClampByte(acc[c]), alpha);
            line[x * 4 + 3] = alpha;
        }
    }
    return out;
}
