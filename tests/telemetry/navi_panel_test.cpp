#include <cmath>
#include <limits>

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "telemetry/navi_info.h"
#include "telemetry/navi_panel.h"
#include "widgets/skin_ids.h"
#include "widgets/tavlo_bitmap.h"

namespace {

std::array<QString, 5> RowsAfterFix(const wchar_t *sentence)
{
    CNaviPanel panel;
    const NAVI_SHOWN shown = NaviShownValues(ParseNaviSentence(sentence, 0));
    panel.SetNaviInfo(shown.dLatitude, shown.dLongitude, shown.stTime, shown.nSpeed, shown.nCourse);
    return panel.RowTexts();
}

QImage PanelPicture(const CNaviPanel *panel)
{
    CTavloBitmap background;
    EXPECT_TRUE(background.Load(IDB_MAP_BACKGROUND));
    QImage image(346, 476, QImage::Format_RGB32);
    QPainter dc(&image);
    background.Draw(dc, 0, 0);
    if (panel)
        panel->Paint(dc);
    return image;
}

} // namespace

TEST(NaviPanel, BeforeAnyFixShowsZerosAndTheLocalTimeWithAFullYear)
{
    const SYSTEMTIME before = GetLocalTime();
    CNaviPanel panel;
    const SYSTEMTIME after = GetLocalTime();
    const std::array<QString, 5> rows = panel.RowTexts();
    EXPECT_EQ(rows[0], "0 km/h");
    EXPECT_EQ(rows[2], "0.000000 N");
    EXPECT_EQ(rows[3], "0.000000 E");
    EXPECT_EQ(rows[4], "0");
    // The clock may cross a minute between the two readings.
    const QString early = QString::asprintf("%d_%02d_%02d_%02d_%02d", before.wYear, before.wMonth,
                                            before.wDay, before.wHour, before.wMinute);
    const QString late = QString::asprintf("%d_%02d_%02d_%02d_%02d", after.wYear, after.wMonth,
                                           after.wDay, after.wHour, after.wMinute);
    EXPECT_TRUE(rows[1] == early || rows[1] == late) << rows[1].toStdString();
    EXPECT_GE(panel.Time().wYear, 2000);
    EXPECT_EQ(rows[1].indexOf('_'), 4) << "four-digit year first";
}

struct PanelCase
{
    const char *what;
    const wchar_t *sentence;
    std::array<const char *, 5> rows;
};

const PanelCase kPanelCases[] = {
    {"fix of 12 May 2010 14:33, 10.5 knots, bearing 359.9",
     L"G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,359.9,120510,,,A*00",
     {"19 km/h", "10_05_12_14_33", "37.502057 N", "127.025000 E", "359"}},
    {"the year is not zero-filled",
     L"G$GPRMC,090500.000,A,3730.1234,N,12701.5000,E,0.0,0.0,311209,,,A*00",
     {"0 km/h", "9_12_31_09_05", "37.502057 N", "127.025000 E", "0"}},
    {"southern and western fixes show their letters",
     L"G$GPRMC,000100.000,A,3352.0000,S,15112.0000,W,1.0,180.5,010111,,,A*00",
     {"1 km/h", "11_01_01_00_01", "33.866667 S", "151.200000 W", "180"}},
    {"a drive in San Francisco",
     L"G$GPRMC,170000.000,A,3730.2219,N,12225.1649,W,1.0,180.5,010111,,,A*00",
     {"1 km/h", "11_01_01_17_00", "37.503698 N", "122.419415 W", "180"}},
    {"a letter other than N, S, E or W leaves the value",
     L"G$GPRMC,000100.000,A,3352.0000,x,15112.0000,?,1.0,180.5,010111,,,A*00",
     {"1 km/h", "11_01_01_00_01", "33.866667 N", "151.200000 E", "180"}},
    {"a speed too large for an int is held at the int maximum",
     L"G$GPRMC,000100.000,A,3730.0000,N,12700.0000,E,1e40,-0.5,010111,,,A*00",
     {"2147483647 km/h", "11_01_01_00_01", "37.500000 N", "127.000000 E", "0"}},
};

TEST(NaviPanel, ShowsAFixInTheRowFormats)
{
    for (const PanelCase &c : kPanelCases) {
        const std::array<QString, 5> rows = RowsAfterFix(c.sentence);
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].toStdString(), c.rows[i]) << c.what << ", row " << i;
    }
}

TEST(NaviPanel, TruncatesTowardZeroAndHoldsValuesOutsideTheIntRange)
{
    const struct
    {
        float value;
        int32_t expected;
    } cases[] = {
        {19.446f, 19},
        {359.9f, 359},
        {-3.7f, -3},
        {2147483520.0f, 2147483520}, // the largest float below 2^31
        {2147483648.0f, std::numeric_limits<int32_t>::max()},
        {std::numeric_limits<float>::infinity(), std::numeric_limits<int32_t>::max()},
        {-std::numeric_limits<float>::infinity(), std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TruncateToInt(c.value), c.expected) << c.value;
}

TEST(NaviPanel, FormatsThePagesArgumentWithSixDecimals)
{
    EXPECT_EQ(FormatLatLng(37.5020566, 127.025), "37.502057,127.025000");
    EXPECT_EQ(FormatLatLng(0, 0), "0.000000,0.000000");
}

// The values are drawn right-aligned in their own row of the value column, in the panel's
// orange, and nowhere else.
TEST(NaviPanel, DrawsEachValueRightAlignedInItsRowInOrange)
{
    CNaviPanel panel;
    panel.SetNaviInfo(37.502057, 127.025, SYSTEMTIME{10, 5, 0, 12, 14, 33, 0, 0}, 19, 359);
    const QImage bare = PanelPicture(nullptr);
    const QImage drawn = PanelPicture(&panel);
    ASSERT_FALSE(bare.isNull());

    std::array<int, 5> rightmost{-1, -1, -1, -1, -1};
    std::array<int, 5> orange{};
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            if (drawn.pixel(x, y) == bare.pixel(x, y))
                continue;
            ASSERT_TRUE(kNaviPanelRect.contains(x, y)) << "changed outside: " << x << "," << y;
            for (size_t row = 0; row < kNaviPanelRows.size(); ++row) {
                if (y < kNaviPanelRows[row][0] || y > kNaviPanelRows[row][1])
                    continue;
                rightmost[row] = std::max(rightmost[row], x);
                if ((drawn.pixel(x, y) & 0xFFFFFF) == kNaviTextColour)
                    ++orange[row];
            }
        }
    }
    for (size_t row = 0; row < kNaviPanelRows.size(); ++row) {
        EXPECT_GT(orange[row], 5) << "row " << row;
        EXPECT_GE(rightmost[row], kNaviValueRight - 6) << "row " << row << " not right-aligned";
    }
}
