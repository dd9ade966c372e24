// The main window: its first picture, its layout in both modes, full screen and the card choice.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/tavlo_frame.h"
#include "playback/play_messages.h"
#include "recordings/play_infor.h"
#include "tests/support/demo_card.h"
#include "tests/support/environment_value.h"
#include "tests/support/temp_folder.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"

namespace {

// A stand-in for the wrapper that only answers what the window asks and writes down its calls.
class CRecordingPlayer : public CFramePlayer
{
public:
    struct LOG
    {
        std::vector<std::string> calls;
        bool bDestroyed = false;
        std::vector<TEXT_SAMPLE> samples; // what TextSamples gives
    };
    CRecordingPlayer(LOG &log, int32_t nState, uint32_t nPosition)
        : m_log(log), m_nState(nState), m_nPosition(nPosition)
    {
    }
    ~CRecordingPlayer() override { m_log.bDestroyed = true; }
    int32_t GetState() const override { return m_nState; }
    void Pause() override
    {
        m_log.calls.push_back("pause");
        if (m_nState == CMP_PLAYING)
            m_nState = CMP_PAUSED;
    }
    void Resume() override
    {
        m_log.calls.push_back("resume");
        m_nState = CMP_PLAYING;
    }
    void Stop() override
    {
        m_log.calls.push_back("stop");
        m_nState = CMP_STOPPED;
    }
    uint32_t PlayPosition() const override { return m_nPosition; }
    uint32_t PlayDuration() const override { return 0; }
    uint32_t StatusPosition() const override { return m_nPosition; }
    void SetVolume(int32_t nVolume) override
    {
        m_log.calls.push_back("volume " + std::to_string(nVolume));
    }
    int32_t Play(const wchar_t *) override
    {
        m_log.calls.push_back("play");
        m_nState = CMP_PLAYING;
        return 1;
    }
    int32_t SetSpeed(int32_t nPercent) override
    {
        m_log.calls.push_back("speed " + std::to_string(nPercent));
        return 1;
    }
    int32_t SeekTo(int64_t nPositionMs) override
    {
        m_log.calls.push_back("seek " + std::to_string(nPositionMs));
        return 1;
    }
    void SeekEngine(uint32_t nPositionMs, int32_t) override
    {
        m_log.calls.push_back("engine seek " + std::to_string(nPositionMs));
    }
    int32_t StepFrame() override
    {
        m_log.calls.push_back("step");
        return 1;
    }
    int32_t CaptureFrame(const wchar_t *, int32_t nSelector) override
    {
        m_log.calls.push_back("capture " + std::to_string(nSelector));
        return 1;
    }
    const char *TakeLastError() override { return nullptr; }
    const TEXT_SAMPLE *TextSamples(uint32_t &nCount) const override
    {
        nCount = uint32_t(m_log.samples.size());
        return m_log.samples.empty() ? nullptr : m_log.samples.data();
    }
    uint32_t VideoStreamCount() const override { return 1; }

private:
    LOG &m_log;
    int32_t m_nState;
    uint32_t m_nPosition;
};

FramePlayerFactory PlayerFactory(CRecordingPlayer::LOG &log, int32_t nState, uint32_t nPosition = 0)
{
    return [&log, nState, nPosition](QObject *, VideoSurface *slot0, VideoSurface *slot1) {
        EXPECT_NE(slot0, nullptr);
        EXPECT_NE(slot1, nullptr);
        return std::make_unique<CRecordingPlayer>(log, nState, nPosition);
    };
}

// The main window with the drive dialog's answer chosen by the test.
class CTestFrame : public CTavloFrame
{
public:
    using CTavloFrame::CTavloFrame;
    std::string strChosenRoot; // empty: the dialog is cancelled
    int nDialogRuns = 0;
    int nFileCaptures = 0;

protected:
    void CaptureFrameToFile() override { ++nFileCaptures; }
    bool ChooseDrive() override
    {
        ++nDialogRuns;
        if (strChosenRoot.empty())
            return false;
        g_PlayInfor.strRootPath = strChosenRoot;
        return true;
    }
};

QImage Grab(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor At(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// Accepts the next notification that opens and gives its text.
QString *CatchNotification()
{
    auto *text = new QString;
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text] {
        if (auto *dialog = qobject_cast<CTavloMsgDlg *>(QApplication::activeModalWidget())) {
            *text = dialog->m_strMessage;
            dialog->accept();
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
    return text;
}

TEST(MainFrameStart, SizeControlsAndPieces)
{
    CTavloFrame frame;
    EXPECT_EQ(frame.size(), QSize(1020, 594));
    EXPECT_TRUE(frame.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Roadlog Viewer"));
    EXPECT_EQ(frame.DragArea(), QRect(0, 0, 1020, 46));
    EXPECT_FALSE(frame.VideoWindow(IDC_VIDEO_MAIN)->isVisibleTo(&frame));
    EXPECT_FALSE(frame.VideoWindow(IDC_VIDEO_SUB)->isVisibleTo(&frame));
    EXPECT_FALSE(frame.SeekSlider()->IsSliderEnabled());
    EXPECT_FALSE(frame.SpeedSlider()->IsSliderEnabled());
    EXPECT_TRUE(frame.VolumeSlider()->IsSliderEnabled());
    EXPECT_EQ(frame.SpeedSlider()->GetPos(), 100);
    EXPECT_EQ(g_PlayInfor.nListType, LIST_NONE);
    EXPECT_TRUE(g_PlayInfor.strRootPath.empty());

    // Every control where the normal layout puts it.
    EXPECT_EQ(frame.SeekSlider()->geometry(), QRect(278, 444, 303, 25));
    EXPECT_EQ(frame.SpeedSlider()->geometry(), QRect(242, 492, 102, 14));
    EXPECT_EQ(frame.VolumeSlider()->geometry(), QRect(567, 492, 72, 14));
    EXPECT_EQ(frame.RecordingList()->geometry(), QRect(671, 215, 338, 368));
    EXPECT_EQ(frame.VideoWindow(IDC_VIDEO_MAIN)->geometry(), QRect(11, 78, 637, 357));
    EXPECT_EQ(frame.VideoWindow(IDC_VIDEO_SUB)->geometry(), QRect(11, 444, 185, 138));
    struct Place
    {
        int id;
        QRect rect;
    } const places[] = {
        {ID_PREV_MOVIE, {211, 524, 50, 56}},
        {ID_OPEN, {597, 524, 50, 56}},
        {ID_MINIMIZE, {957, 10, 26, 26}},
        {ID_EXIT, {985, 10, 26, 26}},
        {ID_SPEED_UP, {354, 492, 14, 14}},
        {ID_SPEED_DOWN, {218, 496, 14, 6}},
        {ID_FULL_SCREEN, {576, 14, 108, 40}},
        {ID_CHANGE_SCREEN, {695, 14, 144, 40}},
        {280, {680, 143, 79, 35}},
        {283, {920, 143, 80, 35}},
    };
    for (const Place &p : places) {
        ASSERT_NE(frame.Button(p.id), nullptr) << p.id;
        EXPECT_EQ(frame.Button(p.id)->geometry(), p.rect) << p.id;
        EXPECT_TRUE(frame.Button(p.id)->isVisibleTo(&frame)) << p.id;
    }
    EXPECT_FALSE(frame.Button(ID_RESTORE)->isVisibleTo(&frame));
    EXPECT_FALSE(frame.Button(ID_GPS_FULL)->isVisibleTo(&frame));
    EXPECT_EQ(frame.Button(ID_EXIT)->TooltipText(), QStringLiteral("Exit"));

    const QImage image = Grab(frame);
    ASSERT_EQ(image.size(), QSize(1020, 594));
    // Areas and their outlines.
    EXPECT_EQ(At(image, 20, 90), QColor(16, 16, 16));
    EXPECT_EQ(At(image, 10, 200), QColor(40, 40, 40));
    EXPECT_EQ(At(image, 649, 200), QColor(40, 40, 40));
    EXPECT_EQ(At(image, 300, 436), QColor(40, 40, 40));
    EXPECT_EQ(At(image, 300, 437), At(image, 300, 438)); // below the outline: the background
    EXPECT_EQ(At(image, 197, 500), QColor(40, 40, 40));
    EXPECT_EQ(At(image, 1009, 300), QColor(40, 40, 40));
    // Toolbar separators, y 18..49.
    for (int x : {329, 449, 569}) {
        EXPECT_EQ(At(image, x, 18), QColor(98, 109, 118)) << x;
        EXPECT_EQ(At(image, x, 49), QColor(98, 109, 118)) << x;
        EXPECT_EQ(At(image, x + 1, 30), QColor(25, 32, 38)) << x;
        EXPECT_NE(At(image, x, 50), QColor(98, 109, 118)) << x;
    }
    // Skin pieces at their places, pixel for pixel where no control covers them.
    struct Piece
    {
        int id, x, y;
        QRect part; // in the piece
    } const pieces[] = {
        {IDB_TOP_LEFT, 0, 0, {0, 0, 179, 62}},
        {IDB_CATEGORY_HEADER, 670, 76, {0, 0, 338, 62}},
        {IDB_LIST_HEADER, 670, 184, {0, 0, 340, 31}},
        {IDB_EMPTY_VIDEO, 175, 229, {0, 0, 320, 35}},
        {IDB_SMALL_VIDEO, 11, 444, {0, 0, 186, 138}},
        {IDB_PANEL_LEFT, 208, 478, {0, 0, 3, 106}},
        {IDB_PANEL_RIGHT, 645, 478, {0, 0, 5, 106}},
    };
    for (const Piece &p : pieces) {
        const QImage piece = LoadSkinImage(p.id);
        ASSERT_FALSE(piece.isNull()) << p.id;
        for (int y = p.part.top(); y <= p.part.bottom(); y += 3)
            for (int x = p.part.left(); x <= p.part.right(); x += 3) {
                const QPoint at(p.x + x, p.y + y);
                bool bCovered = false;
                for (QWidget *child : frame.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                    bCovered |= child->isVisibleTo(&frame) && child->geometry().contains(at);
                if (!bCovered) {
                    ASSERT_EQ(At(image, at.x(), at.y()), QColor(piece.pixel(x, y)))
                        << p.id << " at " << x << "," << y;
                }
            }
    }
    // The seek plate keeps the background where it is magenta, and is magenta nowhere.
    for (int y = 443; y < 470; ++y)
        for (int x = 208; x < 650; ++x)
            ASSERT_NE(At(image, x, y), QColor(255, 0, 255)) << x << "," << y;
}

// The window is drawn for one size: maximising or a tiling desktop leaves it as it is.
TEST(MainFrameStart, TheWindowKeepsItsFixedSize)
{
    CTavloFrame frame;
    frame.show();
    EXPECT_EQ(frame.minimumSize(), QSize(1020, 594));
    EXPECT_EQ(frame.maximumSize(), QSize(1020, 594));
    frame.resize(1920, 1080);
    EXPECT_EQ(frame.size(), QSize(1020, 594));
    frame.showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(frame.size(), QSize(1020, 594));
}

// A paint of part of the window composes only that part, at its place: it matches the whole
// picture there and leaves the rest of the target alone. The timer's repaint of the times
// composes their rectangle, not the window.
TEST(MainFrameStart, APartialPaintDrawsItsRectangleOnly)
{
    CTavloFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const QRect times = QRect(218, 450, 70, 15).united(QRect(584, 450, 70, 15));
    frame.repaint(times);
    EXPECT_EQ(frame.LastComposedRect(), times);
    const QImage whole = Grab(frame);
    const QRect parts[] = {{218, 450, 70, 15}, {0, 0, 200, 60}, {600, 400, 300, 150}};
    for (const QRect &part : parts) {
        QImage image(frame.size(), QImage::Format_RGB32);
        image.fill(QColor(255, 0, 255));
        frame.render(&image, part.topLeft(), QRegion(part), QWidget::DrawWindowBackground);
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) {
                bool bCovered = false; // children paint themselves
                for (QWidget *child : frame.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                    bCovered |= child->isVisibleTo(&frame) && child->geometry().contains(x, y);
                if (bCovered)
                    continue;
                const QColor expected = part.contains(x, y) ? At(whole, x, y) : QColor(255, 0, 255);
                ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
            }
    }
}

TEST(MainFrameStart, DisabledControlsDrawTheirDisabledLook)
{
    CTavloFrame frame;
    const QImage image = Grab(frame);
    // Full Screen: the strip's fifth frame.
    const QImage strip = LoadSkinImage(IDB_BTN_FULL_SCREEN);
    EXPECT_EQ(frame.Button(ID_FULL_SCREEN)->CurrentFrame(), BUTTON_FRAME_DISABLED);
    EXPECT_EQ(image.copy(576, 14, 108, 40), strip.copy(4 * 108, 0, 108, 40));
    EXPECT_NE(image.copy(576, 14, 108, 40), strip.copy(0, 0, 108, 40));
    // Seek and speed sliders: an empty track, no thumb. A slider drawn enabled looks different.
    struct SliderCase
    {
        CTavloSlider *slider;
        int track, thumb;
    } const sliders[] = {{frame.SeekSlider(), IDB_SEEK_TRACK, IDB_SEEK_THUMB},
                         {frame.SpeedSlider(), IDB_SPEED_TRACK, IDB_SMALL_THUMB}};
    for (const SliderCase &c : sliders) {
        CTavloSlider reference;
        reference.resize(c.slider->size());
        reference.SetTrackBitmap(c.track);
        reference.SetThumbBitmap(c.thumb);
        reference.m_nMinimum = c.slider->m_nMinimum;
        reference.m_nMaximum = c.slider->m_nMaximum;
        reference.SetPos(c.slider->GetPos());
        reference.SetEnabled(false);
        const QImage shown = image.copy(c.slider->geometry());
        EXPECT_EQ(shown, Grab(reference));
        reference.SetEnabled(true);
        EXPECT_NE(shown, Grab(reference));
    }
}

// The pixels of a time text: those at least half way from the ground under the text (the
// commonest colour of their row) to the text colour, so that two texts in different colours
// compare by shape.
std::set<std::pair<int, int>> Ink(const QImage &image, const QRect &rect, const QColor &colour,
                                  bool *bFullColour)
{
    std::set<std::pair<int, int>> ink;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        std::map<QRgb, int> counts;
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[image.pixel(x, y)];
        const QRgb ground = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
                                return a.second < b.second;
                            })->first;
        const int span = colour.green() - qGreen(ground);
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (span > 0 && 2 * (qGreen(image.pixel(x, y)) - qGreen(ground)) >= span)
                ink.insert({x - rect.left(), y - rect.top()});
            *bFullColour |= QColor(image.pixel(x, y)) == colour;
        }
    }
    return ink;
}

TEST(MainFrameStart, BothTimesReadZero)
{
    struct Case
    {
        const char *name;
        bool bPlayer;
        uint32_t position;
        bool bSameText;
    } const cases[] = {{"no wrapper", false, 0, true},
                       {"stopped wrapper", true, 0, true},
                       {"wrapper at 01:06:40", true, 4000000, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingPlayer::LOG log;
        CTavloFrame frame(c.bPlayer ? PlayerFactory(log, CMP_STOPPED, c.position)
                                    : FramePlayerFactory());
        const QImage image = Grab(frame);
        // Only the texts' own columns: the seek plate's rounded end lies in the duration's
        // rectangle.
        bool bPosition = false, bDuration = false;
        const auto position =
            Ink(image, QRect(218, 450, 58, 15), QColor(162, 172, 185), &bPosition);
        const auto duration = Ink(image, QRect(584, 450, 58, 15), QColor(95, 107, 122), &bDuration);
        EXPECT_TRUE(bPosition);
        EXPECT_TRUE(bDuration);
        EXPECT_GT(position.size(), 30u);
        EXPECT_GT(duration.size(), 30u);
        EXPECT_EQ(position == duration, c.bSameText);
    }
}

TEST(MainFrameLayout, PlayTimeText)
{
    struct Case
    {
        uint32_t ms;
        const char *text;
    } const cases[] = {{0, "00:00:00"},          {999, "00:00:00"},
                       {4000000, "01:06:40"},    {86399999, "23:59:59"},
                       {360000000, "100:00:00"}, {0xFFFFFFFFu, "1193:02:47"}};
    for (const Case &c : cases)
        EXPECT_EQ(FormatPlayTime(c.ms), QString::fromLatin1(c.text)) << c.ms;
}

TEST(MainFrameLayout, FullScreenFileName)
{
    struct Case
    {
        const char *path, *shown;
    } const cases[] = {{"/card/EVENT/X.avi", "X.avi"}, {"X.avi", ""},         {"/c/X.avi", "X.avi"},
                       {"/card/EVENT/.avi", ""},       {"/card/EVENT/X", ""}, {"", ""},
                       {"/card/a.b.avi", "a.b.avi"}};
    for (const Case &c : cases)
        EXPECT_EQ(FullScreenFileName(c.path), QString::fromLatin1(c.shown)) << c.path;
}

TEST(MainFrameLayout, FullScreenNumbers)
{
    struct Case
    {
        int W, H;
        bool bMainIsSlot0;
        QRect video;
    } const cases[] = {
        {1024, 768, true, {0, 66, 1024, 576}},     // scale min(0.8, 0.8556)
        {1920, 1040, false, {640, 250, 640, 480}}, // base size fits
        {1920, 1040, true, {320, 130, 1280, 720}}, {1024, 768, false, {192, 114, 640, 480}},
        {1280, 872, true, {0, 46, 1280, 720}}, // exactly the base size
        {800, 600, true, {2, 46, 796, 448}},   // height limits: 448 / 720
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        const FRAME_LAYOUT l = FullScreenFrameLayout(c.W, c.H, c.bMainIsSlot0);
        EXPECT_EQ(l.rcMainVideo, c.video);
        const int Y = c.H - 106;
        EXPECT_EQ(l.nPanelY, Y);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(l.ptPanelButton[k], QPoint(c.W - 447 + 56 * k, Y + 47));
        EXPECT_EQ(l.rcSeek, QRect(80, Y + 60, c.W - 627, 25));
        EXPECT_EQ(l.rcPositionText, QRect(0, Y + 66, 80, 15));
        EXPECT_EQ(l.rcDurationText, QRect(c.W - 547, Y + 66, 80, 15));
        EXPECT_EQ(l.rcTimeArea, QRect(0, Y + 66, c.W - 467, 15));
        EXPECT_EQ(l.ptSpeedDown, QPoint(c.W - 500, Y + 18));
        EXPECT_EQ(l.rcSpeed, QRect(c.W - 480, Y + 14, 200, 14));
        EXPECT_EQ(l.ptSpeedUp, QPoint(c.W - 276, Y + 14));
        EXPECT_EQ(l.rcVolume, QRect(c.W - 157, Y + 14, 147, 14));
        EXPECT_EQ(l.ptMute, QPoint(c.W - 177, Y + 14));
        EXPECT_EQ(l.ptMinimize, QPoint(c.W - 63, 10));
        EXPECT_EQ(l.ptExit, QPoint(c.W - 35, 10));
        EXPECT_EQ(l.ptRestore, QPoint(c.W - 156, 10));
        EXPECT_EQ(l.ptGps, QPoint(c.W - 240, 10));
    }
    // The worked example's panel: buttons from 577 to 969 at 709, seek at (80, 722), 397 wide.
    const FRAME_LAYOUT l = FullScreenFrameLayout(1024, 768, true);
    EXPECT_EQ(l.ptPanelButton[0], QPoint(577, 709));
    EXPECT_EQ(l.ptPanelButton[7], QPoint(969, 709));
    EXPECT_EQ(l.rcSeek, QRect(80, 722, 397, 25));
}

TEST(MainFrameFullScreen, OnlyWhilePlayingWithACard)
{
    CTempFolder card;
    struct Case
    {
        const char *name;
        bool bPlayer;
        int32_t state;
        bool bCard;
        bool bEnters;
    } const cases[] = {
        {"no wrapper", false, 0, true, false},
        {"stopped", true, CMP_STOPPED, true, false},
        {"playing without card", true, CMP_PLAYING, false, false},
        {"playing", true, CMP_PLAYING, true, true},
        {"paused", true, CMP_PAUSED, true, true},
        {"stepping", true, CMP_STEPPING, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingPlayer::LOG log;
        CTavloFrame frame(c.bPlayer ? PlayerFactory(log, c.state) : FramePlayerFactory());
        frame.show();
        const QRect before = frame.geometry();
        g_PlayInfor.strRootPath = c.bCard ? card.Path() : std::string();
        frame.OnCommand(ID_FULL_SCREEN);
        EXPECT_EQ(frame.IsFullScreen(), c.bEnters);
        if (!c.bEnters) {
            EXPECT_EQ(frame.geometry(), before);
            continue;
        }
        EXPECT_FALSE(frame.RecordingList()->isVisibleTo(&frame));
        EXPECT_FALSE(frame.Button(280)->isVisibleTo(&frame));
        EXPECT_TRUE(frame.Button(ID_RESTORE)->isVisibleTo(&frame));
        EXPECT_FALSE(frame.VideoWindow(IDC_VIDEO_SUB)->isVisibleTo(&frame));
        const FRAME_LAYOUT l = FullScreenFrameLayout(frame.width(), frame.height(), true);
        EXPECT_EQ(frame.VideoWindow(IDC_VIDEO_MAIN)->geometry(), l.rcMainVideo);
        EXPECT_EQ(frame.SeekSlider()->geometry(), l.rcSeek);
        EXPECT_EQ(frame.Button(ID_EXIT)->pos(), l.ptExit);
        const QSize full = frame.size();
        frame.resize(full + QSize(300, 200)); // a tiling desktop
        EXPECT_EQ(frame.size(), full);
        frame.OnCommand(ID_RESTORE);
        EXPECT_FALSE(frame.IsFullScreen());
        EXPECT_EQ(frame.geometry(), before);
        frame.resize(1500, 900);
        EXPECT_EQ(frame.size(), QSize(1020, 594));
        EXPECT_TRUE(frame.RecordingList()->isVisibleTo(&frame));
        EXPECT_EQ(frame.SeekSlider()->geometry(), QRect(278, 444, 303, 25));
    }
    g_PlayInfor.strRootPath.clear();
}

TEST(MainFrameFullScreen, DoubleClickInTheCaptionStripToggles)
{
    CTempFolder card;
    CRecordingPlayer::LOG log;
    CTavloFrame frame(PlayerFactory(log, CMP_PLAYING));
    frame.show();
    g_PlayInfor.strRootPath = card.Path();
    auto doubleClick = [&frame](QPoint pt) {
        QMouseEvent e(QEvent::MouseButtonDblClick, pt, frame.mapToGlobal(pt), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &e);
    };
    doubleClick({100, 60}); // below the strip
    EXPECT_FALSE(frame.IsFullScreen());
    doubleClick({100, 45});
    EXPECT_TRUE(frame.IsFullScreen());
    doubleClick({100, 20});
    EXPECT_FALSE(frame.IsFullScreen());
    g_PlayInfor.strRootPath.clear();
}

TEST(MainFrameMove, OnlyTheCaptionStripInNormalModeMovesTheWindow)
{
    CTempFolder card;
    CRecordingPlayer::LOG log;
    CTavloFrame frame(PlayerFactory(log, CMP_PLAYING));
    frame.show();
    g_PlayInfor.strRootPath = card.Path();
    struct Case
    {
        const char *name;
        bool bFullScreen;
        QPoint pt;
        Qt::MouseButton button;
        bool bArmed;
    } const cases[] = {
        {"strip, normal", false, {500, 45}, Qt::LeftButton, true},
        {"below the strip", false, {500, 46}, Qt::LeftButton, false},
        {"right button", false, {500, 5}, Qt::RightButton, false},
        {"strip, full screen", true, {500, 5}, Qt::LeftButton, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bFullScreen != frame.IsFullScreen())
            frame.OnCommand(ID_FULL_SCREEN);
        ASSERT_EQ(frame.IsFullScreen(), c.bFullScreen);
        QMouseEvent press(QEvent::MouseButtonPress, c.pt, frame.mapToGlobal(c.pt), c.button,
                          c.button, Qt::NoModifier);
        QApplication::sendEvent(&frame, &press);
        EXPECT_EQ(frame.IsMoveArmed(), c.bArmed);
        QMouseEvent release(QEvent::MouseButtonRelease, c.pt, frame.mapToGlobal(c.pt), c.button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &release);
        EXPECT_FALSE(frame.IsMoveArmed());
    }
    g_PlayInfor.strRootPath.clear();
}

std::filesystem::path MakeDemoCard(const std::string &root)
{
    EXPECT_TRUE(WriteDemoCard(root + "card"));
    return root + "card/";
}

size_t RecordClipCount(const std::filesystem::path &card)
{
    size_t count = 0;
    for (const auto &day : std::filesystem::directory_iterator(card / "RECORD"))
        if (day.is_directory())
            for (const auto &file : std::filesystem::directory_iterator(day.path()))
                count += file.path().extension() == ".avi" && file.file_size() > 1024;
    return count;
}

TEST(MainFrameCard, FoldersWithoutSetupAreNoCard)
{
    for (const bool bSettingFolder : {false, true}) {
        SCOPED_TRACE(bSettingFolder ? "setting/ without setup.cfg" : "no setting/");
        CTempFolder card;
        for (const char *folder : {"RECORD/day", "EVENT", "MANUAL", "MOTION"})
            std::filesystem::create_directories(card / folder);
        std::ofstream(card / "EVENT/a.avi") << std::string(2000, 'x');
        if (bSettingFolder)
            std::filesystem::create_directories(card / "setting");
        CTavloFrame frame;
        QString *text = CatchNotification();
        frame.OpenCardFolder(card.Path());
        EXPECT_EQ(*text, QStringLiteral("Unused Memory."));
        delete text;
        EXPECT_TRUE(g_PlayInfor.strRootPath.empty());
        EXPECT_EQ(g_PlayInfor.nListType, LIST_NONE);
        EXPECT_EQ(frame.RecordingList()->ItemCount(), 0);
        EXPECT_FALSE(frame.Button(280)->IsChecked());
    }
}

TEST(MainFrameCard, AValidCardListsItsRecordClipsAndPlaysNothing)
{
    CTempFolder work;
    const std::filesystem::path card = MakeDemoCard(work.Path());
    CRecordingPlayer::LOG log;
    CTavloFrame frame(PlayerFactory(log, CMP_STOPPED));
    frame.OpenCardFolder(card.string());
    EXPECT_EQ(g_PlayInfor.strRootPath, card.string());
    EXPECT_EQ(g_PlayInfor.nListType, LIST_RECORD);
    EXPECT_TRUE(frame.Button(280)->IsChecked());
    EXPECT_FALSE(frame.Button(281)->IsChecked());
    const size_t clips = RecordClipCount(card);
    ASSERT_GT(clips, 0u);
    EXPECT_EQ(size_t(frame.RecordingList()->ItemCount()), clips);
    for (int i = 0; i < frame.RecordingList()->ItemCount(); ++i)
        EXPECT_NE(frame.RecordingList()->GetItem(i)->sItemPath.find("/RECORD/"), std::string::npos);
    EXPECT_TRUE(g_PlayInfor.strPlayFile.empty());
    EXPECT_EQ(g_PlayInfor.nPlayListType, LIST_NONE);
    EXPECT_EQ(frame.RecordingList()->GetSelection(), -1);
    EXPECT_FALSE(frame.VideoWindow(IDC_VIDEO_MAIN)->isVisibleTo(&frame));
    EXPECT_EQ(log.calls, (std::vector<std::string>{"volume 100", "stop"}));

    // A category button shows its clips and takes the check.
    frame.OnCommand(281);
    EXPECT_EQ(g_PlayInfor.nListType, LIST_EVENT);
    EXPECT_TRUE(frame.Button(281)->IsChecked());
    EXPECT_FALSE(frame.Button(280)->IsChecked());
    EXPECT_EQ(size_t(frame.RecordingList()->ItemCount()), frame.Catalog().Category(1).items.size());
    g_PlayInfor.strRootPath.clear();
}

TEST(MainFrameCard, OpenPausesAndCancelResumes)
{
    CTempFolder work;
    const std::filesystem::path card = MakeDemoCard(work.Path());
    struct Case
    {
        const char *name;
        int32_t state;
        bool bChoose;
        std::vector<std::string> calls;
        bool bCard;
    } const cases[] = {
        {"cancel while playing resumes", CMP_PLAYING, false, {"pause", "resume"}, false},
        {"cancel while stopped does not", CMP_STOPPED, false, {"pause"}, false},
        {"a card while playing stops", CMP_PLAYING, true, {"pause", "stop"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingPlayer::LOG log;
        CTestFrame frame(PlayerFactory(log, c.state));
        log.calls.clear();
        frame.strChosenRoot = c.bChoose ? card.string() : std::string();
        frame.OnCommand(ID_OPEN);
        EXPECT_EQ(frame.nDialogRuns, 1);
        EXPECT_EQ(log.calls, c.calls);
        EXPECT_EQ(frame.RecordingList()->ItemCount() > 0, c.bCard);
        g_PlayInfor.strRootPath.clear();
    }
}

TEST(MainFrameCard, CategoryWithoutCardStartsTheDriveChoice)
{
    CTestFrame frame;
    g_PlayInfor.strRootPath = "/no/such/card/";
    frame.OnCommand(282);
    EXPECT_EQ(frame.nDialogRuns, 1);
    EXPECT_EQ(g_PlayInfor.nListType, LIST_NONE);
    g_PlayInfor.strRootPath.clear();
}

TEST(MainFrameExit, StopsFreesAndCloses)
{
    CTempFolder work;
    const std::filesystem::path card = MakeDemoCard(work.Path());
    CRecordingPlayer::LOG log;
    CTavloFrame frame(PlayerFactory(log, CMP_PLAYING));
    frame.show();
    frame.OpenCardFolder(card.string());
    ASSERT_GT(frame.RecordingList()->ItemCount(), 0);
    log.calls.clear();
    // A clip with a fix has started: the track holds it until Exit.
    TEXT_SAMPLE fix{};
    std::snprintf(fix.szText, sizeof fix.szText, "%s",
                  "G$GPRMC,134500.00,A,3733.8000,N,12658.2000,E,30.0,90.0,111010,,,A*00");
    log.samples = {fix};
    CPlayMessage started(WM_PLAY_STARTED, 20000, 0);
    QApplication::sendEvent(&frame, &started);
    ASSERT_FALSE(frame.Track().IsEmpty());
    log.calls.clear();
    frame.OnCommand(ID_EXIT);
    EXPECT_TRUE(frame.Track().IsEmpty());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"stop"}));
    EXPECT_TRUE(log.bDestroyed);
    EXPECT_EQ(frame.Player(), nullptr);
    EXPECT_EQ(frame.RecordingList()->ItemCount(), 0);
    EXPECT_TRUE(frame.Catalog().Category(0).items.empty());
    EXPECT_FALSE(frame.isVisible());
    g_PlayInfor.strRootPath.clear();
}

// The step back is taken from the published position, unsigned, and never goes below 0.
TEST(MainFrameCommands, PrevFrameSeeksTo100msBeforeThePosition)
{
    const struct
    {
        uint32_t nPosition;
        int32_t nState;
        std::vector<std::string> calls;
    } cases[] = {
        {80, CMP_PAUSED, {"seek 0"}},
        {100, CMP_PAUSED, {"seek 0"}},
        {101, CMP_PAUSED, {"seek 1"}},
        {5000, CMP_PLAYING, {"pause", "seek 4900"}},
        {0x80000000u, CMP_PAUSED, {"seek 2147483548"}},
    };
    for (const auto &c : cases) {
        CRecordingPlayer::LOG log;
        CTavloFrame frame(PlayerFactory(log, c.nState, c.nPosition));
        log.calls.clear();
        frame.OnCommand(ID_PREV_FRAME);
        EXPECT_EQ(log.calls, c.calls) << c.nPosition;
    }
}

// The keys of desktop players reach the commands the buttons give; a focused slider keeps the
// keys it uses, and the tooltips name the keys.
TEST(MainFrameKeys, KeysGiveTheCommandsOfTheButtons)
{
    CTempFolder card;
    struct Case
    {
        const char *name;
        int32_t state;
        int key;
        Qt::KeyboardModifiers modifiers;
        std::vector<std::string> calls;
    } const cases[] = {
        {"Space pauses a playing clip", CMP_PLAYING, Qt::Key_Space, {}, {"speed 100", "pause"}},
        {"Space resumes a paused one", CMP_PAUSED, Qt::Key_Space, {}, {"speed 100", "resume"}},
        {"Right steps a paused clip", CMP_PAUSED, Qt::Key_Right, {}, {"step"}},
        {"Right does not step a playing clip", CMP_PLAYING, Qt::Key_Right, {}, {}},
        {"Left steps back a paused clip", CMP_PAUSED, Qt::Key_Left, {}, {"seek 4900"}},
        {"Left does nothing while stopped", CMP_STOPPED, Qt::Key_Left, {}, {}},
        {"Ctrl+O pauses for the drive choice",
         CMP_PLAYING,
         Qt::Key_O,
         Qt::ControlModifier,
         {"pause", "resume"}},
        {"O alone is no key", CMP_PLAYING, Qt::Key_O, {}, {}},
        {"Shift+Space is no key", CMP_PLAYING, Qt::Key_Space, Qt::ShiftModifier, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingPlayer::LOG log;
        CTestFrame frame(PlayerFactory(log, c.state, 5000));
        frame.show();
        log.calls.clear();
        QTest::keyClick(&frame, Qt::Key(c.key), c.modifiers);
        EXPECT_EQ(log.calls, c.calls);
        EXPECT_EQ(frame.nDialogRuns, c.key == Qt::Key_O && c.modifiers ? 1 : 0);
    }

    // M sets the mute of a server that is not there, never the machine's.
    CEnvironmentValue server("PULSE_SERVER", card / "no-server");
    CRecordingPlayer::LOG log;
    CTestFrame frame(PlayerFactory(log, CMP_PAUSED, 5000));
    frame.show();
    g_PlayInfor.strRootPath = card.Path();
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(frame.nFileCaptures, 1);
    QTest::keyClick(&frame, Qt::Key_F);
    EXPECT_TRUE(frame.IsFullScreen());
    QTest::keyClick(&frame, Qt::Key_Escape);
    EXPECT_FALSE(frame.IsFullScreen());
    QTest::keyClick(&frame, Qt::Key_F);
    QTest::keyClick(&frame, Qt::Key_F);
    EXPECT_FALSE(frame.IsFullScreen());
    const int muteState = frame.MuteSwitch()->GetState();
    QTest::keyClick(&frame, Qt::Key_M);
    EXPECT_EQ(frame.MuteSwitch()->GetState(), 1 - muteState);

    // A held Space gives one command, a held Right one step per repeat.
    log.calls.clear();
    QTest::keyPress(&frame, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(" "), true);
    QApplication::sendEvent(&frame, &repeat);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"speed 100", "resume"}));
    frame.OnCommand(ID_PAUSE);
    log.calls.clear();
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&frame, &held);
    QApplication::sendEvent(&frame, &held);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"step", "step"}));

    // The focused volume slider keeps its arrows; a key it does not use reaches the window.
    CTavloSlider *volume = frame.VolumeSlider();
    volume->setFocus();
    const int level = volume->GetPos();
    log.calls.clear();
    QTest::keyClick(volume, Qt::Key_Left);
    EXPECT_EQ(volume->GetPos(), level - 1);
    EXPECT_TRUE(log.calls.empty());
    QTest::keyClick(volume, Qt::Key_Space);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"speed 100", "resume"}));
    // The recording list, without check boxes, passes Space on as well.
    frame.RecordingList()->setFocus();
    log.calls.clear();
    QTest::keyClick(frame.RecordingList(), Qt::Key_Space);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"speed 100", "pause"}));
    g_PlayInfor.strRootPath.clear();

    const struct
    {
        int id;
        const char *tooltip;
    } tips[] = {{ID_PLAY, "Play (Space)"},
                {ID_PAUSE, "Pause (Space)"},
                {ID_PREV_MOVIE, "Prev Movie (Page Up)"},
                {ID_NEXT_MOVIE, "Nex Movie (Page Down)"},
                {ID_PREV_FRAME, "Prev Frame (Left)"},
                {ID_NEXT_FRAME, "Next Frame (Right)"},
                {ID_FULL_SCREEN, "Full Screen (F)"},
                {ID_RESTORE, "Restore (Esc)"},
                {ID_GPS, "GPS (G)"},
                {ID_GPS_FULL, "GPS (G)"},
                {ID_OPEN, "Open (Ctrl+O)"},
                {ID_CAPTURE, "Capture (Ctrl+S)"}};
    for (const auto &tip : tips)
        EXPECT_EQ(frame.Button(tip.id)->TooltipText(), QString::fromLatin1(tip.tooltip)) << tip.id;
}

// Page Up and Page Down walk the playing category as Prev and Next Movie do.
TEST(MainFrameKeys, PageKeysStartThePreviousAndNextClip)
{
    CTempFolder work;
    const std::filesystem::path card = MakeDemoCard(work.Path());
    CRecordingPlayer::LOG log;
    CTavloFrame frame(PlayerFactory(log, CMP_STOPPED));
    frame.show();
    frame.OpenCardFolder(card.string());
    NM_HTMLLIST select;
    select.code = HTMLLIST_SELCHANGED;
    select.nItemNo = 0;
    frame.OnListNotify(select);
    const auto entry = [&frame](int32_t index) {
        return frame.Catalog().GetCatalogEntry(LIST_RECORD, index)->strFullPath;
    };
    QTest::keyClick(&frame, Qt::Key_Space);
    ASSERT_EQ(g_PlayInfor.strPlayFile, entry(0));
    QTest::keyClick(&frame, Qt::Key_PageDown);
    EXPECT_EQ(g_PlayInfor.strPlayFile, entry(1));
    QTest::keyClick(&frame, Qt::Key_PageUp);
    EXPECT_EQ(g_PlayInfor.strPlayFile, entry(0));
    g_PlayInfor.strRootPath.clear();
}

// Without a wrapper the playback commands do nothing and do not fail.
TEST(MainFrameCommands, PlaybackCommandsWithoutAWrapperDoNothing)
{
    CTavloFrame frame;
    for (int id : {ID_PREV_MOVIE, ID_PLAY, ID_PAUSE, ID_NEXT_MOVIE, ID_PREV_FRAME, ID_NEXT_FRAME,
                   ID_FAST_PLAY, ID_SPEED_UP, ID_SPEED_DOWN, ID_CAPTURE, ID_CHANGE_SCREEN,
                   IDC_VIDEO_MAIN, ID_LIST_CONTEXT})
        frame.OnCommand(id);
    EXPECT_EQ(frame.Player(), nullptr);
    EXPECT_TRUE(frame.MainIsSlot0());
}

} // namespace
