#pragma once

#include <chrono>
#include <memory>
#include <string>

struct pa_context;
struct pa_mainloop;
struct pa_operation;

// The system's mute: the mute of the sound server's default sink (PulseAudio, or PipeWire's
// pulse server), read and set over one connection this object owns. Every call runs the
// connection's events on the caller's thread and gives up after kCallBoundMs, so a dead or hung
// server costs the window thread at most that much; a call that finds no connection (never
// made, lost, or dropped after a time-out) connects first, inside the same bound.
// Not thread-safe: one thread uses it.
class CSystemMute
{
public:
    static constexpr int kCallBoundMs = 500;

    CSystemMute();
    ~CSystemMute();
    CSystemMute(const CSystemMute &) = delete;
    CSystemMute &operator=(const CSystemMute &) = delete;

    // Connects to the default server; never starts one. False when there is none.
    bool Init();
    // The mute of the server's default sink at this moment. False when it cannot be read.
    bool Read(bool &bMuted);
    // Mutes or unmutes the server's default sink. False when the server did not confirm it.
    bool Set(bool bMuted);
    bool IsConnected() const;

private:
    using Clock = std::chrono::steady_clock;
    struct LoopFree
    {
        void operator()(pa_mainloop *p) const;
    };
    struct ContextFree
    {
        void operator()(pa_context *p) const;
    };

    bool Connect(Clock::time_point deadline);
    // Runs the loop until the operation is over; drops the connection when it fails or the
    // deadline passes, so nothing is left pending on a server that stopped answering.
    bool Finish(pa_operation *operation, Clock::time_point deadline);
    bool DefaultSinkName(std::string &name, Clock::time_point deadline);
    bool RunOnce(Clock::time_point deadline);
    void Disconnect();

    std::unique_ptr<pa_mainloop, LoopFree> m_pLoop;
    std::unique_ptr<pa_context, ContextFree> m_pContext; // null when not connected
};
