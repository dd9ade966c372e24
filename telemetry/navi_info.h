#pragma once

#include <cstdint>

#include "platform/system_time.h"

// One GPS fix of the track, from one "G$GPRMC" sentence of the clip's text stream.
struct CTavloNaviInfo
{
    uint32_t dwTime = 0;     // the sample's time stamp, ms
    SYSTEMTIME stGpsTime{};  // fix date and time; wYear is the sentence's two-digit year
    double dLatitude = 0.0;  // ddmm.mmmm as written
    double dLongitude = 0.0; // dddmm.mmmm as written
    float fSpeed = 0.0f;     // km/h
    float fCourse = 0.0f;    // degrees
    wchar_t cLatHemisphere = L'N';
    wchar_t cLonHemisphere = L'E';
};

// Parses one sentence in a single pass; a field is taken only when a comma follows it, so the
// text after the last comma is never read. Malformed numbers read as 0. Fields the sentence
// lacks keep their initial values (a zero date and time).
CTavloNaviInfo ParseNaviSentence(const wchar_t *text, uint32_t time);

// (d)ddmm.mmmm to decimal degrees; the hemisphere is not applied. A value too large for any
// position gives a result outside +-180 (or NaN for NaN), never an integer overflow.
double NmeaToDegrees(double value);

// Decimal degrees with the hemisphere applied: south and west are negative; any other letter
// leaves the value as it is.
double SignedDegrees(double value, wchar_t hemisphere);
// The fix's position in signed decimal degrees.
double NaviLatitude(const CTavloNaviInfo &info);
double NaviLongitude(const CTavloNaviInfo &info);

// A speed or course as shown: truncated toward zero. A value outside the int range (a garbled
// sentence can give one) is held at the range's end and NaN gives 0, where a plain conversion
// would be undefined.
int32_t TruncateToInt(float fValue);

// The leading decimal number of a text (blanks, sign, digits, fraction, exponent); 0 when there
// is none, and for "nan", "inf", hexadecimal and numbers beyond a double's range.
double ReadNumber(const wchar_t *text);

// Whether the fix's latitude lies within +-90 and its longitude within +-180 degrees once
// converted; a fix that does not counts as no fix.
bool HasPlausiblePosition(const CTavloNaviInfo &info);
