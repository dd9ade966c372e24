#include <memory>
#include <vector>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include "telemetry/clip_track.h"
#include "telemetry/navi_info.h"
#include "telemetry/tavlo_browser.h"
#include "telemetry/web_browser2.h"
#include "web_test_main.h"

namespace {

constexpr int kLoadTimeoutMs = 30000;
constexpr const wchar_t *kFix =
    L"G$GPRMC,143300.000,A,3730.1234,N,12701.5000,E,10.5,359.9,120510,,,A*00";

std::vector<QString> g_boxes; // texts of the failure boxes shown, in order

MAP_WINDOW_OPTIONS CountingOptions(const QString &url = {})
{
    MAP_WINDOW_OPTIONS options;
    options.strPageUrl = url;
    options.isOffline = [] { return false; };
    options.failureBox = [](QWidget *, const QString &text) { g_boxes.push_back(text); };
    return options;
}

bool AnyMenuShown()
{
    if (QApplication::activePopupWidget())
        return true;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMenu *>(w) && w->isVisible())
            return true;
    }
    return false;
}

void CloseMenus()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMenu *>(w))
            w->close();
    }
}

} // namespace

class MapWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!HaveDisplay())
            return;
        s_map = new CTavloBrowser(nullptr, CountingOptions());
        s_map->ShowWindow();
        (void)QTest::qWaitFor([] { return s_map->IsDocumentComplete(); }, kLoadTimeoutMs);
    }
    static void TearDownTestSuite()
    {
        delete s_map;
        s_map = nullptr;
    }
    void SetUp() override
    {
        SKIP_WITHOUT_DISPLAY();
        ASSERT_TRUE(s_map->IsDocumentComplete()) << "the bundled page did not complete";
        g_boxes.clear();
    }
    static QWebEnginePage *Page() { return s_map->Browser()->Document(); }

    static CTavloBrowser *s_map;
};
CTavloBrowser *MapWindowTest::s_map = nullptr;

TEST_F(MapWindowTest, TheTickSendsThePositionToTheBundledPageAndThePanel)
{
    EXPECT_EQ(s_map->Browser()->url().toString(), "qrc:/map/googlemap.html");
    EXPECT_EQ(RunScript(Page(), "document.body.getAttribute('scroll')").toString(), "no");

    FollowNaviOnMap(*s_map, ParseNaviSentence(kFix, 0), 1);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.received[roadlogMap.received.length - 1]").toString(),
              "37.502057,127.025000");
    EXPECT_EQ(RunScript(Page(), "JSON.stringify(roadlogMap.trail[roadlogMap.trail.length - 1])")
                  .toString(),
              "[37.502057,127.025]");
    EXPECT_EQ(s_map->Panel().RowTexts()[1], "10_05_12_14_33");
    EXPECT_EQ(s_map->Panel().RowTexts()[0], "19 km/h");

    // Map not allowed: the panel follows, the page is not called.
    const int calls = RunScript(Page(), "roadlogMap.received.length").toInt();
    FollowNaviOnMap(
        *s_map,
        ParseNaviSentence(L"G$GPRMC,143400.000,A,3730.0000,S,12700.0000,W,0,12.5,120510,,,A*00", 0),
        0);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.received.length").toInt(), calls);
    EXPECT_EQ(s_map->Panel().RowTexts()[2], "37.500000 S");
    EXPECT_EQ(s_map->Panel().RowTexts()[3], "127.000000 W");
    EXPECT_EQ(s_map->Panel().RowTexts()[4], "12");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MapWindowTest, ThePagesExternalObjectAnswersNamesStartingWithXxy)
{
    const struct
    {
        const char *name;
        const char *value;
    } cases[] = {
        {"xxyyzz", "Wibble"},    {"xxyabc", "Wibble"},
        {"xxy", "Wibble"},       {"\\uFF58\\uFF58\\uFF59zz", "Wibble"}, // full-width x x y
        {"xyz", "undefined"},    {"xx", "undefined"},
        {"XXYYZZ", "undefined"}, {"AddSearchProvider", "undefined"},
    };
    for (const auto &c : cases) {
        const QString script = QStringLiteral("String(window.external['%1'])").arg(c.name);
        EXPECT_EQ(RunScript(Page(), script).toString(), c.value) << c.name;
    }
    EXPECT_EQ(RunScript(Page(), "window.external.xxyyzz").toString(), "Wibble");
    EXPECT_EQ(RunScript(Page(), "'xyz' in window.external").toBool(), false);
}

// The host, not the page, keeps the menu away: a plain page in a plain view does show one, so
// the click is known to arrive.
TEST_F(MapWindowTest, ARightClickShowsNoContextMenu)
{
    const QString html = QStringLiteral("<html><body style='height:2000px'>text</body></html>");
    const struct
    {
        const char *what;
        bool hosted;
        bool menu;
    } cases[] = {{"plain view", false, true}, {"the viewer's browser", true, false}};
    for (const auto &c : cases) {
        std::unique_ptr<QWebEngineView> view;
        if (c.hosted)
            view = std::make_unique<CWebBrowser2>();
        else
            view = std::make_unique<QWebEngineView>();
        view->resize(300, 200);
        view->show();
        bool loaded = false;
        QObject::connect(view.get(), &QWebEngineView::loadFinished, [&] { loaded = true; });
        view->setHtml(html);
        ASSERT_TRUE(QTest::qWaitFor([&] { return loaded && view->focusProxy(); }, 10000)) << c.what;
        QTest::qWait(200);
        QTest::mouseClick(view->focusProxy(), Qt::RightButton, {}, QPoint(100, 100));
        const bool shown = QTest::qWaitFor(AnyMenuShown, c.menu ? 5000 : 1000);
        EXPECT_EQ(shown, c.menu) << c.what;
        CloseMenus();
        // Nor scroll bars: a page taller than the view keeps the view's full width.
        const int bar =
            RunScript(view->page(), "window.innerWidth - document.documentElement.clientWidth")
                .toInt();
        EXPECT_EQ(bar > 0, !c.hosted) << c.what << ": scroll bar width " << bar;
    }
}

TEST_F(MapWindowTest, ClosingHidesTheWindowAndTheTickGoesOnWhileHidden)
{
    const struct
    {
        const char *how;
        std::function<void()> close;
    } cases[] = {
        {"Escape", [] { QTest::keyClick(s_map, Qt::Key_Escape); }},
        {"Enter", [] { QTest::keyClick(s_map, Qt::Key_Return); }},
        {"keypad Enter", [] { QTest::keyClick(s_map, Qt::Key_Enter, Qt::KeypadModifier); }},
        {"close button", [] { s_map->OnCommand(CTavloBrowser::IDC_CLOSE); }},
        {"window manager", [] { s_map->close(); }},
    };
    const QUrl page = s_map->Browser()->url();
    for (const auto &c : cases) {
        s_map->ShowWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s_map));
        c.close();
        EXPECT_FALSE(s_map->isVisible()) << c.how;
        EXPECT_FALSE(s_map->IsShownFlag()) << c.how;

        const int calls = RunScript(Page(), "roadlogMap.received.length").toInt();
        FollowNaviOnMap(*s_map, ParseNaviSentence(kFix, 0), 1);
        EXPECT_EQ(RunScript(Page(), "roadlogMap.received.length").toInt(), calls + 1) << c.how;
    }
    s_map->ShowWindow();
    EXPECT_TRUE(s_map->isVisible());
    EXPECT_EQ(s_map->Browser()->url(), page);
    EXPECT_TRUE(s_map->IsDocumentComplete());
}

TEST_F(MapWindowTest, PaintsTheBackgroundAndThePanelValues)
{
    s_map->ShowWindow();
    s_map->SetNaviInfo(37.502057, 127.025, SYSTEMTIME{10, 5, 0, 12, 14, 33, 0, 0}, 19, 359);
    const QImage picture = s_map->grab().toImage();
    ASSERT_EQ(picture.size(), QSize(346, 476));
    int orange = 0;
    for (int y = kNaviPanelRect.top(); y <= kNaviPanelRect.bottom(); ++y) {
        for (int x = kNaviPanelRect.left(); x <= kNaviPanelRect.right(); ++x)
            orange += (picture.pixel(x, y) & 0xFFFFFF) == kNaviTextColour;
    }
    EXPECT_GT(orange, 50);
    // Outside the browser and the panel the window is its background.
    CTavloBitmap background;
    ASSERT_TRUE(background.Load(198));
    EXPECT_EQ(picture.pixel(5, 200), background.Image().pixel(5, 200));
    EXPECT_EQ(picture.pixel(20, 330), background.Image().pixel(20, 330));
}

// A page that keeps failing gets one box, not one per tick; a success or a new page arms it
// again.
TEST_F(MapWindowTest, AFailingScriptCallShowsOneBoxUntilACallSucceedsOrAPageLoads)
{
    const QString url = QStringLiteral("data:text/html,<p>no map here</p>");
    CTavloBrowser map(nullptr, CountingOptions(url));
    int loads = 0;
    QObject::connect(map.Browser(), &QWebEngineView::loadFinished, [&] { ++loads; });
    EXPECT_FALSE(map.CallScript("codeLatLng", {"1,2"})) << "no document yet";
    ASSERT_TRUE(QTest::qWaitFor([&] { return map.IsDocumentComplete(); }, kLoadTimeoutMs));
    QWebEnginePage *page = map.Browser()->Document();
    EXPECT_TRUE(g_boxes.empty());

    const CTavloNaviInfo fix = ParseNaviSentence(kFix, 0);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i)
            FollowNaviOnMap(map, fix, 1);
        RunScript(page, "0");
    };
    ticks(4);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Unknown name.");

    RunScript(page, "window.codeLatLng = function (a, b) { return 'got ' + a + '|' + b; }");
    QVariant value;
    const QString awkward = QStringLiteral("it's \"quoted\" \\ </script>\n");
    EXPECT_TRUE(
        map.CallScript("codeLatLng", {awkward, "2"}, [&](const QVariant &v) { value = v; }));
    RunScript(page, "0");
    EXPECT_EQ(value.toString(), "got " + awkward + "|2");

    RunScript(page, "window.codeLatLng = function () { throw new Error('broken'); }");
    ticks(3);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1], "Exception occurred.");

    RunScript(page, "window.codeLatLng = 5");
    ticks(2);
    EXPECT_EQ(g_boxes.size(), 2u) << "no success in between";

    const int before = loads;
    map.Browser()->Navigate(url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return loads > before; }, kLoadTimeoutMs));
    ticks(3);
    ASSERT_EQ(g_boxes.size(), 3u);
    EXPECT_EQ(g_boxes[2], "Unknown name.");
}

TEST_F(MapWindowTest, ThePageIsLoadedOnlyWhenAllowedAndAWebPageOnlyWhenOnline)
{
    const struct
    {
        const char *what;
        const char *url;
        bool offline;
        int32_t allowed;
        bool requested;
    } cases[] = {
        {"web page, offline", "http://example.invalid/googlemap.html", true, 1, false},
        {"secure web page, offline", "https://example.invalid/googlemap.html", true, 1, false},
        {"web page, online", "http://example.invalid/googlemap.html", false, 1, true},
        {"bundled page, offline", "qrc:/map/googlemap.html", true, 1, true},
        {"map not allowed", "qrc:/map/googlemap.html", false, 0, false},
    };
    for (const auto &c : cases) {
        MAP_WINDOW_OPTIONS options = CountingOptions(c.url);
        const bool offline = c.offline;
        options.isOffline = [offline] { return offline; };
        options.bMapAllowed = c.allowed;
        CTavloBrowser map(nullptr, options);
        EXPECT_EQ(map.IsPageRequested(), c.requested) << c.what;
        if (c.requested)
            continue;
        QTest::qWait(300);
        EXPECT_TRUE(map.Browser()->url().isEmpty()) << c.what;
        FollowNaviOnMap(map, ParseNaviSentence(kFix, 0), 1);
        EXPECT_FALSE(map.CallScript("codeLatLng", {"1,2"})) << c.what;
        EXPECT_FALSE(map.IsDocumentComplete()) << c.what;
        EXPECT_EQ(map.Panel().RowTexts()[0], "19 km/h") << c.what;
    }
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MapWindowTest, TheMapCommandCreatesThenTogglesTheWindow)
{
    MAP_WINDOW_OPTIONS options = CountingOptions();
    options.bMapAllowed = 0;
    std::unique_ptr<CTavloBrowser> map;
    ToggleMapWindow(map, nullptr, options);
    ASSERT_TRUE(map);
    CTavloBrowser *first = map.get();
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(map->IsShownFlag());
    ToggleMapWindow(map, nullptr, options);
    EXPECT_EQ(map.get(), first);
    EXPECT_FALSE(map->isVisible());
    ToggleMapWindow(map, nullptr, options);
    EXPECT_EQ(map.get(), first);
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(map->IsShownFlag());

    // Minimised by its own button, the window counts as hidden: the command brings it back.
    map->OnCommand(CTavloBrowser::IDC_MINIMIZE);
    EXPECT_TRUE(map->isMinimized());
    EXPECT_FALSE(map->IsShownFlag());
    ToggleMapWindow(map, nullptr, options);
    EXPECT_FALSE(map->isMinimized());
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(map->IsShownFlag());
}

// A clip's route replaces whatever was drawn, the view is fitted to it, and ticks and seeks only
// move the marker. A page without the route function is left alone.
TEST_F(MapWindowTest, TheClipsWholeRouteIsDrawnFittedAndFollowedByTheMarker)
{
    s_map->ShowWindow();
    const std::vector<TRACK_POINT> route = {{0, 37.7749, -122.4194, 30, 0},
                                            {1000, 37.7755, -122.4187, 31, 40},
                                            {2000, 37.7762, -122.4179, 32, 40},
                                            {3000, 37.7770, -122.4170, 33, 40}};
    s_map->SetRoute(route);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.route.length").toInt(), 4);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.line.getLatLngs().length").toInt(), 4);
    EXPECT_EQ(RunScript(Page(), "JSON.stringify(roadlogMap.route[1])").toString(),
              "[37.7755,-122.4187]");
    // Fitted: every point in view, and not from far away.
    EXPECT_TRUE(RunScript(Page(), "roadlogMap.route.every(function (p) {"
                                  " return roadlogMap.map.getBounds().contains(p); })")
                    .toBool());
    EXPECT_GE(RunScript(Page(), "roadlogMap.map.getZoom()").toInt(), 14);

    // A tick, then a seek back: the marker moves, the route stays as it is.
    for (const char *position : {"37.776200,-122.417900", "37.774900,-122.419400"}) {
        s_map->CallScript("codeLatLng", {position});
        EXPECT_EQ(RunScript(Page(), "var m = roadlogMap.marker.getLatLng();"
                                    " m.lat.toFixed(6) + ',' + m.lng.toFixed(6)")
                      .toString(),
                  position);
        EXPECT_EQ(RunScript(Page(), "roadlogMap.line.getLatLngs().length").toInt(), 4);
    }

    // The marker stands on the route where the fix was left out of it.
    const CTavloNaviInfo stray =
        ParseNaviSentence(L"G$GPRMC,170002.000,A,0000.0000,N,00000.0000,E,0,0,120510,,,A*00", 2500);
    FollowNaviOnMap(*s_map, stray, 1, &route[2]);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.received[roadlogMap.received.length - 1]").toString(),
              "37.776200,-122.417900");
    EXPECT_EQ(s_map->Panel().RowTexts()[2], "0.000000 N");
    // Without a route point the fix itself goes, south and west negative.
    FollowNaviOnMap(
        *s_map,
        ParseNaviSentence(L"G$GPRMC,170003.000,A,3730.2219,N,12225.1649,W,0,0,120510,,,A*00", 3000),
        1);
    EXPECT_EQ(RunScript(Page(), "roadlogMap.received[roadlogMap.received.length - 1]").toString(),
              "37.503698,-122.419415");

    // The next clip's route replaces it; a clip without fixes clears the map.
    s_map->SetRoute({route[0], route[1]});
    EXPECT_EQ(RunScript(Page(), "roadlogMap.line.getLatLngs().length").toInt(), 2);
    s_map->SetRoute({});
    EXPECT_EQ(RunScript(Page(), "roadlogMap.line.getLatLngs().length").toInt(), 0);
    EXPECT_FALSE(RunScript(Page(), "roadlogMap.map.hasLayer(roadlogMap.marker)").toBool());

    // Street tiles once the network is reachable, also after the page loaded without it.
    RunScript(Page(),
              "if (roadlogMap.tiles) { roadlogMap.tiles.remove(); roadlogMap.tiles = null; }");
    EXPECT_FALSE(RunScript(Page(), "setStreetTiles('0')").toBool());
    EXPECT_FALSE(RunScript(Page(), "roadlogMap.tiles !== null").toBool());
    EXPECT_TRUE(RunScript(Page(), "setStreetTiles('1')").toBool());
    EXPECT_TRUE(RunScript(Page(), "roadlogMap.map.hasLayer(roadlogMap.tiles)").toBool());
    RunScript(Page(), "roadlogMap.tiles.remove(); roadlogMap.tiles = null;"
                      " window.dispatchEvent(new Event('online'))");
    EXPECT_TRUE(RunScript(Page(), "roadlogMap.map.hasLayer(roadlogMap.tiles)").toBool());
    EXPECT_TRUE(g_boxes.empty());

    // A route before the page has completed is drawn once it has; a page without showRoute
    // is left alone.
    const QString url = QStringLiteral("data:text/html,<p>no map here</p>");
    CTavloBrowser plain(nullptr, CountingOptions(url));
    plain.SetRoute(route);
    ASSERT_TRUE(QTest::qWaitFor([&] { return plain.IsDocumentComplete(); }, kLoadTimeoutMs));
    RunScript(plain.Browser()->Document(), "0");
    plain.SetRoute({route[0]});
    RunScript(plain.Browser()->Document(), "0");
    EXPECT_TRUE(g_boxes.empty());
    CTavloBrowser late(nullptr, CountingOptions());
    late.SetRoute(route);
    ASSERT_TRUE(QTest::qWaitFor([&] { return late.IsDocumentComplete(); }, kLoadTimeoutMs));
    EXPECT_EQ(RunScript(late.Browser()->Document(), "roadlogMap.route.length").toInt(), 4);
}
