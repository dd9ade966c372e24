#include "playback/cm_player.h"

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <thread>

#include <QCoreApplication>
#include <QObject>
#include <QWidget>

#include "engine/core/player_state.h"
#include "engine/output/oem_dev_out.h"
#include "platform/trace.h"
#include "playback/play_messages.h"
#include "playback/text_reading.h"

std::atomic<int32_t> g_nPlayPosition{0};
std::atomic<int32_t> g_nPlayDuration{0};

namespace {

uint32_t ClampToDuration(int64_t positionMs, uint32_t durationMs)
{
    return uint32_t(std::clamp<int64_t>(positionMs, 0, durationMs));
}

// Left and right level equal: 100 gives 0xFFFFFFFF, 0 gives 0.
uint32_t StereoVolumeWord(int32_t percent)
{
    const uint32_t level = (uint32_t(percent) * 65535u / 100u) & 0xFFFFu;
    return level | (level << 16);
}

} // namespace

// The status thread's wait for a sent message.
struct CCMPlayer::SendCompletion
{
    bool bDone = false; // guarded by m_sendLock
};

namespace {

class CPlayRequest : public QEvent
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 0x401);
    CPlayRequest(QEvent::Type type, uintptr_t wParam, intptr_t lParam, uint64_t generation,
                 std::shared_ptr<void> completion)
        : QEvent(kType), m_type(type), m_wParam(wParam), m_lParam(lParam),
          m_nGeneration(generation), m_pCompletion(std::move(completion))
    {
    }
    QEvent::Type m_type;
    uintptr_t m_wParam;
    intptr_t m_lParam;
    uint64_t m_nGeneration;
    std::shared_ptr<void> m_pCompletion;
};

} // namespace

// Lives on the window thread and hands the status thread's messages to the notify object there.
class CPlayRelay : public QObject
{
public:
    explicit CPlayRelay(CCMPlayer &player) : m_player(player) {}

    bool event(QEvent *e) override
    {
        if (e->type() != CPlayRequest::kType)
            return QObject::event(e);
        auto *request = static_cast<CPlayRequest *>(e);
        m_player.Deliver(
            request->m_type, request->m_wParam, request->m_lParam, request->m_nGeneration,
            std::static_pointer_cast<CCMPlayer::SendCompletion>(request->m_pCompletion));
        return true;
    }

private:
    CCMPlayer &m_player;
};

CCMPlayer::CCMPlayer(QObject *notify, VideoSurface *slot0, VideoSurface *slot1)
    : m_hNotifyWnd(notify), m_hVideoWnd0(slot0), m_hVideoWnd1(slot1),
      m_pRelay(std::make_unique<CPlayRelay>(*this))
{
    g_nPlayPosition = 0;
    g_nPlayDuration = 0;
    m_Callbacks = {&CCMPlayer::OnPlayStarted, &CCMPlayer::OnPlayEnded, &CCMPlayer::OnPlayStatus,
                   nullptr, this};
    m_pEngine = VantorCreate(&m_Callbacks);

    m_VideoOutCfg = {};
    m_VideoOutCfg.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW | VIDEO_OUT_ASPECT;
    m_VideoOutCfg.dwOutputType = VIDEO_OUT_TYPE_OEM;
    m_VideoOutCfg.pWindow = m_hVideoWnd0;
    m_VideoOutCfg.dwAspectMode = 1;
    VantorSetVideoOut(m_pEngine, 0, &m_VideoOutCfg);
    m_VideoOutCfg.pWindow = m_hVideoWnd1;
    VantorSetVideoOut(m_pEngine, 1, &m_VideoOutCfg);

    m_AudioParams = {};
    m_AudioParams.dwMask = VANTOR_AUDIO_OUTPUT_TYPE | VANTOR_AUDIO_VOLUME;
    m_AudioParams.nOutputType = VANTOR_AUDIO_OUT_DSOUND;
    m_AudioParams.dwVolume = m_nVolume;
    VantorSetAudioParams(m_pEngine, &m_AudioParams);
    m_nState = CMP_STOPPED;
}

CCMPlayer::~CCMPlayer()
{
    Stop();
    // The only owner of the engine player; nothing else destroys it.
    VantorDestroy(m_pEngine);
}

int32_t CCMPlayer::Play(const wchar_t *path)
{
    if (!path)
        path = L"";
    const size_t length = std::wcslen(path);
    // Neither the path field nor the locator buffer can hold it; the current clip goes on.
    if (length >= kMaxPlayPath)
        return 0;
    std::wmemcpy(m_szPath, path, length + 1);
    const auto *window = dynamic_cast<const QWidget *>(m_hVideoWnd0);
    if (!m_hVideoWnd0 || (window && !window->isEnabled()) || length == 0) {
        Stop();
        return 0;
    }
    // The previous playback's thread must be gone before the locator buffer changes and before
    // messages flow again; the engine would otherwise wait for it inside VantorPlay.
    CancelMessages();
    VantorStop(m_pEngine);
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        m_bCancelled = false;
    }
    m_OpenParams = {};
    std::wmemcpy(m_szLocator, path, length + 1);
    m_OpenParams.szLocator = m_szLocator;
    m_nStreamOption = 0;
    m_OpenParams.pStreamingOption = &m_nStreamOption;
    std::fill(std::begin(m_TextSamples), std::end(m_TextSamples), TEXT_SAMPLE{});
    m_nTextCount = 0;
    if (!VantorPlay(m_pEngine, &m_OpenParams))
        return 0;
    Trace(L"CMPlayer.cpp Play \r\n");
    return 1;
}

void CCMPlayer::Stop()
{
    CancelMessages();
    if (m_pEngine)
        VantorStop(m_pEngine);
    m_nState = CMP_STOPPED;
}

void CCMPlayer::Pause()
{
    if (m_pEngine && m_nState == CMP_PLAYING) {
        VantorPause(m_pEngine);
        m_nState = CMP_PAUSED;
    }
}

int32_t CCMPlayer::TryResume()
{
    if (m_nState == CMP_STEPPING) {
        VantorSeek(m_pEngine, ClampToDuration(Status().nPosition, Duration()), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return VantorResume(m_pEngine) ? 1 : 0;
}

int32_t CCMPlayer::SeekTo(int64_t positionMs)
{
    if (m_nState == CMP_STOPPED)
        return 0;
    return VantorSeek(m_pEngine, ClampToDuration(positionMs, Duration()), 1);
}

void CCMPlayer::SeekEngine(uint32_t positionMs, int32_t precision)
{
    VantorSeek(m_pEngine, positionMs, precision);
}

int32_t CCMPlayer::SetSpeed(int32_t percent)
{
    VantorSetSpeed(m_pEngine, percent <= 0 ? 10 : percent);
    return 1;
}

int32_t CCMPlayer::StepFrame()
{
    const bool bWasPlaying = m_nState == CMP_PLAYING;
    Pause();
    // The engine takes a step only once it has paused, a status pass after the pause request;
    // asked at once it refuses and the step is lost. The status thread's own reading is waited
    // for (reading the engine here would take the error the status thread must see).
    if (bWasPlaying && m_pEngine) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (Status().nState != VS_PAUSED && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_nState = CMP_STEPPING;
    VantorTrick(m_pEngine, 0, 4);
    return 1;
}

int32_t CCMPlayer::ApplyVolume(int32_t percent)
{
    m_nVolume = StereoVolumeWord(percent);
    m_AudioParams = {};
    m_AudioParams.dwMask = VANTOR_AUDIO_VOLUME;
    m_AudioParams.dwVolume = m_nVolume;
    // The engine's sound output is the only one; there is no separate device volume to set.
    return VantorSetAudioParams(m_pEngine, &m_AudioParams);
}

int32_t CCMPlayer::CaptureFrame(const wchar_t *path, int32_t selector)
{
    Pause();
    if (!path)
        return 0;
    DevOutVideoOEMCapture(path, selector);
    return 1;
}

const char *CCMPlayer::TakeLastError()
{
    const int32_t error = m_nLastError;
    const int32_t position = m_nLastErrorPos;
    // Only an error at the start of the clip (nothing was played) is worth a message.
    if (error == 0 || (position != 0 && uint32_t(position) != m_OpenParams.nStartPosition))
        return nullptr;
    m_nLastError = 0;
    return VantorErrorText(error);
}

VantorStatus CCMPlayer::Status() const
{
    std::lock_guard<std::mutex> guard(m_statusLock);
    return m_Status;
}

void CCMPlayer::ReadStatus()
{
    VantorStatus status{};
    VantorGetStatus(m_pEngine, &status);
    {
        std::lock_guard<std::mutex> guard(m_statusLock);
        m_Status = status;
    }
    // Kept until taken: a later good status does not erase it.
    if (status.nLastError != 0) {
        m_nLastError = status.nLastError;
        m_nLastErrorPos = int32_t(status.nPosition);
    }
}

void CCMPlayer::OnPlayStarted(void *user)
{
    auto *self = static_cast<CCMPlayer *>(user);
    Trace(L"CMPlayer.cpp PlayStartCALLBACK \r\n");
    self->m_nLastError = 0;
    self->m_nLastErrorPos = 0;
    self->ReadStatus();
    if (self->m_nLastError != 0)
        Trace(L"CMPlayer.cpp PlayStartCALLBACK ERROR \r\n");
    self->m_nState = CMP_PLAYING;
    self->m_nTextCount = 0;
    self->m_nTextCount =
        ReadStartedClipText(self->m_pEngine, self->m_OpenParams, &self->m_MediaInfo,
                            self->m_TagInfo, self->m_TextSamples, kMaxTextSamples);
    // Back to the start after the text stream was read through.
    if (self->m_nState != CMP_STOPPED)
        VantorSeek(self->m_pEngine, ClampToDuration(0, self->Duration()), 0);
    self->SendToNotify(WM_PLAY_STARTED, self->Duration());
}

void CCMPlayer::OnPlayEnded(void *user)
{
    auto *self = static_cast<CCMPlayer *>(user);
    self->m_nState = CMP_STOPPED;
    self->SendToNotify(WM_PLAY_ENDED, 0);
}

void CCMPlayer::OnPlayStatus(void *user)
{
    auto *self = static_cast<CCMPlayer *>(user);
    self->ReadStatus();
    const VantorStatus status = self->Status();
    self->m_nState = status.nState == VS_PLAYING ? CMP_PLAYING : CMP_PAUSED;
    g_nPlayPosition = int32_t(status.nPosition);
    g_nPlayDuration = int32_t(self->Duration());
    self->PostToNotify(WM_PLAY_STATUS, status.nPosition, self->m_nState);
}

void CCMPlayer::SendToNotify(QEvent::Type type, uintptr_t wParam)
{
    auto completion = std::make_shared<SendCompletion>();
    uint64_t generation;
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        if (m_bCancelled)
            return;
        generation = m_nGeneration;
        m_pPending = completion;
    }
    QCoreApplication::postEvent(m_pRelay.get(),
                                new CPlayRequest(type, wParam, 0, generation, completion));
    std::unique_lock<std::mutex> guard(m_sendLock);
    m_sendDone.wait(guard, [&] { return completion->bDone; });
    if (m_pPending == completion)
        m_pPending.reset();
}

void CCMPlayer::PostToNotify(QEvent::Type type, uintptr_t wParam, intptr_t lParam)
{
    uint64_t generation;
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        if (m_bCancelled)
            return;
        generation = m_nGeneration;
    }
    QCoreApplication::postEvent(m_pRelay.get(),
                                new CPlayRequest(type, wParam, lParam, generation, nullptr));
}

void CCMPlayer::CancelMessages()
{
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        m_bCancelled = true;
        ++m_nGeneration;
        if (m_pPending)
            m_pPending->bDone = true;
    }
    m_sendDone.notify_all();
}

void CCMPlayer::Deliver(QEvent::Type type, uintptr_t wParam, intptr_t lParam, uint64_t generation,
                        const std::shared_ptr<SendCompletion> &completion)
{
    bool current;
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        current = generation == m_nGeneration;
    }
    if (current && m_hNotifyWnd) {
        CPlayMessage message(type, wParam, lParam);
        QCoreApplication::sendEvent(m_hNotifyWnd, &message);
    }
    if (completion) {
        {
            std::lock_guard<std::mutex> guard(m_sendLock);
            completion->bDone = true;
        }
        m_sendDone.notify_all();
    }
}

FramePlayerFactory CmPlayerFactory()
{
    return [](QObject *notify, VideoSurface *slot0, VideoSurface *slot1) {
        return std::unique_ptr<CFramePlayer>(std::make_unique<CCMPlayer>(notify, slot0, slot1));
    };
}
