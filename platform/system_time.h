#pragma once

#include <cstdint>
#include <ctime>

// The calendar record the card's files and the clip list use: eight unsigned 16-bit words in
// the order year, month, day of week, day, hour, minute, second, milliseconds.
struct SYSTEMTIME
{
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// A file time (seconds and nanoseconds since 1970, UTC) in calendar form, still in UTC. A time
// the record cannot hold (before 1601 or after 30827) gives the all-zero record.
SYSTEMTIME SystemTimeFromUtc(const timespec &utc);

// The current local wall-clock time.
SYSTEMTIME GetLocalTime();
