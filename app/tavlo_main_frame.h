#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QBasicTimer>
#include <QEvent>
#include <QFont>
#include <QRect>
#include <QWidget>

#include "app/main_frame_layout.h"
#include "export/ui/clip_menu.h"
#include "playback/frame_player.h"
#include "recordings/html_list_ctrl.h"
#include "recordings/trova_catalog.h"
#include "settings/player_setting.h"
#include "telemetry/clip_track.h"
#include "telemetry/navi_track.h"
#include "widgets/command_owner.h"
#include "widgets/tavlo_bitmap.h"

class CMountWatch;
class CMuteWorker;
class QAction;
class QMenu;
class CSpeedGraph;
class CTripIndex;
class CTavloBrowser;
class CTavloButton;
class CTavloSlider;
class CTavloSwitch;
class VideoSurface;

// Command and control ids of the main window.
enum : int
{
    ID_PREV_MOVIE = 300,
    ID_PLAY = 301,
    ID_PAUSE = 302,
    ID_NEXT_MOVIE = 303,
    ID_PREV_FRAME = 304,
    ID_NEXT_FRAME = 305,
    ID_FAST_PLAY = 306,
    ID_OPEN = 307,
    ID_FULL_SCREEN = 323,
    ID_CAPTURE = 324,
    ID_SETTINGS = 325,
    ID_GPS = 326,
    ID_CHANGE_SCREEN = 327,
    ID_MINIMIZE = 328,
    ID_EXIT = 329,
    ID_RESTORE = 330,
    ID_GPS_FULL = 331,
    ID_SPEED_UP = 452,
    ID_SPEED_DOWN = 453,
    ID_CATEGORY_RECORD = 280,
    ID_CATEGORY_MOTION = 283,
    IDC_VIDEO_MAIN = 401,
    IDC_VIDEO_SUB = 402,
    IDC_SEEK = 410,
    IDC_SPEED = 411,
    IDC_VOLUME = 412,
    IDC_RECORDING_LIST = 415,
    IDC_MUTE = 438,
    ID_LIST_CONTEXT = 32772,
};

// The main window's timers.
enum : int
{
    IDT_TIME_REFRESH = 1, // 300 ms, always running: the time texts and the mute poll
    IDT_NEXT_CLIP = 2,    // 200 ms once, after a clip ended: the next clip
    IDT_TRACK_FOLLOW = 3, // 350 ms, always running: the GPS track and the map
    IDT_DELAYED_PLAY = 4, // 1000 ms once, after a double click on a row
};

// Posted by the main window to itself after the settings sheet formatted the card.
constexpr QEvent::Type WM_OPTION_FORMATTED = QEvent::Type(0x3410);

// The viewer's one top-level window: captionless and skinned, 1020 x 594 in normal mode. It owns
// every control, the catalog with its recording list, and the player wrapper made by the factory
// it was given (none: the window works without playback).
class CTavloMainFrame : public QWidget,
                        public CCommandOwner,
                        public CCatalogOwner,
                        public CHTMLListOwner
{
    Q_OBJECT
public:
    static constexpr int kButtonCount = 23;

    explicit CTavloMainFrame(FramePlayerFactory playerFactory = {}, QWidget *parent = nullptr);
    ~CTavloMainFrame() override;

    // CCommandOwner: the message map.
    void OnCommand(int nId) override;
    // CCatalogOwner
    void OnDriveChoice() override;
    void OnCategoryButtonsChanged() override;
    // CHTMLListOwner
    void OnListNotify(const NM_HTMLLIST &notify) override;

    // Makes root (a folder) the card root and opens it as the drive choice does after OK: card
    // test, then catalog rebuild showing RECORD.
    void OpenCardFolder(const std::string &root);

    // Stops the current clip and plays path: 1 started (or no wrapper), 0 not started.
    int StartClip(const std::string &path);
    // A mount point that disappeared: when the card was on it, or its root is gone, the clip
    // stops and the view is reset.
    void OnVolumeRemoved(const std::string &mountPoint);

    void EnterFullScreen();
    void LeaveFullScreen();

    bool IsFullScreen() const { return m_bFullScreen; }
    bool MainIsSlot0() const { return m_bMainIsSlot0; }
    const QRect &DragArea() const { return m_rcDragArea; }
    // A left press in the caption strip waits for the pointer to move the window.
    bool IsMoveArmed() const { return m_bMoveArmed; }
    // The button of a command id, null when it has none or its strip did not load.
    CTavloButton *Button(int nCommandId) const;
    CTavloSlider *SeekSlider() const { return m_pSeek; }
    CTavloSlider *SpeedSlider() const { return m_pSpeed; }
    CTavloSlider *VolumeSlider() const { return m_pVolume; }
    CTavloSwitch *MuteSwitch() const { return m_pMute; }
    QWidget *VideoWindow(int nId) const { return nId == IDC_VIDEO_MAIN ? m_pVideo0 : m_pVideo1; }
    CHTMLListCtrl *RecordingList() const { return m_pList; }
    const CTrovaCatalog &Catalog() const { return *m_pCatalog; }
    CFramePlayer *Player() const { return m_pPlayer.get(); }
    CTavloBrowser *MapWindow() const { return m_pMapWnd.get(); }
    const CTavloNaviTrack &Track() const { return m_track; }
    CSpeedGraph *SpeedGraph() const { return m_pSpeedGraph; }
    const CTripIndex *Trips() const { return m_pTrips.get(); }
    // Draws the trip of the playing clip on the map, its part highlighted; false while the
    // card's trips are still being read, without a map window or a clip with fixes.
    bool ShowWholeTrip();
    // A click on the drawn trip: clip index in the trip and time in it.
    void OnTripClick(size_t nClip, uint32_t nTimeMs);
    const std::vector<TRACK_POINT> &Route() const { return m_route; }
    bool IsPlayPending() const { return m_bPlayPending; }
    // The rectangle the last paint composed off-screen.
    const QRect &LastComposedRect() const { return m_rcLastComposed; }
    bool IsTimerActive(int nTimerId) const;

protected:
    // Runs the drive choice dialog; true when it ended with OK.
    virtual bool ChooseDrive();
    // The warning box with the program's title.
    virtual void ShowWarning(const QString &text);
    // The self-closing notification, shown once the current event has been handled.
    virtual void ShowNotice(const QString &text);
    // The settings sheet on the card at root.
    virtual SETTINGS_OUTCOME RunSettings(const std::string &root);
    // The Capture command and a click on video window 401.
    virtual void CaptureFrameToFile();
    virtual void CaptureFrameToViewer();
    // The recording list's context menu at the pointer: the entry chosen, None when dismissed;
    // then the chosen entry's dialog.
    virtual CLIP_MENU_CHOICE ChooseFromClipMenu(QMenu &menu);
    virtual void RunClipChoice(CLIP_MENU_CHOICE choice, const CLIP_MENU_TARGET &target);
    // The map window's context menu at the pointer: the action chosen, null when dismissed.
    virtual QAction *ChooseFromMapMenu(QMenu &menu);

    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

    // The keys of desktop players; keys a focused slider or the list uses stay theirs.
    void keyPressEvent(QKeyEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    struct COMMAND_ENTRY
    {
        int nFirst, nLast;
        void (CTavloMainFrame::*pHandler)(int nId);
    };
    static const COMMAND_ENTRY kCommandMap[];

    void OnBtnControl(int nId);
    void OnOpen(int nId);
    void OnCategory(int nId);
    void OnCapture(int nId);
    void OnSettings(int nId);
    void OnMapWindow(int nId);
    void OnChangeScreen(int nId);
    void OnQuickCapture(int nId);
    void OnMute(int nId);
    void OnNothing(int nId);
    void OnMinimize(int nId);
    void OnExit(int nId);
    void OnFullScreen(int nId);
    void OnRestore(int nId);

    void CreateButtons();
    void CreateControls();
    void ApplyCardChoice();
    // The catalog reset and the controls reset that goes with it.
    void ResetView();

    void OnPlay();
    void OnPause();
    void OnPrevNextMovie(int nId);
    void OnPrevFrame();
    void OnFastPlay();
    void StartDelayedPlay(int32_t nRow);
    void ShowClipMenu(int32_t nRow);
    // The speed graph under the map window's panel and the window's context menu, made with
    // the map window.
    void AttachMapExtras();
    void ShowMapMenu(const QPoint &globalPos);
    // While a trip is drawn: the page's last route click is collected at every track tick.
    void CollectTripClick();
    // A clip started from the trip goes to the clicked time once it has started.
    void ApplyTripSeek();
    void UpdateSpeedGraph(uint32_t nDuration);
    // Every clip's fixes read in the background after a card was opened; trips come from them.
    void StartTripIndex();
    void OnPlayStarted(uint32_t nDuration);
    void OnPlayStatus(uint32_t nPosition, int32_t nState);
    void OnPlayEnded();
    void OnSliderMoving(int nControlId, int nPosition);
    void OnSliderChanged(int nControlId, int nPosition);
    void OnOptionDlgFormatted();
    void OnTimeRefresh();
    void OnNextClipTimer();
    void OnTrackFollow();
    void OnDelayedPlay();
    // The seek and speed sliders and the Full Screen button, after a clip started.
    void EnablePlaybackControls();
    // The sound server's mute and the mount watch; the mute switch shows on exactly when the
    // mute can be read and says unmuted.
    void InitDevices();
    // An answer of the mute worker, on the window thread: the switch follows the system.
    void OnMuteRead(bool bRead, bool bMuted);
    void StartTimer(int nTimerId, int nPeriodMs);
    void KillTimer(int nTimerId);
    void RepaintNow(const QRect &area);
    void Layout();
    void PlaceVideo(const FRAME_LAYOUT &layout);
    // The window in the large area (the one shown in full screen) and the other one.
    QWidget *MainVideo() const { return m_bMainIsSlot0 ? m_pVideo0 : m_pVideo1; }
    QWidget *SmallVideo() const { return m_bMainIsSlot0 ? m_pVideo1 : m_pVideo0; }
    // What a clip shows: both windows in normal mode, the large one alone in full screen.
    void ShowClipVideo(bool bShow);
    // The clip started last; its name is repainted at once in full screen.
    void SetPlayFile(const std::string &path);
    bool PlayerShowsVideo() const;
    // The waits of the window thread are plain sleeps: the engine settles meanwhile.
    static void Wait(int nMs);
    void PaintNormal(QPainter &dc);
    void PaintFullScreen(QPainter &dc);
    void PaintTimes(QPainter &dc);

    QRect m_rcSavedWindow;
    QRect m_rcDragArea;
    QRect m_rcLastComposed;
    FRAME_LAYOUT m_layout;
    bool m_bFullScreen = false;
    bool m_bMainIsSlot0 = true;
    bool m_bPlayPending = false; // a double-clicked clip waits for its delayed start
    int32_t m_nPendingIndex = -1;
    std::string m_szPendingPath;
    std::array<QBasicTimer, 5> m_timers; // by timer id
    int m_nMuteTick = 0;                 // ticks of IDT_TIME_REFRESH since the last mute poll
    bool m_bMoveArmed = false;           // left button went down in the caption strip
    QPoint m_ptPress;
    QFont m_textFont;

    CTavloBitmap m_bmBackground;
    CTavloBitmap m_bmFullScreenBar;
    std::array<CTavloBitmap, 11> m_bmPieces;

    std::array<CTavloButton *, kButtonCount> m_pButtons{};
    QWidget *m_pVideo0 = nullptr;
    QWidget *m_pVideo1 = nullptr;
    VideoSurface *m_pSurface0 = nullptr;
    VideoSurface *m_pSurface1 = nullptr;
    CTavloSlider *m_pSeek = nullptr;
    CTavloSlider *m_pSpeed = nullptr;
    CTavloSlider *m_pVolume = nullptr;
    CTavloSwitch *m_pMute = nullptr;
    CHTMLListCtrl *m_pList = nullptr;
    std::unique_ptr<CTrovaCatalog> m_pCatalog;
    FramePlayerFactory m_playerFactory;
    std::unique_ptr<CFramePlayer> m_pPlayer;
    CTavloNaviTrack m_track;
    std::vector<TRACK_POINT> m_route; // the track's fixes as drawn on the map, strays left out
    // Made by the first map command, hidden but never destroyed until the window goes.
    std::unique_ptr<CTavloBrowser> m_pMapWnd;
    std::unique_ptr<CMuteWorker> m_pMuteWorker; // reads and sets the mute off the window thread
    CSpeedGraph *m_pSpeedGraph = nullptr;       // child of the map window
    std::unique_ptr<CTripIndex> m_pTrips;
    std::vector<std::string> m_tripShown; // clips of the trip drawn on the map, in order
    std::string m_strTripSeekPath;        // a clip started from the trip, and where it goes
    uint32_t m_nTripSeekMs = 0;
    std::unique_ptr<CMountWatch> m_pMountWatch; // reports each removed volume to OnVolumeRemoved
};
