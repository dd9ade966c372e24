#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "telemetry/navi_info.h"

// One fix as the export files write it: signed degrees (south and west negative), the fix's
// UTC time as a full date, speed and course as recorded.
struct FIX_POINT
{
    uint32_t nTimeMs = 0;  // sample time on the clip's playback clock
    int64_t nUtcMs = -1;   // fix time in ms since 1970, -1 when the sentence carried no date
    double dLatitude = 0;  // decimal degrees, north positive
    double dLongitude = 0; // decimal degrees, east positive
    double dSpeedKmh = 0;
    double dCourse = 0; // degrees from north
};

// The record in signed degrees; the sentence's two-digit year is read as 20yy.
FIX_POINT FixPointFromFix(const CTavloNaviInfo &fix);

// The points whose sample time lies in [fromMs, toMs].
std::vector<FIX_POINT> PointsInSpan(const std::vector<FIX_POINT> &points, uint32_t fromMs,
                                    uint32_t toMs);

// The wall-clock time at a position of the clip, from the first fix that has a date: its UTC
// time less its distance from the position. -1 when no fix has one.
int64_t UtcAtClipPosition(const std::vector<FIX_POINT> &points, uint32_t positionMs);

// "2010-10-11T13:45:00Z" (milliseconds only when not zero: "…:00.250Z").
std::string IsoUtcText(int64_t utcMs);
