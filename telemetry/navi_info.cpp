#include "telemetry/navi_info.h"

#include <cmath>
#include <cwchar>

#include <locale.h>

namespace {

// A field longer than this is cut to it: the sentence's longest field is far shorter.
constexpr size_t kTokenCapacity = 262;

// Characters first..first+1 of a token read as a number; characters past the token's end
// count as its terminator, never as bytes of an earlier field.
uint16_t ReadPair(const wchar_t *token, size_t length, size_t first)
{
    wchar_t pair[3] = {};
    for (size_t i = 0; i < 2 && first + i < length; ++i)
        pair[i] = token[first + i];
    return static_cast<uint16_t>(static_cast<int>(ReadNumber(pair)));
}

void ApplyField(CTavloNaviInfo *info, int field, const wchar_t *token, size_t length)
{
    switch (field) {
    case 0:
        info->stGpsTime.wHour = ReadPair(token, length, 0);
        info->stGpsTime.wMinute = ReadPair(token, length, 2);
        info->stGpsTime.wSecond = ReadPair(token, length, 4);
        break;
    case 2:
        info->dLatitude = ReadNumber(token);
        break;
    case 3:
        info->cLatHemisphere = token[0];
        break;
    case 4:
        info->dLongitude = ReadNumber(token);
        break;
    case 5:
        info->cLonHemisphere = token[0];
        break;
    case 6: {
        const float knots = static_cast<float>(ReadNumber(token));
        info->fSpeed = static_cast<float>(knots * 1.852);
        break;
    }
    case 7:
        info->fCourse = static_cast<float>(ReadNumber(token));
        break;
    case 8:
        info->stGpsTime.wDay = ReadPair(token, length, 0);
        info->stGpsTime.wMonth = ReadPair(token, length, 2);
        info->stGpsTime.wYear = ReadPair(token, length, 4);
        break;
    default:
        break; // the tag, the status and everything after the date
    }
}

} // namespace

double ReadNumber(const wchar_t *text)
{
    // The recorder writes a '.' whatever the desktop's language, and Qt sets the user's locale
    // at start, so numbers are read in the C locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return wcstod_l(text, nullptr, cLocale);
}

CTavloNaviInfo ParseNaviSentence(const wchar_t *text, uint32_t time)
{
    CTavloNaviInfo info;
    info.dwTime = time;
    wchar_t token[kTokenCapacity] = {};
    size_t length = 0;
    int field = -1;
    for (const wchar_t *p = text; *p != L'\0'; ++p) {
        if (*p != L',') {
            if (length < kTokenCapacity - 1)
                token[length++] = *p;
            continue;
        }
        token[length] = L'\0';
        ApplyField(&info, field, token, length);
        length = 0;
        token[0] = L'\0';
        ++field;
    }
    return info;
}

double NmeaToDegrees(double value)
{
    // In doubles: a sentence's number may be far outside any integer ("1e308").
    const double degrees = std::trunc(value / 100);
    return degrees + std::fmod(value, 100.0) / 60;
}
