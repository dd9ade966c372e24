// The player wrapper against the real engine with demo clips: its messages and their order, the
// stops that must not hang, the text sample table, and the conversions it applies.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QObject>
#include <gtest/gtest.h>

#include "engine/core/player_state.h"
#include "engine/output/memory_surface.h"
#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/play_messages.h"
#include "tests/playback/player_test_support.h"
#include "tests/support/demo_card.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

struct Message
{
    int nType;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t nTextCount; // the wrapper's, while the handler ran
};

// The main window's stand-in: records the three messages and runs a hook in the handler.
class CNotifyRecorder : public QObject
{
public:
    std::vector<Message> m_messages;
    std::function<void(const CPlayMessage &)> m_hook;
    CCMPlayer *m_pPlayer = nullptr;

    bool event(QEvent *e) override
    {
        const int type = e->type();
        if (type != WM_PLAY_STARTED && type != WM_PLAY_STATUS && type != WM_PLAY_ENDED)
            return QObject::event(e);
        const auto *message = static_cast<CPlayMessage *>(e);
        m_messages.push_back(
            {type, message->WParam(), message->LParam(), m_pPlayer ? m_pPlayer->m_nTextCount : 0});
        if (m_hook)
            m_hook(*message);
        return true;
    }

    // The first message of the type, or null.
    const Message *Find(int type) const
    {
        for (const Message &m : m_messages)
            if (m.nType == type)
                return &m;
        return nullptr;
    }
    bool Has(int type) const { return Find(type) != nullptr; }
};

// One clip whose text samples are the given lines, one a second.
std::string MakeNmeaClip(const CTempFolder &folder, const std::vector<std::string> &lines)
{
    {
        std::ofstream out(folder / "lines.txt", std::ios::binary);
        for (const std::string &line : lines)
            out << line << '\n';
    }
    const std::string clip = folder / "clip.avi";
    RunTool(std::string(ROADLOG_MKCARD) + " --nmea '" + (folder / "lines.txt") + "' '" + clip +
            "'");
    return clip;
}

std::string SampleText(const TEXT_SAMPLE &sample)
{
    return std::string(sample.szText);
}

class CmPlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pPlayer = std::make_unique<CCMPlayer>(&m_notify, &m_surface0, &m_surface1);
        m_notify.m_pPlayer = m_pPlayer.get();
        ASSERT_NE(m_pPlayer->m_pEngine, nullptr);
    }
    void TearDown() override
    {
        m_pPlayer.reset();
        // Anything left in the queue must not reach the recorder after the wrapper is gone.
        QCoreApplication::processEvents();
    }

    int32_t Play(const std::string &path) { return m_pPlayer->Play(Utf8ToWide(path).c_str()); }
    bool WaitStarted()
    {
        return PumpUntil([&] { return m_notify.Has(WM_PLAY_STARTED); });
    }

    CWatchdog m_watchdog{60s};
    MemorySurface m_surface0{320, 180, {}};
    MemorySurface m_surface1{320, 180, {}};
    CNotifyRecorder m_notify;
    std::unique_ptr<CCMPlayer> m_pPlayer;
};

// A whole short clip: started with the duration and the samples complete in its handler,
// statuses with rising positions, ended last, and stopped afterwards without a Stop.
TEST_F(CmPlayerTest, MessagesOfAWholeClipComeInOrder)
{
    CTempFolder card;
    ASSERT_TRUE(WriteDemoCard(card.Path()));
    ASSERT_EQ(Play(card / "RECORD/20101011/R_20101011_134500.avi"), 1);
    ASSERT_TRUE(PumpUntil([&] { return m_notify.Has(WM_PLAY_ENDED); }, 20s));

    // Passes before the start may report the opening, with nothing played yet.
    const std::vector<Message> &messages = m_notify.m_messages;
    size_t started = 0;
    while (started < messages.size() && messages[started].nType == WM_PLAY_STATUS) {
        EXPECT_EQ(messages[started].wParam, 0u);
        ++started;
    }
    ASSERT_LT(started + 2, messages.size());
    const Message &start = messages[started];
    EXPECT_EQ(start.nType, WM_PLAY_STARTED);
    EXPECT_NEAR(double(start.wParam), 3000.0, 100.0);
    EXPECT_EQ(start.nTextCount, 3u); // one sentence a second, all there in the handler
    EXPECT_EQ(messages.back().nType, WM_PLAY_ENDED);
    uintptr_t first = 0, last = 0;
    size_t statuses = 0;
    for (size_t i = started + 1; i + 1 < messages.size(); ++i) {
        ASSERT_EQ(messages[i].nType, WM_PLAY_STATUS) << i;
        EXPECT_TRUE(messages[i].lParam == CMP_PLAYING || messages[i].lParam == CMP_PAUSED);
        EXPECT_GE(messages[i].wParam, last);
        if (statuses++ == 0)
            first = messages[i].wParam;
        last = messages[i].wParam;
    }
    EXPECT_GT(last, first + 1000);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
    EXPECT_EQ(m_pPlayer->PlayDuration(), start.wParam);
    EXPECT_GT(m_pPlayer->PlayPosition(), 2000u); // the last published position is kept
    EXPECT_EQ(SampleText(m_pPlayer->m_TextSamples[0]).rfind("G$GPRMC,", 0), 0u);
    EXPECT_EQ(m_pPlayer->m_TextSamples[2].nTime, 2000);
}

// Stops from the places where the status thread may be waiting for the window thread.
TEST_F(CmPlayerTest, StopNeverWaitsForAPendingMessage)
{
    CTempFolder card;
    ASSERT_TRUE(WriteDemoCard(card.Path()));
    const std::string clip = card / "RECORD/20101011/R_20101011_134500.avi";
    enum class Where
    {
        StartedHandler,
        StatusHandler,
        StartedPending
    };
    for (const Where where : {Where::StartedHandler, Where::StatusHandler, Where::StartedPending}) {
        SCOPED_TRACE(int(where));
        m_notify.m_messages.clear();
        bool stopped = false;
        m_notify.m_hook = [&](const CPlayMessage &message) {
            const bool here =
                (where == Where::StartedHandler && message.type() == WM_PLAY_STARTED) ||
                (where == Where::StatusHandler && message.type() == WM_PLAY_STATUS);
            if (here && !stopped) {
                m_pPlayer->Stop();
                stopped = true;
            }
        };
        ASSERT_EQ(Play(clip), 1);
        if (where == Where::StartedPending) {
            // The window thread does not take the message: the started callback has stored the
            // samples and then waits in its send.
            const auto end = std::chrono::steady_clock::now() + 10s;
            while (m_pPlayer->m_nTextCount == 0 && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(2ms);
            ASSERT_EQ(m_pPlayer->m_nTextCount, 3u);
            std::this_thread::sleep_for(200ms);
            m_pPlayer->Stop();
            stopped = true;
        } else {
            ASSERT_TRUE(PumpUntil([&] { return stopped; }));
        }
        EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
        // Nothing more after a Stop, not even what was queued before it.
        const size_t count = m_notify.m_messages.size();
        Pump(300ms);
        EXPECT_EQ(m_notify.m_messages.size(), count);
        EXPECT_FALSE(m_notify.Has(WM_PLAY_ENDED));
        if (where == Where::StartedPending) {
            EXPECT_FALSE(m_notify.Has(WM_PLAY_STARTED));
        }
    }
    m_notify.m_hook = nullptr;
    // The wrapper plays again after those stops.
    m_notify.m_messages.clear();
    ASSERT_EQ(Play(clip), 1);
    EXPECT_TRUE(WaitStarted());
}

TEST_F(CmPlayerTest, TextSampleTableKeepsWhatFits)
{
    struct Case
    {
        const char *szName;
        size_t nLines;
        size_t nLongLine; // index of a 1100-byte line, or nLines for none
        uint32_t nKept;
    };
    const Case cases[] = {
        {"more samples than the table holds", 1500, 1500, kMaxTextSamples},
        {"a sample larger than a table entry ends the reading", 8, 4, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.szName);
        CTempFolder folder;
        std::vector<std::string> lines;
        for (size_t i = 0; i < c.nLines; ++i)
            lines.push_back(i == c.nLongLine ? std::string(1100, 'x')
                                             : "line " + std::to_string(i));
        const std::string clip = MakeNmeaClip(folder, lines);
        m_notify.m_messages.clear();
        ASSERT_EQ(Play(clip), 1);
        ASSERT_TRUE(WaitStarted());
        m_pPlayer->Stop();
        EXPECT_EQ(m_notify.Find(WM_PLAY_STARTED)->nTextCount, c.nKept);
        EXPECT_EQ(m_pPlayer->m_nTextCount, c.nKept);
        const TEXT_SAMPLE &last = m_pPlayer->m_TextSamples[c.nKept - 1];
        EXPECT_EQ(SampleText(last), lines[c.nKept - 1]);
        EXPECT_EQ(last.nTime, int32_t(c.nKept - 1) * 1000);
        if (c.nKept < kMaxTextSamples) {
            EXPECT_EQ(m_pPlayer->m_TextSamples[c.nKept].szText[0], '\0');
        }
    }
}

TEST_F(CmPlayerTest, VolumeIsOneLevelForBothChannels)
{
    const struct
    {
        int32_t nPercent;
        uint32_t nWord;
    } cases[] = {{100, 0xFFFFFFFF}, {50, 0x7FFF7FFF}, {1, 0x028F028F}, {0, 0}};
    for (const auto &c : cases) {
        m_pPlayer->ApplyVolume(c.nPercent);
        EXPECT_EQ(m_pPlayer->m_nVolume, c.nWord) << c.nPercent;
        EXPECT_EQ(m_pPlayer->m_AudioParams.dwMask, 0x2u);
        EXPECT_EQ(m_pPlayer->m_AudioParams.dwVolume, c.nWord);
    }
}

TEST_F(CmPlayerTest, RefusedPlaysLeaveTheWrapperStopped)
{
    EXPECT_EQ(m_pPlayer->Play(L""), 0);
    EXPECT_EQ(m_pPlayer->Play(nullptr), 0);
    EXPECT_EQ(m_pPlayer->Play(std::wstring(260, L'a').c_str()), 0);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
    EXPECT_EQ(m_pPlayer->SeekTo(500), 0);
    Pump(200ms);
    EXPECT_TRUE(m_notify.m_messages.empty());

    // With no status thread to report, the step's own state stays: 6 once the call returns.
    EXPECT_EQ(m_pPlayer->StepFrame(), 1);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_STEPPING);
    m_pPlayer->Stop();
    EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
}

// Stops a playing clip that is still running: "" stops, a too long path leaves it playing.
TEST_F(CmPlayerTest, EmptyPathStopsAndLongPathIsIgnored)
{
    CTempFolder folder;
    const std::string clip = MakeNmeaClip(folder, {"a", "b", "c", "d", "e"});
    ASSERT_EQ(Play(clip), 1);
    ASSERT_TRUE(WaitStarted());
    EXPECT_EQ(m_pPlayer->Play(std::wstring(300, L'b').c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return m_notify.m_messages.size() > 3; }));
    EXPECT_NE(m_pPlayer->GetState(), CMP_STOPPED);
    EXPECT_EQ(m_pPlayer->Play(L""), 0);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_STOPPED);
    const size_t count = m_notify.m_messages.size();
    Pump(300ms);
    EXPECT_EQ(m_notify.m_messages.size(), count);
}

// Seeks, speeds and single steps on a playing clip: a negative position is the start, one past
// the end is the end; a rate of 0 or less plays at 10 percent; a step reads 6, then 2.
TEST_F(CmPlayerTest, SeekSpeedAndStepOnAPlayingClip)
{
    CTempFolder folder;
    const std::string clip = MakeNmeaClip(folder, {"a", "b", "c", "d", "e", "f"});
    ASSERT_EQ(Play(clip), 1);
    ASSERT_TRUE(WaitStarted());
    const uint32_t duration = uint32_t(m_notify.Find(WM_PLAY_STARTED)->wParam);
    ASSERT_GT(duration, 5000u);
    auto lastStatus = [&]() -> const Message * {
        for (auto it = m_notify.m_messages.rbegin(); it != m_notify.m_messages.rend(); ++it)
            if (it->nType == WM_PLAY_STATUS)
                return &*it;
        return nullptr;
    };
    ASSERT_TRUE(PumpUntil([&] { return lastStatus() && lastStatus()->wParam > 1000; }));

    // Seeks are taken once the engine has settled in Paused, and so are the next commands: a
    // status report taken just before the pause may still be on its way, so settled also means
    // a report of the pause has come.
    auto settled = [&] {
        return PumpUntil([&] {
            return m_pPlayer->Status().nState == VS_PAUSED && lastStatus() &&
                   lastStatus()->lParam == CMP_PAUSED;
        });
    };
    auto pauseAndSettle = [&] {
        m_pPlayer->Pause();
        EXPECT_EQ(m_pPlayer->GetState(), CMP_PAUSED);
        return settled();
    };
    ASSERT_TRUE(pauseAndSettle());
    EXPECT_EQ(m_pPlayer->SeekTo(-300), 1);
    EXPECT_TRUE(PumpUntil([&] { return m_pPlayer->Status().nPosition < 300; }, 2s))
        << m_pPlayer->Status().nPosition; // not the far end a wrapped value reaches
    ASSERT_TRUE(settled()); // the seek has ended, so the Resume below is not asked mid-seek

    // Slowest rate: a second of playing moves the position by about 100 ms.
    for (const int32_t rate : {0, -5}) {
        SCOPED_TRACE(rate);
        EXPECT_EQ(m_pPlayer->SetSpeed(rate), 1);
        m_pPlayer->Resume();
        ASSERT_TRUE(PumpUntil([&] { return m_pPlayer->GetState() == CMP_PLAYING; }));
        const uint32_t from = m_pPlayer->Status().nPosition;
        Pump(1000ms);
        const uint32_t moved = m_pPlayer->Status().nPosition - from;
        EXPECT_GT(moved, 30u);
        EXPECT_LT(moved, 400u);
        ASSERT_TRUE(pauseAndSettle());
    }
    EXPECT_EQ(m_pPlayer->SetSpeed(100), 1);

    // A single step from Paused: 6 when the call returns, 2 from the next status on. The step
    // wakes the status thread at once and its report may already have set 2 by the time this
    // thread looks, so 6 is checked on its own below, where no status thread runs.
    const size_t before = m_notify.m_messages.size();
    EXPECT_EQ(m_pPlayer->StepFrame(), 1);
    const int32_t seen = m_pPlayer->GetState();
    EXPECT_TRUE(seen == CMP_STEPPING || seen == CMP_PAUSED) << seen;
    ASSERT_TRUE(PumpUntil([&] { return m_notify.m_messages.size() > before; }));
    EXPECT_EQ(m_notify.m_messages[before].lParam, CMP_PAUSED);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_PAUSED);

    // Past the end is accepted as the end, not refused.
    EXPECT_EQ(m_pPlayer->SeekTo(int64_t(duration) + 5000), 1);
}

// Next Frame pressed while the clip plays: it pauses and moves on one picture, which the paused
// statuses show as a position that changes once.
TEST_F(CmPlayerTest, AStepWhilePlayingPausesAndSteps)
{
    CTempFolder folder;
    const std::string clip = MakeNmeaClip(folder, {"a", "b", "c", "d", "e", "f"});
    ASSERT_EQ(Play(clip), 1);
    ASSERT_TRUE(WaitStarted());
    ASSERT_TRUE(PumpUntil([&] { return m_pPlayer->Status().nPosition > 500; }));
    const size_t before = m_notify.m_messages.size();
    EXPECT_EQ(m_pPlayer->StepFrame(), 1);
    Pump(1000ms);
    EXPECT_EQ(m_pPlayer->GetState(), CMP_PAUSED);
    std::vector<uintptr_t> paused;
    for (size_t i = before; i < m_notify.m_messages.size(); ++i)
        if (m_notify.m_messages[i].nType == WM_PLAY_STATUS &&
            m_notify.m_messages[i].lParam == CMP_PAUSED)
            paused.push_back(m_notify.m_messages[i].wParam);
    ASSERT_GE(paused.size(), 2u);
    EXPECT_GT(paused.back(), paused.front());
    EXPECT_LT(paused.back() - paused.front(), 200u); // a picture or two, not playing on
}

} // namespace
