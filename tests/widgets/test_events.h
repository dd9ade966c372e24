#pragma once

// Synthetic pointer and message helpers for the control tests: events are sent straight to the
// widget, as the window system would deliver them, so no real pointer is needed.

#include <vector>

#include <QApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>

#include "widgets/window_message.h"

inline void SendMouse(QWidget *w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons held)
{
    const QPointF local(at);
    QMouseEvent e(type, local, w->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void Press(QWidget *w, QPoint at)
{
    SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}
inline void DoubleClick(QWidget *w, QPoint at)
{
    SendMouse(w, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
}
inline void DragTo(QWidget *w, QPoint at)
{
    SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}
inline void Release(QWidget *w, QPoint at)
{
    SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}
inline void PressKey(QWidget *w, int key)
{
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Enter(QWidget *w, QPoint at)
{
    const QPointF local(at);
    QEnterEvent e(local, local, w->mapToGlobal(local));
    QApplication::sendEvent(w, &e);
}
inline void Leave(QWidget *w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

// Collects the window messages posted to it.
class MessageSink : public QObject
{
public:
    struct Message
    {
        int nMessage;
        intptr_t wParam;
        intptr_t lParam;
        bool operator==(const Message &o) const = default;
    };

    std::vector<Message> m_messages;

    // Delivers what was posted so far and hands it over.
    std::vector<Message> Take()
    {
        QCoreApplication::sendPostedEvents(this);
        return std::exchange(m_messages, {});
    }

protected:
    bool event(QEvent *e) override
    {
        if (auto *m = dynamic_cast<CWindowMessage *>(e)) {
            m_messages.push_back({m->Message(), m->WParam(), m->LParam()});
            return true;
        }
        return QObject::event(e);
    }
};

#include <utility>

#include <QTest>

// QtTest prints std::vector<Message> poorly; compare with a readable failure.
inline char *toString(const MessageSink::Message &m)
{
    return QTest::toString(
        QStringLiteral("{0x%1, %2, %3}").arg(m.nMessage, 0, 16).arg(m.wParam).arg(m.lParam));
}
