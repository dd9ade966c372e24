#include "export/track_writers.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

std::string DecimalText(double value, int decimals)
{
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string out(text, result.ptr);
    if (out.find_first_not_of("-0.") == std::string::npos && out[0] == '-')
        out.erase(0, 1); // no "-0.000000"
    return out;
}

namespace {

std::string XmlEscaped(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters are not allowed in XML 1.0 at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n')
                out += c;
        }
    }
    return out;
}

const FIX_POINT *FirstDated(const std::vector<std::vector<FIX_POINT>> &segments, bool last)
{
    const FIX_POINT *found = nullptr;
    for (const auto &segment : segments) {
        for (const FIX_POINT &point : segment) {
            if (point.nUtcMs < 0)
                continue;
            if (!last)
                return &point;
            found = &point;
        }
    }
    return found;
}

} // namespace

std::string TrackToGpx(const std::vector<std::vector<FIX_POINT>> &segments, const std::string &name)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Roadlog Viewer\"\n"
        "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\"\n"
        "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    out += "  <metadata>\n    <name>" + XmlEscaped(name) + "</name>\n";
    if (const FIX_POINT *first = FirstDated(segments, false))
        out += "    <time>" + IsoUtcText(first->nUtcMs) + "</time>\n";
    out += "  </metadata>\n  <trk>\n    <name>" + XmlEscaped(name) + "</name>\n";
    for (const auto &segment : segments) {
        out += "    <trkseg>\n";
        for (const FIX_POINT &point : segment) {
            out += "      <trkpt lat=\"" + DecimalText(point.dLatitude, 6) + "\" lon=\"" +
                   DecimalText(point.dLongitude, 6) + "\">\n";
            if (point.nUtcMs >= 0)
                out += "        <time>" + IsoUtcText(point.nUtcMs) + "</time>\n";
            out += "        <extensions>\n          <gpxtpx:TrackPointExtension>\n"
                   "            <gpxtpx:speed>" +
                   DecimalText(point.dSpeedKmh / 3.6, 3) +
                   "</gpxtpx:speed>\n            <gpxtpx:course>" + DecimalText(point.dCourse, 1) +
                   "</gpxtpx:course>\n          </gpxtpx:TrackPointExtension>\n"
                   "        </extensions>\n      </trkpt>\n";
        }
        out += "    </trkseg>\n";
    }
    out += "  </trk>\n</gpx>\n";
    return out;
}

std::string TrackToKml(const std::vector<std::vector<FIX_POINT>> &segments, const std::string &name)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n    <name>" +
                      XmlEscaped(name) + "</name>\n";
    out += "    <Placemark>\n      <name>" + XmlEscaped(name) + "</name>\n";
    const FIX_POINT *first = FirstDated(segments, false);
    const FIX_POINT *last = FirstDated(segments, true);
    if (first && last)
        out += "      <TimeSpan><begin>" + IsoUtcText(first->nUtcMs) + "</begin><end>" +
               IsoUtcText(last->nUtcMs) + "</end></TimeSpan>\n";
    out += "      <MultiGeometry>\n";
    for (const auto &segment : segments) {
        out += "        <LineString>\n          <tessellate>1</tessellate>\n"
               "          <coordinates>\n";
        for (const FIX_POINT &point : segment)
            out += "            " + DecimalText(point.dLongitude, 6) + "," +
                   DecimalText(point.dLatitude, 6) + ",0\n";
        out += "          </coordinates>\n        </LineString>\n";
    }
    out += "      </MultiGeometry>\n    </Placemark>\n    <Folder>\n      <name>Fixes</name>\n";
    for (const auto &segment : segments) {
        for (const FIX_POINT &point : segment) {
            out += "      <Placemark>\n";
            if (point.nUtcMs >= 0)
                out += "        <TimeStamp><when>" + IsoUtcText(point.nUtcMs) +
                       "</when></TimeStamp>\n";
            out += "        <ExtendedData>\n"
                   "          <Data name=\"speed_kmh\"><value>" +
                   DecimalText(point.dSpeedKmh, 1) +
                   "</value></Data>\n"
                   "          <Data name=\"course\"><value>" +
                   DecimalText(point.dCourse, 1) +
                   "</value></Data>\n        </ExtendedData>\n"
                   "        <Point><coordinates>" +
                   DecimalText(point.dLongitude, 6) + "," + DecimalText(point.dLatitude, 6) +
                   ",0</coordinates></Point>\n      </Placemark>\n";
        }
    }
    out += "    </Folder>\n  </Document>\n</kml>\n";
    return out;
}

std::string TrackToCsv(const std::vector<std::vector<FIX_POINT>> &segments)
{
    std::string out = "time_utc,clip_time_ms,latitude,longitude,speed_kmh,course\n";
    for (const auto &segment : segments) {
        for (const FIX_POINT &point : segment) {
            out += (point.nUtcMs >= 0 ? IsoUtcText(point.nUtcMs) : std::string()) + "," +
                   std::to_string(point.nTimeMs) + "," + DecimalText(point.dLatitude, 6) + "," +
                   DecimalText(point.dLongitude, 6) + "," + DecimalText(point.dSpeedKmh, 1) + "," +
                   DecimalText(point.dCourse, 1) + "\n";
        }
    }
    return out;
}

std::string TrackToText(TrackFormat format, const std::vector<std::vector<FIX_POINT>> &segments,
                        const std::string &name)
{
    switch (format) {
    case TrackFormat::Gpx:
        return TrackToGpx(segments, name);
    case TrackFormat::Kml:
        return TrackToKml(segments, name);
    case TrackFormat::Csv:
        break;
    }
    return TrackToCsv(segments);
}

const char *TrackFormatExtension(TrackFormat format)
{
    switch (format) {
    case TrackFormat::Gpx:
        return "gpx";
    case TrackFormat::Kml:
        return "kml";
    case TrackFormat::Csv:
        break;
    }
    return "csv";
}

bool WriteFileWhole(const std::string &path, const std::string &bytes, std::string *error)
{
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd);
            ::unlink(part.c_str());
            return false;
        }
        done += size_t(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 || !synced) {
        *error = std::strerror(synced ? errno : syncError);
        ::unlink(part.c_str());
        return false;
    }
    if (::rename(part.c_str(), path.c_str()) != 0) {
        *error = std::strerror(errno);
        ::unlink(part.c_str());
        return false;
    }
    return true;
}
