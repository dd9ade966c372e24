// The demo card's GPS sentences: the exact text the viewer's parser reads, and a drive that
// moves the way a car does.
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/mkcard/gps_route.h"

namespace {

constexpr time_t k20100512_143300 = 1273674780; // 2010-05-12 14:33:00 UTC

// XOR of the characters between '$' and '*', the way any NMEA reader checks it.
std::string WithChecksum(const std::string &sentence)
{
    unsigned sum = 0;
    for (size_t i = sentence.find('$') + 1; i < sentence.size(); ++i)
        sum ^= uint8_t(sentence[i]);
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return sentence + tail;
}

TEST(RmcSentence, WritesTheRecordersFormat)
{
    const struct
    {
        const char *name;
        RouteFix fix;
        time_t utc;
        const char *expected; // without checksum
    } cases[] = {
        {"north-east fix",
         {37.0 + 30.1234 / 60, 127.0 + 1.5 / 60, 10.5 * 1.852, 90.0, true},
         k20100512_143300,
         "G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A"},
        {"south-west fix",
         {-(33.0 + 30.0 / 60), -(70.0 + 15.0 / 60), 0, 359.9, true},
         k20100512_143300 + 3600 * 10 + 59,
         "G$GPRMC,003359.000,A,3330.0000,S,07015.0000,W,0.0,359.9,130510,,,A"},
        {"minutes that round up carry into the degree",
         {37.99999999, 8.99999999, 1.852, 0, true},
         k20100512_143300,
         "G$GPRMC,143300.000,A,3800.0000,N,00900.0000,E,1.0,0.0,120510,,,A"},
        {"no fix",
         {37.5, 127.0, 30, 45, false},
         k20100512_143300,
         "G$GPRMC,143300.000,V,,,,,,,120510,,,N"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RmcSentence(c.fix, c.utc), WithChecksum(c.expected)) << c.name;
}

double MetresBetween(const RouteFix &a, const RouteFix &b)
{
    const double north = (b.dLatitude - a.dLatitude) * 111320.0;
    const double east = (b.dLongitude - a.dLongitude) * 111320.0 *
                        std::cos(a.dLatitude * 3.14159265358979323846 / 180.0);
    return std::hypot(north, east);
}

TEST(DriveRoute, MovesAsFastAsItsSpeedAndNeverJumps)
{
    std::set<int> courses;
    int stopped = 0, voids = 0;
    double fastest = 0;
    RouteFix previous = FixAtDriveSecond(0);
    for (uint32_t s = 1; s < 900; ++s) {
        const RouteFix fix = FixAtDriveSecond(s);
        SCOPED_TRACE(s);
        // Distance covered in the last second is what its speed allows (less round a corner).
        EXPECT_LE(MetresBetween(previous, fix), previous.dSpeedKmh / 3.6 + 0.01);
        EXPECT_GE(fix.dCourse, 0.0);
        EXPECT_LT(fix.dCourse, 360.0);
        EXPECT_GE(fix.dSpeedKmh, 0.0);
        EXPECT_LT(fix.dSpeedKmh, 70.0);
        EXPECT_NEAR(fix.dLatitude, 37.504, 0.01);
        EXPECT_NEAR(fix.dLongitude, 127.034, 0.015);
        courses.insert(int(fix.dCourse));
        stopped += fix.dSpeedKmh == 0;
        voids += !fix.bValid;
        fastest = std::max(fastest, fix.dSpeedKmh);
        previous = fix;
    }
    EXPECT_GE(courses.size(), 5u) << "the drive turns corners";
    EXPECT_GT(stopped, 10) << "and waits at lights";
    EXPECT_GT(fastest, 50.0);
    EXPECT_GT(voids, 0);
    EXPECT_LT(voids, 30) << "void fixes stay the exception";
}

TEST(DriveRoute, ParkedFixStaysPut)
{
    const RouteFix a = ParkedFix();
    EXPECT_TRUE(a.bValid);
    EXPECT_EQ(a.dSpeedKmh, 0.0);
    const std::string sentence = RmcSentence(a, k20100512_143300);
    EXPECT_EQ(sentence.find("G$GPRMC,143300.000,A,"), 0u) << sentence;
}

} // namespace
