#include "widgets/tavlo_switch.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/command_owner.h"

CTavloSwitch::CTavloSwitch(QWidget *parent, int nControlId)
    : QWidget(parent), m_nControlId(nControlId)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CTavloSwitch::SetBitmap(int nId)
{
    m_nBitmapId = nId;
    m_bitmap.Load(nId);
    update();
}

void CTavloSwitch::SetState(int nState)
{
    m_nState = nState ? 1 : 0;
    update();
}

QSize CTavloSwitch::sizeHint() const
{
    return QSize(m_bitmap.Width() / 2, m_bitmap.Height());
}

void CTavloSwitch::paintEvent(QPaintEvent *)
{
    if (!m_bitmap.IsLoaded())
        return;
    QPainter dc(this);
    const int half = m_bitmap.Width() / 2;
    m_bitmap.DrawPart(dc, 0, 0, QRect(m_nState ? 0 : half, 0, half, m_bitmap.Height()));
}

void CTavloSwitch::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    m_nState = 1 - m_nState;
    repaint();
    CCommandOwner *owner = m_pOwner ? m_pOwner : dynamic_cast<CCommandOwner *>(parentWidget());
    if (owner)
        owner->OnCommand(m_nControlId);
}
