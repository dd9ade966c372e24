#pragma once

#include <string>
#include <vector>

#include "export/fix_point.h"

// The track files handed to other programs: GPX 1.1, KML 2.2 and CSV. Numbers are written the
// same whatever the desktop's language (a '.' before the decimals).

enum class TrackFormat
{
    Gpx,
    Kml,
    Csv
};

// One track segment per list of points (a trip gives one segment per clip). Speed goes in
// m/s and course in degrees into the widely read track-point extension; points without a
// date have no time element.
std::string TrackToGpx(const std::vector<std::vector<FIX_POINT>> &segments,
                       const std::string &name);
// A LineString placemark over the whole track with its time span, then one point placemark
// per fix with its time stamp, speed and course.
std::string TrackToKml(const std::vector<std::vector<FIX_POINT>> &segments,
                       const std::string &name);
// "time_utc,clip_time_ms,latitude,longitude,speed_kmh,course" and one line per fix.
std::string TrackToCsv(const std::vector<std::vector<FIX_POINT>> &segments);

std::string TrackToText(TrackFormat format, const std::vector<std::vector<FIX_POINT>> &segments,
                        const std::string &name);

// A number with a fixed count of decimals and a '.', whatever the locale; never "-0.0".
std::string DecimalText(double value, int decimals);

// The file name extension of a format, without the dot.
const char *TrackFormatExtension(TrackFormat format);

// Writes bytes to path through a temporary file beside it that is renamed over path only when
// everything was written, so a failed write leaves no half file. False with a reason.
bool WriteFileWhole(const std::string &path, const std::string &bytes, std::string *error);
