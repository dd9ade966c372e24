#include "engine/core/player_state.h"

namespace {

constexpr uint32_t Bit(VantorState s)
{
    return 1u << s;
}

constexpr uint32_t kAnyState = (1u << kVantorStateCount) - 1;

// For each requested state, the states it is accepted from.
constexpr uint32_t kAcceptedFrom[kVantorStateCount] = {
    /* Idle */ Bit(VS_ENDING) | Bit(VS_STOPPING),
    /* Opening */ Bit(VS_IDLE),
    /* Prepare */ Bit(VS_OPENING),
    /* BufferStart */ Bit(VS_PREPARE) | Bit(VS_PLAYING) | Bit(VS_SEEKING) | Bit(VS_END_WAIT),
    /* BufferWait */ Bit(VS_BUFFER_START),
    /* Start */ Bit(VS_BUFFER_START) | Bit(VS_BUFFER_WAIT) | Bit(VS_SEEKING) | Bit(VS_END_WAIT),
    /* Resume */ Bit(VS_BUFFER_START) | Bit(VS_BUFFER_WAIT) | Bit(VS_START) | Bit(VS_PAUSING) |
        Bit(VS_PAUSED) | Bit(VS_SEEKING),
    /* Playing */ Bit(VS_RESUME),
    /* Pausing */ Bit(VS_BUFFER_WAIT) | Bit(VS_START) | Bit(VS_RESUME) | Bit(VS_PLAYING) |
        Bit(VS_SEEKING) | Bit(VS_STEPPING),
    /* Paused */ Bit(VS_PAUSING),
    /* Seeking */ Bit(VS_PLAYING) | Bit(VS_PAUSED) | Bit(VS_STEPPING) | Bit(VS_END_WAIT),
    /* Stepping */ Bit(VS_PAUSED),
    /* Ending */ kAnyState & ~Bit(VS_IDLE) & ~Bit(VS_STOPPING),
    /* Stopping */ kAnyState & ~Bit(VS_IDLE),
    /* EndWait */ Bit(VS_PLAYING),
};

bool IsValid(VantorState s)
{
    return s >= 0 && s < kVantorStateCount;
}

} // namespace

bool IsStateRequestAccepted(VantorState from, VantorState request)
{
    return IsValid(from) && IsValid(request) && (kAcceptedFrom[request] & Bit(from)) != 0;
}

STATE_REQUEST_RESULT RequestState(PLAYER_STATE_WORDS *words, VantorState request, bool rewindAtEnd)
{
    STATE_REQUEST_RESULT result;
    const VantorState from = words->nState;
    if (!IsStateRequestAccepted(from, request))
        return result;
    result.bAccepted = true;
    // BufferWait keeps the previous state, so it still tells where buffering began.
    if (request != VS_BUFFER_WAIT)
        words->nPrevious = from;
    words->nState = request;
    switch (request) {
    case VS_IDLE:
        result.bStopDone = from == VS_STOPPING;
        break;
    case VS_PREPARE:
        words->nNext = VS_RESUME;
        break;
    case VS_SEEKING:
        result.bCopySeekTarget = true;
        words->nNext =
            from == VS_PLAYING || (from == VS_END_WAIT && !rewindAtEnd) ? VS_RESUME : VS_PAUSING;
        break;
    default:
        break;
    }
    return result;
}
