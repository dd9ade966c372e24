#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "telemetry/navi_track.h"

namespace {

constexpr const wchar_t *kFix =
    L"G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A";

TEXT_SAMPLE Sample(int32_t time, const std::string &text)
{
    TEXT_SAMPLE s{};
    s.nTime = time;
    std::memcpy(s.szText, text.data(), std::min(text.size(), sizeof s.szText - 1));
    return s;
}

std::string Fix(const std::string &status = "A", const std::string &tag = "G$GPRMC")
{
    return tag + ",143300.000," + status + ",3730.1234,N,12701.5000,E,10.5,90.0,120510,,,A";
}

} // namespace

TEST(ParseNaviSentence, ReadsEveryFieldOfTheRecordersSentence)
{
    const CTavloNaviInfo info = ParseNaviSentence(kFix, 5000);
    EXPECT_EQ(info.dwTime, 5000u);
    EXPECT_EQ(info.stGpsTime.wHour, 14);
    EXPECT_EQ(info.stGpsTime.wMinute, 33);
    EXPECT_EQ(info.stGpsTime.wSecond, 0);
    EXPECT_EQ(info.stGpsTime.wDay, 12);
    EXPECT_EQ(info.stGpsTime.wMonth, 5);
    EXPECT_EQ(info.stGpsTime.wYear, 10);
    EXPECT_DOUBLE_EQ(info.dLatitude, 3730.1234);
    EXPECT_DOUBLE_EQ(info.dLongitude, 12701.5);
    EXPECT_FLOAT_EQ(info.fSpeed, static_cast<float>(10.5f * 1.852));
    EXPECT_EQ(static_cast<int>(info.fSpeed), 19);
    EXPECT_FLOAT_EQ(info.fCourse, 90.0f);
    EXPECT_EQ(info.cLatHemisphere, L'N');
    EXPECT_EQ(info.cLonHemisphere, L'E');
    EXPECT_NEAR(NmeaToDegrees(info.dLatitude), 37.502057, 5e-7);
    EXPECT_NEAR(NmeaToDegrees(info.dLongitude), 127.025000, 5e-7);
}

// Numbers no real position has (a damaged sentence) still convert to a finite figure.
TEST(NmeaToDegrees, HugeNumbersStayFinite)
{
    for (const double value : {1e308, -1e306, 1e19, -9.3e18}) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(std::isfinite(NmeaToDegrees(value)));
    }
    EXPECT_NEAR(NmeaToDegrees(-3730.1234), -37.502057, 5e-7);
}

TEST(ParseNaviSentence, TakesOnlyFieldsFollowedByAComma)
{
    // The date is the last field here, so it is never read.
    const CTavloNaviInfo info =
        ParseNaviSentence(L"G$GPRMC,143300,A,3730.1234,S,12701.5,W,1,2,120510", 0);
    EXPECT_EQ(info.stGpsTime.wHour, 14);
    EXPECT_EQ(info.stGpsTime.wDay, 0);
    EXPECT_EQ(info.stGpsTime.wMonth, 0);
    EXPECT_EQ(info.stGpsTime.wYear, 0);
    EXPECT_EQ(info.cLatHemisphere, L'S');
    EXPECT_EQ(info.cLonHemisphere, L'W');
    // South and west are negative once the hemisphere is applied.
    EXPECT_NEAR(NaviLatitude(info), -37.502057, 5e-7);
    EXPECT_NEAR(NaviLongitude(info), -127.025, 5e-7);
}

TEST(ReadNumber, ReadsPlainDecimalNumbersOnly)
{
    const struct
    {
        const wchar_t *text;
        double value;
    } cases[] = {
        {L"3730.1234", 3730.1234},
        {L" -12.5x", -12.5},
        {L"+.5", 0.5},
        {L"7.", 7.0},
        {L"1.5e2", 150.0},
        {L"12e", 12.0},
        {L"12e+", 12.0},
        {L"", 0.0},
        {L"nan", 0.0},
        {L"-inf", 0.0},
        {L"infinity", 0.0},
        {L"0x1A", 0.0},
        {L"0x1p4", 0.0},
        {L"1e400", 0.0}, // beyond a double
        {L".", 0.0},
        {L"-", 0.0},
        {L"\u0663", 0.0}, // a non-Latin digit
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(ReadNumber(c.text), c.value) << c.text;
}

TEST(NmeaToDegrees, GivesOutOfRangeValuesWithoutOverflow)
{
    EXPECT_NEAR(NmeaToDegrees(3730.1234), 37.502057, 5e-7);
    EXPECT_NEAR(NmeaToDegrees(-3730.1234), -37.502057, 5e-7);
    // Far beyond the range of any integer type: still a number outside the globe.
    EXPECT_GT(NmeaToDegrees(7.7e260), 1e250);
    EXPECT_TRUE(std::isnan(NmeaToDegrees(std::nan(""))));
}

TEST(ParseNaviSentence, MalformedAndShortFieldsReadAsZeroWithoutReadingOldFields)
{
    struct Case
    {
        const wchar_t *text;
        uint16_t hour, minute, second;
        double latitude;
        float speed;
    } const cases[] = {
        {L"G$GPRMC,14,A,x,N,1,E,-,7,", 14, 0, 0, 0.0, 0.0f},
        {L"G$GPRMC,1a2b3c,A, 12.5e1,N,1,E, +2,7,", 1, 2, 3, 125.0,
         static_cast<float>(2.0f * 1.852)},
        {L"G$GPRMC,,A,,N,,E,,,", 0, 0, 0, 0.0, 0.0f},
    };
    for (const Case &c : cases) {
        const CTavloNaviInfo info = ParseNaviSentence(c.text, 0);
        EXPECT_EQ(info.stGpsTime.wHour, c.hour) << c.text;
        EXPECT_EQ(info.stGpsTime.wMinute, c.minute) << c.text;
        EXPECT_EQ(info.stGpsTime.wSecond, c.second) << c.text;
        EXPECT_DOUBLE_EQ(info.dLatitude, c.latitude) << c.text;
        EXPECT_FLOAT_EQ(info.fSpeed, c.speed) << c.text;
    }
}

TEST(ParseNaviSentence, FieldLongerThanTheTokenBufferIsCut)
{
    std::wstring text = L"G$GPRMC,143300,A,";
    text += std::wstring(5000, L'7'); // latitude far too long
    text += L",N,12701.5,E,1,2,120510,";
    const CTavloNaviInfo info = ParseNaviSentence(text.c_str(), 0);
    EXPECT_EQ(info.cLatHemisphere, L'N');
    EXPECT_DOUBLE_EQ(info.dLongitude, 12701.5);
    EXPECT_EQ(info.stGpsTime.wDay, 12);
    EXPECT_GT(info.dLatitude, 1e200);
    // Such a latitude is no position: the sentence counts as having no fix.
    EXPECT_FALSE(HasPlausiblePosition(info));
}

TEST(BuildTrack, FixesOutsideTheGlobeCountAsNoFix)
{
    const auto at = [](const char *lat, const char *lon) {
        return std::string("G$GPRMC,143300.000,A,") + lat + ",N," + lon + ",E,10.5,90.0,120510,,,A";
    };
    const struct
    {
        std::string sentence;
        bool kept;
    } cases[] = {
        {at("9000.0000", "18000.0000"), true}, // the pole on the date line
        {at("9000.0001", "12701.5"), false},
        {at("3730.1", "18000.0001"), false},
        {at("-9100.0", "12701.5"), false},
        {at("3730.1", "99999.0"), false},
        {at("nan", "12701.5"), true}, // not a number: read as 0, as any malformed field
        {at(std::string(200, '9').c_str(), "12701.5"), false},
    };
    for (const auto &c : cases) {
        const TEXT_SAMPLE sample = Sample(0, c.sentence);
        CTavloNaviTrack track;
        track.BuildTrack(1, &sample);
        EXPECT_EQ(track.Count(), c.kept ? 1u : 0u) << c.sentence;
    }
}

TEST(BuildTrack, KeepsOnlyValidRecorderFixesInSampleOrder)
{
    const std::vector<TEXT_SAMPLE> samples = {
        Sample(0, Fix()),
        Sample(1000, Fix("V")),            // no fix
        Sample(2000, Fix("A", "$GPRMC")),  // standard tag without the recorder's letter
        Sample(3000, Fix("A", "g$gprmc")), // tags are case-sensitive
        Sample(4000, "G$GPRMC,,A,3730.1,N,12701.5,E,1,2,120510,,,A"), // empty time field
        Sample(5000, "G$GPRMC,A"),                                    // fewer than three tokens
        Sample(6000, "G$GPRMC,,,3730.1,,A,3730.1,N"), // runs of commas are one separator
        Sample(7000, Fix()),
    };
    CTavloNaviTrack track;
    track.BuildTrack(static_cast<uint32_t>(samples.size()), samples.data());
    ASSERT_EQ(track.Times(), (std::vector<uint32_t>{0, 6000, 7000}));
    ASSERT_EQ(track.Count(), 3u);
    EXPECT_EQ(track.At(2).dwTime, 7000u);

    // A new play start rebuilds from nothing.
    track.BuildTrack(1, &samples[1]);
    EXPECT_TRUE(track.IsEmpty());
    EXPECT_EQ(track.FindNaviIndex(500), -1);
}

TEST(FindNaviIndex, ChoosesTheLastFixAtOrBeforeThePosition)
{
    const std::vector<TEXT_SAMPLE> samples = {
        Sample(1000, Fix()),
        Sample(2000, Fix()),
        Sample(2000, Fix()),
        Sample(4000, Fix()),
    };
    CTavloNaviTrack track;
    track.BuildTrack(static_cast<uint32_t>(samples.size()), samples.data());
    const struct
    {
        int32_t position;
        int32_t index;
    } cases[] = {
        {0, 0},                                      // before the first fix
        {999, 0},  {1000, 0}, {1999, 0},  {2000, 2}, // equal times: the last of them
        {3999, 2}, {4000, 3}, {90000, 3},            // after the last fix
    };
    for (const auto &c : cases) {
        EXPECT_EQ(track.FindNaviIndex(c.position), c.index) << c.position;
        EXPECT_EQ(track.CurrentIndex(), c.index);
    }
}

TEST(ParseNaviSentence, ReadsNumbersTheSameInACommaDecimalLocale)
{
    // Qt applies the user's locale at start; a comma-decimal locale must not cut 3730.1234.
    // The machine may have no such locale installed, so one is compiled into a private folder.
    const std::string folder = ::testing::TempDir() + "navi_locale";
    const std::string command = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" +
                                folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "localedef could not build de_DE.UTF-8";
    setenv("LOCPATH", folder.c_str(), 1);
    ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ASSERT_EQ(std::wcstod(L"1,5", nullptr), 1.5); // the locale really reads commas
    const CTavloNaviInfo info = ParseNaviSentence(kFix, 0);
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    EXPECT_DOUBLE_EQ(info.dLatitude, 3730.1234);
    EXPECT_FLOAT_EQ(info.fCourse, 90.0f);
}
