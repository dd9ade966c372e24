#include "app/main_frame_layout.h"

#include <algorithm>

#include <QFileInfo>

namespace {
const QPoint kNormalPanelButtons[8] = {{211, 524}, {267, 524}, {322, 524}, {377, 524},
                                       {432, 524}, {487, 524}, {542, 524}, {597, 524}};
} // namespace

FRAME_LAYOUT NormalFrameLayout()
{
    FRAME_LAYOUT l;
    l.rcMainVideo = QRect(QPoint(11, 78), QPoint(647, 434));
    l.rcSmallVideo = QRect(QPoint(11, 444), QPoint(195, 581));
    std::copy(std::begin(kNormalPanelButtons), std::end(kNormalPanelButtons), l.ptPanelButton);
    l.rcSeek = QRect(278, 444, 303, 25);
    l.rcSpeed = QRect(242, 492, 102, 14);
    l.rcVolume = QRect(567, 492, 72, 14);
    l.ptSpeedDown = QPoint(218, 496);
    l.ptSpeedUp = QPoint(354, 492);
    l.ptMute = QPoint(544, 491);
    l.ptMinimize = QPoint(957, 10);
    l.ptExit = QPoint(985, 10);
    l.ptRestore = QPoint(974, 2);
    l.ptGps = QPoint(0, 0);
    l.rcPositionText = QRect(QPoint(218, 450), QPoint(287, 464));
    l.rcDurationText = QRect(QPoint(584, 450), QPoint(653, 464));
    l.rcTimeArea = QRect(QPoint(218, 450), QPoint(653, 464));
    l.nPanelY = FRAME_HEIGHT - PANEL_HEIGHT;
    return l;
}

QRect FullScreenVideoRect(int W, int H, bool bMainIsSlot0)
{
    const int Wv = W, Hv = H - 152;
    const int baseW = bMainIsSlot0 ? 1280 : 640;
    const int baseH = bMainIsSlot0 ? 720 : 480;
    int width = baseW, height = baseH;
    if (Wv < baseW || Hv < baseH) {
        const float scale = static_cast<float>(std::min(double(Wv) / baseW, double(Hv) / baseH));
        width = static_cast<int>(baseW * scale);
        height = static_cast<int>(baseH * scale);
    }
    return QRect((Wv - width) / 2, (Hv - height) / 2 + DRAG_AREA_HEIGHT, std::max(width, 0),
                 std::max(height, 0));
}

FRAME_LAYOUT FullScreenFrameLayout(int W, int H, bool bMainIsSlot0)
{
    FRAME_LAYOUT l;
    const int Y = H - PANEL_HEIGHT;
    l.nPanelY = Y;
    l.rcMainVideo = FullScreenVideoRect(W, H, bMainIsSlot0);
    for (int k = 0; k < 8; ++k)
        l.ptPanelButton[k] = QPoint(W - 447 + 56 * k, Y + 47);
    l.rcSeek = QRect(80, Y + 60, W - 627, 25);
    l.rcPositionText = QRect(QPoint(0, Y + 66), QPoint(79, Y + 80));
    l.rcDurationText = QRect(QPoint(W - 547, Y + 66), QPoint(W - 468, Y + 80));
    l.rcTimeArea = QRect(QPoint(0, Y + 66), QPoint(W - 468, Y + 80));
    l.rcFileName = QRect(QPoint(61, Y + 14), QPoint(560, Y + 33));
    l.ptSpeedDown = QPoint(W - 500, Y + 18);
    l.rcSpeed = QRect(W - 480, Y + 14, 200, 14);
    l.ptSpeedUp = QPoint(W - 276, Y + 14);
    l.rcVolume = QRect(W - 157, Y + 14, 147, 14);
    l.ptMute = QPoint(W - 177, Y + 14);
    l.ptMinimize = QPoint(W - 63, 10);
    l.ptExit = QPoint(W - 35, 10);
    l.ptRestore = QPoint(W - 156, 10);
    l.ptGps = QPoint(W - 240, 10);
    return l;
}

QString FormatPlayTime(uint32_t ms)
{
    return QString::asprintf("%02u:%02u:%02u", ms / 3600000u, (ms / 60000u) % 60u,
                             (ms / 1000u) % 60u);
}

QString FullScreenFileName(const std::string &path)
{
    const QString text = QString::fromStdString(path);
    if (text.size() <= 5)
        return {};
    const QFileInfo info(text);
    const QString name = info.completeBaseName();
    const QString extension = info.suffix();
    if (name.isEmpty() || extension.isEmpty())
        return {};
    return name + QLatin1Char('.') + extension;
}
