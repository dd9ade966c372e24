// The main window's map command and its track tick with the real web engine and a playing
// demo clip: the map window is made once, toggled, and fed the clip's fixes while shown or
// hidden. With ROADLOG_SCREENSHOT=FILE the screen is saved once the map follows.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include "app/tavlo_frame.h"
#include "playback/cm_player.h"
#include "recordings/play_infor.h"
#include "telemetry/navi_info.h"
#include "telemetry/tavlo_browser.h"
#include "telemetry/web_browser2.h"
#include "tests/support/demo_card.h"
#include "tests/support/disk_audio.h"
#include "tests/support/pump_events.h"
#include "tests/support/temp_folder.h"
#include "tests/telemetry/web_test_main.h"

namespace {

using namespace std::chrono_literals;

QString FixText(const CTavloNaviInfo &fix)
{
    return QString::asprintf("%0.6f,%0.6f", NaviLatitude(fix), NaviLongitude(fix));
}

TEST(MainFrameMap, TheMapFollowsThePlayingClipShownOrHidden)
{
    SKIP_WITHOUT_DISPLAY();
    CWatchdog watchdog(120s);
    CTempFolder work;
    const std::string card = work / "card/";
    const char *screenshot = std::getenv("ROADLOG_SCREENSHOT");
    ASSERT_TRUE(WriteDemoCard(card, !screenshot));

    CTavloFrame frame(CmPlayerFactory());
    frame.move(0, 0);
    frame.show();
    frame.OpenCardFolder(card);
    ASSERT_GT(frame.Catalog().Category(LIST_RECORD).nCount, 0);

    // The map first, so the short clip is still playing when its page is ready.
    frame.OnCommand(ID_GPS);
    CTavloBrowser *map = frame.MapWindow();
    ASSERT_NE(map, nullptr);
    map->move(frame.width() - map->width() - 20, 60);
    EXPECT_TRUE(map->isVisible());
    ASSERT_TRUE(PumpUntil([&] { return map->IsDocumentComplete(); }, 30s));
    QWebEnginePage *page = map->Browser()->Document();
    const int idle = RunScript(page, "roadlogMap.received.length").toInt();
    Pump(800ms);
    EXPECT_EQ(RunScript(page, "roadlogMap.received.length").toInt(), idle); // nothing plays

    NM_HTMLLIST select;
    select.code = HTMLLIST_SELCHANGED;
    select.nItemNo = 1; // the day's second clip: the drive of the first starts without a fix
    frame.OnListNotify(select);
    frame.OnCommand(ID_PLAY);
    ASSERT_TRUE(PumpUntil([&] { return !frame.Track().IsEmpty(); }))
        << "the demo clip has no GPS track";
    std::set<QString> fixes;
    for (size_t i = 0; i < frame.Track().Count(); ++i)
        fixes.insert(FixText(frame.Track().At(i)));

    // Every tick sends the fix at the playback position.
    ASSERT_TRUE(PumpUntil(
        [&] { return RunScript(page, "roadlogMap.received.length").toInt() >= idle + 3; }, 10s));
    const QString last =
        RunScript(page, "roadlogMap.received[roadlogMap.received.length - 1]").toString();
    EXPECT_TRUE(fixes.count(last)) << last.toStdString();
    const int32_t index = frame.Track().CurrentIndex();
    ASSERT_GE(index, 0);
    EXPECT_LE(frame.Track().At(size_t(index)).dwTime, frame.Player()->PlayPosition() + 400);

    // The clip's whole route is drawn at its start, not built up tick by tick (read together
    // with the window's route, which a short clip's end may have replaced meanwhile).
    const auto pageRouteIsTheWindows = [&] {
        const std::vector<TRACK_POINT> &route = frame.Route();
        if (route.empty())
            return false;
        const QString expected = QString::asprintf("%d:%0.6f,%0.6f", int(route.size()),
                                                   route.back().dLatitude, route.back().dLongitude);
        return RunScript(page, "var r = roadlogMap.route || []; var p = r[r.length - 1] || [0, 0];"
                               " r.length + ':' + p[0].toFixed(6) + ',' + p[1].toFixed(6)")
                   .toString() == expected;
    };
    EXPECT_TRUE(PumpUntil(pageRouteIsTheWindows, 10s));
    EXPECT_EQ(frame.Route().size(), frame.Track().Count()); // the demo drive has no strays

    if (screenshot) {
        Pump(3s); // a few positions on the trail
        QScreen *screen = QGuiApplication::primaryScreen();
        ASSERT_TRUE(screen->grabWindow(0).save(QString::fromLocal8Bit(screenshot)));
    }

    // Paused, the same fix is sent again at every tick.
    frame.OnCommand(ID_PAUSE);
    ASSERT_EQ(frame.Player()->GetState(), CMP_PAUSED);
    Pump(400ms);
    const int before = RunScript(page, "roadlogMap.received.length").toInt();
    Pump(800ms);
    const int after = RunScript(page, "roadlogMap.received.length").toInt();
    EXPECT_GE(after - before, 2);
    EXPECT_EQ(RunScript(page, "roadlogMap.received[roadlogMap.received.length - 1]").toString(),
              RunScript(page, "roadlogMap.received[roadlogMap.received.length - 2]").toString());

    // Hidden, the window stays and is still fed.
    frame.OnCommand(ID_GPS);
    EXPECT_EQ(frame.MapWindow(), map);
    EXPECT_FALSE(map->isVisible());
    const int calls = RunScript(page, "roadlogMap.received.length").toInt();
    Pump(800ms);
    EXPECT_GT(RunScript(page, "roadlogMap.received.length").toInt(), calls);
    frame.OnCommand(ID_GPS);
    EXPECT_EQ(frame.MapWindow(), map);
    EXPECT_TRUE(map->isVisible());
    // The G key is the GPS button.
    QTest::keyClick(&frame, Qt::Key_G);
    EXPECT_FALSE(map->isVisible());
    QTest::keyClick(&frame, Qt::Key_G);
    EXPECT_TRUE(map->isVisible());

    frame.OnCommand(ID_EXIT);
    EXPECT_EQ(frame.MapWindow(), nullptr);
}

} // namespace
