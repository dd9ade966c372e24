#include "settings/time_setting.h"

#include <cstdio>

#include "platform/file_open.h"
#include "settings/safe_replace.h"
#include "settings/setup_file.h"

namespace {

int32_t Field(const char *text, size_t offset, size_t width)
{
    return LeadingNumber(text + offset, width);
}

bool IsRealDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                    int32_t second)
{
    static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int32_t days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day >= 1 && day <= days;
}

} // namespace

SYSTEMTIME ReadTimeSetting(const std::string &path)
{
    SYSTEMTIME time = GetLocalTime();
    CExclusiveFile file;
    if (!file.Open(path, CExclusiveFile::Mode::Read))
        return time;
    char text[260] = {};
    const int64_t n = file.Read(text, sizeof text);
    if (n < 16)
        return time;
    // Bytes beyond what was read are 0, so a short seconds field ends its number there.
    const int32_t year = Field(text, 0, 4);
    const int32_t month = Field(text, 5, 2);
    const int32_t day = Field(text, 8, 2);
    const int32_t hour = Field(text, 11, 2);
    const int32_t minute = Field(text, 14, 2);
    const int32_t second = Field(text, 17, 2);
    // A field that cannot be a date (month 13, "-1", letters) would preset the date field with
    // an impossible value; such a file counts as unreadable.
    if (!IsRealDateTime(year, month, day, hour, minute, second))
        return time;
    time.wYear = static_cast<uint16_t>(year);
    time.wMonth = static_cast<uint16_t>(month);
    time.wDay = static_cast<uint16_t>(day);
    time.wHour = static_cast<uint16_t>(hour);
    time.wMinute = static_cast<uint16_t>(minute);
    time.wSecond = static_cast<uint16_t>(second);
    return time;
}

bool WriteTimeSetting(const std::string &path, const SYSTEMTIME &time)
{
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%04d %02d %02d %02d %02d %02d", time.wYear,
                                time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof text)
        return false;
    return ReplaceFileContents(path, text, static_cast<size_t>(n));
}
