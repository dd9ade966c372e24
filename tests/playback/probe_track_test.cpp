// roadlog-probe track: the clip's text read the way the viewer reads it, turned into the track.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/demo_card.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Run(const std::string &command, int *status)
{
    std::string output;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return output;
    }
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    *status = ::pclose(pipe);
    return output;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Track(const std::string &clip, int *status)
{
    return Run(std::string(ROADLOG_PROBE) + " track '" + clip + "' 2>/dev/null", status);
}

// Sentences with their fixes worked out by hand: degrees = dd + mm.mmmm / 60, km/h = knots *
// 1.852 truncated. A void fix and a line that is no RMC sentence are left out of the track;
// times are those of their samples (one a second).
TEST(ProbeTrack, PrintsEachValidFix)
{
    CTempFolder folder;
    {
        std::ofstream out(folder / "lines.txt", std::ios::binary);
        out << "G$GPRMC,134500.000,A,3733.1234,N,12658.5678,E,30.5,271.9,111010,,,A*00\n"
               "G$GPRMC,134501.000,V,,,,,,,111010,,,N*00\n"
               "G$GPGGA,134502.000,3733.1300,N,12658.5600,E,1,08,1.0,30.0,M,,,,*00\n"
               "G$GPRMC,134503.000,A,0130.0000,S,00015.0000,W,0.0,5.5,111010,,,A*00\n";
    }
    const std::string clip = folder / "clip.avi";
    ASSERT_EQ(std::system((std::string(ROADLOG_MKCARD) + " --nmea '" + (folder / "lines.txt") +
                           "' '" + clip + "'")
                              .c_str()),
              0);
    int status = 0;
    const std::vector<std::string> lines = Lines(Track(clip, &status));
    EXPECT_EQ(status, 0);
    const std::vector<std::string> expected = {
        "0,37.552057,126.976130,56,271",
        "3000,-1.500000,-0.250000,0,5",
    };
    EXPECT_EQ(lines, expected);
}

// The demo card's clips: one fix a second along a drive, each close to the one before.
TEST(ProbeTrack, DemoClipGivesItsRoute)
{
    CTempFolder card;
    ASSERT_TRUE(WriteDemoCard(card.Path()));
    int status = 0;
    const std::vector<std::string> lines =
        Lines(Track(card / "RECORD/20101011/R_20101011_134500.avi", &status));
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(lines.empty()); // the drive may start without a fix
    ASSERT_LE(lines.size(), 3u);
    double previousLat = 0, previousLon = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        unsigned time = 0;
        double lat = 0, lon = 0;
        int speed = -1, course = -1;
        ASSERT_EQ(
            std::sscanf(lines[i].c_str(), "%u,%lf,%lf,%d,%d", &time, &lat, &lon, &speed, &course),
            5)
            << lines[i];
        EXPECT_EQ(time % 1000, 0u);
        EXPECT_LT(time, 3000u);
        EXPECT_GT(lat, 0.0);
        EXPECT_GT(lon, 0.0);
        EXPECT_GE(speed, 0);
        EXPECT_LT(course, 360);
        if (i > 0) { // a city drive covers well under 0.01 degrees a second
            EXPECT_LT(std::abs(lat - previousLat), 0.01);
            EXPECT_LT(std::abs(lon - previousLon), 0.01);
        }
        previousLat = lat;
        previousLon = lon;
    }
}

TEST(ProbeTrack, MissingFileIsAnError)
{
    CTempFolder folder;
    int status = 0;
    EXPECT_EQ(Track(folder / "none.avi", &status), "");
    EXPECT_NE(status, 0);
}

} // namespace
