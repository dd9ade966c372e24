#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>
#include <sys/file.h>

#include "settings/setup_file.h"
#include "settings/time_setting.h"
#include "tests/support/temp_folder.h"

namespace {

// Seconds of a calendar record taken as UTC, to compare records that should be near each other.
time_t SecondsOf(const SYSTEMTIME &st)
{
    tm t{};
    t.tm_year = st.wYear - 1900;
    t.tm_mon = st.wMonth - 1;
    t.tm_mday = st.wDay;
    t.tm_hour = st.wHour;
    t.tm_min = st.wMinute;
    t.tm_sec = st.wSecond;
    return timegm(&t);
}

} // namespace

TEST(ReadTimeSetting, FieldsFromTheFileOrTheLocalTime)
{
    struct Case
    {
        const char *what;
        std::string content;
        bool fromFile;
        uint16_t second; // when fromFile
    };
    const std::string full = "2010 05 17 13 45 09";
    const Case cases[] = {
        {"19 characters", full, true, 9},
        {"followed by a line end", full + "\r\n", true, 9},
        {"15 characters", full.substr(0, 15), false, 0},
        {"16 characters: no seconds", full.substr(0, 16), true, 0},
        {"17 characters: no seconds", full.substr(0, 17), true, 0},
        {"18 characters: one digit", "2010 05 17 13 45 4", true, 4},
        {"empty", "", false, 0},
        {"month 13", "2010 13 17 13 45 09", false, 0},
        {"30 February", "2010 02 30 13 45 09", false, 0},
        {"hour 24", "2010 05 17 24 45 09", false, 0},
        {"negative minute", "2010 05 17 13 -1 09", false, 0},
        {"letters", "abcd ef gh ij kl mn", false, 0},
        {"spaces inside a field", "2010  5 17 13 45  9", true, 9},
    };
    for (const Case &c : cases) {
        CTempFolder card;
        const std::string path = card / "data_Time.cfg";
        WriteText(path, c.content);
        const SYSTEMTIME before = GetLocalTime();
        const SYSTEMTIME st = ReadTimeSetting(path);
        const SYSTEMTIME after = GetLocalTime();
        if (c.fromFile) {
            EXPECT_EQ(st.wYear, 2010) << c.what;
            EXPECT_EQ(st.wMonth, 5) << c.what;
            EXPECT_EQ(st.wDay, 17) << c.what;
            EXPECT_EQ(st.wHour, 13) << c.what;
            EXPECT_EQ(st.wMinute, 45) << c.what;
            EXPECT_EQ(st.wSecond, c.second) << c.what;
            // Day of week and milliseconds are the current time's, not computed from the file.
            EXPECT_TRUE(st.wDayOfWeek == before.wDayOfWeek || st.wDayOfWeek == after.wDayOfWeek)
                << c.what;
        } else {
            EXPECT_GE(SecondsOf(st), SecondsOf(before)) << c.what;
            EXPECT_LE(SecondsOf(st), SecondsOf(after)) << c.what;
        }
    }
}

TEST(ReadTimeSetting, UnreadableFileGivesTheLocalTime)
{
    CTempFolder card;
    WriteText(card / "locked.cfg", "2010 05 17 13 45 09");
    CForeignLock writer(card / "locked.cfg", LOCK_EX);
    ASSERT_TRUE(writer.Held());
    for (const std::string &path : {card / "missing.cfg", card / "locked.cfg", card.Path()}) {
        const SYSTEMTIME before = GetLocalTime();
        const SYSTEMTIME st = ReadTimeSetting(path);
        EXPECT_GE(SecondsOf(st), SecondsOf(before)) << path;
        EXPECT_NE(st.wYear, 2010) << path;
    }
}

TEST(WriteTimeSetting, WritesExactlyTheNineteenCharacters)
{
    CTempFolder card;
    MakeFolders(SettingFolderPath(card.Path()));
    const std::string path = TimeSettingPath(card.Path());
    WriteText(path, std::string(300, 'x')); // a longer old file must not leave a tail
    const SYSTEMTIME st{2010, 5, 1, 17, 13, 45, 9, 0};
    ASSERT_TRUE(WriteTimeSetting(path, st));
    const std::vector<uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "2010 05 17 13 45 09");

    const SYSTEMTIME back = ReadTimeSetting(path);
    EXPECT_EQ(SecondsOf(back), SecondsOf(st));
}

TEST(WriteTimeSetting, FailsWhenTheFolderIsMissing)
{
    CTempFolder card;
    const SYSTEMTIME st{2010, 5, 1, 17, 13, 45, 9, 0};
    EXPECT_FALSE(WriteTimeSetting(TimeSettingPath(card.Path()), st));
    EXPECT_FALSE(std::filesystem::exists(SettingFolderPath(card.Path())));
}
