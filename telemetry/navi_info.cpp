#include "telemetry/navi_info.h"

#include <cmath>
#include <cwchar>
#include <string>
#include <limits>

#include <locale.h>
#include <stdlib.h>

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
    // Only a plain decimal number: sign, digits, fraction, exponent. The C library's reading
    // would also take "nan", "inf" and hexadecimal, which no receiver writes and which would
    // pass as positions.
    const wchar_t *p = text;
    while (*p == L' ' || *p == L'\t')
        ++p;
    std::string number;
    if (*p == L'+' || *p == L'-')
        number += static_cast<char>(*p++);
    const auto digits = [&] {
        size_t count = 0;
        for (; *p >= L'0' && *p <= L'9'; ++p, ++count)
            number += static_cast<char>(*p);
        return count;
    };
    size_t mantissa = digits();
    if (*p == L'.') {
        number += '.';
        ++p;
        mantissa += digits();
    }
    if (mantissa == 0)
        return 0.0;
    if (*p == L'e' || *p == L'E') {
        const size_t mark = number.size();
        number += 'e';
        ++p;
        if (*p == L'+' || *p == L'-')
            number += static_cast<char>(*p++);
        if (digits() == 0)
            number.resize(mark); // "12e" is 12
    }
    // The recorder writes a '.' whatever the desktop's language, and Qt sets the user's locale
    // at start, so numbers are read in the C locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const double value = strtod_l(number.c_str(), nullptr, cLocale);
    // Too large for a double: no number a sentence can mean.
    return std::isfinite(value) ? value : 0.0;
}

bool HasPlausiblePosition(const CTavloNaviInfo &info)
{
    // Written as "within" so that NaN fails too.
    const double latitude = NmeaToDegrees(info.dLatitude);
    const double longitude = NmeaToDegrees(info.dLongitude);
    return std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0;
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
    // Truncated as a double: a garbled value far beyond any position must not be converted to
    // an integer type it does not fit.
    const double degrees = std::trunc(value / 100);
    return degrees + (value - degrees * 100) / 60;
}

double SignedDegrees(double value, wchar_t hemisphere)
{
    const double degrees = NmeaToDegrees(value);
    return hemisphere == L'S' || hemisphere == L'W' ? -degrees : degrees;
}

double NaviLatitude(const CTavloNaviInfo &info)
{
    return SignedDegrees(info.dLatitude, info.cLatHemisphere);
}

double NaviLongitude(const CTavloNaviInfo &info)
{
    return SignedDegrees(info.dLongitude, info.cLonHemisphere);
}

int32_t TruncateToInt(float fValue)
{
    if (std::isnan(fValue))
        return 0;
    // 2^31 is exact in float; every float below it converts without overflow.
    if (fValue >= 2147483648.0f)
        return std::numeric_limits<int32_t>::max();
    if (fValue <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(fValue);
}
