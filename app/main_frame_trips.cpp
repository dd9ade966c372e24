// The speed graph under the map window's panel, the card's trips read in the background and
// the whole trip drawn on the map.
#include <functional>

#include <QChildEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>

#include "app/tavlo_main_frame.h"
#include "graphs/speed_graph.h"
#include "recordings/play_infor.h"
#include "telemetry/tavlo_browser.h"
#include "telemetry/web_browser2.h"
#include "trips/trip_index.h"
#include "trips/trip_route.h"

namespace {

// The web view draws the map in a child widget it makes when the page starts; a right press
// there (which the page keeps from becoming its own menu) opens the map window's menu too.
class CRightPressWatch : public QObject
{
public:
    CRightPressWatch(QWidget *view, std::function<void(const QPoint &)> onPress)
        : QObject(view), m_onPress(std::move(onPress))
    {
        Watch(view);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::ChildAdded) {
            if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(e)->child()))
                Watch(child);
        } else if (e->type() == QEvent::MouseButtonPress &&
                   static_cast<QMouseEvent *>(e)->button() == Qt::RightButton) {
            m_onPress(static_cast<QMouseEvent *>(e)->globalPosition().toPoint());
        }
        return QObject::eventFilter(watched, e);
    }

private:
    void Watch(QWidget *widget)
    {
        widget->installEventFilter(this);
        for (QWidget *child : widget->findChildren<QWidget *>())
            child->installEventFilter(this);
    }

    std::function<void(const QPoint &)> m_onPress;
};

} // namespace

void CTavloMainFrame::AttachMapExtras()
{
    if (!m_pMapWnd || m_pSpeedGraph)
        return;
    m_pSpeedGraph = new CSpeedGraph(m_pMapWnd.get());
    m_pMapWnd->setFixedSize(CTavloBrowser::WINDOW_WIDTH,
                            CTavloBrowser::WINDOW_HEIGHT + CSpeedGraph::kHeight);
    m_pSpeedGraph->setGeometry(0, CTavloBrowser::WINDOW_HEIGHT, CTavloBrowser::WINDOW_WIDTH,
                               CSpeedGraph::kHeight);
    m_pSpeedGraph->SetSeekHandler([this](uint32_t nPositionMs) {
        if (m_pPlayer && !m_bPlayPending)
            m_pPlayer->SeekTo(nPositionMs);
    });
    m_pSpeedGraph->show();
    UpdateSpeedGraph(m_pPlayer ? m_pPlayer->PlayDuration() : 0);
    if (m_pPlayer)
        m_pSpeedGraph->SetPosition(m_pPlayer->PlayPosition());
    // The page keeps its own menu off; a right click on the panel or the graph opens this one.
    m_pMapWnd->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pMapWnd.get(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ShowMapMenu(m_pMapWnd->mapToGlobal(pos)); });
    if (QWidget *view = m_pMapWnd->Browser())
        new CRightPressWatch(view, [this](const QPoint &at) {
            // After the press has reached the page, not inside its delivery.
            QMetaObject::invokeMethod(
                this, [this, at] { ShowMapMenu(at); }, Qt::QueuedConnection);
        });
}

QAction *CTavloMainFrame::ChooseFromMapMenu(QMenu &menu)
{
    return menu.exec(QCursor::pos());
}

void CTavloMainFrame::ShowMapMenu(const QPoint &)
{
    QMenu menu(m_pMapWnd.get());
    QAction *whole = menu.addAction(QStringLiteral("Show whole trip"));
    whole->setEnabled(m_pTrips && !m_pTrips->TripOf(g_PlayInfor.strPlayFile).empty());
    if (ChooseFromMapMenu(menu) == whole && whole->isEnabled())
        ShowWholeTrip();
}

void CTavloMainFrame::UpdateSpeedGraph(uint32_t nDuration)
{
    if (!m_pSpeedGraph)
        return;
    std::vector<SPEED_SAMPLE> samples;
    samples.reserve(m_track.Count());
    for (size_t i = 0; i < m_track.Count(); ++i)
        samples.push_back({m_track.At(i).dwTime, m_track.At(i).fSpeed});
    m_pSpeedGraph->SetTrack(std::move(samples), nDuration);
}

void CTavloMainFrame::StartTripIndex()
{
    if (!m_pTrips)
        m_pTrips = std::make_unique<CTripIndex>();
    m_tripShown.clear();
    std::vector<std::vector<std::string>> categories(kListTypeCount);
    for (int32_t c = 0; c < kListTypeCount; ++c) {
        for (const TROVA_ITEM &item : m_pCatalog->Category(c).items)
            categories[size_t(c)].push_back(item.strFullPath);
    }
    m_pTrips->Start(std::move(categories));
}

bool CTavloMainFrame::ShowWholeTrip()
{
    if (!m_pMapWnd || !m_pTrips)
        return false;
    const std::vector<std::string> trip = m_pTrips->TripOf(g_PlayInfor.strPlayFile);
    if (trip.empty())
        return false;
    std::vector<std::vector<FIX_POINT>> clips;
    int current = -1;
    for (const std::string &clip : trip) {
        if (clip == g_PlayInfor.strPlayFile)
            current = int(clips.size());
        clips.push_back(m_pTrips->FixesOf(clip));
    }
    m_tripShown = trip;
    return m_pMapWnd->CallScript(QStringLiteral("showTrip"),
                                 {QString::fromStdString(TripRouteJson(clips, current))});
}

void CTavloMainFrame::CollectTripClick()
{
    if (m_tripShown.empty() || !m_pMapWnd || !m_pMapWnd->IsDocumentComplete())
        return;
    m_pMapWnd->CallScript(QStringLiteral("takeTripClick"), {}, [this](const QVariant &value) {
        size_t clip = 0;
        uint32_t timeMs = 0;
        if (ParseTripClick(value.toString().toStdString(), m_tripShown.size(), &clip, &timeMs))
            OnTripClick(clip, timeMs);
    });
}

void CTavloMainFrame::OnTripClick(size_t nClip, uint32_t nTimeMs)
{
    if (nClip >= m_tripShown.size() || !m_pPlayer || m_bPlayPending)
        return;
    const std::string path = m_tripShown[nClip];
    if (path == g_PlayInfor.strPlayFile && m_pPlayer->GetState() != CMP_STOPPED) {
        m_pPlayer->SeekTo(nTimeMs);
        return;
    }
    m_strTripSeekPath = path;
    m_nTripSeekMs = nTimeMs;
    if (!StartClip(path))
        m_strTripSeekPath.clear();
}

void CTavloMainFrame::ApplyTripSeek()
{
    if (!m_tripShown.empty())
        ShowWholeTrip(); // the highlight follows the playing clip
    if (m_strTripSeekPath.empty() || m_strTripSeekPath != g_PlayInfor.strPlayFile || !m_pPlayer)
        return;
    m_strTripSeekPath.clear();
    if (m_nTripSeekMs > 0)
        m_pPlayer->SeekTo(m_nTripSeekMs);
}
