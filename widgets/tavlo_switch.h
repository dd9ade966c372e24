#pragma once

#include <QWidget>

#include "widgets/tavlo_bitmap.h"

class CCommandOwner;

// Two-state switch drawn from a bitmap of two equal halves: left = on (1), right = off (0).
// A press flips the state, repaints, and then reports the switch's id to the owner, so the owner
// always sees the new state.
class CTavloSwitch : public QWidget
{
    Q_OBJECT
public:
    explicit CTavloSwitch(QWidget *parent = nullptr, int nControlId = 0);

    void SetBitmap(int nId);
    void SetState(int nState);
    int GetState() const { return m_nState; }
    void SetOwner(CCommandOwner *pOwner) { m_pOwner = pOwner; }
    int ControlId() const { return m_nControlId; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    int m_nBitmapId = 0;
    int m_nState = 1;
    int m_nControlId;
    CTavloBitmap m_bitmap;
    CCommandOwner *m_pOwner = nullptr;
};
