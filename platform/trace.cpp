#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "platform/wide_text.h"

namespace {

std::mutex g_TraceLock; // keeps lines of different threads whole

void WriteLine(const std::string &text)
{
    std::lock_guard<std::mutex> lock(g_TraceLock);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace

bool TraceEnabled()
{
    static const bool enabled = [] {
        const char *value = std::getenv("ROADLOG_TRACE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void Trace(const wchar_t *format, ...)
{
    if (!TraceEnabled() || format == nullptr)
        return;
    wchar_t buffer[1024] = {}; // an encoding failure may leave the buffer unwritten
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
    va_end(args);
    if (n < 0)
        buffer[sizeof buffer / sizeof buffer[0] - 1] = L'\0'; // cut, not dropped
    WriteLine(WideToUtf8(buffer));
}

void TraceA(const char *format, ...)
{
    if (!TraceEnabled() || format == nullptr)
        return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    WriteLine(buffer);
}
