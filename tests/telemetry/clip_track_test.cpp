// A clip's whole route: its fixes in signed degrees, read from the clip the way the viewer reads
// it, and the strays left out of the route the map draws.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "telemetry/clip_track.h"
#include "tests/support/temp_folder.h"

namespace {

TEXT_SAMPLE Sample(int32_t time, const std::string &text)
{
    TEXT_SAMPLE s{};
    s.nTime = time;
    std::memcpy(s.szText, text.data(), std::min(text.size(), sizeof s.szText - 1));
    return s;
}

std::vector<TRACK_POINT> PointsOf(const std::vector<TEXT_SAMPLE> &samples)
{
    CTavloNaviTrack track;
    track.BuildTrack(uint32_t(samples.size()), samples.data());
    return TrackPoints(track);
}

TEST(TrackPoints, HemispheresGiveTheSignOfEachAxis)
{
    const struct
    {
        const char *lat, *ns, *lon, *ew;
        double latitude, longitude;
    } cases[] = {
        {"3730.2219", "N", "12225.1649", "W", 37.503698, -122.419415},
        {"3352.0000", "S", "15112.0000", "E", -33.866667, 151.2},
        {"3352.0000", "S", "05812.0000", "W", -33.866667, -58.2},
        {"3730.1234", "N", "12701.5000", "E", 37.502057, 127.025},
        {"3730.1234", "X", "12701.5000", "w", 37.502057, 127.025}, // other letters: as written
    };
    for (const auto &c : cases) {
        const std::string sentence = std::string("G$GPRMC,143300.000,A,") + c.lat + "," + c.ns +
                                     "," + c.lon + "," + c.ew + ",10.5,90.0,120510,,,A*00";
        const std::vector<TRACK_POINT> points = PointsOf({Sample(2000, sentence)});
        ASSERT_EQ(points.size(), 1u) << sentence;
        EXPECT_NEAR(points[0].dLatitude, c.latitude, 5e-7) << sentence;
        EXPECT_NEAR(points[0].dLongitude, c.longitude, 5e-7) << sentence;
        EXPECT_EQ(points[0].dwTime, 2000u);
        EXPECT_EQ(points[0].nSpeed, 19);
        EXPECT_EQ(points[0].nCourse, 90);
    }
}

TRACK_POINT At(uint32_t seconds, double lat, double lon)
{
    return {seconds * 1000, lat, lon, 0, 0};
}

TEST(PlausibleRoute, LeavesOutFixesTooFarFromThePreviousKeptOne)
{
    // 0.001 degrees of latitude is 111 m: 400 km/h over one second. 0.0005 is 200 km/h.
    const struct
    {
        const char *what;
        std::vector<TRACK_POINT> points;
        std::vector<size_t> kept;
    } cases[] = {
        {"a drive at city speed", {At(0, 37.5, -122.4), At(1, 37.5001, -122.4), At(2, 37.5002, -122.4)},
         {0, 1, 2}},
        {"a jump to the other hemisphere and back",
         {At(0, 37.5, -122.4), At(1, 37.5001, 122.4), At(2, 37.5002, -122.4)}, {0, 2}},
        {"a 0,0 fix in the middle", {At(0, 37.5, -122.4), At(1, 0, 0), At(2, 37.5002, -122.4)}, {0, 2}},
        {"a 0,0 first fix", {At(0, 0, 0), At(1, 37.5, -122.4), At(2, 37.5001, -122.4)}, {1, 2}},
        {"a stray first fix before a stray second one",
         {At(0, 0, 0), At(1, -37.5, 122.4), At(2, 37.5, -122.4), At(3, 37.5001, -122.4)}, {2, 3}},
        {"200 km/h is kept, 400 km/h is not",
         {At(0, 37.5, 0), At(1, 37.5005, 0), At(2, 37.5015, 0)}, {0, 1}},
        {"slow again after a gap: reachable from the last kept fix",
         {At(0, 37.5, 0), At(1, 37.6, 0), At(10, 37.5005, 0)}, {0, 2}},
        {"a repeated time at the same place is kept, elsewhere not",
         {At(0, 37.5, 0), At(0, 37.5, 0), At(0, 37.5001, 0)}, {0, 1}},
        {"one fix", {At(3, 10, 10)}, {0}},
        {"no fix", {}, {}},
    };
    for (const auto &c : cases) {
        const std::vector<TRACK_POINT> route = PlausibleRoute(c.points);
        std::vector<size_t> kept;
        for (const TRACK_POINT &p : route) {
            for (size_t i = 0; i < c.points.size(); ++i)
                if (std::memcmp(&c.points[i], &p, sizeof p) == 0 &&
                    std::find(kept.begin(), kept.end(), i) == kept.end()) {
                    kept.push_back(i);
                    break;
                }
        }
        EXPECT_EQ(kept, c.kept) << c.what;
    }
}

TEST(DistanceKm, MatchesKnownDistances)
{
    EXPECT_NEAR(DistanceKm(At(0, 0, 0), At(0, 1, 0)), 111.195, 0.01);
    EXPECT_NEAR(DistanceKm(At(0, 0, 179.5), At(0, 0, -179.5)), 111.195, 0.01); // the date line
    EXPECT_NEAR(DistanceKm(At(0, 37.7749, -122.4194), At(0, 34.0522, -118.2437)), 559.1, 1.0);
}

std::string MakeNmeaClip(const CTempFolder &folder, const std::string &lines)
{
    {
        std::ofstream out(folder / "lines.txt", std::ios::binary);
        out << lines;
    }
    const std::string clip = folder / "clip.avi";
    const std::string command = std::string(ROADLOG_MKCARD) + " --nmea '" + (folder / "lines.txt") +
                                "' '" + clip + "' >/dev/null";
    return std::system(command.c_str()) == 0 ? clip : std::string();
}

TEST(ReadClipTrack, ReadsTheClipsFixesInSignedDegrees)
{
    CTempFolder folder;
    const std::string clip =
        MakeNmeaClip(folder, "G$GPRMC,170000.000,A,3747.0000,N,12225.0000,W,20.0,45.0,120510,,,A*00\n"
                             "G$GPRMC,170001.000,V,,,,,,,120510,,,N*00\n"
                             "G$GPRMC,170002.000,A,3747.0060,N,12224.9940,W,21.0,45.0,120510,,,A*00\n");
    ASSERT_FALSE(clip.empty());
    std::vector<TRACK_POINT> points;
    ASSERT_EQ(ReadClipTrack(clip, &points), 0);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].dwTime, 0u);
    EXPECT_EQ(points[1].dwTime, 2000u);
    EXPECT_NEAR(points[0].dLatitude, 37.783333, 5e-7);
    EXPECT_NEAR(points[0].dLongitude, -122.416667, 5e-7);
    EXPECT_NEAR(points[1].dLongitude, -122.4165667, 5e-7);
    EXPECT_EQ(points[0].nSpeed, 37);
}

TEST(ReadClipTrack, AMissingClipIsTheEnginesErrorAndNoPoints)
{
    CTempFolder folder;
    std::vector<TRACK_POINT> points{At(0, 1, 1)};
    EXPECT_LT(ReadClipTrack(folder / "none.avi", &points), 0);
    EXPECT_TRUE(points.empty());
}

} // namespace
