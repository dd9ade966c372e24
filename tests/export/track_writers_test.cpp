#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/fix_point.h"
#include "export/track_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace {

bool HaveTool(const char *name)
{
    return RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1").exitCode == 0;
}

CTavloNaviInfo Fix(double lat, wchar_t ns, double lon, wchar_t ew, uint16_t day, uint16_t hour)
{
    CTavloNaviInfo fix;
    fix.dLatitude = lat;
    fix.cLatHemisphere = ns;
    fix.dLongitude = lon;
    fix.cLonHemisphere = ew;
    fix.stGpsTime.wYear = 10;
    fix.stGpsTime.wMonth = 5;
    fix.stGpsTime.wDay = day;
    fix.stGpsTime.wHour = hour;
    fix.stGpsTime.wMinute = 33;
    return fix;
}

struct FixCase
{
    const char *name;
    CTavloNaviInfo fix;
    double lat, lon;
    const char *time; // "" when the fix has no usable date
};

TEST(FixPoint, SignedDegreesAndFullDates)
{
    const FixCase cases[] = {
        {"north east", Fix(3730.1234, L'N', 12701.5, L'E', 12, 14), 37.502057, 127.025,
         "2010-05-12T14:33:00Z"},
        {"south west", Fix(3352.0, L'S', 15112.0, L'W', 12, 14), -33.866667, -151.2,
         "2010-05-12T14:33:00Z"},
        {"no date field", Fix(3730.0, L'N', 12700.0, L'E', 0, 14), 37.5, 127.0, ""},
        {"hour out of range", Fix(3730.0, L'N', 12700.0, L'E', 12, 24), 37.5, 127.0, ""},
    };
    for (const FixCase &c : cases) {
        SCOPED_TRACE(c.name);
        const FIX_POINT point = FixPointFromFix(c.fix);
        EXPECT_NEAR(point.dLatitude, c.lat, 1e-6);
        EXPECT_NEAR(point.dLongitude, c.lon, 1e-6);
        EXPECT_EQ(point.nUtcMs >= 0 ? IsoUtcText(point.nUtcMs) : "", c.time);
    }
}

TEST(FixPoint, ClipStartFromFirstDatedFix)
{
    std::vector<FIX_POINT> points(3);
    points[0].nTimeMs = 0; // no date: skipped
    points[1].nTimeMs = 2000;
    points[1].nUtcMs = 1273674780000; // 2010-05-12 14:33:00
    points[2].nTimeMs = 3000;
    points[2].nUtcMs = 1273674781000;
    EXPECT_EQ(UtcAtClipPosition(points, 0), 1273674778000);
    EXPECT_EQ(UtcAtClipPosition(points, 10500), 1273674788500);
    EXPECT_EQ(IsoUtcText(1273674788500), "2010-05-12T14:33:08.500Z");
    EXPECT_EQ(UtcAtClipPosition({points[0]}, 0), -1);
    EXPECT_EQ(PointsInSpan(points, 2000, 3000).size(), 2u);
    EXPECT_EQ(PointsInSpan(points, 2001, 2999).size(), 0u);
}

// A drive south of the equator and west of Greenwich, with a point lacking a date, a name
// that needs escaping, and a second segment (the next clip of a trip).
std::vector<std::vector<FIX_POINT>> Segments()
{
    std::vector<std::vector<FIX_POINT>> segments(2);
    for (int i = 0; i < 5; ++i) {
        FIX_POINT p;
        p.nTimeMs = uint32_t(i * 1000);
        p.nUtcMs = i == 2 ? -1 : 1273674780000 + i * 1000;
        p.dLatitude = -33.8 - i * 0.0001;
        p.dLongitude = -151.2 + i * 0.0001;
        p.dSpeedKmh = 36.0 + i;
        p.dCourse = 90.0 + i;
        segments[i < 3 ? 0 : 1].push_back(p);
    }
    return segments;
}

std::string WriteTo(const CTempFolder &folder, const std::string &name, const std::string &text)
{
    const std::string path = folder / name;
    std::string error;
    EXPECT_TRUE(WriteFileWhole(path, text, &error)) << error;
    return path;
}

std::string XPath(const std::string &path, const std::string &expression)
{
    std::string out =
        RunCommand("xmllint --xpath '" + expression + "' '" + path + "' 2>/dev/null").out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

TEST(TrackFiles, GpxValidatesAndHoldsEveryPoint)
{
    if (!HaveTool("xmllint"))
        GTEST_SKIP() << "xmllint is not installed";
    CTempFolder folder;
    // Numbers must not follow the desktop's language.
    const char *german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string path = WriteTo(folder, "trip.gpx", TrackToGpx(Segments(), "Drive <1> & 2"));
    std::setlocale(LC_ALL, "C");
    if (!german)
        std::fprintf(stderr, "de_DE.UTF-8 is not installed: numbers checked in the C locale\n");
    const std::string schema = std::string(ROADLOG_FIXTURES) + "/gpx-1.1.xsd";
    const CommandRun check =
        RunCommand("xmllint --noout --schema '" + schema + "' '" + path + "' 2>&1");
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_EQ(XPath(path, "count(//*[local-name()=\"trkseg\"])"), "2");
    EXPECT_EQ(XPath(path, "count(//*[local-name()=\"trkpt\"])"), "5");
    EXPECT_EQ(XPath(path, "count(//*[local-name()=\"trkpt\"]/*[local-name()=\"time\"])"), "4");
    EXPECT_EQ(XPath(path, "string((//*[local-name()=\"trkpt\"])[2]/@lat)"), "-33.800100");
    EXPECT_EQ(XPath(path, "string((//*[local-name()=\"trkpt\"])[2]/@lon)"), "-151.199900");
    EXPECT_EQ(XPath(path, "string((//*[local-name()=\"speed\"])[1])"), "10.000"); // m/s
    EXPECT_EQ(XPath(path, "string((//*[local-name()=\"course\"])[5])"), "94.0");
    EXPECT_EQ(XPath(path, "string(//*[local-name()=\"trk\"]/*[local-name()=\"name\"])"),
              "Drive <1> & 2");
}

TEST(TrackFiles, KmlOpensInGdal)
{
    if (!HaveTool("ogrinfo"))
        GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
    CTempFolder folder;
    const std::string path = WriteTo(folder, "trip.kml", TrackToKml(Segments(), "Drive"));
    const CommandRun info = RunCommand("ogrinfo -ro -al '" + path + "' 2>&1");
    ASSERT_EQ(info.exitCode, 0) << info.out;
    EXPECT_NE(info.out.find("MULTILINESTRING"), std::string::npos) << info.out;
    // The five fixes as points, each with its time.
    size_t points = 0;
    for (size_t at = 0; (at = info.out.find("POINT Z (", at)) != std::string::npos; ++at)
        ++points;
    EXPECT_EQ(points, 5u) << info.out;
    EXPECT_NE(info.out.find("-151.1996 -33.8004"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2010/05/12 14:33:04"), std::string::npos) << info.out;
}

TEST(TrackFiles, CsvHasOneLinePerFix)
{
    const std::string csv = TrackToCsv(Segments());
    EXPECT_EQ(csv, "time_utc,clip_time_ms,latitude,longitude,speed_kmh,course\n"
                   "2010-05-12T14:33:00Z,0,-33.800000,-151.200000,36.0,90.0\n"
                   "2010-05-12T14:33:01Z,1000,-33.800100,-151.199900,37.0,91.0\n"
                   ",2000,-33.800200,-151.199800,38.0,92.0\n"
                   "2010-05-12T14:33:03Z,3000,-33.800300,-151.199700,39.0,93.0\n"
                   "2010-05-12T14:33:04Z,4000,-33.800400,-151.199600,40.0,94.0\n");
}

TEST(TrackFiles, FailedWriteLeavesNothing)
{
    CTempFolder folder;
    std::string error;
    EXPECT_FALSE(WriteFileWhole(folder / "missing/trip.gpx", "x", &error));
    EXPECT_FALSE(error.empty());
    // An existing file is replaced whole, and no temporary file stays beside it.
    const std::string path = folder / "trip.csv";
    WriteText(path, "old contents that are longer");
    ASSERT_TRUE(WriteFileWhole(path, "new", &error)) << error;
    const std::vector<uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new");
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

} // namespace
