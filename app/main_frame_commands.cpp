// The main window's commands, list notifications, player and slider messages.
#include <algorithm>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/devices/mute_worker.h"
#include "app/tavlo_main_frame.h"
#include "engine/output/oem_dev_out.h"
#include "export/ui/copy_clips_dlg.h"
#include "platform/file_exists.h"
#include "platform/trace.h"
#include "platform/wide_text.h"
#include "playback/play_messages.h"
#include "recordings/play_infor.h"
#include "settings/page2.h"
#include "settings/setup_file.h"
#include "telemetry/tavlo_browser.h"
#include "trips/trip_index.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"
#include "widgets/warning_box.h"
#include "widgets/window_message.h"

const CTavloMainFrame::COMMAND_ENTRY CTavloMainFrame::kCommandMap[] = {
    {ID_PREV_MOVIE, ID_OPEN, &CTavloMainFrame::OnBtnControl},
    {ID_SPEED_UP, ID_SPEED_DOWN, &CTavloMainFrame::OnBtnControl},
    {ID_CATEGORY_RECORD, ID_CATEGORY_MOTION, &CTavloMainFrame::OnCategory},
    {ID_FULL_SCREEN, ID_FULL_SCREEN, &CTavloMainFrame::OnFullScreen},
    {ID_CAPTURE, ID_CAPTURE, &CTavloMainFrame::OnCapture},
    {ID_SETTINGS, ID_SETTINGS, &CTavloMainFrame::OnSettings},
    {ID_GPS, ID_GPS, &CTavloMainFrame::OnMapWindow},
    {ID_GPS_FULL, ID_GPS_FULL, &CTavloMainFrame::OnMapWindow},
    {ID_CHANGE_SCREEN, ID_CHANGE_SCREEN, &CTavloMainFrame::OnChangeScreen},
    {ID_MINIMIZE, ID_MINIMIZE, &CTavloMainFrame::OnMinimize},
    {ID_EXIT, ID_EXIT, &CTavloMainFrame::OnExit},
    {ID_RESTORE, ID_RESTORE, &CTavloMainFrame::OnRestore},
    {IDC_VIDEO_MAIN, IDC_VIDEO_MAIN, &CTavloMainFrame::OnQuickCapture},
    {IDC_MUTE, IDC_MUTE, &CTavloMainFrame::OnMute},
    {ID_LIST_CONTEXT, ID_LIST_CONTEXT, &CTavloMainFrame::OnNothing},
};

void CTavloMainFrame::OnCommand(int nId)
{
    // While a double-clicked clip waits for its start only the mute switch works.
    if (m_bPlayPending && nId != IDC_MUTE && nId != ID_LIST_CONTEXT)
        return;
    for (const COMMAND_ENTRY &entry : kCommandMap)
        if (nId >= entry.nFirst && nId <= entry.nLast) {
            (this->*entry.pHandler)(nId);
            return;
        }
}

void CTavloMainFrame::OnNothing(int) {}

void CTavloMainFrame::keyPressEvent(QKeyEvent *e)
{
    struct KEY_ENTRY
    {
        int nKey;
        Qt::KeyboardModifiers modifiers;
        int nCommand;
    };
    static const KEY_ENTRY kKeys[] = {
        {Qt::Key_PageUp, Qt::NoModifier, ID_PREV_MOVIE},
        {Qt::Key_PageDown, Qt::NoModifier, ID_NEXT_MOVIE},
        {Qt::Key_Left, Qt::NoModifier, ID_PREV_FRAME},
        {Qt::Key_Right, Qt::NoModifier, ID_NEXT_FRAME},
        {Qt::Key_F, Qt::NoModifier, ID_FULL_SCREEN},
        {Qt::Key_Escape, Qt::NoModifier, ID_RESTORE},
        {Qt::Key_G, Qt::NoModifier, ID_GPS},
        {Qt::Key_O, Qt::ControlModifier, ID_OPEN},
        {Qt::Key_S, Qt::ControlModifier, ID_CAPTURE},
        {Qt::Key_Space, Qt::NoModifier, ID_PLAY},
        {Qt::Key_M, Qt::NoModifier, IDC_MUTE},
    };
    const Qt::KeyboardModifiers modifiers = e->modifiers() & ~Qt::KeypadModifier;
    const KEY_ENTRY *entry = nullptr;
    for (const KEY_ENTRY &candidate : kKeys)
        if (candidate.nKey == e->key() && candidate.modifiers == modifiers)
            entry = &candidate;
    if (!entry) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    const bool bFrameStep = entry->nCommand == ID_PREV_FRAME || entry->nCommand == ID_NEXT_FRAME;
    // A held key steps picture by picture; any other command once per press.
    if (e->isAutoRepeat() && !bFrameStep)
        return;
    const int32_t state = m_pPlayer ? m_pPlayer->GetState() : CMP_STOPPED;
    if (bFrameStep && state != CMP_PAUSED && state != CMP_STEPPING)
        return; // the frame keys step a paused clip only
    switch (entry->nCommand) {
    case ID_PLAY:
        OnCommand(state == CMP_PLAYING ? ID_PAUSE : ID_PLAY);
        break;
    case IDC_MUTE:
        // As a click on the switch: its picture flips first, then the command follows it.
        m_pMute->SetState(m_pMute->GetState() ? 0 : 1);
        m_pMute->repaint();
        OnCommand(IDC_MUTE);
        break;
    default:
        OnCommand(entry->nCommand);
        break;
    }
}

void CTavloMainFrame::OnBtnControl(int nId)
{
    Trace(L"OnBtnControl\r\n");
    switch (nId) {
    case ID_OPEN:
        OnOpen(nId);
        return;
    case ID_SPEED_UP:
    case ID_SPEED_DOWN:
        return; // the speed slider alone sets the rate
    default:
        break;
    }
    if (!m_pPlayer)
        return;
    switch (nId) {
    case ID_PREV_MOVIE:
    case ID_NEXT_MOVIE:
        OnPrevNextMovie(nId);
        break;
    case ID_PLAY:
        OnPlay();
        break;
    case ID_PAUSE:
        OnPause();
        break;
    case ID_PREV_FRAME:
        OnPrevFrame();
        break;
    case ID_NEXT_FRAME:
        m_pPlayer->StepFrame();
        break;
    case ID_FAST_PLAY:
        OnFastPlay();
        break;
    default:
        break;
    }
}

int CTavloMainFrame::StartClip(const std::string &path)
{
    if (m_bPlayPending)
        return 0;
    if (!m_pPlayer)
        return 1;
    m_pPlayer->Stop();
    // The wrapper's stop waits for the engine; a second more is waited only for one that has
    // not stopped yet.
    if (m_pPlayer->GetState() != CMP_STOPPED)
        Wait(1000);
    if (m_pPlayer->GetState() != CMP_STOPPED)
        return 0;
    if (!m_pPlayer->Play(Utf8ToWide(path).c_str()))
        return 0;
    EnablePlaybackControls();
    ShowClipVideo(true);
    SetPlayFile(path);
    return 1;
}

void CTavloMainFrame::EnablePlaybackControls()
{
    m_pSeek->SetEnabled(true);
    m_pSpeed->SetEnabled(true);
    if (CTavloButton *button = Button(ID_FULL_SCREEN))
        button->setEnabled(true);
}

void CTavloMainFrame::OnPlay()
{
    m_pPlayer->SetSpeed(g_PlayInfor.nSpeed);
    const int32_t state = m_pPlayer->GetState();
    if (state == CMP_STOPPED) {
        // The selection of the shown category; it becomes the playing category.
        if (const TROVA_ITEM *item = m_pCatalog->PlaySelected()) {
            const std::string path = item->strFullPath;
            StartClip(path);
        }
    } else if (state == CMP_PAUSED || state == CMP_STEPPING) {
        m_pPlayer->Resume();
    }
}

void CTavloMainFrame::OnPause()
{
    m_pPlayer->SetSpeed(g_PlayInfor.nSpeed);
    if (m_pPlayer->GetState() == CMP_PLAYING)
        m_pPlayer->Pause();
}

void CTavloMainFrame::OnPrevNextMovie(int nId)
{
    const TROVA_ITEM *item =
        nId == ID_PREV_MOVIE ? m_pCatalog->PreviousClip() : m_pCatalog->NextClip();
    if (item) {
        const std::string path = item->strFullPath;
        StartClip(path);
    }
}

void CTavloMainFrame::OnPrevFrame()
{
    if (m_pPlayer->GetState() == CMP_PLAYING) {
        m_pPlayer->Pause();
        Wait(100);
    }
    const uint32_t position = m_pPlayer->PlayPosition();
    const uint32_t target = position > 100 ? position - 100 : 0;
    m_pSeek->SetPos(int(std::min<uint32_t>(target, INT32_MAX)));
    m_pSeek->repaint();
    m_pPlayer->SeekTo(target);
}

void CTavloMainFrame::OnFastPlay()
{
    int32_t state = m_pPlayer->GetState();
    if (state == CMP_PAUSED || state == CMP_STEPPING) {
        m_pPlayer->Resume();
        Wait(100);
        // The engine reports Playing only once it has buffered again, a status pass or two
        // after the resume; the rate must not be lost to that.
        for (int i = 0; i < 40 && m_pPlayer->GetState() != CMP_PLAYING; ++i)
            Wait(10);
        state = m_pPlayer->GetState();
    }
    // The slider and nSpeed keep their value: the next Play or Pause goes back to it.
    if (state == CMP_PLAYING)
        m_pPlayer->SetSpeed(150);
}

void CTavloMainFrame::OnCategory(int nId)
{
    m_pCatalog->ShowCategory(nId - ID_CATEGORY_RECORD);
}

void CTavloMainFrame::OnCapture(int)
{
    if (g_PlayInfor.strRootPath.empty() || !m_pPlayer)
        return;
    const int32_t state = m_pPlayer->GetState();
    if (state != CMP_PLAYING && state != CMP_PAUSED)
        return;
    CaptureFrameToFile();
}

void CTavloMainFrame::OnQuickCapture(int)
{
    CaptureFrameToViewer();
}

void CTavloMainFrame::OnSettings(int)
{
    std::string root = g_PlayInfor.strRootPath;
    if (!PathExists(root)) {
        OnCommand(ID_OPEN);
        return;
    }
    if (!m_pPlayer)
        return;
    const bool bWasPlaying = PauseAndSettle(*m_pPlayer);
    auto resume = [&] {
        if (bWasPlaying && m_pPlayer)
            m_pPlayer->Resume();
    };
    if (IsRecorderCard(root) != CardCheck::RecorderCard) {
        ShowNotification(this, QStringLiteral("Unused Memory"));
        g_PlayInfor.strRootPath.clear();
        resume();
        return;
    }
    const SETTINGS_OUTCOME outcome = RunSettings(root);
    // A format may have brought the card back at another mount point.
    if (!outcome.strRoot.empty() && outcome.strRoot != root) {
        g_PlayInfor.strRootPath = outcome.strRoot;
        if (g_PlayInfor.strRootPath.back() != '/')
            g_PlayInfor.strRootPath.push_back('/');
    }
    if (outcome.bFormatted) {
        Trace(L"g_bFormattedCompleted == TRUE\r\n");
        g_bFormattedCompleted = 0;
        QCoreApplication::postEvent(this, new QEvent(WM_OPTION_FORMATTED));
        return;
    }
    resume();
}

SETTINGS_OUTCOME CTavloMainFrame::RunSettings(const std::string &root)
{
    SETTINGS_SERVICES services = DefaultSettingsServices();
    // The player keeps the clip open on the card; a format needs it closed.
    services.stopPlayback = [this] {
        if (m_pPlayer && m_pPlayer->GetState() != CMP_STOPPED) {
            m_pPlayer->Stop();
            Wait(1000);
        }
    };
    services.offerCopyFirst = OfferEventCopyBeforeFormat;
    return ShowPlayerSettings(this, root, std::move(services));
}

void CTavloMainFrame::OnMapWindow(int)
{
    MAP_WINDOW_OPTIONS options;
    options.bMapAllowed = g_PlayInfor.bMapAllowed;
    ToggleMapWindow(m_pMapWnd, this, options);
    AttachMapExtras();
    if (m_pMapWnd)
        m_pMapWnd->SetRoute(m_route);
}

void CTavloMainFrame::OnChangeScreen(int)
{
    if (!m_pPlayer || m_pPlayer->GetState() == CMP_STOPPED || m_bFullScreen)
        return;
    if (const CTavloButton *button = Button(ID_CHANGE_SCREEN); button && !button->isEnabled())
        return; // a clip of one camera
    m_bMainIsSlot0 = !m_bMainIsSlot0;
    // No picture may be drawn into a window while the two trade places.
    if (PlayerShowsVideo())
        DevOutVideoOEMSkipFrames();
    PlaceVideo(m_layout);
    for (QWidget *video : {m_pVideo0, m_pVideo1})
        video->repaint();
    update();
}

void CTavloMainFrame::OnMute(int)
{
    m_pMuteWorker->RequestSet(m_pMute->GetState() == 0);
}

void CTavloMainFrame::OnListNotify(const NM_HTMLLIST &notify)
{
    if (m_bPlayPending)
        return;
    if (notify.code == HTMLLIST_SELCHANGED)
        m_pCatalog->SelectFromList(notify.nItemNo);
    else if (notify.code == HTMLLIST_LBUTTONDBLCLK)
        StartDelayedPlay(notify.nItemNo);
    else if (notify.code == HTMLLIST_RBUTTONDOWN)
        ShowClipMenu(notify.nItemNo);
}

void CTavloMainFrame::StartDelayedPlay(int32_t nRow)
{
    if (m_bPlayPending || nRow == -1)
        return;
    const HTMLLIST_ITEM *row = m_pList->GetItem(nRow);
    if (!row)
        return;
    const std::string path = row->sItemPath;
    if (!m_pPlayer)
        return;
    m_pPlayer->Stop();
    Wait(1000);
    m_bPlayPending = true;
    m_szPendingPath = path;
    m_nPendingIndex = nRow;
    StartTimer(IDT_DELAYED_PLAY, 1000);
    // The rest of the double click, and any click until the start, must not reach the list:
    // its mouse input is dropped while the start is pending (see eventFilter).
}

bool CTavloMainFrame::eventFilter(QObject *watched, QEvent *e)
{
    const QEvent::Type type = e->type();
    const bool bMouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                        type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove ||
                        type == QEvent::Wheel;
    if (bMouse && m_bPlayPending && watched == m_pList)
        return true;
    if (watched == m_pVideo0 && type == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
        OnCommand(IDC_VIDEO_MAIN);
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

bool CTavloMainFrame::event(QEvent *e)
{
    const QEvent::Type type = e->type();
    if (type == WM_PLAY_STARTED || type == WM_PLAY_STATUS || type == WM_PLAY_ENDED) {
        const auto *message = static_cast<const CPlayMessage *>(e);
        if (type == WM_PLAY_STARTED)
            OnPlayStarted(uint32_t(message->WParam()));
        else if (type == WM_PLAY_STATUS)
            OnPlayStatus(uint32_t(message->WParam()), int32_t(message->LParam()));
        else
            OnPlayEnded();
        return true;
    }
    if (type == MessageType(WM_SLIDER_MOVING) || type == MessageType(WM_SLIDER_CHANGED)) {
        const auto *message = static_cast<const CWindowMessage *>(e);
        if (!m_bPlayPending) {
            if (type == MessageType(WM_SLIDER_MOVING))
                OnSliderMoving(int(message->WParam()), int(message->LParam()));
            else
                OnSliderChanged(int(message->WParam()), int(message->LParam()));
        }
        return true;
    }
    if (type == WM_OPTION_FORMATTED) {
        OnOptionDlgFormatted();
        return true;
    }
    return QWidget::event(e);
}

void CTavloMainFrame::OnPlayStarted(uint32_t nDuration)
{
    m_pSeek->m_nMinimum = 0;
    m_pSeek->m_nMaximum = int(std::min<uint32_t>(nDuration / 1000 * 1000, INT32_MAX));
    m_pSeek->update();
    if (m_pPlayer) {
        uint32_t count = 0;
        const TEXT_SAMPLE *samples = m_pPlayer->TextSamples(count);
        m_track.BuildTrack(samples ? count : 0, samples);
        // The whole route at once: a seek then only moves the marker, and nothing of the clip
        // before is left on the map.
        m_route = PlausibleRoute(TrackPoints(m_track));
        if (m_pMapWnd)
            m_pMapWnd->SetRoute(m_route);
        m_pPlayer->SetVolume(g_PlayInfor.nVolume);
    }
    UpdateSpeedGraph(nDuration);
    ApplyTripSeek();
    g_PlayInfor.nSpeed = 100;
    m_pSpeed->SetPos(100);
    m_pSpeed->repaint();
    if (m_pPlayer)
        m_pPlayer->SetSpeed(100);
    // With one camera there is nothing to swap: the only picture stays in the large area.
    const bool bTwoCameras = m_pPlayer && m_pPlayer->VideoStreamCount() >= 2;
    if (CTavloButton *button = Button(ID_CHANGE_SCREEN))
        button->setEnabled(bTwoCameras);
    if (!bTwoCameras && !m_bMainIsSlot0) {
        m_bMainIsSlot0 = true;
        Layout();
    }
}

void CTavloMainFrame::OnPlayStatus(uint32_t nPosition, int32_t nState)
{
    if ((nState != CMP_PLAYING && nState != CMP_PAUSED) || m_pSeek->IsDragging())
        return;
    m_pSeek->SetPos(int(std::min<uint32_t>(nPosition, INT32_MAX)));
    m_pSeek->repaint();
}

void CTavloMainFrame::OnPlayEnded()
{
    QString failure;
    if (m_pPlayer) {
        // Nothing was played: the clip could not be opened or none of its streams decoded.
        if (m_pPlayer->StatusPosition() == 0) {
            if (const char *text = m_pPlayer->TakeLastError())
                failure = QString::fromUtf8(text);
        }
        Wait(100);
        if (m_pPlayer->GetState() != CMP_STOPPED)
            m_pPlayer->SeekEngine(0, 0);
        m_pSeek->SetPos(0);
        m_pSeek->repaint();
    }
    // Moving on would flick through a folder of such clips without a word; stay on this one
    // and say why.
    if (!failure.isEmpty()) {
        ShowNotice(failure);
        return;
    }
    StartTimer(IDT_NEXT_CLIP, 200);
}

void CTavloMainFrame::OnSliderMoving(int nControlId, int nPosition)
{
    if (nControlId == IDC_SEEK) {
        m_pSeek->SetPos(nPosition);
        m_pSeek->repaint();
        if (m_pPlayer) {
            if (m_pPlayer->GetState() == CMP_PLAYING) {
                m_pPlayer->Pause();
                Wait(100);
            }
            m_pPlayer->SeekTo(m_pSeek->GetPos());
        }
    } else if (nControlId == IDC_VOLUME) {
        if (m_pPlayer) {
            g_PlayInfor.nVolume = std::min(nPosition, 100);
            m_pPlayer->SetVolume(g_PlayInfor.nVolume);
        }
    }
}

void CTavloMainFrame::OnSliderChanged(int nControlId, int)
{
    if (nControlId != IDC_SPEED)
        return;
    g_PlayInfor.nSpeed = m_pSpeed->GetPos();
    if (m_pPlayer)
        m_pPlayer->SetSpeed(g_PlayInfor.nSpeed);
}

void CTavloMainFrame::ResetView()
{
    if (m_pTrips)
        m_pTrips->Stop();
    m_pCatalog->TrovaListInitial();
    for (int id = ID_CATEGORY_RECORD; id <= ID_CATEGORY_MOTION; ++id)
        if (CTavloButton *button = Button(id))
            button->SetChecked(false);
    // Disabling a slider ends a drag in progress on it.
    m_pSeek->SetEnabled(false);
    m_pSpeed->SetEnabled(false);
    if (CTavloButton *button = Button(ID_FULL_SCREEN))
        button->setEnabled(false);
    if (CTavloButton *button = Button(ID_CHANGE_SCREEN))
        button->setEnabled(true);
    m_pVideo0->hide();
    m_pVideo1->hide();
}
