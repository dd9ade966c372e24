#pragma once

#include <cstdint>

// The player's states; the values are what the status record reports.
enum VantorState : int32_t
{
    VS_IDLE = 0,
    VS_OPENING = 1,
    VS_PREPARE = 2,
    VS_BUFFER_START = 3,
    VS_BUFFER_WAIT = 4,
    VS_START = 5,
    VS_RESUME = 6,
    VS_PLAYING = 7,
    VS_PAUSING = 8,
    VS_PAUSED = 9,
    VS_SEEKING = 10,
    VS_STEPPING = 11,
    VS_ENDING = 12,
    VS_STOPPING = 13,
    VS_END_WAIT = 14,
};
constexpr int32_t kVantorStateCount = 15;

// The three state words the state lock guards.
struct PLAYER_STATE_WORDS
{
    VantorState nState = VS_IDLE;
    VantorState nPrevious = VS_IDLE;
    VantorState nNext = VS_RESUME; // entered after the next Start: Resume or Pausing
};

// What an accepted request asks of the caller besides the new words.
struct STATE_REQUEST_RESULT
{
    bool bAccepted = false;
    bool bStopDone = false;       // Idle from Stopping: the waiting stop may return
    bool bCopySeekTarget = false; // Seeking: the working position takes the seek target
};

// Applies one state request to the words (the caller holds the state lock and sets the
// state-changed event when it is accepted). rewindAtEnd is the open request's flag, which
// decides where a seek out of EndWait continues. A refused request changes nothing.
STATE_REQUEST_RESULT RequestState(PLAYER_STATE_WORDS *words, VantorState request, bool rewindAtEnd);

// True when the request is accepted from that state (the table alone, for tests and checks).
bool IsStateRequestAccepted(VantorState from, VantorState request);
