#include "settings/time_setting.h"

#include <cstdio>

#include "platform/file_open.h"
#include "settings/safe_replace.h"
#include "settings/setup_file.h"

namespace {

uint16_t Field(const char *text, size_t offset, size_t width)
{
    return static_cast<uint16_t>(LeadingNumber(text + offset, width));
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
    time.wYear = Field(text, 0, 4);
    time.wMonth = Field(text, 5, 2);
    time.wDay = Field(text, 8, 2);
    time.wHour = Field(text, 11, 2);
    time.wMinute = Field(text, 14, 2);
    time.wSecond = Field(text, 17, 2);
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
