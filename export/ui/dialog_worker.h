#pragma once

#include <atomic>
#include <functional>
#include <thread>

// The background job of a dialog (an export, a copy): one thread at a time, a cancel flag the
// job polls, and the rule that the dialog may close only once the job has reported back.
// Start, Cancel, Finish and the destructor are called on the window thread; Cancelled on the
// job's.
class CDialogWorker
{
public:
    CDialogWorker() = default;
    CDialogWorker(const CDialogWorker &) = delete;
    CDialogWorker &operator=(const CDialogWorker &) = delete;
    // A job still running is cancelled and waited for: it reads the dialog it belongs to.
    ~CDialogWorker()
    {
        m_bCancel = true;
        Join();
    }

    // Running from Start until the job's report reached Finish.
    bool IsRunning() const { return m_thread.joinable() && !m_bFinished; }
    // Runs job on a thread of its own; the last one, which has reported, is joined first.
    void Start(std::function<void()> job)
    {
        Join();
        m_bCancel = false;
        m_bFinished = false;
        m_thread = std::thread(std::move(job));
    }
    void Cancel() { m_bCancel = true; }
    bool Cancelled() const { return m_bCancel; }
    // The job's report has arrived on the window thread; its thread ends with it.
    void Finish()
    {
        m_bFinished = true;
        Join();
    }

private:
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::thread m_thread;
    std::atomic<bool> m_bCancel{false};
    bool m_bFinished = false; // window thread only
};
