// The main window driving the real player on a generated card of short clips: starting clips,
// walking a category, the end of a clip, the delayed start of a double click, the sliders, the
// frame steps, card removal, and the settings command.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/tavlo_frame.h"
#include "platform/wide_text.h"
#include "playback/cm_player.h"
#include "playback/frame_capture.h"
#include "playback/play_messages.h"
#include "recordings/play_infor.h"
#include "settings/page2.h"
#include "tests/support/demo_card.h"
#include "tests/support/disk_audio.h"
#include "tests/support/environment_value.h"
#include "tests/support/private_pulse.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"
#include "widgets/window_message.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The real wrapper, with the calls the window makes written down.
class CLoggedPlayer : public CFramePlayer
{
public:
    struct LOG
    {
        std::vector<std::string> plays;
        std::vector<int32_t> speeds;
        std::vector<int64_t> seeks;
        int nErrorsTaken = 0; // TakeLastError calls that returned a message
    };

    CLoggedPlayer(LOG &log, QObject *notify, VideoSurface *slot0, VideoSurface *slot1)
        : m_log(log), m_player(notify, slot0, slot1)
    {
    }

    int32_t GetState() const override { return m_player.GetState(); }
    int32_t Play(const wchar_t *path) override
    {
        m_log.plays.push_back(WideToUtf8(path));
        return m_player.Play(path);
    }
    void Pause() override { m_player.Pause(); }
    void Resume() override { m_player.Resume(); }
    void Stop() override { m_player.Stop(); }
    uint32_t PlayPosition() const override { return m_player.PlayPosition(); }
    uint32_t PlayDuration() const override { return m_player.PlayDuration(); }
    uint32_t StatusPosition() const override { return m_player.StatusPosition(); }
    void SetVolume(int32_t nVolume) override { m_player.SetVolume(nVolume); }
    int32_t SetSpeed(int32_t nPercent) override
    {
        m_log.speeds.push_back(nPercent);
        return m_player.SetSpeed(nPercent);
    }
    int32_t SeekTo(int64_t nPositionMs) override
    {
        m_log.seeks.push_back(nPositionMs);
        return m_player.SeekTo(nPositionMs);
    }
    void SeekEngine(uint32_t nPositionMs, int32_t nPrecision) override
    {
        m_player.SeekEngine(nPositionMs, nPrecision);
    }
    int32_t StepFrame() override { return m_player.StepFrame(); }
    int32_t CaptureFrame(const wchar_t *path, int32_t nSelector) override
    {
        return m_player.CaptureFrame(path, nSelector);
    }
    const char *TakeLastError() override
    {
        const char *text = m_player.TakeLastError();
        if (text)
            ++m_log.nErrorsTaken;
        return text;
    }
    const TEXT_SAMPLE *TextSamples(uint32_t &nCount) const override
    {
        return m_player.TextSamples(nCount);
    }
    uint32_t VideoStreamCount() const override { return m_player.VideoStreamCount(); }

private:
    LOG &m_log;
    CCMPlayer m_player;
};

// The main window with its boxes caught, and the times of the messages it handled.
class CPlayFrame : public CTavloFrame
{
public:
    explicit CPlayFrame(CLoggedPlayer::LOG &log)
        : CTavloFrame([&log](QObject *notify, VideoSurface *slot0, VideoSurface *slot1) {
              return std::make_unique<CLoggedPlayer>(log, notify, slot0, slot1);
          })
    {
    }

    std::vector<QString> warnings;
    std::vector<QString> notices;
    int nDriveChoices = 0;
    std::vector<Clock::time_point> ended, nextCommands;
    std::vector<std::string> started; // the clip of each WM_PLAY_STARTED handled
    std::function<SETTINGS_OUTCOME(const std::string &)> settings;

    void OnCommand(int nId) override
    {
        if (nId == ID_NEXT_MOVIE)
            nextCommands.push_back(Clock::now());
        CTavloFrame::OnCommand(nId);
    }

protected:
    bool ChooseDrive() override
    {
        ++nDriveChoices;
        return false;
    }
    void ShowWarning(const QString &text) override { warnings.push_back(text); }
    void ShowNotice(const QString &text) override { notices.push_back(text); }
    SETTINGS_OUTCOME RunSettings(const std::string &root) override
    {
        return settings ? settings(root) : SETTINGS_OUTCOME{};
    }
    bool event(QEvent *e) override
    {
        if (e->type() == WM_PLAY_ENDED)
            ended.push_back(Clock::now());
        const bool bHandled = CTavloFrame::event(e);
        if (e->type() == WM_PLAY_STARTED)
            started.push_back(g_PlayInfor.strPlayFile);
        return bHandled;
    }
};

class MainFramePlay : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pCard = new CTempFolder;
        ASSERT_TRUE(WriteDemoCard(s_pCard->Path()));
    }
    static void TearDownTestSuite()
    {
        delete s_pCard;
        s_pCard = nullptr;
    }

    void SetUp() override
    {
        // A fresh copy per test: RECORD keeps its first day only, three clips.
        m_root = m_folder / "card/";
        std::filesystem::copy(s_pCard->Path(), m_root, std::filesystem::copy_options::recursive);
        std::filesystem::remove_all(m_root + "RECORD/20101012");
        m_pFrame = std::make_unique<CPlayFrame>(m_log);
        m_pFrame->show();
        m_pFrame->OpenCardFolder(m_root);
        ASSERT_EQ(g_PlayInfor.nListType, LIST_RECORD);
        ASSERT_EQ(Count(LIST_RECORD), 3);
    }
    void TearDown() override
    {
        m_pFrame.reset();
        QCoreApplication::processEvents();
    }

    CPlayFrame &Frame() { return *m_pFrame; }
    CFramePlayer &Player() { return *m_pFrame->Player(); }
    int32_t Count(int32_t category) { return Frame().Catalog().Category(category).nCount; }
    int32_t Selected(int32_t category) { return Frame().Catalog().Category(category).nSelect; }
    std::string Entry(int32_t category, int32_t index)
    {
        const TROVA_ITEM *item = Frame().Catalog().GetCatalogEntry(category, index);
        return item ? item->strFullPath : std::string();
    }
    // The window has handled the start of a clip since the last wait, it is path and playing.
    ::testing::AssertionResult WaitPlaying(const std::string &path)
    {
        const bool bStarted = PumpUntil([&] {
            return Frame().started.size() > m_nStartsSeen && Player().GetState() == CMP_PLAYING;
        });
        m_nStartsSeen = Frame().started.size();
        if (bStarted && Frame().started.back() == path)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "wanted " << path << ", started "
               << (Frame().started.empty() ? "nothing" : Frame().started.back()) << ", "
               << m_log.plays.size() << " plays, state " << Player().GetState();
    }
    bool WaitPosition(const std::function<bool(uint32_t)> &test)
    {
        return PumpUntil([&] { return test(Player().PlayPosition()); });
    }
    // Starts entry index of the shown category with Play.
    void PlayEntry(int32_t index)
    {
        Click(index);
        Frame().OnCommand(ID_PLAY);
        ASSERT_TRUE(WaitPlaying(Entry(g_PlayInfor.nListType, index)));
    }
    QPoint RowCentre(int32_t row)
    {
        Frame().RecordingList()->grab();   // rows know where they are once painted
        return QPoint(100, row * 30 + 15); // rows of 30 pixels, nothing scrolled
    }
    void Click(int32_t row, bool bDouble = false)
    {
        QWidget *list = Frame().RecordingList();
        const QPoint pt = RowCentre(row);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, pt, list->mapToGlobal(pt), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
            QApplication::sendEvent(list, &e);
        }
        if (bDouble) {
            QMouseEvent e(QEvent::MouseButtonDblClick, pt, list->mapToGlobal(pt), Qt::LeftButton,
                          Qt::LeftButton, {});
            QApplication::sendEvent(list, &e);
        }
    }

    static CTempFolder *s_pCard;
    CTempFolder m_folder;
    std::string m_root;
    CLoggedPlayer::LOG m_log;
    std::unique_ptr<CPlayFrame> m_pFrame;
    size_t m_nStartsSeen = 0;
    CWatchdog m_watchdog{120s};
};

CTempFolder *MainFramePlay::s_pCard = nullptr;

TEST_F(MainFramePlay, PlayWithoutSelectionDoesNothing)
{
    Frame().OnCommand(ID_PLAY);
    Pump(100ms);
    EXPECT_TRUE(m_log.plays.empty());
    EXPECT_EQ(g_PlayInfor.nPlayListType, LIST_NONE);
}

TEST_F(MainFramePlay, NextAndPreviousWalkTheCategoryAndStopAtItsEnds)
{
    PlayEntry(0);
    EXPECT_EQ(g_PlayInfor.nPlayListType, LIST_RECORD);
    EXPECT_TRUE(Frame().SeekSlider()->IsSliderEnabled());
    EXPECT_TRUE(Frame().SpeedSlider()->IsSliderEnabled());
    EXPECT_TRUE(Frame().Button(ID_FULL_SCREEN)->isEnabled());
    EXPECT_TRUE(Frame().VideoWindow(IDC_VIDEO_MAIN)->isVisible());

    Frame().OnCommand(ID_PREV_MOVIE); // on the first clip
    EXPECT_EQ(m_log.plays.size(), 1u);
    EXPECT_EQ(Selected(LIST_RECORD), 0);

    for (int32_t index : {1, 2}) {
        Frame().OnCommand(ID_NEXT_MOVIE);
        ASSERT_TRUE(WaitPlaying(Entry(LIST_RECORD, index))) << index;
        EXPECT_EQ(Selected(LIST_RECORD), index);
        EXPECT_EQ(Frame().RecordingList()->GetSelection(), index);
    }
    Frame().OnCommand(ID_NEXT_MOVIE); // on the last
    EXPECT_EQ(m_log.plays.size(), 3u);
    EXPECT_EQ(Selected(LIST_RECORD), 2);
    EXPECT_EQ(Player().GetState(), CMP_PLAYING);

    Frame().OnCommand(ID_PREV_MOVIE);
    ASSERT_TRUE(WaitPlaying(Entry(LIST_RECORD, 1)));
    EXPECT_EQ(Frame().RecordingList()->GetSelection(), 1);
}

TEST_F(MainFramePlay, APlayingEventClipAdvancesOnlyItsOwnCategory)
{
    Frame().OnCommand(int(ID_CATEGORY_RECORD) + int(LIST_EVENT));
    ASSERT_EQ(g_PlayInfor.nListType, LIST_EVENT);
    ASSERT_EQ(Count(LIST_EVENT), 2);
    PlayEntry(0);
    Frame().OnCommand(ID_CATEGORY_RECORD);
    Click(1);
    ASSERT_EQ(Frame().RecordingList()->GetSelection(), 1);

    // Next Movie stops the clip and starts the next at once: the stop has waited for the
    // engine, so no second passes before the next clip is asked for.
    const auto before = Clock::now();
    Frame().OnCommand(ID_NEXT_MOVIE);
    EXPECT_LT(Clock::now() - before, 500ms);
    ASSERT_TRUE(WaitPlaying(Entry(LIST_EVENT, 1)));
    EXPECT_EQ(g_PlayInfor.nPlayListType, LIST_EVENT);
    EXPECT_EQ(Selected(LIST_EVENT), 1);
    EXPECT_EQ(Selected(LIST_RECORD), 1);
    EXPECT_EQ(Frame().RecordingList()->GetSelection(), 1);
}

TEST_F(MainFramePlay, TheEndOfAClipStartsTheNextAfter200msUntilTheLast)
{
    PlayEntry(1);
    ASSERT_TRUE(PumpUntil([&] { return !Frame().nextCommands.empty(); }, 15s));
    ASSERT_EQ(Frame().ended.size(), 1u);
    const auto delay = Frame().nextCommands[0] - Frame().ended[0];
    EXPECT_GE(delay, 190ms);
    EXPECT_LT(delay, 900ms);
    ASSERT_TRUE(WaitPlaying(Entry(LIST_RECORD, 2)));

    // The last clip ends: its next command finds nothing and playback stays stopped.
    ASSERT_TRUE(PumpUntil([&] { return Frame().nextCommands.size() == 2; }, 15s));
    Pump(300ms);
    EXPECT_EQ(Player().GetState(), CMP_STOPPED);
    EXPECT_EQ(m_log.plays.size(), 2u);
    EXPECT_EQ(Selected(LIST_RECORD), 2);
    EXPECT_EQ(g_PlayInfor.strPlayFile, Entry(LIST_RECORD, 2));
    EXPECT_FALSE(Frame().IsTimerActive(IDT_NEXT_CLIP));
}

TEST_F(MainFramePlay, ADoubleClickStartsOneSecondLaterAndASecondIsIgnored)
{
    Click(0, true);
    const auto first = Clock::now();
    ASSERT_TRUE(Frame().IsPlayPending());
    EXPECT_TRUE(Frame().IsTimerActive(IDT_DELAYED_PLAY));

    Pump(300ms);
    Click(1, true);
    Click(2);
    Frame().OnCommand(ID_NEXT_MOVIE);    // buttons too wait for the start
    EXPECT_EQ(Selected(LIST_RECORD), 0); // from the first click of the double click
    EXPECT_TRUE(m_log.plays.empty());

    ASSERT_TRUE(PumpUntil([&] { return !m_log.plays.empty(); }));
    const auto delay = Clock::now() - first;
    EXPECT_GE(delay, 950ms);
    EXPECT_LT(delay, 1500ms);
    ASSERT_TRUE(WaitPlaying(Entry(LIST_RECORD, 0)));
    EXPECT_EQ(m_log.plays.size(), 1u);
    EXPECT_FALSE(Frame().IsPlayPending());
    EXPECT_EQ(g_PlayInfor.nPlayListType, LIST_RECORD);
    EXPECT_EQ(Selected(LIST_RECORD), 0);
    EXPECT_TRUE(Frame().VideoWindow(IDC_VIDEO_MAIN)->isVisible());
    EXPECT_TRUE(Frame().VideoWindow(IDC_VIDEO_SUB)->isVisible());
    EXPECT_TRUE(Frame().warnings.empty());
}

// A clip that ends with an error before anything was played stays selected and says why: the
// next clip is not started behind the user's back.
TEST_F(MainFramePlay, AClipThatCannotBePlayedStopsThereAndSaysWhy)
{
    const std::string undecodable = m_root + "RECORD/20101011/R_20101011_134400.avi";
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i "
                                "testsrc2=size=96x64:rate=25 -frames:v 25 -c:v ffv1 '" +
                                undecodable + "' </dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const struct
    {
        const char *what;
        std::function<void()> damage;
        const char *notice;
    } cases[] = {
        {"a video codec the engine has no decoder for", [] {}, "Unsupported video codec"},
        {"a clip deleted since the list was made", [&] { std::filesystem::remove(undecodable); },
         nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Frame().OpenCardFolder(m_root);
        ASSERT_EQ(Entry(LIST_RECORD, 0), undecodable);
        c.damage();
        m_log = {};
        Frame().notices.clear();
        Frame().ended.clear();
        NM_HTMLLIST notify;
        notify.code = HTMLLIST_LBUTTONDBLCLK;
        notify.nItemNo = 0;
        Frame().OnListNotify(notify);
        ASSERT_TRUE(PumpUntil([&] { return !Frame().ended.empty(); }));
        EXPECT_TRUE(Frame().warnings.empty()); // the start itself was accepted
        EXPECT_EQ(m_log.nErrorsTaken, 1);
        ASSERT_EQ(Frame().notices.size(), 1u);
        if (c.notice)
            EXPECT_EQ(Frame().notices[0].toStdString(), c.notice);
        EXPECT_FALSE(Frame().notices[0].isEmpty());
        Pump(600ms);
        EXPECT_FALSE(Frame().IsTimerActive(IDT_NEXT_CLIP));
        EXPECT_TRUE(Frame().nextCommands.empty());
        EXPECT_EQ(m_log.plays.size(), 1u);
        EXPECT_EQ(Selected(LIST_RECORD), 0);
        EXPECT_EQ(Player().GetState(), CMP_STOPPED);
    }
}

TEST_F(MainFramePlay, DraggingTheSeekThumbPausesAtTheNewPosition)
{
    PlayEntry(0);
    CTavloSlider *seek = Frame().SeekSlider();
    ASSERT_EQ(seek->m_nMaximum, 3000);
    const QPoint thumb(seek->ThumbCentre(), seek->height() / 2);
    QTest::mousePress(seek, Qt::LeftButton, {}, thumb);
    QMouseEvent move(QEvent::MouseMove, QPointF(seek->width() * 2 / 3, thumb.y()),
                     QPointF(seek->mapToGlobal(QPoint(seek->width() * 2 / 3, thumb.y()))),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(seek, &move);
    const int target = seek->GetPos();
    ASSERT_GT(target, 1000);
    ASSERT_TRUE(PumpUntil([&] { return !m_log.seeks.empty(); }));
    EXPECT_EQ(Player().GetState(), CMP_PAUSED);
    EXPECT_EQ(m_log.seeks.back(), target);
    // The status of the paused clip follows the seek while the thumb is held.
    EXPECT_TRUE(WaitPosition([&](uint32_t p) { return std::abs(int(p) - target) <= 100; }));
    QTest::mouseRelease(seek, Qt::LeftButton, {}, move.position().toPoint());
    Pump(300ms);
    EXPECT_EQ(Player().GetState(), CMP_PAUSED);
    EXPECT_NEAR(seek->GetPos(), target, 100);
}

TEST_F(MainFramePlay, FastPlayWhilePausedResumesAt150AndPauseGoesBackToTheSlider)
{
    PlayEntry(0);
    Frame().OnCommand(ID_PAUSE);
    ASSERT_EQ(Player().GetState(), CMP_PAUSED);
    const int slider = Frame().SpeedSlider()->GetPos();

    Frame().OnCommand(ID_FAST_PLAY);
    EXPECT_EQ(Player().GetState(), CMP_PLAYING);
    ASSERT_FALSE(m_log.speeds.empty());
    EXPECT_EQ(m_log.speeds.back(), 150);
    EXPECT_EQ(Frame().SpeedSlider()->GetPos(), slider);
    EXPECT_EQ(g_PlayInfor.nSpeed, 100);
    // Half as fast again as the clock on the wall.
    ASSERT_TRUE(WaitPosition([](uint32_t p) { return p > 0; }));
    const uint32_t from = Player().PlayPosition();
    const auto start = Clock::now();
    Pump(800ms);
    const double played = double(Player().PlayPosition() - from);
    const double wall =
        double(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    EXPECT_GT(played / wall, 1.25);

    Frame().OnCommand(ID_PAUSE);
    EXPECT_EQ(m_log.speeds.back(), 100);
}

TEST_F(MainFramePlay, PrevFrameStepsBack100msFromWherePlaybackIs)
{
    PlayEntry(0);
    Frame().OnCommand(ID_PAUSE);
    Pump(300ms); // the engine takes a seek once it has paused
    ASSERT_EQ(Player().SeekTo(2000), 1);
    // Wait for the paused clip to report where the seek took it.
    ASSERT_TRUE(WaitPosition([](uint32_t p) { return p >= 1900; })) << Player().PlayPosition();
    Pump(300ms);
    const uint32_t position = Player().PlayPosition();
    Frame().OnCommand(ID_PREV_FRAME);
    EXPECT_EQ(m_log.seeks.back(), int64_t(position) - 100);
    EXPECT_EQ(Frame().SeekSlider()->GetPos(), int(position) - 100);
    EXPECT_EQ(Player().GetState(), CMP_PAUSED);
}

TEST_F(MainFramePlay, SlidersSetVolumeAndSpeedAndIgnoreOtherControls)
{
    PlayEntry(0);
    QCoreApplication::postEvent(&Frame(), new CWindowMessage(WM_SLIDER_MOVING, IDC_VOLUME, 150));
    QCoreApplication::postEvent(&Frame(), new CWindowMessage(WM_SLIDER_CHANGED, IDC_SEEK, 2000));
    Frame().SpeedSlider()->SetPos(70);
    QCoreApplication::postEvent(&Frame(), new CWindowMessage(WM_SLIDER_CHANGED, IDC_SPEED, 70));
    Pump(100ms);
    EXPECT_EQ(g_PlayInfor.nVolume, 100);
    EXPECT_TRUE(m_log.seeks.empty());
    EXPECT_EQ(g_PlayInfor.nSpeed, 70);
    EXPECT_EQ(m_log.speeds.back(), 70);
    QCoreApplication::postEvent(&Frame(), new CWindowMessage(WM_SLIDER_MOVING, IDC_VOLUME, 50));
    Pump(50ms);
    EXPECT_EQ(g_PlayInfor.nVolume, 50);
    g_PlayInfor.nVolume = 100;
}

// A one-camera clip has nothing to swap: Change Screen is shown disabled and does nothing.
TEST_F(MainFramePlay, ChangeScreenIsDisabledForAClipOfOneCamera)
{
    const QRect large = Frame().VideoWindow(IDC_VIDEO_MAIN)->geometry();
    PlayEntry(0);
    EXPECT_FALSE(Frame().Button(ID_CHANGE_SCREEN)->isEnabled());
    Frame().OnCommand(ID_CHANGE_SCREEN);
    EXPECT_TRUE(Frame().MainIsSlot0());
    EXPECT_EQ(Frame().VideoWindow(IDC_VIDEO_MAIN)->geometry(), large);
    EXPECT_TRUE(Frame().VideoWindow(IDC_VIDEO_MAIN)->isVisible());
}

// The paint regions the main window handled since the last Clear.
class CPaintLog : public QObject
{
public:
    explicit CPaintLog(QWidget *widget) : m_pWidget(widget) { widget->installEventFilter(this); }
    void Clear() { m_regions.clear(); }
    // One paint took in all of rect that no child covers (children paint themselves).
    bool Covered(const QRect &rect) const
    {
        QRegion own(rect);
        for (QWidget *child : m_pWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                own -= child->geometry();
        for (const QRegion &region : m_regions)
            if (region.intersected(own) == own)
                return true;
        return false;
    }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            m_regions.push_back(static_cast<QPaintEvent *>(e)->region());
        return false;
    }

private:
    QWidget *m_pWidget;
    std::vector<QRegion> m_regions;
};

// Two cameras: Change Screen swaps the windows while a clip shows; a clip started afterwards,
// in full screen or after a card reset, shows the windows of the swapped layout, and in full
// screen its name is painted at once; a clip of one camera brings the only picture back large.
TEST_F(MainFramePlay, ClipsStartedAfterChangeScreenShowTheSwappedLayout)
{
    CTempFolder twoCameras;
    const std::string card = twoCameras / "card/";
    ASSERT_TRUE(WriteDemoCard(card, true, true));
    Frame().OpenCardFolder(card);
    ASSERT_EQ(Count(LIST_RECORD), 6);
    QWidget *video401 = Frame().VideoWindow(IDC_VIDEO_MAIN);
    QWidget *video402 = Frame().VideoWindow(IDC_VIDEO_SUB);
    const QRect large = video401->geometry();
    const QRect small = video402->geometry();
    Frame().OnCommand(ID_CHANGE_SCREEN); // stopped
    EXPECT_TRUE(Frame().MainIsSlot0());

    PlayEntry(0);
    EXPECT_TRUE(Frame().Button(ID_CHANGE_SCREEN)->isEnabled());
    Frame().OnCommand(ID_CHANGE_SCREEN);
    EXPECT_FALSE(Frame().MainIsSlot0());
    EXPECT_EQ(video402->geometry(), large);
    EXPECT_EQ(video401->geometry(), small);

    Frame().OnCommand(ID_FULL_SCREEN);
    ASSERT_TRUE(Frame().IsFullScreen());
    const FRAME_LAYOUT full = FullScreenFrameLayout(Frame().width(), Frame().height(), false);
    CPaintLog paints(&Frame());
    for (int id : {ID_NEXT_MOVIE, ID_PREV_MOVIE}) {
        SCOPED_TRACE(id == ID_NEXT_MOVIE ? "next" : "previous");
        paints.Clear();
        Frame().OnCommand(id);
        ASSERT_TRUE(WaitPlaying(Entry(LIST_RECORD, id == ID_NEXT_MOVIE ? 1 : 0)));
        EXPECT_TRUE(video402->isVisible());
        EXPECT_EQ(video402->geometry(), full.rcMainVideo);
        EXPECT_FALSE(video401->isVisible()) << "no small window over the full-screen picture";
        EXPECT_TRUE(paints.Covered(full.rcFileName));
    }
    Frame().OnCommand(ID_RESTORE);

    // A card reset hides both windows; the next start shows both in their swapped places.
    Frame().OpenCardFolder(card);
    EXPECT_FALSE(video401->isVisible());
    PlayEntry(0);
    EXPECT_FALSE(Frame().MainIsSlot0());
    EXPECT_TRUE(video402->isVisible());
    EXPECT_EQ(video402->geometry(), large);
    EXPECT_TRUE(video401->isVisible());
    EXPECT_EQ(video401->geometry(), small);

    // A one-camera card: its only picture (slot 0) goes back to the large area.
    Frame().OpenCardFolder(m_root);
    PlayEntry(0);
    EXPECT_TRUE(Frame().MainIsSlot0());
    EXPECT_EQ(video401->geometry(), large);
    EXPECT_TRUE(video401->isVisible());
    EXPECT_FALSE(Frame().Button(ID_CHANGE_SCREEN)->isEnabled());
}

TEST_F(MainFramePlay, SettingsResumesAfterwardsOrResetsTheViewAfterAFormat)
{
    PlayEntry(0);
    std::string seenRoot;
    Frame().settings = [&](const std::string &root) {
        seenRoot = root;
        EXPECT_EQ(Player().GetState(), CMP_PAUSED);
        SETTINGS_OUTCOME outcome;
        outcome.end = SettingsEnd::Ok;
        outcome.strRoot = root;
        return outcome;
    };
    Frame().OnCommand(ID_SETTINGS);
    EXPECT_EQ(seenRoot, m_root);
    EXPECT_TRUE(PumpUntil([&] { return Player().GetState() == CMP_PLAYING; }, 2s));

    Frame().settings = [&](const std::string &root) {
        g_bFormattedCompleted = 1;
        SETTINGS_OUTCOME outcome;
        outcome.end = SettingsEnd::Cancel;
        outcome.bFormatted = true;
        outcome.strRoot = root;
        return outcome;
    };
    Frame().OnCommand(ID_SETTINGS);
    EXPECT_EQ(g_bFormattedCompleted, 0);
    Pump(100ms);
    EXPECT_EQ(Count(LIST_RECORD), 0);
    EXPECT_EQ(g_PlayInfor.nListType, LIST_NONE);
    EXPECT_EQ(g_PlayInfor.strRootPath, m_root); // the card stays chosen
    EXPECT_FALSE(Frame().SeekSlider()->IsSliderEnabled());
    EXPECT_FALSE(Frame().Button(ID_CATEGORY_RECORD)->IsChecked());
    EXPECT_NE(Player().GetState(), CMP_PLAYING); // not resumed
}

TEST_F(MainFramePlay, SettingsWithoutTheCardRootRunsTheDriveChoice)
{
    bool bRan = false;
    Frame().settings = [&](const std::string &) {
        bRan = true;
        return SETTINGS_OUTCOME{};
    };
    std::filesystem::rename(m_root, m_folder / "moved");
    Frame().OnCommand(ID_SETTINGS);
    EXPECT_EQ(Frame().nDriveChoices, 1);
    EXPECT_FALSE(bRan);
}

TEST_F(MainFramePlay, CaptureAndAClickOnTheVideoSaveThePictureOnScreen)
{
    int nDialogs = 0;
    const std::string shot = m_folder / "shot.jpg";
    SetCaptureSaveDialog([&](QWidget *) {
        ++nDialogs;
        return QString::fromStdString(shot);
    });
    std::vector<QString> launched;
    SetSnapletLauncher([&](const QString &path) {
        launched.push_back(path);
        return true;
    });
    const CEnvironmentValue runtime("XDG_RUNTIME_DIR", m_folder.Path()); // private: mkdtemp

    Frame().OnCommand(ID_CAPTURE); // nothing plays
    EXPECT_EQ(nDialogs, 0);

    PlayEntry(0);
    ASSERT_TRUE(WaitPosition([](uint32_t p) { return p > 300; }));
    Frame().OnCommand(ID_CAPTURE);
    EXPECT_EQ(nDialogs, 1);
    EXPECT_GT(std::filesystem::file_size(shot), 1000u);
    EXPECT_TRUE(PumpUntil([&] { return Player().GetState() == CMP_PLAYING; }, 2s));

    QWidget *video = Frame().VideoWindow(IDC_VIDEO_MAIN);
    QTest::mouseClick(video, Qt::LeftButton, {}, QPoint(video->width() / 2, video->height() / 2));
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].toStdString(), m_folder / "tmp1.jpg");
    EXPECT_GT(std::filesystem::file_size(m_folder / "tmp1.jpg"), 1000u);

    SetCaptureSaveDialog({});
    SetSnapletLauncher({});
}

// The card on a volume of its own that the test can take away.
class MainFrameCardRemoval : public MainFramePlay
{
protected:
    void SetUp() override
    {
        m_mount = m_folder / "volume";
        m_other = m_folder / "other";
        std::filesystem::create_directories(m_mount);
        std::filesystem::create_directories(m_other);
        if (mount("roadlog-test", m_mount.c_str(), "tmpfs", 0, "size=64m") != 0)
            GTEST_SKIP() << "this machine does not let the test mount a volume (tmpfs)";
        m_bMounted = true;
        if (mount("roadlog-other", m_other.c_str(), "tmpfs", 0, "size=1m") == 0)
            m_bOtherMounted = true;
        std::filesystem::copy(s_pCard->Path(), m_mount + "/card",
                              std::filesystem::copy_options::recursive);
        m_root = m_mount + "/card/";
        m_pFrame = std::make_unique<CPlayFrame>(m_log);
        m_pFrame->show();
        m_pFrame->OpenCardFolder(m_root);
        ASSERT_GT(Count(LIST_RECORD), 0);
    }
    void TearDown() override
    {
        m_pFrame.reset();
        if (m_bOtherMounted)
            umount2(m_other.c_str(), MNT_DETACH);
        if (m_bMounted)
            umount2(m_mount.c_str(), MNT_DETACH);
    }

    std::string m_mount, m_other;
    bool m_bMounted = false, m_bOtherMounted = false;
};

TEST_F(MainFrameCardRemoval, PullingTheCardWhilePausedResetsEverything)
{
    PlayEntry(0);
    Frame().OnCommand(ID_PAUSE);
    ASSERT_EQ(Player().GetState(), CMP_PAUSED);

    // Another volume goes: nothing changes.
    if (m_bOtherMounted) {
        ASSERT_EQ(umount2(m_other.c_str(), MNT_DETACH), 0);
        m_bOtherMounted = false;
        Pump(500ms); // the mount watch reports it
        EXPECT_EQ(Player().GetState(), CMP_PAUSED);
        EXPECT_EQ(g_PlayInfor.strRootPath, m_root);
        EXPECT_GT(Count(LIST_RECORD), 0);
    }

    // The card goes; its mount point stays behind as an empty folder.
    ASSERT_EQ(umount2(m_mount.c_str(), MNT_DETACH), 0);
    m_bMounted = false;
    ASSERT_TRUE(PumpUntil([] { return g_PlayInfor.strRootPath.empty(); }, 5s));
    EXPECT_EQ(Player().GetState(), CMP_STOPPED);
    EXPECT_EQ(Frame().RecordingList()->GetItem(0), nullptr);
    EXPECT_EQ(Count(LIST_RECORD), 0);
    EXPECT_FALSE(Frame().SeekSlider()->IsSliderEnabled());
    EXPECT_FALSE(Frame().SpeedSlider()->IsSliderEnabled());
    EXPECT_FALSE(Frame().VideoWindow(IDC_VIDEO_MAIN)->isVisible());
    EXPECT_FALSE(Frame().VideoWindow(IDC_VIDEO_SUB)->isVisible());
}

} // namespace

namespace {

// The mute switch against a sound server of the test's own.
TEST(MainFrameMute, TheSwitchSetsTheSystemMuteAndFollowsItsChanges)
{
    CTempFolder folder;
    CPrivatePulse pulse(folder);
    std::string why;
    if (!pulse.Start(why))
        GTEST_SKIP() << "no private PulseAudio for the mute test: " << why;
    CPrivatePulse::Pactl("set-sink-mute @DEFAULT_SINK@ 0");
    CTavloFrame frame;
    CTavloSwitch *mute = frame.MuteSwitch();
    // Readable and not muted; the answer comes from the worker.
    EXPECT_TRUE(PumpUntil([&] { return mute->GetState() == 1; }, 3s));

    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(mute->width() / 2, mute->height() / 2));
    EXPECT_EQ(mute->GetState(), 0);
    EXPECT_TRUE(PumpUntil(
        [] { return CPrivatePulse::Pactl("get-sink-mute @DEFAULT_SINK@") == "Mute: yes\n"; }, 3s));

    // The desktop's volume control unmutes: the switch follows within the poll.
    CPrivatePulse::Pactl("set-sink-mute @DEFAULT_SINK@ 0");
    EXPECT_TRUE(PumpUntil([&] { return mute->GetState() == 1; }, 3s));
    CPrivatePulse::Pactl("set-sink-mute @DEFAULT_SINK@ 1");
    EXPECT_TRUE(PumpUntil([&] { return mute->GetState() == 0; }, 3s));

    // The server goes: the switch keeps what it shows and still toggles its picture.
    pulse.Stop();
    Pump(1800ms);
    EXPECT_EQ(mute->GetState(), 0);
    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(mute->width() / 2, mute->height() / 2));
    EXPECT_EQ(mute->GetState(), 1);
    Pump(1800ms);
    EXPECT_EQ(mute->GetState(), 1);
}

// A sound server that takes the connection and never answers: every mute call waits out its
// bound, on the worker; the window thread keeps running its events without a gap meanwhile.
TEST(MainFrameMute, AHungSoundServerDoesNotHoldUpTheWindow)
{
    CTempFolder folder;
    const std::string socketPath = folder / "silent";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    CEnvironmentValue server("PULSE_SERVER", "unix:" + socketPath);
    CEnvironmentValue cookie("PULSE_COOKIE", folder / "cookie");
    CEnvironmentValue config("PULSE_CLIENTCONFIG", folder / "client.conf");

    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    {
        CTavloFrame frame;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longest = std::max(longest, Clock::now() - last);
            last = Clock::now();
        });
        beat.start(20);
        CTavloSwitch *mute = frame.MuteSwitch();
        QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(mute->width() / 2, mute->height() / 2));
        last = Clock::now();
        Pump(3500ms); // two polls and the set, each 500 ms on the worker
        EXPECT_EQ(mute->GetState(), 1) << "the switch keeps its picture";
    }
    ::close(listener);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 300);
}

} // namespace
