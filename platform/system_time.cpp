#include "platform/system_time.h"

#include <chrono>

namespace {

SYSTEMTIME FromTm(const tm &t, long nanoseconds)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(t.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<uint16_t>(t.tm_wday);
    st.wDay = static_cast<uint16_t>(t.tm_mday);
    st.wHour = static_cast<uint16_t>(t.tm_hour);
    st.wMinute = static_cast<uint16_t>(t.tm_min);
    // A leap second is shown as the last ordinary one, as calendar records cannot hold 60.
    st.wSecond = static_cast<uint16_t>(t.tm_sec > 59 ? 59 : t.tm_sec);
    st.wMilliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
    return st;
}

} // namespace

SYSTEMTIME SystemTimeFromUtc(const timespec &utc)
{
    tm t{};
    if (gmtime_r(&utc.tv_sec, &t) == nullptr)
        return SYSTEMTIME{};
    // The record holds the years 1601..30827 only; outside them a 16-bit year would wrap into a
    // plausible but wrong date, so such a time counts as unreadable.
    if (t.tm_year + 1900 < 1601 || t.tm_year + 1900 > 30827)
        return SYSTEMTIME{};
    return FromTm(t, utc.tv_nsec);
}

SYSTEMTIME GetLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm t{};
    if (localtime_r(&now.tv_sec, &t) == nullptr)
        return SYSTEMTIME{};
    return FromTm(t, now.tv_nsec);
}
