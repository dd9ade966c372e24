#pragma once

#include <cstdint>
#include <functional>
#include <memory>

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
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void Stop() = 0;
    // The published playback position and clip duration, in ms.
    virtual uint32_t PlayPosition() const = 0;
    virtual uint32_t PlayDuration() const = 0;
    // 0..100
    virtual void SetVolume(int32_t nVolume) = 0;
};

// Makes the wrapper for a main window: its messages go to notify, video slot 0 draws into
// slot0 and slot 1 into slot1. Null when it cannot be made.
using FramePlayerFactory = std::function<std::unique_ptr<CFramePlayer>(
    QObject *notify, VideoSurface *slot0, VideoSurface *slot1)>;
