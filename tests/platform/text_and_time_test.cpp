#include <gtest/gtest.h>

#include "platform/system_time.h"
#include "platform/wide_text.h"

TEST(SystemTimeFromUtc, OutOfRangeYearsGiveTheZeroRecord)
{
    struct Case
    {
        time_t seconds;
        uint16_t year; // 0 = the zero record
    };
    const Case cases[] = {
        {0, 1970},
        {-11644473600, 1601},  // 1601-01-01, the first representable day
        {-11644473601, 0},     // one second earlier
        {253402300799, 9999},  // 9999-12-31 23:59:59
        {910670515199, 30827}, // 30827-12-31 23:59:59
        {910670515200, 0},     // 30828-01-01
        {2000000000000, 0},    // would wrap a 16-bit year
    };
    for (const Case &c : cases) {
        const SYSTEMTIME st = SystemTimeFromUtc(timespec{c.seconds, 0});
        EXPECT_EQ(st.wYear, c.year) << c.seconds;
        if (c.year == 0) {
            EXPECT_EQ(st.wMonth, 0) << c.seconds;
        }
    }
}

TEST(WideText, Utf8ToWideReplacesInvalidFormsInsteadOfDecodingThem)
{
    struct Case
    {
        const char *what;
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"ascii", "clip.avi", L"clip.avi"},
        {"two to four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"\u00E9\u20AC\U0001F600"},
        {"overlong NUL",
         std::string("a\xC0\x80"
                     "b"),
         L"a\uFFFD\uFFFDb"},
        {"overlong slash", "\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},
        {"surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut short", "x\xE2\x82", L"x\uFFFD\uFFFD"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.what;
}

TEST(WideText, RoundTripOfValidText)
{
    const std::wstring text = L"E\u00E9\u4E2D\U0001F600/RECORD";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}
