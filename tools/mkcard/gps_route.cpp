#include "tools/mkcard/gps_route.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;

struct Waypoint
{
    double lat, lon;
};

// A loop of about 4.6 km; the drive goes round it again and again.
constexpr Waypoint kLoop[] = {
    {37.50205, 127.02500}, {37.50640, 127.02710}, {37.51020, 127.03350}, {37.50810, 127.04120},
    {37.50330, 127.04390}, {37.49870, 127.03940}, {37.49760, 127.03110}, {37.50205, 127.02500},
};

// Metres east and north of one waypoint to the next.
void SegmentVector(size_t i, double *east, double *north)
{
    const Waypoint &a = kLoop[i];
    const Waypoint &b = kLoop[i + 1];
    *north = (b.lat - a.lat) * kMetresPerDegree;
    *east = (b.lon - a.lon) * kMetresPerDegree * std::cos(a.lat * kPi / 180.0);
}

double LoopLength()
{
    double total = 0;
    for (size_t i = 0; i + 1 < std::size(kLoop); ++i) {
        double e, n;
        SegmentVector(i, &e, &n);
        total += std::hypot(e, n);
    }
    return total;
}

// Speed in km/h for one second of the drive: a 100-second cycle of pulling away, cruising with
// some wobble, braking and waiting 8 seconds at a light.
double SpeedAt(uint32_t second)
{
    const uint32_t phase = second % 100;
    if (phase < 8)
        return 0;
    if (phase < 20)
        return (phase - 8) * 4.5; // up to 54 km/h
    if (phase < 85)
        return 54 + 9 * std::sin((phase - 20) * 2 * kPi / 32.0);
    return std::max(0.0, 54 - (phase - 85) * 3.6);
}

} // namespace

RouteFix FixAtDriveSecond(uint32_t second)
{
    double distance = 0;
    for (uint32_t s = 0; s < second; ++s)
        distance += SpeedAt(s) / 3.6;
    distance = std::fmod(distance, LoopLength());

    RouteFix fix;
    fix.dSpeedKmh = SpeedAt(second);
    for (size_t i = 0; i + 1 < std::size(kLoop); ++i) {
        double east, north;
        SegmentVector(i, &east, &north);
        const double length = std::hypot(east, north);
        if (distance > length && i + 2 < std::size(kLoop)) {
            distance -= length;
            continue;
        }
        const double f = std::min(1.0, distance / length);
        fix.dLatitude = kLoop[i].lat + (kLoop[i + 1].lat - kLoop[i].lat) * f;
        fix.dLongitude = kLoop[i].lon + (kLoop[i + 1].lon - kLoop[i].lon) * f;
        fix.dCourse = std::fmod(std::atan2(east, north) * 180.0 / kPi + 360.0, 360.0);
        break;
    }
    // No fix while the receiver starts up, and in a short underpass every 150 seconds.
    fix.bValid = second >= 2 && (second % 150 < 60 || second % 150 > 62);
    return fix;
}

RouteFix ParkedFix()
{
    RouteFix fix;
    fix.dLatitude = 37.49912;
    fix.dLongitude = 127.03575;
    fix.dCourse = 211.4;
    return fix;
}

namespace {

// Degrees as NMEA's (d)ddmm.mmmm.
std::string NmeaAngle(double degrees, int degreeDigits)
{
    const double magnitude = std::fabs(degrees);
    int whole = int(magnitude);
    double minutes = (magnitude - whole) * 60.0;
    // Rounding to 4 decimals may reach 60.0000, which belongs to the next degree.
    if (std::round(minutes * 10000.0) >= 600000.0) {
        minutes = 0;
        ++whole;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, whole, minutes);
    return text;
}

} // namespace

std::string RmcSentence(const RouteFix &fix, time_t utc)
{
    tm t{};
    gmtime_r(&utc, &t);
    char time[32], date[32];
    std::snprintf(time, sizeof time, "%02d%02d%02d.000", t.tm_hour, t.tm_min, t.tm_sec);
    std::snprintf(date, sizeof date, "%02d%02d%02d", t.tm_mday, t.tm_mon + 1, t.tm_year % 100);

    std::string body = "GPRMC,";
    body += time;
    if (fix.bValid) {
        char speed[32], course[32];
        std::snprintf(speed, sizeof speed, "%.1f", fix.dSpeedKmh / 1.852);
        std::snprintf(course, sizeof course, "%.1f", fix.dCourse);
        body += ",A,";
        body += NmeaAngle(fix.dLatitude, 2) + (fix.dLatitude < 0 ? ",S," : ",N,");
        body += NmeaAngle(fix.dLongitude, 3) + (fix.dLongitude < 0 ? ",W," : ",E,");
        body += std::string(speed) + "," + course + "," + date + ",,,A";
    } else {
        body += ",V,,,,,,," + std::string(date) + ",,,N";
    }
    uint8_t checksum = 0;
    for (char c : body)
        checksum ^= uint8_t(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", checksum);
    return "G$" + body + tail;
}
