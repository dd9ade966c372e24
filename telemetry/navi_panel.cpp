#include "telemetry/navi_panel.h"

#include <cmath>

#include <QColor>
#include <QPainter>

#include "telemetry/navi_info.h"
#include "widgets/ui_font.h"

CNaviPanel::CNaviPanel()
{
    m_stTime = GetLocalTime();
}

void CNaviPanel::SetNaviInfo(double dLatitude, double dLongitude, const SYSTEMTIME &stTime,
                             int32_t nSpeed, int32_t nCourse)
{
    m_dLatitude = dLatitude;
    m_dLongitude = dLongitude;
    m_stTime = stTime;
    m_nSpeed = nSpeed;
    m_nCourse = nCourse;
}

namespace {
// The size of the angle and the hemisphere's letter, the way a chart writes a position.
QString DegreesText(double dDegrees, char cPositive, char cNegative)
{
    return QString::asprintf("%0.6f %c", std::fabs(dDegrees), dDegrees < 0 ? cNegative : cPositive);
}
} // namespace

std::array<QString, 5> CNaviPanel::RowTexts() const
{
    return {
        QString::asprintf("%d km/h", m_nSpeed),
        QString::asprintf("%d_%02d_%02d_%02d_%02d", m_stTime.wYear, m_stTime.wMonth, m_stTime.wDay,
                          m_stTime.wHour, m_stTime.wMinute),
        DegreesText(m_dLatitude, 'N', 'S'),
        DegreesText(m_dLongitude, 'E', 'W'),
        QString::asprintf("%d", m_nCourse),
    };
}

void CNaviPanel::Paint(QPainter &dc) const
{
    dc.save();
    dc.setFont(SkinFont(13, QFont::Bold));
    dc.setPen(QColor::fromRgb(kNaviTextColour));
    dc.setBackgroundMode(Qt::TransparentMode);
    const std::array<QString, 5> texts = RowTexts();
    for (size_t i = 0; i < texts.size(); ++i) {
        const QRect row(QPoint(kNaviValueLeft, kNaviPanelRows[i][0]),
                        QPoint(kNaviValueRight, kNaviPanelRows[i][1]));
        dc.drawText(row, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, texts[i]);
    }
    dc.restore();
}

QString FormatLatLng(double dLatitude, double dLongitude)
{
    return QString::asprintf("%0.6f,%0.6f", dLatitude, dLongitude);
}

NAVI_SHOWN NaviShownValues(const CTavloNaviInfo &info)
{
    return {NaviLatitude(info), NaviLongitude(info), info.stGpsTime, TruncateToInt(info.fSpeed),
            TruncateToInt(info.fCourse)};
}
