#pragma once

#include <memory>
#include <mutex>
#include <utility>

// Three frames passed between the engine's video task (which writes the back frame) and the
// window thread (which paints the front one). The lock is held only to swap pointers, so
// neither thread waits for the other's copying or painting.
template <class Frame> class FrameExchange
{
public:
    // Installs three new frames; callers serialise this with the writer.
    void Reset(std::shared_ptr<Frame> a, std::shared_ptr<Frame> b, std::shared_ptr<Frame> c)
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_pBack = std::move(a);
        m_pReady = std::move(b);
        m_pFront = std::move(c);
        m_bFresh = false;
    }

    // Writer: the frame to fill. Nobody else touches it until Publish.
    std::shared_ptr<Frame> Back()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_pBack;
    }

    // Writer: the back frame becomes the latest one; the frame it replaces is the next back.
    void Publish()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        std::swap(m_pBack, m_pReady);
        m_bFresh = true;
    }

    // Painter: the latest published frame (null before the first).
    std::shared_ptr<Frame> Latest()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        if (m_bFresh) {
            std::swap(m_pFront, m_pReady);
            m_bFresh = false;
            m_bAny = true;
        }
        return m_bAny ? m_pFront : nullptr;
    }

private:
    std::mutex m_Lock;
    std::shared_ptr<Frame> m_pBack, m_pReady, m_pFront; // guarded by m_Lock
    bool m_bFresh = false;                              // guarded by m_Lock
    bool m_bAny = false;                                // guarded by m_Lock
};
