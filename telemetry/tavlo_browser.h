#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include "telemetry/navi_panel.h"
#include "widgets/command_owner.h"
#include "widgets/tavlo_bitmap.h"
#include "widgets/tavlo_button.h"

class CWebBrowser2;
struct CTavloNaviInfo;
struct TRACK_POINT;

// Shows a failure of a page script call; modal in the program, replaceable in tests.
using ScriptFailureBox = std::function<void(QWidget *parent, const QString &text)>;
// Receives the value a page function returned.
using ScriptResult = std::function<void(const QVariant &value)>;

struct MAP_WINDOW_OPTIONS
{
    QString strPageUrl;              // empty: the address the program was built with
    int32_t bMapAllowed = 1;         // 0: the page is never loaded
    std::function<bool()> isOffline; // null: the system's reachability
    ScriptFailureBox failureBox;     // null: the program's warning box
};

// The map window: a caption-less 346 x 476 window with the web map at the top and the position
// panel below, moved by its top 30 pixels. Closing it (its button, Enter, Escape, the window
// manager) only hides it; it lives until the main window destroys it. Window thread only.
class CTavloBrowser : public QWidget, public CCommandOwner
{
    Q_OBJECT
public:
    enum : int
    {
        IDC_BROWSER = 435,
        IDC_MINIMIZE = 454,
        IDC_CLOSE = 455,
        WINDOW_WIDTH = 346,
        WINDOW_HEIGHT = 476,
        MOVE_BAND_HEIGHT = 30,
    };

    // Creates the browser and starts loading the map page, unless the map is not allowed or
    // the page is on the web and the computer is offline. Shown by the caller.
    explicit CTavloBrowser(QWidget *parent = nullptr, MAP_WINDOW_OPTIONS options = {});
    ~CTavloBrowser() override;

    // The clip's whole route for the page to draw and fit its view to, replacing the one before
    // (empty: none). Kept and sent again when a page completes later; the same route again is
    // not sent twice, so the user's view stays. A page without showRoute ignores it.
    void SetRoute(const std::vector<TRACK_POINT> &route);
    const QString &RouteText() const { return m_strRoute; }

    // Stores the panel's values and repaints the panel, shown or hidden.
    void SetNaviInfo(double dLatitude, double dLongitude, const SYSTEMTIME &stTime, int32_t nSpeed,
                     int32_t nCourse);

    // Calls the page's global function with string arguments. False at once, without a
    // message, while no document has completed. Otherwise the call is made and true returned;
    // the outcome arrives later: the value goes to onResult, a failure to the failure box.
    // The box is shown once and not again until a call succeeds or a new page completes, so
    // a page that keeps failing at every tick does not pile up boxes.
    bool CallScript(const QString &function, const QStringList &args, ScriptResult onResult = {});

    void ShowWindow();
    void HideWindow();
    bool IsShownFlag() const { return m_bShown; }

    bool IsDocumentComplete() const { return m_bDocumentComplete; }
    bool IsPageRequested() const { return m_bPageRequested; }
    CWebBrowser2 *Browser() const { return m_wndBrowser; }
    const CNaviPanel &Panel() const { return m_panel; }
    void SetFailureBox(ScriptFailureBox box) { m_failureBox = std::move(box); }

    void OnCommand(int nId) override;

    // The address the program was built with.
    static QString DefaultPageUrl();

protected:
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void changeEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    void OnDocumentComplete();
    // Calls the page's function when it defines one; no answer, no failure box.
    void CallOptionalScript(const QString &function, const QString &arg);
    void SendReachability();
    void OnScriptAnswer(const QVariant &answer, const ScriptResult &onResult);
    void ReportScriptFailure(const QString &text);

    CWebBrowser2 *m_wndBrowser = nullptr; // child, deleted first by the destructor
    bool m_bDocumentComplete = false;     // set at the first completed document, never cleared
    CTavloBitmap m_background;
    CTavloButton m_btnMinimize;
    CTavloButton m_btnClose;
    CNaviPanel m_panel;
    bool m_bShown = true;
    bool m_bPageRequested = false;
    bool m_bFailureShown = false; // a failure box was shown since the last success or page
    bool m_bClosing = false;      // answers that arrive during destruction are dropped
    QString m_strRoute;           // JSON [[lat, lon], ...] of the route last set
    bool m_bRouteSent = false;    // the page has m_strRoute
    ScriptFailureBox m_failureBox;
};

// The telemetry tick's map and panel step for the chosen fix: the page's codeLatLng gets
// "lat,lon" (when the map is allowed; the window skips it until its page has completed), then
// the panel gets the position, the fix time and the whole speed and bearing. onRoute: the
// point of the drawn route for the marker, where the fix itself was left out of it.
void FollowNaviOnMap(CTavloBrowser &map, const CTavloNaviInfo &info, int32_t bMapAllowed,
                     const TRACK_POINT *onRoute = nullptr);

// The main window's map command: creates and shows the window the first time, then hides it
// when shown and shows it when hidden. The parent owns pMap, so the window is deleted before
// the parent's children are.
void ToggleMapWindow(std::unique_ptr<CTavloBrowser> &pMap, QWidget *parent,
                     const MAP_WINDOW_OPTIONS &options = {});
