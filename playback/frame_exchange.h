#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Frames passed between the engine's video task (which fills the back frame) and the window
// thread (which paints the front one). Published frames wait in order, so a paint that comes
// late paints each of them in turn rather than only the newest; only when every frame but the
// back and the front waits is the oldest one given up. The lock is held only to move pointers,
// so neither thread waits for the other's copying or painting.
// Frames a video window keeps: the back and the front one, and four that can wait to be
// painted (a window thread busy for four pictures' time, 133 ms at 30 per second, loses none).
constexpr size_t kVideoFrames = 6;

template <class Frame> class FrameExchange
{
public:
    // Installs new frames (three or more; none to have no frames); callers serialise this with
    // the writer.
    void Reset(std::vector<std::shared_ptr<Frame>> frames)
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Waiting.clear();
        m_pBack = m_pFront = nullptr;
        if (frames.size() >= 3) {
            m_pBack = std::move(frames.back());
            frames.pop_back();
            m_pFront = std::move(frames.back());
            frames.pop_back();
        }
        m_Free = std::move(frames);
        m_bAny = false;
    }

    // Writer: the frame to fill. Nobody else touches it until Publish.
    std::shared_ptr<Frame> Back()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_pBack;
    }

    // Writer: the back frame waits to be painted and a free frame becomes the back one. False
    // when none was free: the oldest waiting frame, never painted, is the new back frame.
    bool Publish()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Waiting.push_back(std::move(m_pBack));
        if (!m_Free.empty()) {
            m_pBack = std::move(m_Free.back());
            m_Free.pop_back();
            return true;
        }
        m_pBack = std::move(m_Waiting.front());
        m_Waiting.pop_front();
        return false;
    }

    // Painter: the oldest waiting frame becomes the front one (*fresh true), else the front
    // stays; null before the first publish.
    std::shared_ptr<Frame> Next(bool *fresh = nullptr)
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        const bool bFresh = !m_Waiting.empty();
        if (bFresh) {
            m_Free.push_back(std::move(m_pFront));
            m_pFront = std::move(m_Waiting.front());
            m_Waiting.pop_front();
            m_bAny = true;
        }
        if (fresh)
            *fresh = bFresh;
        return m_bAny ? m_pFront : nullptr;
    }

    // Painter: frames are still waiting after the one Next gave (paint again).
    bool Waiting()
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        return !m_Waiting.empty();
    }

private:
    std::mutex m_Lock;
    // All guarded by m_Lock.
    std::shared_ptr<Frame> m_pBack, m_pFront;
    std::deque<std::shared_ptr<Frame>> m_Waiting; // oldest first
    std::vector<std::shared_ptr<Frame>> m_Free;
    bool m_bAny = false;
};
