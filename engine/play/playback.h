#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/core/player_state.h"
#include "engine/output/audio_out.h"
#include "engine/output/vantor_audio_params.h"
#include "engine/output/video_out_config.h"
#include "engine/output/video_renderer.h"
#include "engine/play/av_sync.h"
#include "engine/play/decoder.h"
#include "engine/play/pcm_accumulator.h"
#include "engine/play/playback_clock.h"
#include "engine/play/sample_queue.h"
#include "engine/source/media_info.h"
#include "engine/source/reader_ops.h"
#include "engine/source/source_object.h"
#include "platform/auto_reset_event.h"

// Where the decoders come from: the built-in tables in the full engine, small scripted
// decoders in tests.
struct DecoderFactory
{
    int32_t (*CreateVideo)(uint32_t fourcc, VideoDecoder **decoder);
    void (*DestroyVideo)(VideoDecoder *decoder);
    int32_t (*CreateAudio)(uint32_t format, AudioDecoder **decoder);
    void (*DestroyAudio)(AudioDecoder *decoder);
    int32_t (*CreateText)(uint32_t codec, TextDecoder **decoder);
    void (*DestroyText)(TextDecoder *decoder);
    int32_t (*DecodeText)(TextDecoder *decoder, const uint8_t *sample, uint32_t length,
                          int32_t timeMs, TEXT_LAYOUT *layout);
};

// One video stream's decoder, renderer and queue with the picture last decoded. Guarded by
// Playback::videoLock.
struct VideoSlot
{
    // Closing frees the decoder before the renderer; the members are declared so that
    // destruction keeps that order.
    VideoRendererPtr renderer;
    VideoDecoderPtr decoder;
    std::unique_ptr<SampleQueue> queue;
    VideoPicture picture{}; // points into the decoder's frame
    int32_t nPictureMs = 0;
    bool bHavePicture = false;     // a picture was decoded since the decoder was created
    bool bReady = false;           // decoded and not yet presented
    bool bEnded = false;           // the source has no more samples for this stream
    bool bDrained = false;         // ended, queue empty and the decoder holds no more pictures
    std::vector<uint8_t> frame;    // copy of the last picture: stays valid across decoder resets
    VantorVideoOutConfig config{}; // applied whole when the renderer is created
};

// Feeds the playback clock and the sync record from the audio output's played reports (device
// thread).
class ClockListener : public AudioPlayedListener
{
public:
    ClockListener(PlaybackClock *clock, AvSyncRecord *sync) : m_pClock(clock), m_pSync(sync) {}
    void AudioSync(int32_t nTimeMs) override;
    void AudioBytesPlayed(uint32_t) override {}

private:
    PlaybackClock *m_pClock;
    AvSyncRecord *m_pSync;
};

// The playback machinery of one player: source, clock, decoders, queues and outputs of the
// current open, the presentation tasks, and what the status thread does in Prepare, Start,
// Resume, Pausing, Seeking, Stepping and on closing.
//
// Threads and locks: the status thread owns the lifetime of everything here. The video task
// works on the slots and the text state under videoLock; the audio task on the audio decoder,
// queue and accumulator under audioLock, but writes to the output without it (the write may
// wait for the device). Caller threads reach the stored configurations and the outputs under
// the same two locks, and the source and clock pointers under openLock.
struct Playback
{
    const DecoderFactory *pFactory = nullptr; // set at creation, not changed

    // Mirror of the player's state, written under the player's state lock and read by the
    // tasks without it (one word).
    std::atomic<int32_t> nState{VS_IDLE};
    // The last state each task has seen; VS_IDLE when the task does not run.
    std::atomic<int32_t> nAudioSeen{VS_IDLE};
    std::atomic<int32_t> nVideoSeen{VS_IDLE};
    std::atomic<bool> bStop{false}; // the tasks leave their loops
    // Set after nState, bStop or the speed changed: ends the video task's wait for a picture.
    AutoResetEvent videoWake;
    std::atomic<int32_t> nLastError{0};

    // Open pointers, guarded by openLock for threads other than the status thread (which
    // alone changes them, while no task runs).
    std::mutex openLock;
    SourcePtr source;
    std::unique_ptr<PlaybackClock> clock;
    MediaInfo info{}; // written in Prepare; read-only while tasks run

    // Set in Prepare and Start by the status thread; the tasks read them (one word each).
    std::atomic<bool> bHasAudio{false}, bHasVideo{false}, bHasText{false};
    std::atomic<bool> bAudioEnded{false}, bVideoEnded{false}, bTextEnded{false};
    std::atomic<int32_t> nWorkingPosition{0}; // ms; pictures and sound before it are not shown
    std::atomic<bool> bDecoderReset{false};   // reset the video decoder after every picture

    // Video side, guarded by videoLock.
    std::mutex videoLock;
    VideoSlot slots[kMaxVideoStreams];
    int32_t nSlots = 0;
    TextDecoderPtr textDecoder;
    std::vector<uint8_t> textBuffer;
    TEXT_LAYOUT pendingText;
    bool bTextPending = false;
    TEXT_LAYOUT shownText; // the layout handed out last (no renderer draws text yet)
    uint32_t nTextShown = 0;

    // Audio side, guarded by audioLock (the output's own lock orders its operations).
    std::mutex audioLock;
    AudioDecoderPtr audioDecoder;
    std::unique_ptr<SampleQueue> audioQueue;
    PcmAccumulator accumulator;
    bool bAccumulatorCreated = false;
    std::unique_ptr<ClockListener> listener; // declared first: it outlives the output it feeds
    AudioOutPtr audioOut;
    VantorAudioParams audioParams{};  // stored fields; applied whole to a new output
    std::vector<int16_t> decodeFrame; // one decoded frame, interleaved
    int32_t nLastAudioTime = -1;      // time of the sample decoded last
    bool bAudioReadEnded = false;     // the source has no more audio samples

    // Told of every picture presented (forced: shown again, or by a frame step); for tests and
    // traces. Set before playback starts; called with videoLock held.
    void (*pfnPresented)(void *context, int32_t slot, int32_t pictureMs, bool forced) = nullptr;
    void *pPresentedContext = nullptr;
    // Slot 0's pictures against the sound heard, while sound drives the clock.
    AvSyncRecord avSync;

    // Tasks; joined on closing.
    std::thread audioTask;
    std::thread videoTask;
    bool bTasksStarted = false; // status thread only
};

// Status thread. Opens the source, reads its information, positions it at the start and
// creates the clock there. 0 or the failing step's code.
int32_t PlaybackPrepare(Playback *pb, SourceOpenRequest *request, uint32_t startMs);
// Pre-fills the queues and creates decoders and outputs; false when neither audio nor video can
// play or Stopping was requested meanwhile.
bool PlaybackStart(Playback *pb);
// Once per open, after the first start.
void PlaybackStartTasks(Playback *pb);
void PlaybackResume(Playback *pb);
void PlaybackPause(Playback *pb);
// Waits for both tasks to stand still in Seeking, then moves the source. mode 3 and 4 look for
// a key frame. True when the source moved (the caller then starts again).
bool PlaybackSeek(Playback *pb, uint32_t targetMs, int32_t mode, int32_t precise,
                  int32_t keyFrameFlag);
// One picture forward on every slot, then audio and clock brought to it. False when there is
// nothing more to show (no video, or it has ended).
bool PlaybackStep(Playback *pb);
// The audio output has played everything (true without audio).
bool PlaybackAudioDrained(Playback *pb);
// Stops the tasks and frees everything of the open; the playback can be prepared again.
void PlaybackClose(Playback *pb);

// Records a code as the player's last error.
void PlaybackSetError(Playback *pb, int32_t code);
// Clock position clamped to the duration, 0 without a clock. Any thread.
int32_t PlaybackPosition(Playback *pb);

// Caller threads: store and apply.
int32_t PlaybackSetAudioParams(Playback *pb, const VantorAudioParams *params);
int32_t PlaybackSetVideoOut(Playback *pb, int32_t slot, const VantorVideoOutConfig *config);
// 1 applied (or no source), 0 when the audio output refused.
int32_t PlaybackSetSpeed(Playback *pb, int32_t percent);

// The tasks' loops.
void AudioTaskMain(Playback *pb);
void VideoTaskMain(Playback *pb);
