#include "widgets/tavlo_button.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QToolTip>

#include "widgets/command_owner.h"

int ButtonFrame(const BUTTON_FRAME_STATE &state)
{
    if (state.bDisabled)
        return BUTTON_FRAME_DISABLED;
    if (state.bPressed)
        return state.bHover ? BUTTON_FRAME_PRESSED
                            : (state.bChecked ? BUTTON_FRAME_CHECKED : BUTTON_FRAME_NORMAL);
    if (state.bHover && !state.bDraggedOff)
        return BUTTON_FRAME_HOVER;
    return state.bChecked ? BUTTON_FRAME_CHECKED : BUTTON_FRAME_NORMAL;
}

QString WrapTooltipText(const QString &text, const QFontMetrics &metrics, int nMaxWidth)
{
    QStringList lines;
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QString word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (metrics.horizontalAdvance(joined) <= nMaxWidth) {
                line = joined;
                continue;
            }
            if (!line.isEmpty())
                lines << line;
            // A word wider than the limit is cut where it reaches it.
            while (metrics.horizontalAdvance(word) > nMaxWidth && word.size() > 1) {
                int n = word.size() - 1;
                while (n > 1 && metrics.horizontalAdvance(word.left(n)) > nMaxWidth)
                    --n;
                lines << word.left(n);
                word = word.mid(n);
            }
            line = word;
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

CTavloButton::CTavloButton(QWidget *parent) : QAbstractButton(parent)
{
    // Every pixel comes from the strip: no background is erased before painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, &CTavloButton::ReportClick);
}

CTavloButton::~CTavloButton() = default;

bool CTavloButton::LoadStrip(int nId)
{
    auto strip = std::make_unique<CMemBm>();
    if (!strip->Load(nId)) {
        m_pStrip.reset();
        return false;
    }
    m_pStrip = std::move(strip);
    if (parentWidget())
        setFixedSize(sizeHint());
    update();
    return true;
}

QSize CTavloButton::sizeHint() const
{
    if (!m_pStrip)
        return QSize(0, 0);
    return QSize(static_cast<int>(m_pStrip->Width() / 5), static_cast<int>(m_pStrip->Height()));
}

bool CTavloButton::CreateAt(int x, int y, QWidget *parent, int nCommandId)
{
    if (!m_pStrip)
        return false;
    m_nCommandId = nCommandId;
    if (parent != parentWidget())
        setParent(parent);
    if (!m_pOwner)
        m_pOwner = dynamic_cast<CCommandOwner *>(parent);
    setFixedSize(sizeHint());
    move(x, y);
    show();
    return true;
}

int32_t CTavloButton::SetTooltip(const QString &text)
{
    if (text.isNull())
        return TAVLO_E_INVALIDARG;
    m_strTooltip = text;
    setAccessibleName(text);
    return 0;
}

int CTavloButton::SetChecked(bool bChecked)
{
    m_bChecked = bChecked;
    update();
    return 1;
}

int CTavloButton::FrameForState() const
{
    return ButtonFrame({isDown(), m_bHover, m_bDraggedOff, m_bChecked, !isEnabled()});
}

bool CTavloButton::event(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(e);
        if (m_strTooltip.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(
                help->globalPos(),
                WrapTooltipText(m_strTooltip, QFontMetrics(QToolTip::font()), TOOLTIP_MAX_WIDTH),
                this, rect());
        }
        return true;
    }
    return QAbstractButton::event(e);
}

void CTavloButton::paintEvent(QPaintEvent *)
{
    m_nCurrentFrame = FrameForState();
    if (!m_pStrip)
        return;
    QPainter dc(this);
    const int frameWidth = static_cast<int>(m_pStrip->Width() / 5);
    m_pStrip->CopyFrame(
        dc,
        QRect(m_nCurrentFrame * frameWidth, 0, frameWidth, static_cast<int>(m_pStrip->Height())),
        QPoint(0, 0));
}

void CTavloButton::enterEvent(QEnterEvent *e)
{
    m_bHover = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CTavloButton::leaveEvent(QEvent *e)
{
    m_bHover = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CTavloButton::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_bHeld = true;
        m_bDraggedOff = false;
        // A press always comes with the pointer on the button, even when no enter was seen.
        m_bHover = true;
    }
    update();
    QAbstractButton::mousePressEvent(e);
}

void CTavloButton::mouseMoveEvent(QMouseEvent *e)
{
    if (m_bHeld) {
        const bool off = !rect().contains(e->position().toPoint());
        if (off != m_bDraggedOff) {
            m_bDraggedOff = off;
            update();
        }
    }
    QAbstractButton::mouseMoveEvent(e);
}

void CTavloButton::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_bHeld = false;
        if (m_bDraggedOff)
            m_bHover = false; // released elsewhere: the pointer is no longer over the button
        m_bDraggedOff = false;
    }
    update();
    QAbstractButton::mouseReleaseEvent(e);
}

void CTavloButton::mouseDoubleClickEvent(QMouseEvent *e)
{
    // The second click of a double click is a click of its own.
    mousePressEvent(e);
}

void CTavloButton::ReportClick()
{
    if (m_pOwner)
        m_pOwner->OnCommand(m_nCommandId);
}
