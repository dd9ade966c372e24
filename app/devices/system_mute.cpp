#include "app/devices/system_mute.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

namespace {

struct SINK_MUTE_REPLY
{
    bool bOk = false;
    bool bMuted = false;
};

struct SERVER_REPLY
{
    bool bOk = false;
    std::string strDefaultSink;
};

} // namespace

void CSystemMute::LoopFree::operator()(pa_mainloop *p) const
{
    pa_mainloop_free(p);
}

void CSystemMute::ContextFree::operator()(pa_context *p) const
{
    pa_context_disconnect(p);
    pa_context_unref(p);
}

CSystemMute::CSystemMute() : m_pLoop(pa_mainloop_new()) {}

CSystemMute::~CSystemMute()
{
    // The context holds events of the loop: it goes first.
    Disconnect();
}

bool CSystemMute::IsConnected() const
{
    return m_pContext && pa_context_get_state(m_pContext.get()) == PA_CONTEXT_READY;
}

bool CSystemMute::Init()
{
    return Connect(Clock::now() + std::chrono::milliseconds(kCallBoundMs));
}

bool CSystemMute::Read(bool &bMuted)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCallBoundMs);
    // The default sink is asked for at every read, so a change of output device is followed.
    std::string sink;
    if (!Connect(deadline) || !DefaultSinkName(sink, deadline))
        return false;
    SINK_MUTE_REPLY reply;
    pa_operation *operation = pa_context_get_sink_info_by_name(
        m_pContext.get(), sink.c_str(),
        [](pa_context *, const pa_sink_info *info, int eol, void *user) {
            // Called once per sink, then once with eol set (negative when the sink is unknown).
            if (eol == 0 && info) {
                auto *r = static_cast<SINK_MUTE_REPLY *>(user);
                r->bMuted = info->mute != 0;
                r->bOk = true;
            }
        },
        &reply);
    if (!Finish(operation, deadline) || !reply.bOk)
        return false;
    bMuted = reply.bMuted;
    return true;
}

bool CSystemMute::Set(bool bMuted)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCallBoundMs);
    std::string sink;
    if (!Connect(deadline) || !DefaultSinkName(sink, deadline))
        return false;
    bool bConfirmed = false;
    pa_operation *operation = pa_context_set_sink_mute_by_name(
        m_pContext.get(), sink.c_str(), bMuted ? 1 : 0,
        [](pa_context *, int success, void *user) { *static_cast<bool *>(user) = success != 0; },
        &bConfirmed);
    return Finish(operation, deadline) && bConfirmed;
}

bool CSystemMute::Connect(Clock::time_point deadline)
{
    if (IsConnected())
        return true;
    Disconnect();
    if (!m_pLoop)
        return false;
    m_pContext.reset(pa_context_new(pa_mainloop_get_api(m_pLoop.get()), "RoadlogViewer"));
    if (!m_pContext)
        return false;
    // Never autospawn: a viewer must not start a sound server the user does not run.
    if (pa_context_connect(m_pContext.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        Disconnect();
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_pContext.get());
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state) || !RunOnce(deadline)) {
            Disconnect();
            return false;
        }
    }
}

bool CSystemMute::DefaultSinkName(std::string &name, Clock::time_point deadline)
{
    SERVER_REPLY reply;
    pa_operation *operation = pa_context_get_server_info(
        m_pContext.get(),
        [](pa_context *, const pa_server_info *info, void *user) {
            // A server with no output device has no default sink.
            if (info && info->default_sink_name && *info->default_sink_name) {
                auto *r = static_cast<SERVER_REPLY *>(user);
                r->strDefaultSink = info->default_sink_name;
                r->bOk = true;
            }
        },
        &reply);
    if (!Finish(operation, deadline) || !reply.bOk)
        return false;
    name = std::move(reply.strDefaultSink);
    return true;
}

bool CSystemMute::Finish(pa_operation *operation, Clock::time_point deadline)
{
    if (!operation) {
        Disconnect();
        return false;
    }
    bool bOk = true;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_pContext.get())) || !RunOnce(deadline)) {
            bOk = false;
            break;
        }
    }
    bOk = bOk && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!bOk)
        Disconnect();
    return bOk;
}

bool CSystemMute::RunOnce(Clock::time_point deadline)
{
    const auto remaining =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (remaining <= 0)
        return false;
    pa_mainloop *loop = m_pLoop.get();
    return pa_mainloop_prepare(loop, static_cast<int>(remaining)) >= 0 &&
           pa_mainloop_poll(loop) >= 0 && pa_mainloop_dispatch(loop) >= 0;
}

void CSystemMute::Disconnect()
{
    m_pContext.reset();
}
