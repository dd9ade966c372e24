#pragma once

#include <cstdint>

#include <QEvent>

// The player wrapper's three messages to its notify window, as Qt event types of the same
// values. WM_PLAY_STARTED and WM_PLAY_ENDED are delivered while the status thread waits for
// the handler to return; WM_PLAY_STATUS is posted.
constexpr QEvent::Type WM_PLAY_STARTED = QEvent::Type(0x2401); // wParam: duration in ms
constexpr QEvent::Type WM_PLAY_STATUS =
    QEvent::Type(0x2402); // wParam: position in ms, lParam: wrapper state
constexpr QEvent::Type WM_PLAY_ENDED = QEvent::Type(0x2403);

class CPlayMessage : public QEvent
{
public:
    CPlayMessage(QEvent::Type type, uintptr_t wParam, intptr_t lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam)
    {
    }
    uintptr_t WParam() const { return m_wParam; }
    intptr_t LParam() const { return m_lParam; }

private:
    uintptr_t m_wParam;
    intptr_t m_lParam;
};
