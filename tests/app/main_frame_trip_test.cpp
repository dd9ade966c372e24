// The whole trip on the map and the speed graph under the panel, with the real web engine and
// a playing demo clip (under Xvfb).
#include <chrono>
#include <string>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include "app/tavlo_frame.h"
#include "graphs/speed_graph.h"
#include "playback/cm_player.h"
#include "recordings/play_infor.h"
#include "telemetry/tavlo_browser.h"
#include "telemetry/web_browser2.h"
#include "tests/support/demo_card.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"
#include "tests/telemetry/web_test_main.h"
#include "trips/trip_index.h"

namespace {

using namespace std::chrono_literals;

// The map window's menu answered by the test: the entry whose text it names, or none.
class CTripFrame : public CTavloFrame
{
public:
    using CTavloFrame::CTavloFrame;
    QString choose;
    std::vector<bool> offeredEnabled;

protected:
    bool ChooseDrive() override { return false; }
    QAction *ChooseFromMapMenu(QMenu &menu) override
    {
        for (QAction *action : menu.actions()) {
            if (action->text() == QStringLiteral("Show whole trip"))
                offeredEnabled.push_back(action->isEnabled());
            if (action->text() == choose)
                return action;
        }
        return nullptr;
    }
};

void RightClick(QWidget *w, QPoint pt)
{
    QContextMenuEvent e(QContextMenuEvent::Mouse, pt, w->mapToGlobal(pt));
    QApplication::sendEvent(w, &e);
}

TEST(MainFrameTrip, WholeTripDrawnAndAClickOnItStartsTheClipThere)
{
    SKIP_WITHOUT_DISPLAY();
    CTempFolder work;
    const std::string card = work / "card/";
    ASSERT_TRUE(WriteDemoCard(card, false));
    CTripFrame frame(CmPlayerFactory());
    frame.show();
    frame.OpenCardFolder(card);
    ASSERT_NE(frame.Trips(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return frame.Trips()->IsReady(); }, 20s));

    // The day's first three RECORD clips follow each other: one trip.
    const auto &record = frame.Catalog().Category(LIST_RECORD).items;
    std::string first;
    for (const TROVA_ITEM &item : record)
        if (item.strFileName == "R_20101011_134500.avi")
            first = item.strFullPath;
    ASSERT_FALSE(first.empty());
    const std::vector<std::string> trip = frame.Trips()->TripOf(first);
    ASSERT_EQ(trip.size(), 3u);
    EXPECT_EQ(trip[0], first);

    frame.OnCommand(ID_GPS);
    CTavloBrowser *map = frame.MapWindow();
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return map->IsDocumentComplete(); }, 30s));
    CSpeedGraph *graph = frame.SpeedGraph();
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->geometry(), QRect(0, CTavloBrowser::WINDOW_HEIGHT, CTavloBrowser::WINDOW_WIDTH,
                                       CSpeedGraph::kHeight));
    EXPECT_EQ(map->height(), CTavloBrowser::WINDOW_HEIGHT + CSpeedGraph::kHeight);

    // No clip plays: the entry is there but cannot be chosen.
    frame.choose = QStringLiteral("Show whole trip");
    RightClick(map, QPoint(100, 400));
    ASSERT_EQ(frame.offeredEnabled.size(), 1u);
    EXPECT_FALSE(frame.offeredEnabled[0]);
    // A right press on the map picture itself (the view's drawing child) opens it as well.
    frame.choose.clear();
    QWidget *picture = map->Browser()->focusProxy() ? map->Browser()->focusProxy() : map->Browser();
    const QPoint inside(picture->width() / 2, picture->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, inside, picture->mapToGlobal(inside),
                      Qt::RightButton, Qt::RightButton, {});
    QApplication::sendEvent(picture, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, picture->mapToGlobal(inside),
                        Qt::RightButton, Qt::NoButton, {});
    QApplication::sendEvent(picture, &release);
    ASSERT_TRUE(PumpUntil([&] { return frame.offeredEnabled.size() == 2u; }, 5s));
    frame.offeredEnabled.pop_back();
    frame.choose = QStringLiteral("Show whole trip");

    ASSERT_EQ(frame.StartClip(trip[1]), 1);
    ASSERT_TRUE(PumpUntil([&] { return frame.Player()->GetState() == CMP_PLAYING; }, 10s));
    ASSERT_TRUE(PumpUntil([&] { return graph->Position() > 500; }, 10s))
        << "the graph's mark follows the playing position";

    RightClick(graph, QPoint(50, 20)); // the graph's own menu is the window's
    ASSERT_EQ(frame.offeredEnabled.size(), 2u);
    EXPECT_TRUE(frame.offeredEnabled[1]);
    QWebEnginePage *page = map->Browser()->Document();
    ASSERT_TRUE(PumpUntil(
        [&] {
            return RunScript(page, "roadlogTrip.layer ? roadlogTrip.layer.getLayers().length : 0")
                       .toInt() == 3;
        },
        10s));
    EXPECT_EQ(RunScript(page, "roadlogTrip.layer.getLayers()[1].options.color").toString(),
              QStringLiteral("#ffa400"))
        << "the playing clip's part is highlighted";

    // A click on the first clip's route at 5 s: that clip starts and goes there.
    RunScript(page, "roadlogTrip.clicked = '0,5000'");
    ASSERT_TRUE(PumpUntil(
        [&] {
            return g_PlayInfor.strPlayFile == trip[0] &&
                   frame.Player()->GetState() == CMP_PLAYING &&
                   frame.Player()->PlayPosition() >= 5000;
        },
        15s))
        << g_PlayInfor.strPlayFile << " at " << frame.Player()->PlayPosition();
    ASSERT_TRUE(PumpUntil(
        [&] {
            return RunScript(page, "roadlogTrip.layer.getLayers()[0].options.color").toString() ==
                   QStringLiteral("#ffa400");
        },
        5s))
        << "the highlight follows the playing clip";

    // A click on the speed graph seeks the playing clip.
    const int x = SpeedGraphX(2000, frame.Player()->PlayDuration(), graph->width());
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(x, graph->height() / 2));
    ASSERT_TRUE(PumpUntil([&] { return frame.Player()->PlayPosition() < 4500; }, 5s));
    frame.OnCommand(ID_EXIT);
}

} // namespace
