#pragma once

#include <QImage>
#include <QRect>

// Scaling filters the viewer offers. The prefiltered forms widen the kernel when shrinking, so
// a picture drawn small averages every source pixel instead of skipping most of them.
enum class ResampleFilter
{
    Nearest,
    Bilinear,
    Bicubic,
};

struct RESAMPLE_MODE
{
    ResampleFilter filter;
    bool bPrefilter;
};

// The mode behind each of the eight interpolation choices (0 default, 1 low quality, 2 high
// quality, 3 bilinear, 4 bicubic, 5 nearest neighbour, 6 high-quality bilinear, 7 high-quality
// bicubic); an unknown choice gives the default.
RESAMPLE_MODE ResampleModeFor(int interpolation);

// The part `visible` (in the coordinates of the picture drawn drawWidth x drawHeight) of the
// picture scaled to that size. Only the visible part is computed, so a picture zoomed to 500 %
// costs no more than the window it is shown in. Format ARGB32 premultiplied.
QImage ResampleRegion(const QImage &source, int drawWidth, int drawHeight, const QRect &visible,
                      RESAMPLE_MODE mode);
