#include "app/devices/mute_worker.h"

#include "app/devices/system_mute.h"
#include "platform/thread_util.h"

CMuteWorker::CMuteWorker(ReadAnswer onRead)
    : m_onRead(std::move(onRead)), m_thread([this] { Run(); })
{
}

CMuteWorker::~CMuteWorker()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CMuteWorker::RequestRead()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bReadWanted = true;
    }
    m_wake.notify_one();
}

void CMuteWorker::RequestSet(bool bMuted)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_setWanted = bMuted;
    }
    m_wake.notify_one();
}

void CMuteWorker::Run()
{
    SetCurrentThreadName("Mute");
    // The connection lives on this thread only.
    CSystemMute mute;
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_bStop || m_bReadWanted || m_setWanted; });
        if (m_bStop)
            return;
        if (m_setWanted) {
            const bool bMuted = *m_setWanted;
            m_setWanted.reset();
            guard.unlock();
            mute.Set(bMuted);
            guard.lock();
            continue;
        }
        m_bReadWanted = false;
        guard.unlock();
        bool bMuted = false;
        const bool bRead = mute.Read(bMuted);
        guard.lock();
        if (m_setWanted) {
            m_bReadWanted = true; // read after the set instead
            continue;
        }
        if (m_bStop)
            return;
        guard.unlock();
        m_onRead(bRead, bMuted);
        guard.lock();
    }
}
