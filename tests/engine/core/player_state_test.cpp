#include <string>

#include <gtest/gtest.h>

#include "engine/core/player_state.h"

namespace {

// Row: the requested state; column: the state the request comes from (Idle .. EndWait).
// 'X' = accepted.
const char *const kAcceptance[kVantorStateCount] = {
    /* Idle        */ "............XX.",
    /* Opening     */ "X..............",
    /* Prepare     */ ".X.............",
    /* BufferStart */ "..X....X..X...X",
    /* BufferWait  */ "...X...........",
    /* Start       */ "...XX.....X...X",
    /* Resume      */ "...XXX..XXX....",
    /* Playing     */ "......X........",
    /* Pausing     */ "....XXXX..XX...",
    /* Paused      */ "........X......",
    /* Seeking     */ ".......X.X.X..X",
    /* Stepping    */ ".........X.....",
    /* Ending      */ ".XXXXXXXXXXXX.X",
    /* Stopping    */ ".XXXXXXXXXXXXXX",
    /* EndWait     */ ".......X.......",
};

} // namespace

TEST(StateRequest, EveryPairIsAcceptedOrRefusedAsTheTableSays)
{
    for (int request = 0; request < kVantorStateCount; ++request) {
        ASSERT_EQ(std::string(kAcceptance[request]).size(), size_t(kVantorStateCount));
        for (int from = 0; from < kVantorStateCount; ++from) {
            PLAYER_STATE_WORDS words{static_cast<VantorState>(from), VS_PAUSED, VS_PAUSING};
            const PLAYER_STATE_WORDS before = words;
            const bool expected = kAcceptance[request][from] == 'X';
            const STATE_REQUEST_RESULT r =
                RequestState(&words, static_cast<VantorState>(request), false);
            EXPECT_EQ(r.bAccepted, expected) << "request " << request << " from " << from;
            if (expected) {
                EXPECT_EQ(words.nState, request);
            } else {
                // A refused request changes nothing.
                EXPECT_EQ(words.nState, before.nState);
                EXPECT_EQ(words.nPrevious, before.nPrevious);
                EXPECT_EQ(words.nNext, before.nNext);
            }
        }
    }
    EXPECT_FALSE(IsStateRequestAccepted(static_cast<VantorState>(15), VS_STOPPING));
    EXPECT_FALSE(IsStateRequestAccepted(VS_PLAYING, static_cast<VantorState>(-1)));
}

TEST(StateRequest, AcceptedRequestsKeepThePreviousStateExceptBufferWait)
{
    PLAYER_STATE_WORDS words{VS_PLAYING, VS_RESUME, VS_RESUME};
    ASSERT_TRUE(RequestState(&words, VS_BUFFER_START, false).bAccepted);
    EXPECT_EQ(words.nPrevious, VS_PLAYING);
    ASSERT_TRUE(RequestState(&words, VS_BUFFER_WAIT, false).bAccepted);
    EXPECT_EQ(words.nPrevious, VS_PLAYING); // still tells where buffering began
    ASSERT_TRUE(RequestState(&words, VS_RESUME, false).bAccepted);
    EXPECT_EQ(words.nPrevious, VS_BUFFER_WAIT);
}

TEST(StateRequest, SeekingChoosesWhereToContinue)
{
    const struct
    {
        VantorState from;
        bool rewindAtEnd;
        VantorState next;
    } cases[] = {
        {VS_PLAYING, false, VS_RESUME},  {VS_PLAYING, true, VS_RESUME},
        {VS_PAUSED, false, VS_PAUSING},  {VS_STEPPING, false, VS_PAUSING},
        {VS_END_WAIT, false, VS_RESUME}, {VS_END_WAIT, true, VS_PAUSING},
    };
    for (const auto &c : cases) {
        PLAYER_STATE_WORDS words{c.from, VS_IDLE, VS_RESUME};
        const STATE_REQUEST_RESULT r = RequestState(&words, VS_SEEKING, c.rewindAtEnd);
        ASSERT_TRUE(r.bAccepted);
        EXPECT_TRUE(r.bCopySeekTarget);
        EXPECT_EQ(words.nNext, c.next) << c.from << " " << c.rewindAtEnd;
    }
}

TEST(StateRequest, PrepareResetsTheNextStateAndIdleFromStoppingReleasesTheStop)
{
    PLAYER_STATE_WORDS words{VS_OPENING, VS_IDLE, VS_PAUSING};
    ASSERT_TRUE(RequestState(&words, VS_PREPARE, false).bAccepted);
    EXPECT_EQ(words.nNext, VS_RESUME);

    PLAYER_STATE_WORDS stopping{VS_STOPPING, VS_PLAYING, VS_RESUME};
    EXPECT_TRUE(RequestState(&stopping, VS_IDLE, false).bStopDone);
    PLAYER_STATE_WORDS ending{VS_ENDING, VS_PLAYING, VS_RESUME};
    const STATE_REQUEST_RESULT r = RequestState(&ending, VS_IDLE, false);
    EXPECT_TRUE(r.bAccepted);
    EXPECT_FALSE(r.bStopDone);
}
