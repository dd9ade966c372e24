#pragma once

#include <cstdint>
#include <memory>

#include <QAbstractButton>
#include <QString>

#include "widgets/mem_bm.h"

class CCommandOwner;
class QFontMetrics;

// What decides which of a strip's five frames a button shows.
struct BUTTON_FRAME_STATE
{
    bool bPressed;    // held down with the pointer over it
    bool bHover;      // the pointer is over it (from enter/leave)
    bool bDraggedOff; // the button was pressed and the pointer has been dragged off it
    bool bChecked;
    bool bDisabled;
};

enum : int
{
    BUTTON_FRAME_NORMAL = 0,
    BUTTON_FRAME_HOVER = 1,
    BUTTON_FRAME_PRESSED = 2,
    BUTTON_FRAME_CHECKED = 3,
    BUTTON_FRAME_DISABLED = 4,
};

int ButtonFrame(const BUTTON_FRAME_STATE &state);

// Breaks text into lines no wider than nMaxWidth pixels (words are kept whole unless a single
// word is wider than that).
QString WrapTooltipText(const QString &text, const QFontMetrics &metrics, int nMaxWidth);

inline constexpr int TOOLTIP_MAX_WIDTH = 400;
inline constexpr int32_t TAVLO_E_INVALIDARG = static_cast<int32_t>(0x80070057u);

// The skinned push button: one frame of a five-frame strip, chosen by hover, press, check and
// enabled state. A click reports the command id to the owner; a double click counts as two.
class CTavloButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit CTavloButton(QWidget *parent = nullptr);
    ~CTavloButton() override;

    // Replaces the strip by skin bitmap nId; on failure the button has no strip.
    bool LoadStrip(int nId);
    // Places the button at (x, y) of parent with one frame's size and shows it. The owner is
    // the parent when it is a CCommandOwner, unless SetOwner chose another. Fails without strip.
    bool CreateAt(int x, int y, QWidget *parent, int nCommandId);
    void SetOwner(CCommandOwner *pOwner) { m_pOwner = pOwner; }
    // 0, or TAVLO_E_INVALIDARG for a null text.
    int32_t SetTooltip(const QString &text);
    int SetChecked(bool bChecked);

    bool IsChecked() const { return m_bChecked; }
    int CommandId() const { return m_nCommandId; }
    int CurrentFrame() const { return m_nCurrentFrame; }
    // The frame the present state calls for.
    int FrameForState() const;
    QString TooltipText() const { return m_strTooltip; }
    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    void ReportClick();

    bool m_bHover = false;
    bool m_bChecked = false;
    bool m_bHeld = false; // left button went down on the button and is not yet released
    bool m_bDraggedOff = false;
    int m_nCommandId = 0;
    int m_nCurrentFrame = BUTTON_FRAME_NORMAL;
    std::unique_ptr<CMemBm> m_pStrip;
    CCommandOwner *m_pOwner = nullptr;
    QString m_strTooltip;
};
