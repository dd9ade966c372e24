#include "telemetry/clip_track.h"

#include <algorithm>
#include <cmath>

#include "playback/text_reading.h"

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kPi = 3.14159265358979323846;

double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}

bool Reachable(const TRACK_POINT &from, const TRACK_POINT &to, double maxKmh)
{
    // Times out of order or repeated give no time to travel: only staying put is possible.
    const double hours =
        to.dwTime > from.dwTime ? static_cast<double>(to.dwTime - from.dwTime) / 3.6e6 : 0.0;
    return DistanceKm(from, to) <= maxKmh * hours + 1e-9;
}

} // namespace

std::vector<TRACK_POINT> TrackPoints(const CTavloNaviTrack &track)
{
    std::vector<TRACK_POINT> points;
    points.reserve(track.Count());
    for (size_t i = 0; i < track.Count(); ++i) {
        const CTavloNaviInfo &fix = track.At(i);
        points.push_back({fix.dwTime, NaviLatitude(fix), NaviLongitude(fix),
                          TruncateToInt(fix.fSpeed), TruncateToInt(fix.fCourse)});
    }
    return points;
}

int32_t ReadClipTrack(const std::string &path, std::vector<TRACK_POINT> *points)
{
    points->clear();
    std::vector<TEXT_SAMPLE> samples;
    if (const int32_t result = ReadClipText(path, &samples); result < 0)
        return result;
    CTavloNaviTrack track;
    track.BuildTrack(static_cast<uint32_t>(samples.size()), samples.data());
    *points = TrackPoints(track);
    return 0;
}

double DistanceKm(const TRACK_POINT &from, const TRACK_POINT &to)
{
    const double dLat = Radians(to.dLatitude - from.dLatitude);
    const double dLon = Radians(to.dLongitude - from.dLongitude);
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(Radians(from.dLatitude)) * std::cos(Radians(to.dLatitude)) *
                         std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::min(1.0, a)));
}

std::vector<TRACK_POINT> PlausibleRoute(const std::vector<TRACK_POINT> &points, double maxKmh)
{
    std::vector<TRACK_POINT> route;
    size_t start = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const bool next = Reachable(points[i], points[i + 1], maxKmh);
        const bool afterNext = i + 2 < points.size() && Reachable(points[i], points[i + 2], maxKmh);
        if (next || afterNext) {
            start = i;
            break;
        }
    }
    for (size_t i = start; i < points.size(); ++i) {
        if (route.empty() || Reachable(route.back(), points[i], maxKmh))
            route.push_back(points[i]);
    }
    return route;
}

int32_t RouteIndexAt(const std::vector<TRACK_POINT> &route, uint32_t positionMs)
{
    if (route.empty())
        return -1;
    const auto after = std::upper_bound(
        route.begin(), route.end(), positionMs,
        [](uint32_t position, const TRACK_POINT &point) { return position < point.dwTime; });
    return after == route.begin() ? 0 : static_cast<int32_t>(after - route.begin()) - 1;
}
