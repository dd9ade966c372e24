#include "app/tavlo_main_frame.h"

#include <chrono>
#include <thread>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QStyleHints>
#include <QWindow>

#include "app/devices/mount_watch.h"
#include "app/devices/mute_worker.h"
#include "app/tavlo_drive_select_dlg.h"
#include "platform/file_exists.h"
#include "platform/trace.h"
#include "playback/video_widget.h"
#include "recordings/play_infor.h"
#include "settings/setup_file.h"
#include "telemetry/tavlo_browser.h"
#include "trips/trip_index.h"
#include "widgets/memory_dc.h"
#include "widgets/skin_ids.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"
#include "widgets/ui_font.h"

namespace {

enum BUTTON_GROUP
{
    GROUP_PANEL,
    GROUP_WINDOW,
    GROUP_TOOLBAR,
    GROUP_CATEGORY,
};

struct BUTTON_ENTRY
{
    BUTTON_GROUP group;
    int nCommandId;
    const char *pszTooltip;
    int nBitmap;
    int x, y;
};

const BUTTON_ENTRY kButtons[CTavloMainFrame::kButtonCount] = {
    {GROUP_PANEL, ID_PREV_MOVIE, "Prev Movie (Page Up)", IDB_BTN_PREV_MOVIE, 211, 524},
    {GROUP_PANEL, ID_PLAY, "Play (Space)", IDB_BTN_PLAY, 267, 524},
    {GROUP_PANEL, ID_PAUSE, "Pause (Space)", IDB_BTN_PAUSE, 322, 524},
    {GROUP_PANEL, ID_NEXT_MOVIE, "Nex Movie (Page Down)", IDB_BTN_NEXT_MOVIE, 377, 524},
    {GROUP_PANEL, ID_PREV_FRAME, "Prev Frame (Left)", IDB_BTN_PREV_FRAME, 432, 524},
    {GROUP_PANEL, ID_NEXT_FRAME, "Next Frame (Right)", IDB_BTN_NEXT_FRAME, 487, 524},
    {GROUP_PANEL, ID_FAST_PLAY, "Fast Play", IDB_BTN_FAST_PLAY, 542, 524},
    {GROUP_PANEL, ID_OPEN, "Open (Ctrl+O)", IDB_BTN_OPEN, 597, 524},
    {GROUP_WINDOW, ID_MINIMIZE, "Minimize", IDB_BTN_MINIMIZE, 957, 10},
    {GROUP_WINDOW, ID_EXIT, "Exit", IDB_BTN_EXIT, 985, 10},
    {GROUP_WINDOW, ID_RESTORE, "Restore (Esc)", IDB_BTN_RESTORE, 974, 2},
    {GROUP_WINDOW, ID_GPS_FULL, "GPS (G)", IDB_BTN_GPS_SMALL, 0, 0},
    {GROUP_WINDOW, ID_SPEED_UP, "Speed +", IDB_BTN_SPEED_UP, 354, 492},
    {GROUP_WINDOW, ID_SPEED_DOWN, "Speed -", IDB_BTN_SPEED_DOWN, 218, 496},
    {GROUP_TOOLBAR, ID_FULL_SCREEN, "Full Screen (F)", IDB_BTN_FULL_SCREEN, 576, 14},
    {GROUP_TOOLBAR, ID_CAPTURE, "Capture (Ctrl+S)", IDB_BTN_CAPTURE, 336, 14},
    {GROUP_TOOLBAR, ID_SETTINGS, "Settings", IDB_BTN_SETTINGS, 215, 14},
    {GROUP_TOOLBAR, ID_GPS, "GPS (G)", IDB_BTN_GPS, 456, 14},
    {GROUP_TOOLBAR, ID_CHANGE_SCREEN, "Change Screen", IDB_BTN_CHANGE_SCREEN, 695, 14},
    {GROUP_CATEGORY, 280, "Record", IDB_BTN_RECORD, 680, 143},
    {GROUP_CATEGORY, 281, "Event", IDB_BTN_EVENT, 760, 143},
    {GROUP_CATEGORY, 282, "Manual", IDB_BTN_MANUAL, 840, 143},
    {GROUP_CATEGORY, 283, "Motion", IDB_BTN_MOTION, 920, 143},
};
constexpr int kFirstPanelButton = 0; // the eight panel buttons come first, in layout order

// Skin pieces, in the order of m_bmPieces.
enum PIECE
{
    PIECE_TOP_LEFT,
    PIECE_LIST_HEADER,
    PIECE_CATEGORY_HEADER,
    PIECE_SEEK_PLATE,
    PIECE_EMPTY_VIDEO,
    PIECE_TOP_LEFT_FULL,
    PIECE_PANEL_LEFT,
    PIECE_PANEL_MIDDLE,
    PIECE_PANEL_RIGHT,
    PIECE_PANEL_MARK,
    PIECE_SMALL_VIDEO,
};
const int kPieceIds[11] = {IDB_TOP_LEFT,   IDB_LIST_HEADER,  IDB_CATEGORY_HEADER,
                           IDB_SEEK_PLATE, IDB_EMPTY_VIDEO,  IDB_TOP_LEFT_FULL,
                           IDB_PANEL_LEFT, IDB_PANEL_MIDDLE, IDB_PANEL_RIGHT,
                           IDB_PANEL_MARK, IDB_SMALL_VIDEO};

const QColor kFrameFill(54, 54, 54);
const QColor kAreaFill(16, 16, 16);
const QColor kAreaOutline(40, 40, 40);
const QColor kSeparatorLight(98, 109, 118);
const QColor kSeparatorDark(25, 32, 38);
const QColor kFileNameText(113, 127, 146);
const QColor kPositionText(162, 172, 185);
const QColor kDurationText(95, 107, 122);

// A one-pixel outline through the corners (left, top) and (right − 1, bottom − 1) of a
// rectangle given by its exclusive right and bottom.
void Outline(QPainter &dc, int left, int top, int right, int bottom, const QColor &colour)
{
    dc.fillRect(left, top, right - left, 1, colour);
    dc.fillRect(left, bottom - 1, right - left, 1, colour);
    dc.fillRect(left, top, 1, bottom - top, colour);
    dc.fillRect(right - 1, top, 1, bottom - top, colour);
}

void FillArea(QPainter &dc, int left, int top, int right, int bottom)
{
    dc.fillRect(left, top, right - left, bottom - top, kAreaFill);
}

} // namespace

CTavloMainFrame::CTavloMainFrame(FramePlayerFactory playerFactory, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_textFont(SkinFont(12, 600)),
      m_playerFactory(std::move(playerFactory))
{
    g_PlayInfor.strRootPath.clear();
    g_PlayInfor.strPlayFile.clear();
    g_PlayInfor.nSpeed = 100;
    g_PlayInfor.nVolume = 100; // the viewer's own output volume starts full
    g_PlayInfor.nPlayListType = LIST_NONE;
    g_PlayInfor.nListType = LIST_NONE;

    setWindowTitle(QStringLiteral("Roadlog Viewer"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // The skin is drawn for this one size: a maximise or a tiling desktop must not stretch it.
    setFixedSize(FRAME_WIDTH, FRAME_HEIGHT);

    m_bmBackground.Load(IDB_WINDOW_BACKGROUND);
    m_bmFullScreenBar.Load(IDB_FULLSCREEN_BAR);
    for (size_t i = 0; i < m_bmPieces.size(); ++i)
        m_bmPieces[i].Load(kPieceIds[i]);

    CreateButtons();
    CreateControls();
    Layout();
    InitDevices();
    StartTimer(IDT_TIME_REFRESH, 300);
    StartTimer(IDT_TRACK_FOLLOW, 350);
}

CTavloMainFrame::~CTavloMainFrame()
{
    // No removal and no mute answer may arrive while the window is half gone.
    m_pMountWatch.reset();
    m_pMuteWorker.reset();
    m_pTrips.reset(); // its thread reads the card
    // The catalog hands rows to the list; it goes first.
    m_pCatalog.reset();
}

void CTavloMainFrame::CreateButtons()
{
    for (int i = 0; i < kButtonCount; ++i) {
        const BUTTON_ENTRY &entry = kButtons[i];
        auto *button = new CTavloButton(this);
        if (!button->LoadStrip(entry.nBitmap) ||
            !button->CreateAt(entry.x, entry.y, this, entry.nCommandId)) {
            delete button; // a strip that does not load leaves its slot empty
            continue;
        }
        button->SetTooltip(QString::fromLatin1(entry.pszTooltip));
        m_pButtons[size_t(i)] = button;
    }
    for (int id : {ID_RESTORE, ID_GPS_FULL})
        if (CTavloButton *button = Button(id))
            button->hide();
    if (CTavloButton *button = Button(ID_FULL_SCREEN))
        button->setEnabled(false);
}

void CTavloMainFrame::CreateControls()
{
    m_pVideo0 = CreateVideoWidget(this, &m_pSurface0);
    m_pVideo0->setObjectName(QStringLiteral("video401"));
    m_pVideo0->hide();
    m_pVideo1 = CreateVideoWidget(this, &m_pSurface1);
    m_pVideo1->setObjectName(QStringLiteral("video402"));
    m_pVideo1->hide();

    m_pSeek = new CTavloSlider(this, IDC_SEEK);
    m_pSeek->SetTrackBitmap(IDB_SEEK_TRACK);
    m_pSeek->SetThumbBitmap(IDB_SEEK_THUMB);
    m_pSeek->SetEnabled(false);

    m_pSpeed = new CTavloSlider(this, IDC_SPEED);
    m_pSpeed->SetTrackBitmap(IDB_SPEED_TRACK);
    m_pSpeed->SetThumbBitmap(IDB_SMALL_THUMB);
    m_pSpeed->SetEnabled(false);
    m_pSpeed->m_nMinimum = 50;
    m_pSpeed->m_nMaximum = 150;
    m_pSpeed->SetPos(std::clamp(g_PlayInfor.nSpeed, 50, 150));

    m_pMute = new CTavloSwitch(this, IDC_MUTE);
    m_pMute->SetBitmap(IDB_MUTE_SWITCH);
    m_pMute->SetState(0); // set by InitMute

    m_pVolume = new CTavloSlider(this, IDC_VOLUME);
    m_pVolume->SetTrackBitmap(IDB_VOLUME_TRACK);
    m_pVolume->SetThumbBitmap(IDB_SMALL_THUMB);
    m_pVolume->m_nMinimum = 0;
    m_pVolume->m_nMaximum = 100;
    m_pVolume->SetPos(g_PlayInfor.nVolume);

    m_pVideo0->installEventFilter(this);

    m_pList = new CHTMLListCtrl(this, HTMLLIST_GRIDLINES);
    m_pList->installEventFilter(this);
    m_pList->setGeometry(QRect(QPoint(671, 215), QPoint(1008, 582)));
    m_pList->RecalcHeights();
    m_pCatalog = std::make_unique<CTrovaCatalog>(*m_pList, *this, g_PlayInfor);

    if (m_playerFactory && !m_pPlayer) {
        m_pPlayer = m_playerFactory(this, m_pSurface0, m_pSurface1);
        if (m_pPlayer)
            m_pPlayer->SetVolume(g_PlayInfor.nVolume);
    }
}

CTavloButton *CTavloMainFrame::Button(int nCommandId) const
{
    for (int i = 0; i < kButtonCount; ++i)
        if (kButtons[i].nCommandId == nCommandId)
            return m_pButtons[size_t(i)];
    return nullptr;
}

bool CTavloMainFrame::ChooseDrive()
{
    CTavloDriveSelectDlg dialog(this);
    return dialog.exec() == QDialog::Accepted;
}

void CTavloMainFrame::OnOpen(int)
{
    // Without a wrapper there is nothing to pause, but the card can still be chosen.
    const bool bWasPlaying = m_pPlayer && PauseAndSettle(*m_pPlayer);
    if (!ChooseDrive()) {
        if (bWasPlaying)
            m_pPlayer->Resume();
        return;
    }
    ApplyCardChoice();
}

void CTavloMainFrame::OpenCardFolder(const std::string &root)
{
    std::string path = root;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    // As OK in the drive choice: a folder that is not there keeps the previous root.
    if (PathExists(path))
        g_PlayInfor.strRootPath = path;
    ApplyCardChoice();
}

void CTavloMainFrame::ApplyCardChoice()
{
    if (m_pPlayer)
        m_pPlayer->Stop();
    MainVideo()->show();
    std::string &root = g_PlayInfor.strRootPath;
    if (root.empty())
        return;
    if (!PathExists(root)) {
        root.clear();
        return;
    }
    if (IsRecorderCard(root) != CardCheck::RecorderCard) {
        ShowNotification(this, QStringLiteral("Unused Memory."));
        root.clear();
        return;
    }
    ResetView();
    if (g_PlayInfor.nListType == LIST_NONE) {
        g_PlayInfor.nListType = LIST_RECORD;
        if (CTavloButton *button = Button(ID_CATEGORY_RECORD))
            button->SetChecked(true);
    }
    m_pCatalog->RebuildCatalog(root);
    StartTripIndex();
}

void CTavloMainFrame::OnDriveChoice()
{
    OnOpen(ID_OPEN);
}

void CTavloMainFrame::OnCategoryButtonsChanged()
{
    for (int id = ID_CATEGORY_RECORD; id <= ID_CATEGORY_MOTION; ++id)
        if (CTavloButton *button = Button(id))
            button->SetChecked(id - ID_CATEGORY_RECORD == g_PlayInfor.nListType);
}

void CTavloMainFrame::OnMinimize(int)
{
    showMinimized();
}

void CTavloMainFrame::OnExit(int)
{
    if (m_pPlayer) {
        m_pPlayer->Stop();
        Wait(1000);
        m_pPlayer.reset();
    }
    m_pCatalog->TrovaListInitial(); // every row and every entry
    m_track = CTavloNaviTrack();    // as at start-up
    m_pMapWnd.reset();
    close();
}

void CTavloMainFrame::OnFullScreen(int)
{
    if (m_bFullScreen)
        LeaveFullScreen();
    else
        EnterFullScreen();
}

void CTavloMainFrame::OnRestore(int)
{
    if (m_bFullScreen)
        LeaveFullScreen();
}

void CTavloMainFrame::Wait(int nMs)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
}

bool CTavloMainFrame::PlayerShowsVideo() const
{
    if (!m_pPlayer)
        return false;
    const int32_t state = m_pPlayer->GetState();
    return state == CMP_PLAYING || state == CMP_PAUSED || state == CMP_STEPPING;
}

void CTavloMainFrame::EnterFullScreen()
{
    if (g_PlayInfor.strRootPath.empty() || !PlayerShowsVideo())
        return;
    m_rcSavedWindow = geometry();
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect target = where ? where->availableGeometry() : m_rcSavedWindow;
    m_bFullScreen = true;
    setFixedSize(target.size());
    setGeometry(target);
    Layout();
    update();
}

void CTavloMainFrame::LeaveFullScreen()
{
    m_bFullScreen = false;
    setFixedSize(m_rcSavedWindow.size());
    setGeometry(m_rcSavedWindow);
    Layout();
    update();
}

void CTavloMainFrame::resizeEvent(QResizeEvent *)
{
    Layout();
}

void CTavloMainFrame::changeEvent(QEvent *e)
{
    // A window manager that maximises anyway (or makes the window full screen its own way) is
    // undone: full screen is the viewer's own layout, entered by its commands.
    static constexpr Qt::WindowStates kStretched = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (e->type() == QEvent::WindowStateChange && (windowState() & kStretched))
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~kStretched); }, Qt::QueuedConnection);
    QWidget::changeEvent(e);
}

void CTavloMainFrame::PlaceVideo(const FRAME_LAYOUT &layout)
{
    MainVideo()->setGeometry(layout.rcMainVideo);
    if (m_bFullScreen)
        SmallVideo()->hide();
    else
        SmallVideo()->setGeometry(layout.rcSmallVideo);
    if (m_pPlayer) {
        const bool bShow = PlayerShowsVideo();
        if (bShow || m_pPlayer->GetState() == CMP_STOPPED)
            ShowClipVideo(bShow);
    }
}

void CTavloMainFrame::ShowClipVideo(bool bShow)
{
    MainVideo()->setVisible(bShow);
    SmallVideo()->setVisible(bShow && !m_bFullScreen);
}

void CTavloMainFrame::SetPlayFile(const std::string &path)
{
    g_PlayInfor.strPlayFile = path;
    // Nothing else repaints the panel in full screen when one clip follows another.
    if (m_bFullScreen)
        RepaintNow(m_layout.rcFileName);
}

void CTavloMainFrame::Layout()
{
    m_rcDragArea = QRect(0, 0, width(), DRAG_AREA_HEIGHT);
    m_layout = m_bFullScreen ? FullScreenFrameLayout(width(), height(), m_bMainIsSlot0)
                             : NormalFrameLayout();
    const FRAME_LAYOUT &l = m_layout;
    PlaceVideo(l);
    for (int k = 0; k < 8; ++k)
        if (CTavloButton *button = m_pButtons[size_t(kFirstPanelButton + k)])
            button->move(l.ptPanelButton[k]);
    for (int i = 0; i < kButtonCount; ++i)
        if (m_pButtons[size_t(i)] &&
            (kButtons[i].group == GROUP_TOOLBAR || kButtons[i].group == GROUP_CATEGORY))
            m_pButtons[size_t(i)]->setVisible(!m_bFullScreen);
    m_pList->setVisible(!m_bFullScreen);
    const std::pair<int, QPoint> moves[] = {
        {ID_MINIMIZE, l.ptMinimize},    {ID_EXIT, l.ptExit},
        {ID_RESTORE, l.ptRestore},      {ID_GPS_FULL, l.ptGps},
        {ID_SPEED_DOWN, l.ptSpeedDown}, {ID_SPEED_UP, l.ptSpeedUp}};
    for (const auto &[id, point] : moves)
        if (CTavloButton *button = Button(id))
            button->move(point);
    for (int id : {ID_RESTORE, ID_GPS_FULL})
        if (CTavloButton *button = Button(id))
            button->setVisible(m_bFullScreen);
    m_pSeek->setGeometry(l.rcSeek);
    m_pSpeed->setGeometry(l.rcSpeed);
    m_pVolume->setGeometry(l.rcVolume);
    m_pMute->move(l.ptMute);
}

void CTavloMainFrame::paintEvent(QPaintEvent *e)
{
    // Only the damaged part is composed: the timers repaint small rectangles several times a
    // second, which a buffer of the whole screen would cost megabytes each time.
    m_rcLastComposed = e->rect();
    CMemoryDC dc(this, m_rcLastComposed, m_bFullScreen ? QColor(Qt::black) : kFrameFill);
    if (m_bFullScreen)
        PaintFullScreen(dc);
    else
        PaintNormal(dc);
    PaintTimes(dc);
}

void CTavloMainFrame::PaintNormal(QPainter &dc)
{
    dc.fillRect(rect(), kFrameFill);
    m_bmBackground.Stretch(dc, QRect(0, 0, FRAME_WIDTH, FRAME_HEIGHT));
    FillArea(dc, 10, 77, 650, 437);
    m_bmPieces[PIECE_EMPTY_VIDEO].Draw(dc, 175, 229);
    Outline(dc, 10, 77, 650, 437, kAreaOutline);
    FillArea(dc, 10, 443, 198, 584);
    Outline(dc, 10, 443, 198, 584, kAreaOutline);
    FillArea(dc, 670, 77, 1010, 584);
    Outline(dc, 670, 77, 1010, 584, kAreaOutline);
    for (int x : {329, 449, 569}) {
        dc.fillRect(x, 18, 1, 32, kSeparatorLight);
        dc.fillRect(x + 1, 18, 1, 32, kSeparatorDark);
    }
    m_bmPieces[PIECE_LIST_HEADER].Draw(dc, 670, 184);
    m_bmPieces[PIECE_CATEGORY_HEADER].Draw(dc, 670, 76);
    m_bmPieces[PIECE_TOP_LEFT].Draw(dc, 0, 0);
    m_bmPieces[PIECE_SEEK_PLATE].DrawTransparent(dc, 208, 443);
    m_bmPieces[PIECE_PANEL_LEFT].Draw(dc, 208, 478);
    m_bmPieces[PIECE_PANEL_RIGHT].Draw(dc, 645, 478);
    m_bmPieces[PIECE_PANEL_MIDDLE].Stretch(dc, QRect(213, 478, 432, PANEL_HEIGHT));
    m_bmPieces[PIECE_SMALL_VIDEO].Draw(dc, 11, 444);
}

void CTavloMainFrame::PaintFullScreen(QPainter &dc)
{
    const int W = width(), H = height(), Y = H - PANEL_HEIGHT;
    dc.fillRect(rect(), Qt::black);
    m_bmFullScreenBar.Stretch(dc, QRect(0, 0, W, DRAG_AREA_HEIGHT));
    m_bmPieces[PIECE_TOP_LEFT_FULL].Draw(dc, 0, 0);
    m_bmPieces[PIECE_PANEL_LEFT].Draw(dc, 0, Y);
    m_bmPieces[PIECE_PANEL_RIGHT].Draw(dc, W - 5, Y);
    m_bmPieces[PIECE_PANEL_MIDDLE].Stretch(dc, QRect(5, Y, W - 10, PANEL_HEIGHT));
    m_bmPieces[PIECE_PANEL_MARK].Draw(dc, 15, Y + 10);
    dc.fillRect(W - 94, 8, 1, 14, kSeparatorLight);
    dc.fillRect(W - 93, 8, 1, 14, kSeparatorDark);
    const QString name = FullScreenFileName(g_PlayInfor.strPlayFile);
    if (!name.isEmpty()) {
        dc.setFont(m_textFont);
        dc.setPen(kFileNameText);
        dc.drawText(m_layout.rcFileName, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    }
}

void CTavloMainFrame::PaintTimes(QPainter &dc)
{
    // Without a wrapper nothing plays: both times read zero.
    const uint32_t position = m_pPlayer ? m_pPlayer->PlayPosition() : 0;
    const uint32_t duration = m_pPlayer ? m_pPlayer->PlayDuration() : 0;
    const int align =
        int(m_bFullScreen ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop | Qt::TextSingleLine;
    dc.setFont(m_textFont);
    dc.setPen(kPositionText);
    dc.drawText(m_layout.rcPositionText, align, FormatPlayTime(position));
    dc.setPen(kDurationText);
    dc.drawText(m_layout.rcDurationText, align, FormatPlayTime(duration));
}

void CTavloMainFrame::mousePressEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    m_bMoveArmed = e->button() == Qt::LeftButton && !m_bFullScreen && m_rcDragArea.contains(pt);
    m_ptPress = pt;
    QWidget::mousePressEvent(e);
}

void CTavloMainFrame::mouseMoveEvent(QMouseEvent *e)
{
    // The system takes over once the pointer really moves, so a double click still arrives.
    if (m_bMoveArmed && (e->buttons() & Qt::LeftButton) &&
        (e->position().toPoint() - m_ptPress).manhattanLength() >=
            QGuiApplication::styleHints()->startDragDistance()) {
        m_bMoveArmed = false;
        if (QWindow *window = windowHandle())
            window->startSystemMove();
    }
    QWidget::mouseMoveEvent(e);
}

void CTavloMainFrame::mouseReleaseEvent(QMouseEvent *e)
{
    m_bMoveArmed = false;
    QWidget::mouseReleaseEvent(e);
}

void CTavloMainFrame::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && m_rcDragArea.contains(e->position().toPoint())) {
        m_bMoveArmed = false;
        if (m_bFullScreen)
            LeaveFullScreen();
        else
            EnterFullScreen();
    }
    QWidget::mouseDoubleClickEvent(e);
}
