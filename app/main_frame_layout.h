#pragma once

#include <cstdint>
#include <string>

#include <QPoint>
#include <QRect>
#include <QString>

// Where the main window puts its moving parts, in client pixels, for one mode and size.
struct FRAME_LAYOUT
{
    QRect rcMainVideo;  // the large video area (normal) or the video (full screen)
    QRect rcSmallVideo; // normal mode only; empty in full screen (the other window is hidden)
    QPoint ptPanelButton[8];
    QRect rcSeek, rcSpeed, rcVolume;
    QPoint ptSpeedDown, ptSpeedUp, ptMute;
    QPoint ptMinimize, ptExit, ptRestore, ptGps;
    QRect rcPositionText, rcDurationText, rcTimeArea;
    QRect rcFileName; // the playing clip's name, full screen only; empty in normal mode
    int nPanelY = 0;  // top of the control panel in full screen
};

inline constexpr int FRAME_WIDTH = 1020;
inline constexpr int FRAME_HEIGHT = 594;
inline constexpr int DRAG_AREA_HEIGHT = 46;
inline constexpr int PANEL_HEIGHT = 106;

FRAME_LAYOUT NormalFrameLayout();
// W x H is the client size. bMainIsSlot0 chooses the base video size: 1280 x 720 for window
// 401, 640 x 480 for 402.
FRAME_LAYOUT FullScreenFrameLayout(int W, int H, bool bMainIsSlot0);
// The video rectangle alone.
QRect FullScreenVideoRect(int W, int H, bool bMainIsSlot0);

// Milliseconds as "hh:mm:ss"; hours above 99 take more digits.
QString FormatPlayTime(uint32_t ms);

// The file name full-screen mode shows for the clip path: name and extension without folder,
// empty when the path has 5 characters or fewer or lacks a name or an extension.
QString FullScreenFileName(const std::string &path);
