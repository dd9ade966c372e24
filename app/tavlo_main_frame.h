#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/controls/command_owner.h"
#include "app/controls/tavlo_bitmap.h"
#include "app/frame_player.h"
#include "app/main_frame_layout.h"
#include "recordings/html_list_ctrl.h"
#include "recordings/trova_catalog.h"

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
};

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

protected:
    // Runs the drive choice dialog; true when it ended with OK.
    virtual bool ChooseDrive();

    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
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

    void OnOpen(int nId);
    void OnCategory(int nId);
    void OnMinimize(int nId);
    void OnExit(int nId);
    void OnFullScreen(int nId);
    void OnRestore(int nId);

    void CreateButtons();
    void CreateControls();
    void ApplyCardChoice();
    // The catalog reset and the controls reset that goes with it.
    void ResetView();
    void Layout();
    void PlaceVideo(const FRAME_LAYOUT &layout);
    bool PlayerShowsVideo() const;
    void PaintNormal(QPainter &dc);
    void PaintFullScreen(QPainter &dc);
    void PaintTimes(QPainter &dc);

    QRect m_rcSavedWindow;
    QRect m_rcDragArea;
    FRAME_LAYOUT m_layout;
    bool m_bFullScreen = false;
    bool m_bMainIsSlot0 = true;
    bool m_bPlayPending = false; // a double-clicked clip waits for its delayed start
    bool m_bMoveArmed = false;   // left button went down in the caption strip
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
};
