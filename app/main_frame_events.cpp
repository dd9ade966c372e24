// The main window's timers and system events: time texts and mute poll, the next clip, the GPS
// track and map, the delayed start of a double-clicked row, card removal and card format.
#include <cstdio>

#include <QCoreApplication>
#include <QTimerEvent>

#include "app/devices/mount_watch.h"
#include "app/devices/mute_worker.h"
#include "app/tavlo_main_frame.h"
#include "graphs/speed_graph.h"
#include "platform/file_exists.h"
#include "platform/trace.h"
#include "platform/wide_text.h"
#include "playback/frame_capture.h"
#include "recordings/play_infor.h"
#include "telemetry/tavlo_browser.h"
#include "widgets/tavlo_button.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/tavlo_slider.h"
#include "widgets/tavlo_switch.h"
#include "widgets/warning_box.h"

void CTavloMainFrame::StartTimer(int nTimerId, int nPeriodMs)
{
    // Starting a running timer restarts it.
    m_timers[size_t(nTimerId)].start(nPeriodMs, this);
}

void CTavloMainFrame::KillTimer(int nTimerId)
{
    m_timers[size_t(nTimerId)].stop();
}

bool CTavloMainFrame::IsTimerActive(int nTimerId) const
{
    return nTimerId > 0 && size_t(nTimerId) < m_timers.size() &&
           m_timers[size_t(nTimerId)].isActive();
}

void CTavloMainFrame::timerEvent(QTimerEvent *e)
{
    const auto id = e->timerId();
    if (id == m_timers[IDT_TIME_REFRESH].timerId())
        OnTimeRefresh();
    else if (id == m_timers[IDT_NEXT_CLIP].timerId())
        OnNextClipTimer();
    else if (id == m_timers[IDT_TRACK_FOLLOW].timerId())
        OnTrackFollow();
    else if (id == m_timers[IDT_DELAYED_PLAY].timerId())
        OnDelayedPlay();
    else
        QWidget::timerEvent(e);
}

void CTavloMainFrame::RepaintNow(const QRect &area)
{
    repaint(area);
}

void CTavloMainFrame::OnTimeRefresh()
{
    // The mute poll: the sixth tick, then every fifth (every 1.5 s). The worker answers later,
    // so a sound server that hangs does not hold the window up.
    if (m_nMuteTick > 4) {
        m_pMuteWorker->RequestRead();
        m_nMuteTick = 1;
    } else {
        ++m_nMuteTick;
    }
    RepaintNow(m_layout.rcPositionText.united(m_layout.rcDurationText));
}

void CTavloMainFrame::OnNextClipTimer()
{
    // Handled at a later tick, once the pending start has run.
    if (m_bPlayPending)
        return;
    KillTimer(IDT_NEXT_CLIP);
    QMetaObject::invokeMethod(
        this, [this] { OnCommand(ID_NEXT_MOVIE); }, Qt::QueuedConnection);
}

void CTavloMainFrame::OnTrackFollow()
{
    if (m_bPlayPending || !m_pPlayer)
        return;
    if (m_pSpeedGraph && PlayerShowsVideo())
        m_pSpeedGraph->SetPosition(m_pPlayer->PlayPosition());
    CollectTripClick();
    if (!PlayerShowsVideo() || m_track.IsEmpty()) {
        RepaintNow(m_layout.rcTimeArea);
        return;
    }
    const int32_t index = m_track.FindNaviIndex(int32_t(m_pPlayer->PlayPosition()));
    RepaintNow(m_layout.rcTimeArea);
    if (index < 0 || size_t(index) >= m_track.Count())
        return;
    // The map is fed on every tick, shown or hidden, also when the fix did not change. Its
    // marker stays on the drawn route; the panel shows the fix as the clip holds it.
    if (m_pMapWnd) {
        const int32_t onRoute = RouteIndexAt(m_route, m_track.At(size_t(index)).dwTime);
        FollowNaviOnMap(*m_pMapWnd, m_track.At(size_t(index)), g_PlayInfor.bMapAllowed,
                        onRoute < 0 ? nullptr : &m_route[size_t(onRoute)]);
    }
}

void CTavloMainFrame::OnDelayedPlay()
{
    KillTimer(IDT_DELAYED_PLAY);
    m_bPlayPending = false;
    if (!m_pPlayer)
        return;
    if (m_pPlayer->GetState() != CMP_STOPPED ||
        !m_pPlayer->Play(Utf8ToWide(m_szPendingPath).c_str())) {
        ShowWarning(QStringLiteral("Can not Play"));
        return;
    }
    EnablePlaybackControls();
    ShowClipVideo(true);
    m_pCatalog->ClipStartedFromList(m_nPendingIndex);
    SetPlayFile(m_szPendingPath);
}

void CTavloMainFrame::ShowWarning(const QString &text)
{
    ShowWarningBox(this, text);
}

void CTavloMainFrame::ShowNotice(const QString &text)
{
    // Not from inside the handler: the ended message is sent, and the status thread waits for it.
    QMetaObject::invokeMethod(
        this, [this, text] { ShowNotification(this, text); }, Qt::QueuedConnection);
}

void CTavloMainFrame::OnVolumeRemoved(const std::string &mountPoint)
{
    const std::string root = g_PlayInfor.strRootPath;
    if (root.empty())
        return;
    // A mount point left behind as an empty folder still exists: the card is gone when its
    // volume was one of those removed, or when its root cannot be found any more.
    if (PathExists(root) && !IsPathOnMount(root, mountPoint))
        return;
    g_PlayInfor.strRootPath.clear();
    if (m_pPlayer && m_pPlayer->GetState() != CMP_STOPPED) {
        m_pPlayer->Stop();
        Wait(1000);
    }
    ResetView();
}

void CTavloMainFrame::OnOptionDlgFormatted()
{
    Trace(L"OnOptionDlgFormatted\r\n");
    ResetView();
}

void CTavloMainFrame::InitDevices()
{
    m_pMountWatch = std::make_unique<CMountWatch>(
        [this](const std::string &mountPoint) { OnVolumeRemoved(mountPoint); });
    m_pMountWatch->Start();
    // The switch shows off until the first answer says the sound is on; without a sound server
    // now, later reads try again.
    m_pMute->SetState(0);
    m_pMuteWorker = std::make_unique<CMuteWorker>([this](bool bRead, bool bMuted) {
        QMetaObject::invokeMethod(
            this, [this, bRead, bMuted] { OnMuteRead(bRead, bMuted); }, Qt::QueuedConnection);
    });
    m_pMuteWorker->RequestRead();
}

void CTavloMainFrame::OnMuteRead(bool bRead, bool bMuted)
{
    const bool bSwitchOn = m_pMute->GetState() != 0;
    if (bRead && bSwitchOn == bMuted) {
        m_pMute->SetState(bMuted ? 0 : 1);
        m_pMute->repaint();
    }
}

void CTavloMainFrame::CaptureFrameToFile()
{
    CaptureToFile(this, m_pPlayer.get(), m_bMainIsSlot0);
}

void CTavloMainFrame::CaptureFrameToViewer()
{
    CaptureToViewer(m_pPlayer.get(), m_bMainIsSlot0);
}
