#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include <QEvent>
#include <QObject>

#include "engine/core/vantor_player.h"
#include "playback/frame_player.h"
#include "playback/text_sample.h"

class VideoSurface;
class CPlayRelay;

// Published for the main window: written on the status thread, read on the window thread.
extern std::atomic<int32_t> g_nPlayPosition; // ms, from the last status callback
extern std::atomic<int32_t> g_nPlayDuration; // ms, of the current clip

constexpr size_t kMaxPlayPath = 260; // wide characters with the terminator

// The one object between the main window and the engine: owns the engine player, binds its
// two video slots to two surfaces, forwards the playback commands, keeps the small state the
// viewer tests, reads a clip's text samples when it starts and turns the engine's callbacks
// into WM_PLAY_STARTED, WM_PLAY_STATUS and WM_PLAY_ENDED for the notify object.
// Commands on the window thread (the notify object's thread) only.
//
// A sent message is posted with a completion the status thread waits for. Stop and Play first
// cancel the pending one and any later one (they complete at once without being handled) and
// only then wait for the status thread, so the two waits never meet; messages already queued
// from a stopped playback are dropped too.
class CCMPlayer final : public CFramePlayer
{
public:
    CCMPlayer(QObject *notify, VideoSurface *slot0, VideoSurface *slot1);
    ~CCMPlayer() override;
    CCMPlayer(const CCMPlayer &) = delete;
    CCMPlayer &operator=(const CCMPlayer &) = delete;

    // 1 when the engine took the request; 0 for an empty path (which also stops), a disabled or
    // missing slot-0 window, a path of more than kMaxPlayPath - 1 characters, or a refusal.
    int32_t Play(const wchar_t *path) override;
    void Stop() override;
    void Pause() override;
    void Resume() override { TryResume(); }
    // 1 if the engine accepted the resume.
    int32_t TryResume();
    // The engine's result; 0 when stopped. The position is clamped to 0..duration.
    int32_t SeekTo(int64_t positionMs) override;
    void SeekEngine(uint32_t positionMs, int32_t precision) override;
    int32_t SetSpeed(int32_t percent) override;
    int32_t StepFrame() override;
    void SetVolume(int32_t percent) override { ApplyVolume(percent); }
    // The engine's result.
    int32_t ApplyVolume(int32_t percent);
    // 1, or 0 for a null path.
    int32_t CaptureFrame(const wchar_t *path, int32_t selector) override;
    // The last error's message once, or null (see the implementation).
    const char *TakeLastError() override;

    int32_t GetState() const override { return m_nState; }
    uint32_t PlayPosition() const override { return uint32_t(std::max(0, g_nPlayPosition.load())); }
    uint32_t PlayDuration() const override { return uint32_t(std::max(0, g_nPlayDuration.load())); }
    // The last status read from the engine.
    VantorStatus Status() const;
    uint32_t StatusPosition() const override { return Status().nPosition; }
    const TEXT_SAMPLE *TextSamples(uint32_t &count) const override
    {
        count = m_nTextCount;
        return m_TextSamples;
    }
    uint32_t VideoStreamCount() const override { return m_MediaInfo.nVideoCount; }

    // Read by the main window: the samples are complete and unchanging from WM_PLAY_STARTED
    // until the next Play.
    TEXT_SAMPLE m_TextSamples[kMaxTextSamples];
    uint32_t m_nTextCount = 0;
    std::atomic<int32_t> m_nState{CMP_STOPPED};
    QObject *m_hNotifyWnd;
    VideoSurface *m_hVideoWnd0;
    VideoSurface *m_hVideoWnd1;
    wchar_t m_szPath[kMaxPlayPath]{};
    uint32_t m_nStreamOption = 0;
    VantorPlayer *m_pEngine = nullptr;
    VantorCallbacks m_Callbacks{};
    VantorOpenParams m_OpenParams{};
    uint8_t m_TagInfo[104]{};
    VantorMediaInfo m_MediaInfo{};
    VantorVideoOutConfig m_VideoOutCfg{};
    VantorAudioParams m_AudioParams{};
    uint32_t m_nVolume = 0xFFFFFFFF;
    std::atomic<int32_t> m_nLastError{0};
    std::atomic<int32_t> m_nLastErrorPos{0};

private:
    friend class CPlayRelay;
    struct SendCompletion;

    static void OnPlayStarted(void *user);
    static void OnPlayEnded(void *user);
    static void OnPlayStatus(void *user);
    void ReadStatus();
    // Status thread: delivers the message and waits for its handler, unless cancelled.
    void SendToNotify(QEvent::Type type, uintptr_t wParam);
    void PostToNotify(QEvent::Type type, uintptr_t wParam, intptr_t lParam);
    // Window thread: completes the pending message unhandled and drops later ones until Play.
    void CancelMessages();
    void Deliver(QEvent::Type type, uintptr_t wParam, intptr_t lParam, uint64_t generation,
                 const std::shared_ptr<SendCompletion> &completion);
    uint32_t Duration() const { return m_MediaInfo.nDuration; }

    wchar_t m_szLocator[kMaxPlayPath]{};
    mutable std::mutex m_statusLock;
    VantorStatus m_Status{};

    std::mutex m_sendLock;
    std::condition_variable m_sendDone;
    bool m_bCancelled = true;
    uint64_t m_nGeneration = 0;
    std::shared_ptr<SendCompletion> m_pPending;
    std::unique_ptr<CPlayRelay> m_pRelay;
};

// What the main window is given to make its wrapper.
FramePlayerFactory CmPlayerFactory();
