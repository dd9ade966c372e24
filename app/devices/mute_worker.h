#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// The system's mute read and set on a thread of its own, so that a sound server that hangs
// costs that thread its call bound (CSystemMute::kCallBoundMs), never the window thread.
// Requests return at once; the answer of a read goes to the callback, on the worker thread.
// A read asked for while one waits is not queued twice; a set goes before a waiting read, and a
// read that was under way when a set came is read again, so an answer never undoes a click.
class CMuteWorker
{
public:
    // bRead: the mute could be read; bMuted: what it says.
    using ReadAnswer = std::function<void(bool bRead, bool bMuted)>;

    explicit CMuteWorker(ReadAnswer onRead);
    // Waits for the call under way (at most its bound) and ends the thread.
    ~CMuteWorker();
    CMuteWorker(const CMuteWorker &) = delete;
    CMuteWorker &operator=(const CMuteWorker &) = delete;

    void RequestRead();
    void RequestSet(bool bMuted);

private:
    void Run();

    ReadAnswer m_onRead;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bReadWanted = false;
    std::optional<bool> m_setWanted;
    bool m_bStop = false;
    std::thread m_thread; // last: starts once everything above exists
};
