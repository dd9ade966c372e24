#pragma once

#include <cstdint>

#include <QEvent>

// Window messages travel as Qt events whose type is the message value.
inline constexpr int WM_SLIDER_MOVING = 0x3405;
inline constexpr int WM_SLIDER_CHANGED = 0x3406;

inline QEvent::Type MessageType(int nMessage)
{
    return static_cast<QEvent::Type>(nMessage);
}

// One posted window message with its two parameters.
class CWindowMessage : public QEvent
{
public:
    CWindowMessage(int nMessage, intptr_t wParam, intptr_t lParam)
        : QEvent(MessageType(nMessage)), m_wParam(wParam), m_lParam(lParam)
    {
    }

    int Message() const { return static_cast<int>(type()); }
    intptr_t WParam() const { return m_wParam; }
    intptr_t LParam() const { return m_lParam; }

private:
    intptr_t m_wParam;
    intptr_t m_lParam;
};
