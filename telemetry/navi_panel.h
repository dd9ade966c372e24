#pragma once

#include <array>
#include <cstdint>

#include <QRect>
#include <QString>

#include "platform/system_time.h"
#include "telemetry/navi_info.h"

class QPainter;

// The position and speed panel below the map: five values drawn over the labels of the map
// window's background. Window thread only.
class CNaviPanel
{
public:
    // Zeros and the computer's local time (a four-digit year) until the first fix arrives.
    CNaviPanel();

    void SetNaviInfo(double dLatitude, double dLongitude, const SYSTEMTIME &stTime, int32_t nSpeed,
                     int32_t nCourse);

    // The rows as drawn: speed, time, latitude, longitude, bearing.
    std::array<QString, 5> RowTexts() const;
    // Draws the five values; the labels are part of the background.
    void Paint(QPainter &dc) const;

    int32_t Speed() const { return m_nSpeed; }
    int32_t Course() const { return m_nCourse; }
    double Latitude() const { return m_dLatitude; }
    double Longitude() const { return m_dLongitude; }
    const SYSTEMTIME &Time() const { return m_stTime; }

private:
    int32_t m_nSpeed = 0;
    int32_t m_nCourse = 0;
    double m_dLatitude = 0.0;
    double m_dLongitude = 0.0;
    SYSTEMTIME m_stTime{};
};

// The rectangle the values are drawn in, map window client pixels (right and bottom inclusive
// as the layout gives them: x 174..325, y 317..464).
inline const QRect kNaviPanelRect(QPoint(174, 317), QPoint(325, 464));
// Each row's y range, in drawing order.
inline constexpr std::array<std::array<int, 2>, 5> kNaviPanelRows = {
    {{317, 345}, {346, 375}, {376, 405}, {406, 435}, {436, 464}}};
inline constexpr int kNaviValueLeft = 174;
inline constexpr int kNaviValueRight = 325;
// RGB(255, 164, 0)
inline constexpr unsigned kNaviTextColour = 0xFFA400;

// A fix as the map and the panel take it: signed decimal degrees (south and west negative),
// the fix time as written (two-digit year), speed and bearing truncated.
struct NAVI_SHOWN
{
    double dLatitude;
    double dLongitude;
    SYSTEMTIME stTime;
    int32_t nSpeed;
    int32_t nCourse;
};
NAVI_SHOWN NaviShownValues(const CTavloNaviInfo &info);

// "lat,lon" in decimal degrees with six decimals each, the map page's argument.
QString FormatLatLng(double dLatitude, double dLongitude);
