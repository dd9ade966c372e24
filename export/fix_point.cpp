#include "export/fix_point.h"

#include <cstdio>
#include <ctime>

FIX_POINT FixPointFromFix(const CTavloNaviInfo &fix)
{
    FIX_POINT point;
    point.nTimeMs = fix.dwTime;
    point.dLatitude = NaviLatitude(fix);
    point.dLongitude = NaviLongitude(fix);
    point.dSpeedKmh = fix.fSpeed;
    point.dCourse = fix.fCourse;
    const SYSTEMTIME &t = fix.stGpsTime;
    // A sentence without its date field leaves day and month 0: no usable time.
    if (t.wDay >= 1 && t.wDay <= 31 && t.wMonth >= 1 && t.wMonth <= 12 && t.wYear <= 99 &&
        t.wHour < 24 && t.wMinute < 60 && t.wSecond < 61) {
        tm calendar{};
        calendar.tm_year = 2000 + t.wYear - 1900;
        calendar.tm_mon = t.wMonth - 1;
        calendar.tm_mday = t.wDay;
        calendar.tm_hour = t.wHour;
        calendar.tm_min = t.wMinute;
        calendar.tm_sec = t.wSecond;
        point.nUtcMs = int64_t(timegm(&calendar)) * 1000;
    }
    return point;
}

std::vector<FIX_POINT> PointsInSpan(const std::vector<FIX_POINT> &points, uint32_t fromMs,
                                    uint32_t toMs)
{
    std::vector<FIX_POINT> span;
    for (const FIX_POINT &point : points) {
        if (point.nTimeMs >= fromMs && point.nTimeMs <= toMs)
            span.push_back(point);
    }
    return span;
}

int64_t UtcAtClipPosition(const std::vector<FIX_POINT> &points, uint32_t positionMs)
{
    for (const FIX_POINT &point : points) {
        if (point.nUtcMs >= 0)
            return point.nUtcMs - int64_t(point.nTimeMs) + int64_t(positionMs);
    }
    return -1;
}

std::string IsoUtcText(int64_t utcMs)
{
    int64_t seconds = utcMs / 1000;
    int64_t millis = utcMs % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const time_t whole = time_t(seconds);
    tm t{};
    gmtime_r(&whole, &t);
    char text[80];
    if (millis != 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, int(millis));
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}
