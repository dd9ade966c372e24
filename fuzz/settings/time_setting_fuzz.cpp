// Arbitrary bytes as setting/data_Time.cfg: the time read back is always a real date and time.
#include <cstddef>
#include <cstdint>

#include "fuzz/settings/fuzz_file.h"
#include "settings/time_setting.h"

namespace {

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 256)
        return 0;
    const std::string path = WriteFuzzFile("time_setting_fuzz", data, size);
    const SYSTEMTIME t = ReadTimeSetting(path);
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > DaysIn(t.wYear, t.wMonth) ||
        t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wDayOfWeek > 6)
        __builtin_trap();
    return 0;
}
