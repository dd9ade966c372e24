#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "playback/text_sample.h"

class QObject;
class VideoSurface;

// Wrapper states the main window looks at.
enum : int32_t
{
    CMP_PLAYING = 1,
    CMP_PAUSED = 2,
    CMP_STOPPED = 3,
    CMP_STEPPING = 6,
};

// What the main window needs of the player wrapper: the one place where it creates and drives
// it. The wrapper implements this; until one is given, the window runs without playback.
// Window thread only.
class CFramePlayer
{
public:
    virtual ~CFramePlayer() = default;

    virtual int32_t GetState() const = 0;
    // 1 when the engine took the request, 0 when it refused.
    virtual int32_t Play(const wchar_t *path) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void Stop() = 0;
    // The published playback position and clip duration, in ms.
    virtual uint32_t PlayPosition() const = 0;
    virtual uint32_t PlayDuration() const = 0;
    // The position of the last status read from the engine, in ms.
    virtual uint32_t StatusPosition() const = 0;
    // 0..100
    virtual void SetVolume(int32_t nVolume) = 0;
    // Percent; 0 or less plays at 10.
    virtual int32_t SetSpeed(int32_t nPercent) = 0;
    // Clamped to the clip; 0 when stopped.
    virtual int32_t SeekTo(int64_t nPositionMs) = 0;
    // The engine's own seek (precision 0: to the key frame before), whatever the wrapper state.
    virtual void SeekEngine(uint32_t nPositionMs, int32_t nPrecision) = 0;
    virtual int32_t StepFrame() = 0;
    // Saves the next presented picture of the output chosen by selector (0: large, 1: small).
    virtual int32_t CaptureFrame(const wchar_t *path, int32_t nSelector) = 0;
    // The last error's message once, or null.
    virtual const char *TakeLastError() = 0;
    // The clip's text samples: complete from WM_PLAY_STARTED until the next Play.
    virtual const TEXT_SAMPLE *TextSamples(uint32_t &nCount) const = 0;
    // The clip's video streams (cameras), known from WM_PLAY_STARTED until the next Play.
    virtual uint32_t VideoStreamCount() const = 0;
};

// Makes the wrapper for a main window: its messages go to notify, video slot 0 draws into
// slot0 and slot 1 into slot1. Null when it cannot be made.
using FramePlayerFactory = std::function<std::unique_ptr<CFramePlayer>(
    QObject *notify, VideoSurface *slot0, VideoSurface *slot1)>;

// Pauses the clip and gives the engine 100 ms to settle before the caller goes on (a dialog, a
// capture); true when it was playing, so that the caller resumes it afterwards.
inline bool PauseAndSettle(CFramePlayer &player)
{
    const bool bWasPlaying = player.GetState() == CMP_PLAYING;
    player.Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return bWasPlaying;
}
