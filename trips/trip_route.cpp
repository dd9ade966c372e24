#include "trips/trip_route.h"

#include <charconv>

#include "export/track_writers.h"

std::string TripRouteJson(const std::vector<std::vector<FIX_POINT>> &clips, int current,
                          size_t maxPoints)
{
    std::string out = "{\"current\":" + std::to_string(current) + ",\"clips\":[";
    for (size_t c = 0; c < clips.size(); ++c) {
        const std::vector<FIX_POINT> &points = clips[c];
        out += c ? ",[" : "[";
        const size_t step = points.size() > maxPoints && maxPoints > 1
                                ? (points.size() + maxPoints - 2) / (maxPoints - 1)
                                : 1;
        bool first = true;
        for (size_t i = 0; i < points.size(); i += step) {
            // The last fix always ends the line, wherever the step lands.
            const FIX_POINT &p = i + step >= points.size() ? points.back() : points[i];
            out += (first ? "[" : ",[") + DecimalText(p.dLatitude, 6) + "," +
                   DecimalText(p.dLongitude, 6) + "," + std::to_string(p.nTimeMs) + "]";
            first = false;
            if (&p == &points.back())
                break;
        }
        out += "]";
    }
    return out + "]}";
}

bool ParseTripClick(const std::string &text, size_t clipCount, size_t *clip, uint32_t *timeMs)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    size_t index = 0;
    uint32_t time = 0;
    const char *begin = text.data(), *end = text.data() + text.size();
    const auto a = std::from_chars(begin, begin + comma, index);
    const auto b = std::from_chars(begin + comma + 1, end, time);
    if (a.ec != std::errc() || a.ptr != begin + comma || b.ec != std::errc() || b.ptr != end ||
        index >= clipCount)
        return false;
    *clip = index;
    *timeMs = time;
    return true;
}
