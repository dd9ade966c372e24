#pragma once

#include <memory>

#include "engine/play/playback.h"

// The steps the tasks and the status thread share. Video steps run with Playback::videoLock
// held, audio steps with Playback::audioLock held.

enum class ReadOutcome
{
    Read,    // one sample went into the queue
    NoSpace, // the queue is full (or must drain before it can grow)
    Ended,   // the stream has no more samples
    Again,   // the reader used up its slice without a sample; the stream goes on
};

// A queue for samples of up to largest bytes; null when the figures are impossible.
std::unique_ptr<SampleQueue> MakeQueue(uint32_t largest, bool video);

// Reads one sample of the kind into the queue. A sample larger than the queue's largest sample
// grows the queue once it is empty, so such a sample does not end the stream.
ReadOutcome ReadIntoQueue(Playback *pb, std::unique_ptr<SampleQueue> *queue, int32_t kind,
                          uint32_t stream, bool video);

void ResetVideoDecoder(VideoSlot *slot);
void ResetAudioDecoder(Playback *pb);

void SlotRead(Playback *pb, int32_t index);
// Decodes the next sample when no picture is ready; true when a sample was decoded or skipped
// (or a held picture collected at the end).
bool SlotDecode(Playback *pb, int32_t index);
// The longest the video task waits for a picture before it reads the clock again: a played
// sound report may have moved the clock meanwhile.
constexpr int32_t kMaxPictureWaitMs = 10;
// Wall ms until a picture of pictureMs is due against the clock at clockMs running at
// ratePercent, at most kMaxPictureWaitMs; 0 when it is due (late pictures included: they are
// shown at once, never dropped).
int32_t PictureWaitMs(int32_t clockMs, int32_t pictureMs, int32_t ratePercent);

// Not forced: presents a ready picture once it is due; else the ms to wait for it (0 when
// nothing waits). Forced: shows the last picture again when one is ready or the stream has
// drained; returns 0.
int32_t SlotPresent(Playback *pb, int32_t index, bool forced);
void TextStep(Playback *pb);

// Decodes one queued audio sample into the accumulator; false when nothing was decoded.
bool AudioDecodeOne(Playback *pb);
// Decodes and throws away sound before timeMs (a frame step).
void DiscardAudioUntil(Playback *pb, int32_t timeMs);
